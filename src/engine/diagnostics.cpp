#include "engine/diagnostics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/number_text.h"

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

// Six significant digits, as the results show them.
std::string number(double value) { return formatDigits(value, 6); }

std::string numberBeside(double value, double other) { return formatBeside(value, other); }

const char* name(InversionAlgorithm algorithm) {
    return algorithm == InversionAlgorithm::Euler ? "Euler" : "Talbot";
}

const char* const kJointLabel = "P(0<W<= t , S)";
const char* const kConditionalLabel = "P(W<= t | S)";

// "P(W<= t | S) = 1.07" or "P(0<W<= t , S) = 0.5 and P(W<= t | S) = 1.07"
// for the curves of the finding; show(value, other) writes each value.
template <class Show>
std::string values(const CurveFinding& f, Show show) {
    const std::string joint = std::string(kJointLabel) + " = " + show(f.joint, f.jointOther);
    const std::string conditional = std::string(kConditionalLabel) + " = " + show(f.conditional, f.conditionalOther);
    if (f.curves == CurveSet::Joint) return joint;
    if (f.curves == CurveSet::Conditional) return conditional;
    return joint + " and " + conditional;
}

std::string plain(double value, double) { return number(value); }

// What the values are held against, in the same order: "0.97" or "0.5 and 0.97".
template <class Show>
std::string others(const CurveFinding& f, Show show) {
    if (f.curves == CurveSet::Joint) return show(f.jointOther, f.joint);
    if (f.curves == CurveSet::Conditional) return show(f.conditionalOther, f.conditional);
    return show(f.jointOther, f.joint) + " and " + show(f.conditionalOther, f.conditional);
}

const char* const kTermsField = "the number of terms (value 11 of the input file (INPUT.DAT))";

// What to do about a finding on one algorithm with M terms. Euler is most
// accurate at 20 to 24 terms (a few 1e-9; rounding grows as 10^(M/3) beyond,
// a few 1e-8 at 28, discretization as 10^(-2M/3) below); Talbot at 48 to 64 on large call
// centres, where 32 misses, and loses digits to rounding beyond 64.
std::string advice(InversionAlgorithm algorithm, int terms) {
    if (algorithm == InversionAlgorithm::Euler) {
        if (terms > 28)
            return std::string("Please lower ") + kTermsField +
                   " to 24, or use Talbot (value 13): Euler loses digits to rounding as terms are added, "
                   "one per three terms beyond about 36.";
        if (terms < 20)
            return std::string("Please raise ") + kTermsField + " to 24, or use Talbot (value 13).";
        return "Please compare with Talbot (value 13 of the input file (INPUT.DAT) = 0).";
    }
    if (terms < 48)
        return std::string("Please raise ") + kTermsField +
               " to 48 or 64, or use Euler (value 13): on large call centres the fixed Talbot contour needs "
               "more than 32 terms.";
    if (terms <= 64)
        return "Please use Euler with 24 terms (values 13 and 11 of the input file (INPUT.DAT)): the Talbot "
               "contour misses here even with " +
               std::to_string(terms) + " terms.";
    return std::string("Please lower ") + kTermsField +
           " to 48, or use Euler (value 13): beyond about 64 terms Talbot loses digits to rounding.";
}

std::string findingLine(const CurveFinding& f) {
    const std::string algorithm = std::string("The ") + name(f.algorithm) + " inversion";
    const std::string withTerms = algorithm + " with " + std::to_string(f.terms) + " terms";
    const std::string at = " at t = " + number(f.moment);
    switch (f.problem) {
        case CurveProblem::NotFinite:
            return algorithm + " gives " + values(f, plain) + at + ", not a finite number.";
        case CurveProblem::OutOfRange: {
            // Each value beside the bound it passes (`other` is the upper one).
            const auto beside = [](double v, double high) { return numberBeside(v, v < 0 ? 0.0 : high); };
            const std::string jointRange = "[0, " + number(f.jointOther) + "] (P(S) - P(NoWait))";
            const std::string range = f.curves == CurveSet::Joint         ? "outside " + jointRange
                                      : f.curves == CurveSet::Conditional ? std::string("outside [0, 1]")
                                                                          : "outside " + jointRange + " and [0, 1]";
            return algorithm + " gives " + values(f, beside) + at + ", " + range + ".";
        }
        case CurveProblem::Decreases:
            return algorithm + " gives " + values(f, numberBeside) + at + ", less than " + others(f, numberBeside) +
                   " at t = " + number(f.previousMoment) + ": a distribution never decreases.";
        case CurveProblem::AlgorithmsDiffer:
            return "The Euler and Talbot inversions differ by more than " + number(kAgreement) + at + ": Euler " +
                   values(f, [](double v, double other) { return numberBeside(v, other) + " against Talbot " + numberBeside(other, v); }) + ".";
        case CurveProblem::ErrorEstimate:
            return withTerms + " gives " + values(f, plain) + at + ", which may be off by " + others(f, plain) +
                   (f.algorithm == InversionAlgorithm::Euler ? " (estimated rounding and discretization error)."
                                                             : " (estimated rounding error).");
        case CurveProblem::SpotCheck:
            return withTerms + " gives " + values(f, numberBeside) + at + ", but with " +
                   std::to_string(f.referenceTerms) + " terms " + others(f, numberBeside) + ".";
    }
    return std::string();
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

std::string describeCurveFinding(const CurveFinding& f) {
    if (f.problem != CurveProblem::AlgorithmsDiffer) return findingLine(f) + "\n" + advice(f.algorithm, f.terms);
    if (f.suspectKnown)
        return findingLine(f) + "\nThe " + name(f.suspect) + " values are the doubtful ones. " +
               advice(f.suspect, f.terms);
    return findingLine(f) + "\nPlease run again with another " + std::string(kTermsField).substr(4) +
           " and keep the algorithm whose values stay: Euler is best at 20 to 24 terms, Talbot on large call "
           "centres needs 48 or 64.";
}

}  // namespace queuecalc
