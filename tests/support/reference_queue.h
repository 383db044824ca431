#pragma once
// An independent long-double model of the M/M/s/r+M call centre (exponential
// patience with a constant hazard theta), used to cross-check the calculator.
//
// Nothing here is shared with the library, and every quantity is reached by a
// different route than the library's own:
//  - the stationary distribution is the product form p_i ~ lambda^i / (d_1 ... d_i),
//    built from state 0 upward (the library anchors at state s and walks both ways);
//  - the admitted distribution divides by the sum of the admitted states' weights
//    (the library divides by 1 - loss);
//  - the waiting-time moments come from a dynamic programme over the steps of a
//    joining position that carries (probability, E[T 1], E[T^2 1]) of "still
//    waiting" (the library sums step means and squared step means);
//  - P(A) is summed from its own terms (the library takes 1 - P(S));
//  - P(0 < W <= t, S) is formed in the time domain by uniformisation (the library
//    inverts a Laplace transform).

#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <vector>

namespace queuecalc {
namespace reference {

using real = long double;

struct CallCentre {
    int servers = 0;          // s
    int waitingPlaces = 0;    // r
    real abandonRate = 0;     // theta, the constant patience hazard
    real arrivalRate = 0;     // lambda
    real serviceRate = 0;     // mu
};

// The same centre from any test case with the fields servers, waitingPlaces,
// abandonRate, arrivalRate and serviceRate.
template <class Case>
CallCentre callCentreOf(const Case& c) {
    CallCentre cc;
    cc.servers = c.servers;
    cc.waitingPlaces = c.waitingPlaces;
    cc.abandonRate = c.abandonRate;
    cc.arrivalRate = c.arrivalRate;
    cc.serviceRate = c.serviceRate;
    return cc;
}

// The fifteen measures with the same meaning as the calculator's.
struct Measures {
    real rho = 0;
    real lossProb = 0;
    real noWaitProb = 0;
    real servedProb = 0;
    real abandonProb = 0;
    real partialMeanServed = 0;
    real partialSecondMomentServed = 0;
    real meanWaitServed = 0;
    real secondMomentServed = 0;
    real varianceServed = 0;
    real partialMeanAbandon = 0;
    real partialSecondMomentAbandon = 0;
    real meanWaitAbandon = 0;
    real secondMomentAbandon = 0;
    real varianceAbandon = 0;
};

// Death rate of state i: busy servers times mu plus theta per waiting customer.
inline real deathRate(const CallCentre& cc, int i) {
    const int busy = i < cc.servers ? i : cc.servers;
    const int waiting = i > cc.servers ? i - cc.servers : 0;
    return static_cast<real>(busy) * cc.serviceRate + static_cast<real>(waiting) * cc.abandonRate;
}

// pi_i for i = 0 .. s + r, from p_0 = 1 and p_i = p_{i-1} lambda / d_i.
inline std::vector<real> stationaryDistribution(const CallCentre& cc) {
    const int n = cc.servers + cc.waitingPlaces;
    std::vector<real> p(static_cast<std::size_t>(n) + 1);
    p[0] = 1;
    for (int i = 1; i <= n; ++i) p[i] = p[i - 1] * cc.arrivalRate / deathRate(cc, i);
    real total = 0;
    for (int i = n; i >= 0; --i) total += p[i];  // smallest weights first
    for (real& x : p) x /= total;
    return p;
}

// The state an admitted arrival finds: pi_i renormalised over i < s + r.
inline std::vector<real> admittedDistribution(const CallCentre& cc) {
    std::vector<real> pi = stationaryDistribution(cc);
    pi.pop_back();
    real admitted = 0;
    for (int i = static_cast<int>(pi.size()) - 1; i >= 0; --i) admitted += pi[i];
    for (real& x : pi) x /= admitted;
    return pi;
}

// Rate of step j (1-based) of a customer who joined at waiting position k:
// all servers plus its own and the k - j customers ahead of it.
inline real stepRate(const CallCentre& cc, int k, int j) {
    return static_cast<real>(cc.servers) * cc.serviceRate +
           static_cast<real>(k - j + 1) * cc.abandonRate;
}

// Outcome of a joining position: mass and first two partial moments of the
// waiting time on the served and on the abandoning branch.
struct PositionOutcome {
    real served = 0, servedM1 = 0, servedM2 = 0;
    real abandon = 0, abandonM1 = 0, abandonM2 = 0;
};

// Dynamic programme over the steps: (P, E[T 1], E[T^2 1]) of still waiting.
// Adding an independent Exp(c) duration D to T on that event:
//   E[(T+D) 1] = E[T 1] + P / c,  E[(T+D)^2 1] = E[T^2 1] + 2 E[T 1] / c + 2 P / c^2.
// The step then ends in the customer's own abandonment with probability
// theta / c, otherwise (a service or an abandonment ahead) it moves up.
inline PositionOutcome positionOutcome(const CallCentre& cc, int k) {
    PositionOutcome out;
    real p = 1, m1 = 0, m2 = 0;
    for (int j = 1; j <= k; ++j) {
        const real c = stepRate(cc, k, j);
        m2 = m2 + 2 * m1 / c + 2 * p / (c * c);
        m1 = m1 + p / c;
        const real own = cc.abandonRate / c;
        const real other = (static_cast<real>(cc.servers) * cc.serviceRate +
                            static_cast<real>(k - j) * cc.abandonRate) / c;
        out.abandon += own * p;
        out.abandonM1 += own * m1;
        out.abandonM2 += own * m2;
        p *= other;
        m1 *= other;
        m2 *= other;
    }
    out.served = p;
    out.servedM1 = m1;
    out.servedM2 = m2;
    return out;
}

inline Measures measures(const CallCentre& cc) {
    Measures m;
    const int s = cc.servers;
    const int r = cc.waitingPlaces;
    m.rho = cc.arrivalRate / (static_cast<real>(s) * cc.serviceRate);
    m.lossProb = stationaryDistribution(cc).back();
    const std::vector<real> a = admittedDistribution(cc);
    for (int i = 0; i < s; ++i) m.noWaitProb += a[i];
    m.servedProb = m.noWaitProb;
    for (int k = 1; k <= r; ++k) {
        const PositionOutcome o = positionOutcome(cc, k);
        const real found = a[static_cast<std::size_t>(s + k - 1)];
        m.servedProb += found * o.served;
        m.partialMeanServed += found * o.servedM1;
        m.partialSecondMomentServed += found * o.servedM2;
        m.abandonProb += found * o.abandon;
        m.partialMeanAbandon += found * o.abandonM1;
        m.partialSecondMomentAbandon += found * o.abandonM2;
    }
    m.meanWaitServed = m.partialMeanServed / m.servedProb;
    m.secondMomentServed = m.partialSecondMomentServed / m.servedProb;
    m.varianceServed = m.secondMomentServed - m.meanWaitServed * m.meanWaitServed;
    m.meanWaitAbandon = m.partialMeanAbandon / m.abandonProb;
    m.secondMomentAbandon = m.partialSecondMomentAbandon / m.abandonProb;
    m.varianceAbandon = m.secondMomentAbandon - m.meanWaitAbandon * m.meanWaitAbandon;
    return m;
}

// ---------------------------------------------------------------------------
// Sums of independent exponential durations.

// P(D_1 + ... + D_n <= t) for D_i ~ Exp(rates[i]), all rates distinct:
// 1 - sum_j (prod_{i != j} c_i / (c_i - c_j)) e^{-c_j t}. Cancels badly as n
// grows; kept for small n, to check the uniformised form.
inline real hypoexponentialCdfDistinct(const std::vector<real>& rates, real t) {
    real tail = 0;
    for (std::size_t j = 0; j < rates.size(); ++j) {
        real coefficient = 1;
        for (std::size_t i = 0; i < rates.size(); ++i)
            if (i != j) coefficient *= rates[i] / (rates[i] - rates[j]);
        tail += coefficient * std::exp(-rates[j] * t);
    }
    return 1 - tail;
}

// Probability weights e^{-x} x^n / n! for n = 0, 1, ..., cut where the rest of
// the series is below 1e-18 (beyond n >= x the tail after n is at most
// w_n q / (1 - q) with q = x / (n + 1)).
inline std::vector<real> poissonWeights(real x) {
    if (!(x >= 0) || x > 10000) throw std::domain_error("poissonWeights: mean out of range");
    const real cutoff = 1e-18L;
    std::vector<real> w{std::exp(-x)};
    for (int n = 1;; ++n) {
        w.push_back(w.back() * x / static_cast<real>(n));
        const real q = x / static_cast<real>(n + 1);
        if (static_cast<real>(n) >= x && q < 1 && w.back() * q / (1 - q) < cutoff) break;
    }
    return w;
}

// The phases of a hypoexponential sum as a chain uniformised at a rate
// uniformRate >= every rate: per tick, phase i moves on with probability
// rates[i] / uniformRate. absorbed() is the probability of having passed every
// phase within the ticks taken so far. Every quantity is a probability and
// every update adds non-negative terms, so nothing cancels.
class UniformisedPhases {
public:
    UniformisedPhases(std::vector<real> rates, real uniformRate)
        : move_(rates.size()), stay_(rates.size()), mass_(rates.size() + 1, 0) {
        for (std::size_t i = 0; i < rates.size(); ++i) {
            move_[i] = rates[i] / uniformRate;
            stay_[i] = (uniformRate - rates[i]) / uniformRate;
        }
        mass_[0] = 1;
    }
    void tick() {
        const std::size_t n = move_.size();
        if (n == 0) return;
        mass_[n] += mass_[n - 1] * move_[n - 1];
        for (std::size_t i = n - 1; i >= 1; --i)
            mass_[i] = mass_[i] * stay_[i] + mass_[i - 1] * move_[i - 1];
        mass_[0] *= stay_[0];
    }
    real absorbed() const { return mass_.back(); }

private:
    std::vector<real> move_, stay_, mass_;
};

// P(D_1 + ... + D_n <= t) by uniformisation at the largest rate.
inline real hypoexponentialCdfUniformised(const std::vector<real>& rates, real t) {
    real top = 0;
    for (real c : rates) top = c > top ? c : top;
    if (rates.empty()) return 1;
    UniformisedPhases chain(rates, top);
    const std::vector<real> w = poissonWeights(top * t);
    real sum = 0;
    for (std::size_t n = 0; n < w.size(); ++n) {
        sum += w[n] * chain.absorbed();
        chain.tick();
    }
    return sum;
}

// ---------------------------------------------------------------------------
// J(t) = P(0 < W <= t, S) = sum_k a_{s+k-1} reach_k P(sum of the k step durations <= t).
// All positions are uniformised at the one rate s mu + r theta (the largest
// step rate), so that they share the Poisson weights:
//   J(t) = sum_n Pois(n; Lambda t) B(n),  B(n) = sum_k a_{s+k-1} reach_k A_k(n).
inline std::vector<real> jointWaitingCurve(const CallCentre& cc, const std::vector<double>& times) {
    const int s = cc.servers;
    const int r = cc.waitingPlaces;
    std::vector<real> curve(times.size(), 0);
    if (r == 0) return curve;
    const std::vector<real> a = admittedDistribution(cc);
    const real uniformRate = stepRate(cc, r, 1);
    std::vector<real> weight(static_cast<std::size_t>(r) + 1, 0);
    std::vector<UniformisedPhases> chains;
    for (int k = 1; k <= r; ++k) {
        weight[k] = a[static_cast<std::size_t>(s + k - 1)] * positionOutcome(cc, k).served;
        std::vector<real> rates;
        for (int j = 1; j <= k; ++j) rates.push_back(stepRate(cc, k, j));
        chains.emplace_back(rates, uniformRate);
    }
    std::vector<real> absorbedMix;  // B(n), grown on demand
    auto mixAt = [&](std::size_t n) {
        while (absorbedMix.size() <= n) {
            if (!absorbedMix.empty())
                for (UniformisedPhases& c : chains) c.tick();
            real b = 0;
            for (int k = r; k >= 1; --k) b += weight[k] * chains[k - 1].absorbed();
            absorbedMix.push_back(b);
        }
        return absorbedMix[n];
    };
    for (std::size_t m = 0; m < times.size(); ++m) {
        const std::vector<real> w = poissonWeights(uniformRate * static_cast<real>(times[m]));
        real sum = 0;
        for (std::size_t n = 0; n < w.size(); ++n) sum += w[n] * mixAt(n);
        curve[m] = sum;
    }
    return curve;
}

}  // namespace reference
}  // namespace queuecalc
