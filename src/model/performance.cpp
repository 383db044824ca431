#include "model/performance.h"

#include <vector>

namespace queuecalc {

double computeRho(const ModelInput& input) {
    return input.arrivalRate / (static_cast<double>(input.servers) * input.serviceRate);
}

// The fifteen measures from the admitted-arrival distribution a_i and the
// per-position step tables. A customer joining at position k (it found s + k - 1
// present) waits k independent exponential steps when it is served, with mean
// S_k = sum m_kj and variance Q_k = sum m_kj^2, so E[W^2] given the position is
// S_k^2 + Q_k; abandoning in step j, it waited the first j steps. Each sum is
// accumulated in increasing index, as the printed digits depend on it. The
// conditional moments are plain quotients: with no abandonment at all (r = 0,
// or every hazard rate 0) the abandonment ones are 0/0 or 0/tiny and are
// reported as they fall.
PerformanceMeasures computePerformanceMeasures(const ModelInput& input,
                                               const std::vector<double>& stationaryDist,
                                               const std::vector<double>& admittedDist,
                                               const QueuePositionTables& tables) {
    PositionRowBuffers rows;
    return computePerformanceMeasures(input, stationaryDist, admittedDist, tables, rows);
}

PerformanceMeasures computePerformanceMeasures(const ModelInput& input,
                                               const std::vector<double>& stationaryDist,
                                               const std::vector<double>& admittedDist,
                                               const QueuePositionTables& tables, PositionRowBuffers& rows) {
    const int s = input.servers;
    const int r = input.waitingPlaces;
    PerformanceMeasures pm;
    pm.rho = computeRho(input);
    pm.lossProb = stationaryDist[static_cast<std::size_t>(s + r)];

    double noWait = 0;
    for (int i = 0; i < s; ++i) noWait = noWait + admittedDist[i];
    pm.noWaitProb = noWait;

    // One pass over the rows: each row's mean times and abandonment chances
    // are formed once into two buffers of r doubles and read by both sums.
    // The served and the abandoning sums are separate accumulators, each
    // added to in increasing k as before.
    rows.fit(r);
    double* const meanTime = rows.meanTime.data();
    double* const abandon = rows.abandonProb.data();
    double served = 0;
    for (int i = 0; i < s; ++i) served = served + admittedDist[i];
    double partialMean = 0;
    double partialSecond = 0;
    double abandonMean = 0;
    double abandonSecond = 0;
    for (int k = 1; k <= r; ++k) {
        tables.meanTimeRow(k, meanTime, abandon);
        const double w = admittedDist[s + k - 1] * tables.reachServiceProb[k];
        served = served + w;
        // sumMean and sumSquares run over the row as the waiting time to
        // service; at step j they are also the mean and variance up to the
        // end of step j, which the abandonment sums use.
        double sumMean = 0;
        double sumSquares = 0;
        double stay = 1;
        double e1 = 0;
        double e2 = 0;
        for (int j = 1; j <= k; ++j) {
            if (j > 1) stay = (1 - abandon[j - 2]) * stay;
            const double m = meanTime[j - 1];
            sumMean = sumMean + m;
            sumSquares = sumSquares + m * m;
            const double q = stay * abandon[j - 1];
            e1 = e1 + q * sumMean;
            e2 = e2 + q * (sumMean * sumMean + sumSquares);
        }
        partialMean = partialMean + w * sumMean;
        partialSecond = partialSecond + w * (sumMean * sumMean + sumSquares);
        const double a = admittedDist[s + k - 1];
        abandonMean = abandonMean + a * e1;
        abandonSecond = abandonSecond + a * e2;
    }
    pm.servedProb = served;
    pm.partialMeanServed = partialMean;
    pm.partialSecondMomentServed = partialSecond;

    pm.abandonProb = 1 - pm.servedProb;
    pm.meanWaitServed = pm.partialMeanServed / pm.servedProb;
    pm.secondMomentServed = pm.partialSecondMomentServed / pm.servedProb;
    pm.varianceServed = pm.secondMomentServed - pm.meanWaitServed * pm.meanWaitServed;

    pm.partialMeanAbandon = abandonMean;
    pm.partialSecondMomentAbandon = abandonSecond;
    pm.meanWaitAbandon = pm.partialMeanAbandon / pm.abandonProb;
    pm.secondMomentAbandon = pm.partialSecondMomentAbandon / pm.abandonProb;
    pm.varianceAbandon = pm.secondMomentAbandon - pm.meanWaitAbandon * pm.meanWaitAbandon;
    return pm;
}

}  // namespace queuecalc
