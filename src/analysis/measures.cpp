#include "analysis/measures.h"

#include <cmath>
#include <limits>

#include "engine/diagnostics.h"

namespace queuecalc {

double calculatorValue(const PerformanceMeasures& m, Measure measure) {
    switch (measure) {
        case Measure::Rho: return m.rho;
        case Measure::LossProb: return m.lossProb;
        case Measure::NoWaitProb: return m.noWaitProb;
        case Measure::ServedProb: return m.servedProb;
        case Measure::AbandonProb: return m.abandonProb;
        case Measure::PartialMeanServed: return m.partialMeanServed;
        case Measure::PartialSecondMomentServed: return m.partialSecondMomentServed;
        case Measure::MeanWaitServed: return m.meanWaitServed;
        case Measure::SecondMomentServed: return m.secondMomentServed;
        case Measure::VarianceServed: return m.varianceServed;
        case Measure::PartialMeanAbandon: return m.partialMeanAbandon;
        case Measure::PartialSecondMomentAbandon: return m.partialSecondMomentAbandon;
        case Measure::MeanWaitAbandon: return m.meanWaitAbandon;
        case Measure::SecondMomentAbandon: return m.secondMomentAbandon;
        case Measure::VarianceAbandon: return m.varianceAbandon;
        default: return std::numeric_limits<double>::quiet_NaN();
    }
}

AbandonmentMeasures soundAbandonment(const QueueModel& model) {
    const int s = model.input.servers;
    const int r = model.input.waitingPlaces;
    const std::vector<double>& admitted = model.chain.admittedDist;
    const QueuePositionTables& tables = *model.tables;
    double abandon = 0;
    for (int k = 1; k <= r; ++k) {
        double u = 0;
        for (int j = 1; j <= k; ++j) u = u + (1 - u) * tables.abandonProb(k, j);
        abandon = abandon + admitted[static_cast<std::size_t>(s + k - 1)] * u;
    }
    AbandonmentMeasures a;
    a.abandonProb = abandon;
    a.defined = abandon > 0;
    if (a.defined) {
        a.meanWait = model.measures.partialMeanAbandon / abandon;
        a.secondMoment = model.measures.partialSecondMomentAbandon / abandon;
        a.variance = a.secondMoment - a.meanWait * a.meanWait;
    }
    return a;
}

AnalystMeasures analystMeasures(const ModelInput& input, const PerformanceMeasures& m,
                                const AbandonmentMeasures& abandonment) {
    const double admittedRate = input.arrivalRate * (1 - m.lossProb);
    AnalystMeasures a;
    a.occupancy = admittedRate * m.servedProb / (static_cast<double>(input.servers) * input.serviceRate);
    a.asa = m.meanWaitServed;
    a.meanQueueLength = admittedRate * (m.partialMeanServed + m.partialMeanAbandon);
    a.abandonRate = admittedRate * abandonment.abandonProb;
    return a;
}

double withinUnitInterval(double p) {
    if (p > 1 && p <= 1 + kCurveSlack) return 1;
    if (p < 0 && p >= -kCurveSlack) return 0;
    return p;
}

PerformanceMeasures withProbabilitiesInRange(const PerformanceMeasures& measures) {
    PerformanceMeasures m = measures;
    m.lossProb = withinUnitInterval(m.lossProb);
    m.noWaitProb = withinUnitInterval(m.noWaitProb);
    m.servedProb = withinUnitInterval(m.servedProb);
    m.abandonProb = withinUnitInterval(m.abandonProb);
    return m;
}

double serviceLevel(const PerformanceMeasures& m, double joint) {
    return (1 - m.lossProb) * (m.noWaitProb + joint);
}

double serviceLevelBound(const PerformanceMeasures& m, double jointBound, double serviceLevel) {
    // (1 - P(Loss)) times the joint value's bound, and the three roundings of
    // serviceLevel (with one unit to spare), each at most half an ulp of it.
    const double halfUlp = std::numeric_limits<double>::epsilon() / 2;
    return (1 - m.lossProb) * jointBound * (1 + 4 * halfUlp) + 4 * halfUlp * std::fabs(serviceLevel);
}

}  // namespace queuecalc
