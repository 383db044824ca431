#pragma once
#include <vector>

namespace queuecalc {

// floor(maxTime / momentInterval) of the double quotient, truncated to int.
int computeMomentCount(double maxTime, double momentInterval);

// t_j = j * momentInterval for j = 1 .. momentCount, each a single product.
std::vector<double> buildTimeGrid(int momentCount, double momentInterval);

}  // namespace queuecalc
