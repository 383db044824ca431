#pragma once
// The Euler algorithm for the numerical inversion of a Laplace transform:
// J. Abate and W. Whitt, "A unified framework for numerically inverting
// Laplace transforms", INFORMS Journal on Computing 18(4), 408-421 (2006),
// section 5 (Euler summation of the Fourier series of the Bromwich integral).
//
//   f(t) ~ (10^(M/3) / t) sum_{k=0..2M} eta_k Re G(beta_k / t),
//   beta_k = M ln(10)/3 + i k pi,  eta_k = (-1)^k xi_k,
//   xi_0 = 1/2, xi_1 .. xi_M = 1, xi_2M = 2^-M,
//   xi_{2M-k} = xi_{2M-k+1} + 2^-M C(M, k), k = 1 .. M-1.
//
// Domain: t > 0, functions smooth on (0, inf) whose transform has no
// singularity right of Re z = 0. Accuracy: about M/3 significant digits in
// exact arithmetic, but in double precision the terms are of order 1 and are
// scaled by 10^(M/3) after summing, so rounding error grows as
// 10^(M/3) * 1e-16: the best accuracy, about 1e-7 absolute, is reached near
// M = 20 .. 36, and beyond M of about 36 each three more terms lose a digit
// (M = 64 gives values off by thousands). WaitingTimeCurves::termMagnitude
// measures this at run time.

#include <vector>

#include "inversion/inversion.h"
#include "inversion/transform.h"

namespace queuecalc {

struct EulerRule {
    std::vector<double> weights;        // xi_0 .. xi_2M
    InversionNodes nodes;               // beta_0 .. beta_2M
    std::vector<double> signedWeights;  // eta_k
};

// The weights, nodes and signed weights for M >= 1 terms from row M of the
// binomial table (C(M, 0) .. C(M, M); entries 1 .. M-1 are read, as they stand).
// Throws std::invalid_argument when the row has fewer than M entries.
EulerRule buildEulerRule(int inversionTerms, const std::vector<double>& binomialRow);

// P(0 < W <= t, S) at each moment t > 0 by the rule above, and
// P(W <= t | S) = (P(0 < W <= t, S) + noWaitProb) / servedProb. The curves
// are stored as computed (no clamping to [0, 1]).
WaitingTimeCurves invertEuler(const TransformModel& model, const EulerRule& rule,
                              int inversionTerms, const std::vector<double>& moments,
                              double noWaitProb, double servedProb,
                              TransformEngine engine = TransformEngine::Fast,
                              const ProgressCallback& progress = ProgressCallback());

}  // namespace queuecalc
