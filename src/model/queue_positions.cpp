#include "model/queue_positions.h"

namespace queuecalc {

// Each loop forms its cells independently of one another, so the compiler may
// run them side by side in vector registers: a vector subtraction, addition,
// division or multiplication rounds each element as the scalar one does.
void QueuePositionTables::rateRow(int k, double* rate) const {
    const double* cumulative = cumulativeAbandonRate.data();
    const double top = cumulative[k];
    const double service = fullService;
    for (int j = 0; j < k; ++j) rate[j] = (top - cumulative[j]) + service;
}

void QueuePositionTables::meanTimeRow(int k, double* meanTime, double* abandonProb) const {
    const double* cumulative = cumulativeAbandonRate.data();
    const double* hazard = hazardRate.data() + 1;
    const double top = cumulative[k];
    const double service = fullService;
    for (int j = 0; j < k; ++j) {
        const double m = 1 / ((top - cumulative[j]) + service);
        meanTime[j] = m;
        abandonProb[j] = hazard[j] * m;
    }
}

QueuePositionTables buildQueuePositionTables(int servers, int waitingPlaces, double serviceRate,
                                             const std::vector<double>& hazardRate,
                                             const std::vector<double>& cumulativeAbandonRate) {
    QueuePositionTables t;
    PositionRowBuffers rows;
    buildQueuePositionTablesInto(t, rows, servers, waitingPlaces, serviceRate, hazardRate, cumulativeAbandonRate);
    return t;
}

void buildQueuePositionTablesInto(QueuePositionTables& t, PositionRowBuffers& rows, int servers, int waitingPlaces,
                                  double serviceRate, const std::vector<double>& hazardRate,
                                  const std::vector<double>& cumulativeAbandonRate) {
    const int r = waitingPlaces;
    const std::size_t positions = static_cast<std::size_t>(r) + 1;
    t.waitingPlaces = r;
    t.fullService = static_cast<double>(servers) * serviceRate;
    t.hazardRate.assign(hazardRate.begin(), hazardRate.begin() + positions);
    t.cumulativeAbandonRate.assign(cumulativeAbandonRate.begin(),
                                   cumulativeAbandonRate.begin() + positions);
    t.reachServiceProb.assign(positions, 0.0);

    rows.fit(r);
    double* const meanTime = rows.meanTime.data();
    double* const abandon = rows.abandonProb.data();
    for (int k = 0; k <= r; ++k) {
        t.meanTimeRow(k, meanTime, abandon);
        double reach = 1;
        for (int j = 0; j < k; ++j) reach = (1 - abandon[j]) * reach;
        t.reachServiceProb[k] = reach;
    }
}

}  // namespace queuecalc
