#include "inversion/talbot.h"

#include <cmath>

#include "core/constants.h"

namespace queuecalc {

// cot is 1 / tan; for even M the node k = M/2 has theta = pi/2 in double
// precision, whose tangent is huge but finite, so cot is practically 0 and
// needs no special case. 2 pi / 5 is the literal 1.2566370614359172.
TalbotRule buildTalbotRule(int inversionTerms) {
    const int M = inversionTerms;
    const std::size_t count = static_cast<std::size_t>(M);
    TalbotRule rule;
    rule.nodes.re.assign(count, 0.0);
    rule.nodes.im.assign(count, 0.0);
    rule.weightsRe.assign(count, 0.0);
    rule.weightsIm.assign(count, 0.0);

    rule.nodes.re[0] = (M + M) / 5.0;
    rule.nodes.im[0] = 0;
    rule.weightsRe[0] = 0.5 * std::exp(rule.nodes.re[0]);
    rule.weightsIm[0] = 0;
    for (int k = 1; k <= M - 1; ++k) {
        const double theta = k * kPi / M;
        const double cot = 1 / std::tan(theta);
        const double im = k * 1.2566370614359172;  // 2 pi / 5
        const double re = im * cot;
        const double sigma = theta * (1 + cot * cot) - cot;
        const double E = std::exp(re);
        const double c = std::cos(im);
        const double sn = std::sin(im);
        rule.nodes.re[k] = re;
        rule.nodes.im[k] = im;
        rule.weightsRe[k] = E * c - sigma * (E * sn);
        rule.weightsIm[k] = E * sn + sigma * (E * c);
    }
    return rule;
}

// Each term is Re(gamma_k g_k) = gRe_k re_k - gIm_k im_k; the sum is
// multiplied by 0.4, then divided by t.
WaitingTimeCurves invertTalbot(const TransformModel& model, const TalbotRule& rule,
                               const std::vector<double>& moments, double noWaitProb,
                               double servedProb, TransformEngine engine,
                               const ProgressCallback& progress) {
    const std::vector<double>& wRe = rule.weightsRe;
    const std::vector<double>& wIm = rule.weightsIm;
    return inversion_detail::sumAtMoments(
        model, rule.nodes, moments, 0.4,
        [&wRe, &wIm](std::size_t k, const Complex& v) { return wRe[k] * v.re - wIm[k] * v.im; },
        noWaitProb, servedProb, engine, progress);
}

}  // namespace queuecalc
