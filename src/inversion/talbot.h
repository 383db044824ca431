#pragma once
// The fixed Talbot algorithm for the numerical inversion of a Laplace
// transform: J. Abate and P. P. Valko, "Multi-precision Laplace transform
// inversion", International Journal for Numerical Methods in Engineering 60,
// 979-993 (2004), in the form of J. Abate and W. Whitt, "A unified framework
// for numerically inverting Laplace transforms", INFORMS Journal on Computing
// 18(4), 408-421 (2006), section 4:
//
//   f(t) ~ (2 / (5t)) sum_{k=0..M-1} Re(gamma_k G(delta_k / t)),
//   delta_0 = 2M/5, delta_k = (2 k pi / 5)(cot(k pi / M) + i),
//   gamma_0 = e^delta_0 / 2, gamma_k = e^delta_k (1 + i sigma_k),
//   sigma_k = (k pi / M)(1 + cot^2(k pi / M)) - cot(k pi / M).
//
// Domain: t > 0; the transform must be analytic left of the contour, which
// the waiting-time transform is (its poles -c lie on the negative axis).
// Accuracy: about 0.6 M significant digits when the contour encloses the
// poles well. Known failure: the contour is fixed in scale (M / t), so for
// large call centres (hundreds of agents and waiting places, step rates in
// the hundreds) and M = 32 it misses at moderate t, and the curve leaves
// [0, 1] (examples/large: values up to 1e82 from t = 0.075 on; s = 100,
// r = 100, lambda = 105: 1.07 at t = 0.63). M = 48 or 64 resolves those;
// M = 96 fails again on the largest. Compare with the Euler column.

#include <vector>

#include "inversion/inversion.h"
#include "inversion/transform.h"

namespace queuecalc {

struct TalbotRule {
    InversionNodes nodes;            // delta_k
    std::vector<double> weightsRe;   // gamma_k
    std::vector<double> weightsIm;
};

// The nodes and weights for M >= 1 points.
TalbotRule buildTalbotRule(int inversionTerms);

// P(0 < W <= t, S) at each moment t > 0 by the rule above, and the
// conditional curve as for Euler. Stored as computed.
WaitingTimeCurves invertTalbot(const TransformModel& model, const TalbotRule& rule,
                               const std::vector<double>& moments, double noWaitProb,
                               double servedProb, TransformEngine engine = TransformEngine::Fast,
                               const ProgressCallback& progress = ProgressCallback());

}  // namespace queuecalc
