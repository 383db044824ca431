#include "inversion/euler.h"

#include <cmath>
#include <stdexcept>

#include "core/constants.h"

namespace queuecalc {

// xi_{2M-k} runs from the right as the binomial tail sum; 2^-M is exact, so
// each step rounds once. The node spacing is k * pi (one product each), and
// the common real part M ln(10) / 3 is formed as written.
EulerRule buildEulerRule(int inversionTerms, const std::vector<double>& binomialRow) {
    const int M = inversionTerms;
    if (M < 1 || binomialRow.size() < static_cast<std::size_t>(M))
        throw std::invalid_argument("the Euler rule needs M >= 1 and row M of the binomial table");
    const std::size_t count = 2 * static_cast<std::size_t>(M) + 1;
    EulerRule rule;
    rule.weights.assign(count, 0.0);
    rule.nodes.re.assign(count, 0.0);
    rule.nodes.im.assign(count, 0.0);
    rule.signedWeights.assign(count, 0.0);

    std::vector<double>& xi = rule.weights;
    xi[0] = 0.5;
    for (int k = 1; k <= M; ++k) xi[k] = 1;
    const double tail = std::ldexp(1.0, -M);  // 2^-M, exact
    xi[2 * M] = tail;
    for (int k = 1; k <= M - 1; ++k) xi[2 * M - k] = xi[2 * M - k + 1] + tail * binomialRow[k];

    const double A = std::log(10.0) * M / 3.0;
    for (int k = 0; k <= 2 * M; ++k) {
        rule.nodes.re[k] = A;
        rule.nodes.im[k] = k * kPi;
        rule.signedWeights[k] = (1 - 2 * (k % 2)) * xi[k];
    }
    return rule;
}

// Each term is eta_k Re G(beta_k / t); the sum is scaled by 10^(M/3), then
// divided by t (see inversion_detail::sumAtMoments for the order).
WaitingTimeCurves invertEuler(const TransformModel& model, const EulerRule& rule,
                              int inversionTerms, const std::vector<double>& moments,
                              double noWaitProb, double servedProb, TransformEngine engine,
                              const ProgressCallback& progress) {
    const double scale = std::pow(10.0, inversionTerms / 3.0);
    const std::vector<double>& eta = rule.signedWeights;
    return inversion_detail::sumAtMoments(
        model, rule.nodes, moments, scale,
        [&eta](std::size_t k, const Complex& g) { return eta[k] * g.re; }, noWaitProb, servedProb,
        engine, progress);
}

}  // namespace queuecalc
