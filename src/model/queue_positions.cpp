#include "model/queue_positions.h"

namespace queuecalc {

// The way to service from joining position k: step j (j = 1 .. k) ends at the
// first service completion (rate s mu), the customer's own abandonment (rate
// alpha_j) or the abandonment of one of the k - j customers ahead (alpha_{j+1}
// .. alpha_k). Its total rate is formed as
//   (cumulativeAbandonRate[k] - cumulativeAbandonRate[j-1]) + s mu,
// the difference first, because the printed results depend on the last bit.
// The chance of reaching service is the running product of (1 - own
// abandonment probability) over the steps, multiplied on the left.
QueuePositionTables buildQueuePositionTables(int servers, int waitingPlaces, double serviceRate,
                                             const std::vector<double>& hazardRate,
                                             const std::vector<double>& cumulativeAbandonRate) {
    QueuePositionTables t;
    const int r = waitingPlaces;
    t.waitingPlaces = r;
    const std::size_t cells = QueuePositionTables::rowOffset(r + 1);
    t.stepRate.assign(cells, 0.0);
    t.stepMeanTime.assign(cells, 0.0);
    t.stepAbandonProb.assign(cells, 0.0);
    t.reachServiceProb.assign(static_cast<std::size_t>(r) + 1, 0.0);

    const double fullService = static_cast<double>(servers) * serviceRate;
    for (int k = 1; k <= r; ++k) {
        const std::size_t row = QueuePositionTables::rowOffset(k);
        for (int j = 1; j <= k; ++j) {
            const std::size_t cell = row + static_cast<std::size_t>(j - 1);
            const double rate = (cumulativeAbandonRate[k] - cumulativeAbandonRate[j - 1]) + fullService;
            t.stepRate[cell] = rate;
            t.stepMeanTime[cell] = 1 / rate;
            t.stepAbandonProb[cell] = hazardRate[j] * t.stepMeanTime[cell];
        }
    }
    for (int k = 0; k <= r; ++k) {
        double reach = 1;
        const std::size_t row = QueuePositionTables::rowOffset(k);
        for (int j = 1; j <= k; ++j) reach = (1 - t.stepAbandonProb[row + static_cast<std::size_t>(j - 1)]) * reach;
        t.reachServiceProb[k] = reach;
    }
    return t;
}

}  // namespace queuecalc
