#pragma once
#include <cstddef>
#include <vector>

namespace queuecalc {

// The way to service of a customer who joins the queue at position k
// (1 <= k <= r): k exponential steps j = 1 .. k. Only the triangle
// 1 <= j <= k <= r is stored, row after row, each row contiguous, so that the
// transform's hot loop walks memory in order. Row k starts at k(k-1)/2.
struct QueuePositionTables {
    int waitingPlaces = 0;
    std::vector<double> stepRate;         // r(r+1)/2
    std::vector<double> stepMeanTime;     // r(r+1)/2
    std::vector<double> stepAbandonProb;  // r(r+1)/2
    std::vector<double> reachServiceProb; // r + 1, [0] = 1

    static std::size_t rowOffset(int k) {
        return static_cast<std::size_t>(k) * static_cast<std::size_t>(k - 1) / 2;
    }
    // Cell [k][j], 1 <= j <= k <= r.
    double rate(int k, int j) const { return stepRate[rowOffset(k) + static_cast<std::size_t>(j - 1)]; }
    double meanTime(int k, int j) const { return stepMeanTime[rowOffset(k) + static_cast<std::size_t>(j - 1)]; }
    double abandonProb(int k, int j) const { return stepAbandonProb[rowOffset(k) + static_cast<std::size_t>(j - 1)]; }
    const double* rateRow(int k) const { return stepRate.data() + rowOffset(k); }
};

// The tables of a customer who joins at position k: step j (1 <= j <= k) ends
// at the rate s mu + alpha_j + ... + alpha_k (service, its own abandonment or
// that of one ahead); stepMeanTime is its mean, stepAbandonProb the chance
// that it ends in the customer's own abandonment; reachServiceProb[k] the
// chance to be served. Time and memory
// grow as r^2 / 2 cells (24 bytes each): r = 13376, the largest allowed, takes
// about 2 GiB. Needs validated s, r, mu and the hazard rates of r positions.
QueuePositionTables buildQueuePositionTables(int servers, int waitingPlaces, double serviceRate,
                                             const std::vector<double>& hazardRate,
                                             const std::vector<double>& cumulativeAbandonRate);

}  // namespace queuecalc
