#pragma once
// The waiting-time distribution of served callers computed exactly, by
// uniformization, with a certified bound on the absolute error of every value.
//
// What it computes. A caller who joins the queue at position k (1 <= k <= r)
// and is served waits k independent exponential steps with rates
//   rho_kj = s mu + (C_k - C_{j-1}),  j = 1 .. k,
// C the cumulative abandonment rates. So
//   J(t) = P(0 < W <= t, S) = sum_k w_k F_k(t),   w_k = a_{s+k-1} reachServiceProb[k],
// F_k the distribution function of the row's sum of steps: the same quantity
// whose Laplace transform G(z) = F(z) / z the Euler and Talbot inversions
// invert (inversion/transform.h), and
//   P(W <= t | S) = (J(t) + P(W = 0)) / P(S).
//
// Method (exact_waiting.md gives the derivation and the proof of the bound).
// Row k is uniformized at its largest rate Lambda_k = s mu + C_k: its number
// of events N_k = k + (self-loops), with
//   P(N_k = k + m) = pi_k h_m(C_1 .. C_{k-1}) / Lambda_k^m,
//   pi_k = prod_j rho_kj / Lambda_k,
// h_m the complete homogeneous symmetric polynomials. They nest in k,
//   h_m(C_1..C_k) = h_m(C_1..C_{k-1}) + C_k h_{m-1}(C_1..C_k),
// so one sweep over the rows, O(M) per row, gives every row's law, and
//   F_k(t) = sum_n Poisson(n; Lambda_k t) P(N_k <= n).
// Every term is non-negative; the Poisson weights are formed in log space at
// the window's first point (Stirling's series with its remainder) and by
// their ratios from there. The value at a moment depends on that moment alone.
//
// Certified bound. For each value the result carries an upper bound of its
// absolute error against the exact value on the model's double data (s, mu,
// the doubles C_k and w_k, P(W = 0) and P(S) as the model holds them): the
// Poisson tails dropped outside each window (Chernoff/Bernstein bounds), the
// rows left out (their weights), a row's mass that is beyond reach or already
// complete at t (Erlang comparison), and the rounding of every operation (all
// terms non-negative, so relative errors add along each term's chain of
// operations). It assumes the libm functions expl, logl, log1pl are within 4
// units in the last place (glibc lists 1 to 2).
//
// Domain: every C_k finite, 0 = C_0 <= C_1 <= ... <= C_r (hazard rates >= 0),
// s mu > 0 finite, w_k >= 0 finite; moments >= 0 and finite (t = 0 gives
// J = 0 exactly). Any r (r = 0 gives J = 0), zero hazards (Erlang C rows),
// large Lambda t (time and memory grow with the window, about
// sqrt(Lambda t), per row and moment; rows whose steps all surely end
// before t cost nothing). Outside the domain (a negative hazard, a value that
// is not finite, a row still running where Lambda t >= 2^26 events)
// `applicable` is false and the values are NaN.
//
// One death chain. With exponential patience every row is a stretch of one
// pure-death chain: row k's step rates are s mu + C_i, i = k .. 1, up to the
// rounding of the running sum C. Then J(t) is the chance that the chain,
// started from the weights w, is absorbed by t, and one uniformization at
// Lambda_r, O(r) per event and shared by every moment, gives it. The rows'
// own rates differ from the chain's by the C_k's rounding; their effect on J
// is bounded (|dF/d rate| <= 1 / (e rate)) and added to the bound. The top
// states, as far as their weights add up to tolerance/16, are left out. The
// path runs when the deviation is within an eighth of the tolerance (always
// when C_k = k C_1 exactly), else the rows run; `method` says which.
//
// Precision. Extended (long double, 64-bit significand, on x86-64 Linux and
// MinGW) where the platform has it; otherwise, or on request, double, with a
// bound about 2000 times wider. `precision` says which path ran.
//
// Cost, rows: about (k_max M) for the sweep, k_max^2 / 2 for the row
// constants pi_k, and sum over rows and moments of the Poisson window; the
// moments are spread over threads. Death chain: r per event up to the last
// window's end (or until the chain is absorbed within the tolerance), on
// one thread, only the states that can still be absorbed in time, and one
// window per moment. Every value has the same bits on any number of
// threads and whatever the other moments.

#include <vector>

#include "inversion/transform.h"

namespace queuecalc {

// The O(r) data of one call centre the method reads.
struct ExactWaitingModel {
    int servers = 0;
    int waitingPlaces = 0;
    double serviceRate = 0;
    std::vector<double> cumulativeAbandonRate;  // r + 1, [0] = 0
    std::vector<double> positionWeight;         // r + 1, w_k (the transform's weights); [0] unused
    double noWaitProb = 0;                      // P(W = 0)
    double servedProb = 0;                      // P(S)
};

enum class ExactPrecision {
    Extended,  // long double where it is wider than double, else Double
    Double,
};

struct ExactWaitingOptions {
    // Target for the truncation error of each joint value (the rounding error
    // comes on top; both are in the bound).
    double tolerance = 1e-14;
    ExactPrecision precision = ExactPrecision::Extended;
    // Scalar and FastOneThread run on the calling thread; Fast spreads the
    // moments over the processor's threads.
    TransformEngine engine = TransformEngine::Fast;
    // false: always the rows (tests compare the two paths).
    bool allowDeathChain = true;
};

enum class ExactMethod {
    Rows,        // one uniformization per row, nested self-loop laws
    DeathChain,  // one uniformization of the death chain all rows share
};

struct ExactWaitingCurves {
    std::vector<double> joint;             // P(0 < W <= t, S)
    std::vector<double> conditional;       // P(W <= t | S)
    std::vector<double> jointBound;        // |error of joint| <= jointBound
    std::vector<double> conditionalBound;  // |error of conditional| <= conditionalBound
    ExactPrecision precision = ExactPrecision::Extended;  // the precision that ran
    ExactMethod method = ExactMethod::Rows;               // the path that ran
    bool applicable = true;  // false: data outside the domain; values NaN, bounds inf
};

// Whether long double is wider than double here (the extended path exists);
// false in a build with QUEUECALC_DOUBLE_ONLY.
bool exactExtendedPrecisionAvailable();

// An upper bound of |J(t) - J_chain(t)| at every t, J_chain the same sum with
// row k's step rates replaced by s mu + C_i, i = k .. 1 (one death chain):
//   sum_k w_k sum_j |(C_k - C_{j-1}) - C_{k-j+1}| / (e s mu),
// with sum_j |...| <= k e_k + 2 sum_{i<=k} e_i, e_i >= |C_i - i C_1|. Zero
// when C_i = i C_1 exactly; 0 for r = 0; inf outside the domain.
double deathChainDeviation(const ExactWaitingModel& model);

// The two curves and their bounds at `moments` (each >= 0 and finite; throws
// std::invalid_argument otherwise), in the order given.
ExactWaitingCurves exactWaitingTime(const ExactWaitingModel& model, const std::vector<double>& moments,
                                    const ExactWaitingOptions& options = ExactWaitingOptions());

}  // namespace queuecalc
