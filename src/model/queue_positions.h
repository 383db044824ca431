#pragma once
#include <cstddef>
#include <vector>

namespace queuecalc {

// The way to service of a customer who joins the queue at position k
// (1 <= k <= r): k exponential steps j = 1 .. k. Step j of position k ends at
// the rate
//   rate(k, j) = (cumulativeAbandonRate[k] - cumulativeAbandonRate[j-1]) + s mu
// (service, its own abandonment or that of one of the k - j ahead; the
// difference first, because the printed results depend on the last bit), with
// mean meanTime(k, j) = 1 / rate(k, j), and ends in the customer's own
// abandonment with the chance abandonProb(k, j) = hazardRate[j] * meanTime(k, j).
// These r(r + 1)/2 cells are formed when asked for, always by these same
// operations, so every reader sees the same bits; only O(r) numbers are kept.
struct QueuePositionTables {
    int waitingPlaces = 0;
    double fullService = 0;                    // s mu
    std::vector<double> hazardRate;            // r + 1, [0] unused
    std::vector<double> cumulativeAbandonRate; // r + 1, [0] = 0
    std::vector<double> reachServiceProb;      // r + 1, [0] = 1

    // Cell [k][j], 1 <= j <= k <= r.
    double rate(int k, int j) const {
        return (cumulativeAbandonRate[k] - cumulativeAbandonRate[j - 1]) + fullService;
    }
    double meanTime(int k, int j) const { return 1 / rate(k, j); }
    double abandonProb(int k, int j) const { return hazardRate[j] * meanTime(k, j); }

    // Row k of the three cells into out[0 .. k-1] (j = 1 .. k), by the
    // operations above: for readers that walk a whole row.
    void rateRow(int k, double* rate) const;
    void meanTimeRow(int k, double* meanTime, double* abandonProb) const;
};

// The tables of a customer who joins at position k (see above) and
// reachServiceProb[k], the chance to be served: the running product of
// (1 - abandonProb(k, j)) over j = 1 .. k, multiplied on the left. Memory
// grows as r (four vectors of r + 1 doubles), time as r^2 / 2 cells (one
// division each). Needs validated s, r, mu and the hazard rates of r
// positions.
QueuePositionTables buildQueuePositionTables(int servers, int waitingPlaces, double serviceRate,
                                             const std::vector<double>& hazardRate,
                                             const std::vector<double>& cumulativeAbandonRate);

// Room for one row of mean times and abandonment chances (meanTimeRow), for
// the builders that walk the rows; kept by a caller that builds many models
// so that no build allocates it again. Contents are scratch.
struct PositionRowBuffers {
    std::vector<double> meanTime;
    std::vector<double> abandonProb;
    // At least r + 1 entries each (never shrinks).
    void fit(int waitingPlaces) {
        const std::size_t n = static_cast<std::size_t>(waitingPlaces) + 1;
        if (meanTime.size() < n) meanTime.resize(n);
        if (abandonProb.size() < n) abandonProb.resize(n);
    }
};

// The same into `t`, reusing the capacity of its vectors and `rows`; the
// same values.
void buildQueuePositionTablesInto(QueuePositionTables& t, PositionRowBuffers& rows, int servers, int waitingPlaces,
                                  double serviceRate, const std::vector<double>& hazardRate,
                                  const std::vector<double>& cumulativeAbandonRate);

}  // namespace queuecalc
