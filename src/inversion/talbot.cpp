#include "inversion/talbot.h"

#include <algorithm>
#include <cmath>

#include "core/constants.h"

namespace queuecalc {

// Fixed Talbot contour with M points: delta_0 = 2M/5, and for k = 1 .. M-1
//   delta_k = (2 k pi / 5) (cot(k pi / M) + i),
//   gamma_k = e^delta_k (1 + i sigma_k),
//   sigma_k = (k pi / M)(1 + cot^2(k pi / M)) - cot(k pi / M),
// gamma_0 = e^delta_0 / 2. cot is 1 / tan; for even M the node k = M/2 has
// theta = pi/2 in double precision, whose tangent is huge but finite, so cot
// is practically 0 and needs no special case.
void buildTalbotNodes(int inversionTerms, TalbotCurves& curves) {
    const int M = inversionTerms;
    const std::size_t count = static_cast<std::size_t>(M);
    curves.nodesRe.assign(count, 0.0);
    curves.nodesIm.assign(count, 0.0);
    curves.weightsRe.assign(count, 0.0);
    curves.weightsIm.assign(count, 0.0);

    curves.nodesRe[0] = (M + M) / 5.0;
    curves.nodesIm[0] = 0;
    curves.weightsRe[0] = 0.5 * std::exp(curves.nodesRe[0]);
    curves.weightsIm[0] = 0;
    for (int k = 1; k <= M - 1; ++k) {
        const double theta = k * kPi / M;
        const double cot = 1 / std::tan(theta);
        const double im = k * 1.2566370614359172;  // 2 pi / 5
        const double re = im * cot;
        const double sigma = theta * (1 + cot * cot) - cot;
        const double E = std::exp(re);
        const double c = std::cos(im);
        const double sn = std::sin(im);
        curves.nodesRe[k] = re;
        curves.nodesIm[k] = im;
        curves.weightsRe[k] = E * c - sigma * (E * sn);
        curves.weightsIm[k] = E * sn + sigma * (E * c);
    }
}

// P(0 < W <= t, S) ~ (2 / (5t)) sum_{k=0..M-1} Re(gamma_k G(delta_k / t)),
// the fixed Talbot algorithm, then the conditional curve as for Euler. The
// sum runs in node order in the curve entry itself, is multiplied by 0.4 and
// then divided by t; the transform values are evaluated side by side.
TalbotCurves computeTalbotCurves(int inversionTerms, const std::vector<double>& timeGrid,
                                 double noWaitProb, double servedProb,
                                 const TransformModel& model, TransformEngine engine) {
    TalbotCurves curves;
    buildTalbotNodes(inversionTerms, curves);
    const std::size_t moments = timeGrid.size();
    curves.jointCurve.assign(moments, 0.0);
    curves.conditionalCurve.assign(moments, 0.0);

    const std::size_t nodes = curves.nodesRe.size();
    std::vector<Complex> g;
    for (std::size_t first = 0; first < moments; first += kMomentsPerBatch) {
        const std::size_t last = std::min(moments, first + kMomentsPerBatch);
        evaluateAtMoments(model, timeGrid, first, last, curves.nodesRe, curves.nodesIm, g, engine);
        for (std::size_t n = first; n < last; ++n) {
            const double t = timeGrid[n];
            double& joint = curves.jointCurve[n];
            joint = 0;
            for (std::size_t k = 0; k < nodes; ++k) {
                const Complex& v = g[(n - first) * nodes + k];
                joint = joint + (curves.weightsRe[k] * v.re - curves.weightsIm[k] * v.im);
            }
            joint = joint * 0.4 / t;
            curves.conditionalCurve[n] = (joint + noWaitProb) / servedProb;
        }
    }
    return curves;
}

}  // namespace queuecalc
