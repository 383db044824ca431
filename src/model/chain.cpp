#include "model/chain.h"

#include <algorithm>
#include <cmath>

namespace queuecalc {

namespace {

// Weights beyond the range of doubles. A lightly loaded centre with many
// agents (s = 200, lambda = mu = 1: p_0 / p_s = 200!) or an overloaded one
// with a long queue makes the plain recursion overflow, and the total turns
// the whole distribution into NaN. Then the same recursion is run again on
// weights held as m * 2^e with m in [1/2, 1), in extended precision so that
// one step's factor (as large as 2^2000 with extreme rates) cannot overflow
// before m is scaled back; the weights are then brought to a common scale
// (the largest one becomes 1) before they are summed. Only used when the
// plain weights are not finite, so every run the plain arithmetic can carry
// keeps its exact results. Returns false, leaving the weights alone, where no
// proper distribution exists (a death rate of 0, or rates beyond even the
// extended range).
bool rescaledWeights(int s, int top, double arrivalRate, const std::vector<double>& deathRate,
                     std::vector<double>& p, double& total) {
    for (int i = 1; i <= top; ++i)
        if (!(deathRate[i] > 0) || !std::isfinite(deathRate[i])) return false;
    if (!(arrivalRate > 0) || !std::isfinite(arrivalRate)) return false;

    std::vector<long double> m(p.size());
    std::vector<long> e(p.size(), 0);
    const auto step = [&](int i, int from, long double factor) {
        const long double value = m[from] * factor;
        if (!std::isfinite(value) || !(value > 0)) return false;
        int shift = 0;
        m[i] = std::frexp(value, &shift);
        e[i] = e[from] + shift;
        return true;
    };
    m[s] = 0.5L;
    e[s] = 1;
    const long double lambda = arrivalRate;
    for (int i = s + 1; i <= top; ++i)
        if (!step(i, i - 1, lambda / deathRate[i])) return false;
    for (int i = s - 1; i >= 0; --i)
        if (!step(i, i + 1, deathRate[i + 1] / lambda)) return false;

    long largest = e[0];
    for (int i = 0; i <= top; ++i) largest = std::max(largest, e[i]);
    const auto scaled = [&](int i) {
        const long shift = e[i] - largest;  // <= 0; beyond -1100 the weight is 0 as a double
        return shift < -1100 ? 0.0 : static_cast<double>(std::ldexp(m[i], static_cast<int>(shift)));
    };
    total = 0;
    for (int i = s; i <= top; ++i) { p[i] = scaled(i); total = total + p[i]; }
    for (int i = s - 1; i >= 0; --i) { p[i] = scaled(i); total = total + p[i]; }
    return true;
}

}  // namespace

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
    ChainSolution c;
    solveChainInto(c, servers, waitingPlaces, serviceRate, arrivalRate, cumulativeAbandonRate);
    return c;
}

void solveChainInto(ChainSolution& c, int servers, int waitingPlaces, double serviceRate, double arrivalRate,
                    const std::vector<double>& cumulativeAbandonRate) {
    const int s = servers;
    const int r = waitingPlaces;
    const int top = s + r;
    const std::size_t size = static_cast<std::size_t>(top) + 1;
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

    if (!std::isfinite(total)) rescaledWeights(s, top, arrivalRate, c.deathRate, p, total);

    for (int i = 0; i <= top; ++i) c.stationaryDist[i] = p[i] / total;
    c.lossProb = c.stationaryDist[top];
    const double admitted = 1 - c.lossProb;
    for (int i = 0; i <= top; ++i) c.admittedDist[i] = c.stationaryDist[i] / admitted;
}

}  // namespace queuecalc
