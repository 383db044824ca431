#pragma once
// The exact model of the queue: M/M/s/(s+r)+GI solved as it is, for any
// patience distribution, beside the birth-and-death chain (model/chain.h),
// which approximates it by the patience hazard at k / lambda and is exact for
// exponential patience only.
//
// What it computes. Poisson arrivals (lambda), s agents with exponential
// talk times (mu), r waiting places beyond the agents (a caller who finds
// s + r present is lost), FCFS, and independent patience tau ~ G for each
// admitted caller, who leaves when its wait reaches tau. V is the wait a
// caller would have if it never hung up; it has an atom E_s / D at 0 and,
// for w > 0, the density
//
//     f_V(w) = (s mu / D) K(w),   K(w) = exp(lambda H(w) - s mu w) Q_r(lambda H(w)),
//
// with H(w) = int_0^w Gbar, Q_r(z) = P(Poisson(z) <= r - 1), E_s = sum_{j<s}
// pi_j / pi_s and D = E_s + s mu int K. A caller is served iff V <= tau, and
// then W = V. Every measure is a one-dimensional integral over w of K times
// Gbar, G, w, w^2, m_1(w) = int_0^w y g(y) dy or m_2(w); P(Loss) has its own
// integrand. The derivation is in exact_queue.md beside this file.
//
// Method. Gauss-Kronrod (10/21 points, Boost.Math's tables) on intervals
// placed by the shape of psi = ln K, which is concave: from its mode outward
// to where psi has fallen by 45, refined where an interval's Gauss-Kronrod
// difference exceeds its share of the tolerance. Each node is evaluated once
// for every integrand. P(Loss), whose integrand may peak far beyond K's
// intervals, gets its own where it needs them. Logs throughout (psi is
// shifted by its maximum, every ratio formed after dividing by its largest
// part), so that tens of thousands of agents neither overflow nor lose
// digits; double where the magnitudes allow (r <= 500, |lambda H| + s mu w <=
// 600), long double otherwise (a build with QUEUECALC_DOUBLE_ONLY, for
// WebAssembly, takes the double path for every input, its bounds widened
// where it leaves those limits). Special functions from Boost.Math (gamma_q,
// gamma_p, gamma_p_derivative, erfc, lgamma). Derivation, numerics and the
// proofs of the bounds: exact_queue.md beside this file.
//
// Accuracy (the error terms of ExactQueueResult):
//  - the truncated tail beyond the last interval: a rigorous bound (psi falls
//    at least linearly there, exact_queue.md section 5);
//  - the quadrature: the Gauss-Kronrod difference, which estimates the error
//    of the 10-point Gauss rule and so overstates that of the 21-point rule
//    used; an estimate, not a certificate, held against 50-digit references
//    in the tests;
//  - the special functions and the arithmetic: a few ulp of long double per
//    node, a relative 1e-15 added per value.
// Measured against 50-digit references (1 to 20,000 agents, rooms up to
// 13,376): errors of a few 1e-16 relative, at most 0.13 of the stated bound.
//
// Where it applies: every input that validateModelInput accepts. Exponential
// patience of rate 0 and Erlang of phase rate 0 mean nobody abandons; s = 0
// means nobody is served (every admitted caller abandons at its patience).
// The lognormal uses the true erfc, not the chain's approximation of erf.
//
// Threads: a pure function; any number of calls may run at once.

#include <vector>

#include "input/model_input.h"
#include "model/performance.h"

namespace queuecalc {

struct ExactQueueResult {
    // The fifteen measures, with the chain's meanings (probabilities other
    // than lossProb of admitted callers, each within [0, 1]; the moments
    // given S or A are quotients, NaN where nobody is served or nobody
    // abandons).
    PerformanceMeasures measures;
    // A bound of the absolute error of each of the fifteen (0 for rho, which
    // is formed as lambda / (s mu)).
    PerformanceMeasures bounds;
    // At each requested moment t, in the order given:
    std::vector<double> joint;             // P(0 < W <= t, S), within [0, 1]
    std::vector<double> conditional;       // P(W <= t | S), within [0, 1]
    std::vector<double> jointBound;        // bounds of their absolute errors
    std::vector<double> conditionalBound;
    int intervals = 0;  // quadrature intervals used (for benchmarks and tests)
};

// Solves the queue of a validated input at the moments (each > 0 and
// finite; any order, repeats allowed). Each value depends on its own moment
// alone, and the measures on none: the same bits whatever else is asked. Reads servers, waitingPlaces,
// serviceRate, arrivalRate and the patience (type, abandonParam1,
// abandonParam2) only. Throws std::invalid_argument for a moment that is not
// > 0 and finite, std::bad_alloc.
ExactQueueResult solveExactQueue(const ModelInput& validatedInput, const std::vector<double>& moments);

}  // namespace queuecalc
