#pragma once
#include <ostream>
#include <vector>

#include "inversion/inversion.h"
#include "model/performance.h"

namespace queuecalc {

// The six-measure summary and the conditional waiting-time distribution of
// the algorithms whose curves are present (each curve has one value per
// moment of timeGrid).
void printConsoleReport(std::ostream& out, const PerformanceMeasures& measures,
                        const std::vector<double>& timeGrid, const InversionResults& curves);

}  // namespace queuecalc
