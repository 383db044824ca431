#pragma once
// The fifteen performance measures of the queue.

#include <vector>

#include "input/model_input.h"
#include "model/queue_positions.h"

namespace queuecalc {

struct PerformanceMeasures {
    double rho = 0;
    double lossProb = 0;
    double noWaitProb = 0;
    double servedProb = 0;
    double abandonProb = 0;
    double partialMeanServed = 0;
    double partialSecondMomentServed = 0;
    double meanWaitServed = 0;
    double secondMomentServed = 0;
    double varianceServed = 0;
    double partialMeanAbandon = 0;
    double partialSecondMomentAbandon = 0;
    double meanWaitAbandon = 0;
    double secondMomentAbandon = 0;
    double varianceAbandon = 0;
};

// The fifteen, in the order of the results file, for code that treats each
// the same way.
constexpr double PerformanceMeasures::*kPerformanceMembers[] = {
    &PerformanceMeasures::rho,
    &PerformanceMeasures::lossProb,
    &PerformanceMeasures::noWaitProb,
    &PerformanceMeasures::servedProb,
    &PerformanceMeasures::abandonProb,
    &PerformanceMeasures::partialMeanServed,
    &PerformanceMeasures::partialSecondMomentServed,
    &PerformanceMeasures::meanWaitServed,
    &PerformanceMeasures::secondMomentServed,
    &PerformanceMeasures::varianceServed,
    &PerformanceMeasures::partialMeanAbandon,
    &PerformanceMeasures::partialSecondMomentAbandon,
    &PerformanceMeasures::meanWaitAbandon,
    &PerformanceMeasures::secondMomentAbandon,
    &PerformanceMeasures::varianceAbandon,
};

// lambda / (s mu), computed as soon as the input is known.
double computeRho(const ModelInput& input);

// The measures from the stationary and admitted distributions of the chain and
// the position tables (see performance.cpp for the formulas and their order).
// Probabilities other than lossProb refer to admitted customers, so
// servedProb + abandonProb = 1 up to rounding; the wait moments "given S" or
// "given A" are plain quotients and fall as they do (0/0 = NaN) where nobody
// is served or nobody abandons. Needs a validated input and the distributions
// and tables built from it.
PerformanceMeasures computePerformanceMeasures(const ModelInput& input,
                                               const std::vector<double>& stationaryDist,
                                               const std::vector<double>& admittedDist,
                                               const QueuePositionTables& tables);
// The same with the rows' room kept by the caller; the same values.
PerformanceMeasures computePerformanceMeasures(const ModelInput& input,
                                               const std::vector<double>& stationaryDist,
                                               const std::vector<double>& admittedDist,
                                               const QueuePositionTables& tables, PositionRowBuffers& rows);

}  // namespace queuecalc
