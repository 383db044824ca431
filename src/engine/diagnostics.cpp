#include "engine/diagnostics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace queuecalc {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The first index i < n at which bad(i) holds, or kNone.
template <class Predicate>
std::size_t firstWhere(std::size_t n, Predicate bad) {
    for (std::size_t i = 0; i < n; ++i)
        if (bad(i)) return i;
    return kNone;
}

// The checks of one curve of one algorithm: its values and its range.
struct CurveView {
    const std::vector<double>& values;
    double high;  // the largest value a probability of this curve can have
};

std::size_t firstNotFinite(const CurveView& c) {
    return firstWhere(c.values.size(), [&](std::size_t i) { return !std::isfinite(c.values[i]); });
}

// Values that are not finite are reported as such, not again here.
std::size_t firstOutOfRange(const CurveView& c) {
    return firstWhere(c.values.size(), [&](std::size_t i) {
        const double v = c.values[i];
        return std::isfinite(v) && (v < -kCurveSlack || v > c.high + kCurveSlack);
    });
}

std::size_t firstDecrease(const CurveView& c) {
    return firstWhere(c.values.size(), [&](std::size_t i) {
        return i > 0 && std::isfinite(c.values[i]) && std::isfinite(c.values[i - 1]) &&
               c.values[i] < c.values[i - 1] - kCurveSlack;
    });
}

// The estimated error of each joint value: rounding, eps * sum |term_k| as
// scaled, and for Euler the discretization error 10^(-2M/3) of its rule.
std::vector<double> estimatedJointError(InversionAlgorithm algorithm, int terms,
                                        const WaitingTimeCurves& curves) {
    const double eps = std::numeric_limits<double>::epsilon();
    const double discretization = algorithm == InversionAlgorithm::Euler ? std::pow(10.0, -2.0 * terms / 3.0) : 0.0;
    std::vector<double> error(curves.termMagnitude.size());
    for (std::size_t i = 0; i < error.size(); ++i) error[i] = eps * curves.termMagnitude[i] + discretization;
    return error;
}

// Builds the finding(s) for one problem whose first joint and conditional
// indices are `j` and `c`: one finding on both curves when they meet at the
// same moment, else one per curve.
template <class Fill>
void addFindings(std::vector<CurveFinding>& out, CurveFinding base, std::size_t j, std::size_t c, Fill fill) {
    if (j != kNone && j == c) {
        base.curves = CurveSet::Both;
        fill(base, j);
        out.push_back(base);
        return;
    }
    if (j != kNone) {
        CurveFinding f = base;
        f.curves = CurveSet::Joint;
        fill(f, j);
        out.push_back(f);
    }
    if (c != kNone) {
        CurveFinding f = base;
        f.curves = CurveSet::Conditional;
        fill(f, c);
        out.push_back(f);
    }
}

struct AlgorithmCurves {
    InversionAlgorithm algorithm;
    const WaitingTimeCurves& curves;
};

// Not finite, out of range, decreasing: what makes a curve no distribution.
void checkShape(const AlgorithmCurves& a, int terms, const std::vector<double>& moments,
                const PerformanceMeasures& measures, std::vector<CurveFinding>& out) {
    const CurveView joint{a.curves.joint, measures.servedProb - measures.noWaitProb};
    const CurveView conditional{a.curves.conditional, 1.0};
    CurveFinding base;
    base.algorithm = a.algorithm;
    base.terms = terms;
    const auto at = [&](CurveFinding& f, std::size_t i) {
        f.moment = moments[i];
        f.joint = joint.values[i];
        f.conditional = conditional.values[i];
    };

    base.problem = CurveProblem::NotFinite;
    addFindings(out, base, firstNotFinite(joint), firstNotFinite(conditional), at);

    base.problem = CurveProblem::OutOfRange;
    addFindings(out, base, firstOutOfRange(joint), firstOutOfRange(conditional), [&](CurveFinding& f, std::size_t i) {
        at(f, i);
        f.jointOther = joint.high;
        f.conditionalOther = conditional.high;
    });

    base.problem = CurveProblem::Decreases;
    addFindings(out, base, firstDecrease(joint), firstDecrease(conditional), [&](CurveFinding& f, std::size_t i) {
        at(f, i);
        f.previousMoment = moments[i - 1];
        f.jointOther = joint.values[i - 1];
        f.conditionalOther = conditional.values[i - 1];
    });
}

bool exceedsAgreement(double difference) { return !(std::fabs(difference) <= kAgreement); }

// One algorithm ran: its estimated error, and for Talbot the spot check.
void checkAccuracy(const QueueModel& model, const AlgorithmCurves& a, int terms,
                   const std::vector<double>& moments, TransformEngine engine,
                   std::vector<CurveFinding>& out) {
    const double served = model.measures.servedProb;
    const std::vector<double> error = estimatedJointError(a.algorithm, terms, a.curves);
    CurveFinding base;
    base.algorithm = a.algorithm;
    base.terms = terms;
    base.problem = CurveProblem::ErrorEstimate;
    // One estimate for both curves: the conditional error is the joint one
    // over P(S) <= 1, so it passes kAgreement first.
    const std::size_t c = firstWhere(error.size(), [&](std::size_t i) { return exceedsAgreement(error[i] / served); });
    addFindings(out, base, c, c, [&](CurveFinding& f, std::size_t i) {
        f.moment = moments[i];
        f.joint = a.curves.joint[i];
        f.conditional = a.curves.conditional[i];
        f.jointOther = error[i];
        f.conditionalOther = error[i] / served;
    });
    if (a.algorithm != InversionAlgorithm::Talbot) return;

    const int referenceTerms = spotCheckTerms(terms);
    const std::vector<std::size_t> spots = spotMoments(moments.size(), terms, referenceTerms, model.input.waitingPlaces);
    if (spots.empty()) return;
    std::vector<double> spotTimes;
    for (std::size_t i : spots) spotTimes.push_back(moments[i]);
    const WaitingTimeCurves reference = evaluateWaitingTime(model, InversionAlgorithm::Talbot, referenceTerms,
                                                            spotTimes, std::vector<double>(), engine);
    base.problem = CurveProblem::SpotCheck;
    base.referenceTerms = referenceTerms;
    const std::size_t sj = firstWhere(spots.size(), [&](std::size_t s) {
        return exceedsAgreement(a.curves.joint[spots[s]] - reference.joint[s]);
    });
    const std::size_t sc = firstWhere(spots.size(), [&](std::size_t s) {
        return exceedsAgreement(a.curves.conditional[spots[s]] - reference.conditional[s]);
    });
    addFindings(out, base, sj, sc, [&](CurveFinding& f, std::size_t s) {
        f.moment = spotTimes[s];
        f.joint = a.curves.joint[spots[s]];
        f.conditional = a.curves.conditional[spots[s]];
        f.jointOther = reference.joint[s];
        f.conditionalOther = reference.conditional[s];
    });
}

// Both ran: the first moment where they differ by more than kAgreement.
// The suspect is the one algorithm that shows a problem of its own: a shape
// finding or an estimated error above kAgreement.
void checkAgreement(const WaitingTimeCurves& euler, const WaitingTimeCurves& talbot, int terms,
                    const std::vector<double>& moments, bool eulerSuspect, bool talbotSuspect,
                    std::vector<CurveFinding>& out) {
    CurveFinding base;
    base.problem = CurveProblem::AlgorithmsDiffer;
    base.terms = terms;
    base.suspectKnown = eulerSuspect != talbotSuspect;
    base.suspect = eulerSuspect ? InversionAlgorithm::Euler : InversionAlgorithm::Talbot;
    const std::size_t n = moments.size();
    const std::size_t j = firstWhere(n, [&](std::size_t i) { return exceedsAgreement(euler.joint[i] - talbot.joint[i]); });
    const std::size_t c = firstWhere(n, [&](std::size_t i) {
        return exceedsAgreement(euler.conditional[i] - talbot.conditional[i]);
    });
    addFindings(out, base, j, c, [&](CurveFinding& f, std::size_t i) {
        f.moment = moments[i];
        f.joint = euler.joint[i];
        f.conditional = euler.conditional[i];
        f.jointOther = talbot.joint[i];
        f.conditionalOther = talbot.conditional[i];
    });
}

// How far an algorithm's curves are from what a distribution can be: the
// largest excess over the range, decrease, or estimated error. Above
// kAgreement it explains a difference between the algorithms.
double doubt(InversionAlgorithm algorithm, int terms, const WaitingTimeCurves& curves,
             const PerformanceMeasures& measures) {
    const double served = measures.servedProb;
    const std::vector<double> error = estimatedJointError(algorithm, terms, curves);
    double worst = 0;
    const auto note = [&](double amount) {
        worst = std::max(worst, std::isnan(amount) ? std::numeric_limits<double>::infinity() : amount);
    };
    const CurveView views[2] = {{curves.joint, served - measures.noWaitProb}, {curves.conditional, 1.0}};
    for (const CurveView& v : views) {
        for (std::size_t i = 0; i < v.values.size(); ++i) {
            note(-v.values[i]);
            note(v.values[i] - v.high);
            if (i > 0) note(v.values[i - 1] - v.values[i]);
        }
    }
    for (double e : error) note(e / served);
    return worst;
}

}  // namespace

int spotCheckTerms(int inversionTerms) { return inversionTerms < 48 ? inversionTerms + 16 : 48; }

std::vector<std::size_t> spotMoments(std::size_t momentCount, int inversionTerms, int referenceTerms,
                                     int waitingPlaces) {
    const double perPoint = workPerPoint(waitingPlaces);
    const double run = static_cast<double>(momentCount) * inversionTerms * perPoint + kRunOverheadStepFactors;
    const double budget = std::min<double>(static_cast<double>(momentCount),
                                           kSpotCheckShare * run / (referenceTerms * perPoint));
    const std::size_t count = std::min<std::size_t>(kMaxSpotMoments, static_cast<std::size_t>(budget));
    std::vector<std::size_t> spots;
    for (std::size_t i = 1; i <= count; ++i) spots.push_back((i * momentCount + count - 1) / count - 1);
    return spots;
}

std::vector<CurveFinding> checkWaitingTimeCurves(const QueueModel& model, int inversionTerms,
                                                 const std::vector<double>& moments,
                                                 const InversionResults& results, TransformEngine engine) {
    std::vector<CurveFinding> findings;
    // Without agents nobody is served and the curves are 0 / 0 rounded; the
    // input warning says so, and findings about them would only add noise.
    if (model.input.servers == 0 || moments.empty()) return findings;
    const int terms = inversionTerms;
    if (results.euler)
        checkShape({InversionAlgorithm::Euler, *results.euler}, terms, moments, model.measures, findings);
    if (results.talbot)
        checkShape({InversionAlgorithm::Talbot, *results.talbot}, terms, moments, model.measures, findings);
    if (results.euler && results.talbot) {
        const bool eulerSuspect = doubt(InversionAlgorithm::Euler, terms, *results.euler, model.measures) > kAgreement;
        const bool talbotSuspect = doubt(InversionAlgorithm::Talbot, terms, *results.talbot, model.measures) > kAgreement;
        checkAgreement(*results.euler, *results.talbot, terms, moments, eulerSuspect, talbotSuspect, findings);
    } else if (results.euler) {
        checkAccuracy(model, {InversionAlgorithm::Euler, *results.euler}, terms, moments, engine, findings);
    } else if (results.talbot) {
        checkAccuracy(model, {InversionAlgorithm::Talbot, *results.talbot}, terms, moments, engine, findings);
    }
    return findings;
}

}  // namespace queuecalc
