#include "inversion/euler.h"

#include <algorithm>
#include <cmath>

#include "core/constants.h"

namespace queuecalc {

// Euler weights xi_k for M terms: xi_0 = 1/2, xi_1 .. xi_M = 1, xi_2M = 2^-M
// and, from the right, xi_{2M-k} = xi_{2M-k+1} + 2^-M C(M, k) for
// k = 1 .. M-1, i.e. the binomial tail sums of the Euler summation of the
// alternating series. The coefficients are read from row M of the table as
// they stand. Nodes beta_k = M ln(10)/3 + i k pi; signed weights
// eta_k = (-1)^k xi_k.
void buildEulerWeights(int inversionTerms, const BinomialTable& table, EulerCurves& curves) {
    const int M = inversionTerms;
    const std::size_t count = 2 * static_cast<std::size_t>(M) + 1;
    curves.weights.assign(count, 0.0);
    curves.nodesRe.assign(count, 0.0);
    curves.nodesIm.assign(count, 0.0);
    curves.signedWeights.assign(count, 0.0);

    std::vector<double>& xi = curves.weights;
    xi[0] = 0.5;
    for (int k = 1; k <= M; ++k) xi[k] = 1;
    const double tail = std::ldexp(1.0, -M);  // 2^-M, exact
    xi[2 * M] = tail;
    for (int k = 1; k <= M - 1; ++k) xi[2 * M - k] = xi[2 * M - k + 1] + tail * table.rows[M][k];

    const double A = std::log(10.0) * M / 3.0;
    for (int k = 0; k <= 2 * M; ++k) {
        curves.nodesRe[k] = A;
        curves.nodesIm[k] = k * kPi;
        curves.signedWeights[k] = (1 - 2 * (k % 2)) * xi[k];
    }
}

// P(0 < W <= t, S) ~ (10^(M/3) / t) sum_{k=0..2M} eta_k Re G(beta_k / t),
// the Euler algorithm for the inversion of the Laplace transform G, and
// P(W <= t | S) = (P(0 < W <= t, S) + P(W = 0)) / P(S). The terms of the sum
// are of order 1 and cancel down to order 1e-11 before the scaling, so the
// sum runs in node order, in the curve entry itself, exactly as written;
// only the independent transform values are evaluated side by side.
// Accurate to about M/3 significant digits for smooth distributions; the
// curves are stored as computed (no clamping to [0, 1]).
EulerCurves computeEulerCurves(int inversionTerms, const BinomialTable& table,
                               const std::vector<double>& timeGrid, double noWaitProb,
                               double servedProb, const TransformModel& model,
                               TransformEngine engine) {
    EulerCurves curves;
    buildEulerWeights(inversionTerms, table, curves);
    const std::size_t moments = timeGrid.size();
    curves.jointCurve.assign(moments, 0.0);
    curves.conditionalCurve.assign(moments, 0.0);

    const std::size_t nodes = curves.weights.size();
    const double scale = std::pow(10.0, inversionTerms / 3.0);
    std::vector<Complex> g;
    for (std::size_t first = 0; first < moments; first += kMomentsPerBatch) {
        const std::size_t last = std::min(moments, first + kMomentsPerBatch);
        evaluateAtMoments(model, timeGrid, first, last, curves.nodesRe, curves.nodesIm, g, engine);
        for (std::size_t n = first; n < last; ++n) {
            const double t = timeGrid[n];
            double& joint = curves.jointCurve[n];
            joint = 0;
            for (std::size_t k = 0; k < nodes; ++k)
                joint = joint + curves.signedWeights[k] * g[(n - first) * nodes + k].re;
            joint = scale * joint / t;
            curves.conditionalCurve[n] = (joint + noWaitProb) / servedProb;
        }
    }
    return curves;
}

}  // namespace queuecalc
