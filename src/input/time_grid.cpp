#include "input/time_grid.h"

#include <cmath>

namespace queuecalc {

// The quotient is a rounded double, so a maxTime that is mathematically a
// multiple of the interval can fall one moment short (0.3 / 0.1 gives
// 2.9999999999999996, hence 2 moments). That is the intended count.
// Callers make sure the floored quotient fits an int.
int computeMomentCount(double maxTime, double momentInterval) {
    return static_cast<int>(std::floor(maxTime / momentInterval));
}

// Each moment is one product j * interval, never a running sum, so that no
// rounding error accumulates along the grid.
std::vector<double> buildTimeGrid(int momentCount, double momentInterval) {
    std::vector<double> grid(momentCount > 0 ? static_cast<std::size_t>(momentCount) : 0);
    for (int j = 1; j <= momentCount; ++j) grid[static_cast<std::size_t>(j - 1)] = static_cast<double>(j) * momentInterval;
    return grid;
}

}  // namespace queuecalc
