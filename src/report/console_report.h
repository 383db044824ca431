#pragma once
#include <ostream>
#include <vector>

#include "model/performance.h"

namespace queuecalc {

// The six-measure summary and the conditional waiting-time distribution.
// eulerConditional / talbotConditional are null when that algorithm did not run.
void printConsoleReport(std::ostream& out, int inversionMethod, const PerformanceMeasures& measures,
                        const std::vector<double>& timeGrid,
                        const std::vector<double>* eulerConditional,
                        const std::vector<double>* talbotConditional);

}  // namespace queuecalc
