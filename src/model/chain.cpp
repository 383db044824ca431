#include "model/chain.h"

namespace queuecalc {

// Stationary distribution of the birth-and-death chain on i = 0 .. s + r
// customers: birth rate lambda below s + r, death rate i mu up to s and
// s mu + (alpha_1 + ... + alpha_{i-s}) above. The balance equations
// p_{i-1} lambda = p_i deathRate[i] are solved away from the anchor p_s = 1 in
// both directions, which keeps the weights near the likeliest states of order
// 1 for loaded systems. The total is summed in the order p_s, p_{s+1}, ...,
// p_{s+r}, p_{s-1}, ..., p_0, and every weight is divided (not multiplied by a
// reciprocal) by it: both decide the last bit of the probabilities.
ChainSolution solveChain(int servers, int waitingPlaces, double serviceRate, double arrivalRate,
                         const std::vector<double>& cumulativeAbandonRate) {
    const int s = servers;
    const int r = waitingPlaces;
    const int top = s + r;
    const std::size_t size = static_cast<std::size_t>(top) + 1;
    ChainSolution c;
    c.deathRate.assign(size, 0.0);
    c.unnormalisedDist.assign(size, 0.0);
    c.stationaryDist.assign(size, 0.0);
    c.admittedDist.assign(size, 0.0);

    c.deathRate[0] = -1.0;  // placeholder: state 0 has no death
    const double fullService = static_cast<double>(s) * serviceRate;
    for (int i = 1; i <= top; ++i) {
        c.deathRate[i] = i <= s ? static_cast<double>(i) * serviceRate
                                : fullService + cumulativeAbandonRate[i - s];
    }

    std::vector<double>& p = c.unnormalisedDist;
    p[s] = 1.0;
    double total = 1.0;
    for (int i = s + 1; i <= top; ++i) {
        p[i] = (p[i - 1] * arrivalRate) / c.deathRate[i];
        total = total + p[i];
    }
    for (int i = s - 1; i >= 0; --i) {
        p[i] = (p[i + 1] * c.deathRate[i + 1]) / arrivalRate;
        total = total + p[i];
    }

    for (int i = 0; i <= top; ++i) c.stationaryDist[i] = p[i] / total;
    c.lossProb = c.stationaryDist[top];
    const double admitted = 1 - c.lossProb;
    for (int i = 0; i <= top; ++i) c.admittedDist[i] = c.stationaryDist[i] / admitted;
    return c;
}

}  // namespace queuecalc
