#include "report/finding_text.h"

#include "core/number_text.h"
#include "input/model_fields.h"
#include "report/measure_labels.h"

namespace queuecalc {

namespace {

const char* algorithmName(InversionAlgorithm algorithm) {
    return algorithm == InversionAlgorithm::Euler ? "Euler" : "Talbot";
}

const char* methodOption(InversionAlgorithm algorithm) {
    return algorithm == InversionAlgorithm::Euler ? "--method euler" : "--method talbot";
}

std::string measureName(const Finding& f) {
    return f.measure ? columnLabel({*f.measure, f.tau}) : std::string("a measure");
}

// The curve a curve finding names: the conditional one where it is about
// both.
std::string curveName(const Finding& f) {
    const bool joint = f.curve && f.curve->curves == CurveSet::Joint;
    return joint ? "P(0<W<=" + formatValue(f.moment) + ",S)" : "P(W<=" + formatValue(f.moment) + "|S)";
}

std::string remedyNote(const Finding& f) {
    const std::string other = f.otherAlgorithm ? methodOption(*f.otherAlgorithm) : "";
    switch (f.remedy) {
        case Remedy::None: return "";
        case Remedy::CheckInputValue: return "check " + std::string(modelFieldAt(f.field).name);
        case Remedy::LowerTerms: return "lower inversionTerms to " + std::to_string(f.terms) + " or use " + other;
        case Remedy::RaiseTerms: return "raise inversionTerms to " + std::to_string(f.terms) + " or use " + other;
        case Remedy::UseOtherAlgorithm:
            return "use " + other + " with inversionTerms " + std::to_string(f.terms);
        case Remedy::CompareAlgorithms:
            return "compare --method euler and --method talbot, or another inversionTerms";
        case Remedy::RaiseStaffLimit: return "raise --staff-max";
    }
    return "";
}

std::string withRemedy(const std::string& problem, const Finding& f) {
    const std::string remedy = remedyNote(f);
    return remedy.empty() ? problem + "." : problem + "; " + remedy + ".";
}

std::string notFiniteText(const Finding& f) {
    std::string text = measureName(f) + " is " + formatValue(f.value) + ", not a finite number";
    const int more = static_cast<int>(f.reference) - 1;
    if (more > 0) text += " (and " + std::to_string(more) + (more == 1 ? " more measure)" : " more measures)");
    return text;
}

std::string curveProblem(const Finding& f) {
    const std::string where = curveName(f) + " = " + formatBeside(f.value, f.reference);
    switch (f.kind) {
        case FindingKind::CurveNotFinite: return curveName(f) + " is " + formatValue(f.value) + ", not a finite number";
        case FindingKind::CurveOutOfRange: return where + " is outside [0, " + formatDigits(f.reference, 6) + "]";
        case FindingKind::CurveDecreases: return where + " is less than " + formatBeside(f.reference, f.value) + " just before";
        case FindingKind::AlgorithmsDiffer:
            return "Euler gives " + where + " and Talbot " + formatBeside(f.reference, f.value);
        case FindingKind::ErrorEstimate:
            return where + " may be off by " + formatDigits(f.reference, 3) + " (estimated)";
        case FindingKind::SpotCheck:
            return where + ", with " + std::to_string(f.curve ? f.curve->referenceTerms : 0) + " terms " +
                   formatBeside(f.reference, f.value);
        default: return "";
    }
}

// What a staffing finding counts: input value 6 or 7.
std::string staffed(const Finding& f) { return f.field == 7 ? "waiting places" : "agents"; }

bool isCurveKind(FindingKind kind) {
    return kind == FindingKind::CurveNotFinite || kind == FindingKind::CurveOutOfRange ||
           kind == FindingKind::CurveDecreases || kind == FindingKind::AlgorithmsDiffer ||
           kind == FindingKind::ErrorEstimate || kind == FindingKind::SpotCheck;
}

// Six significant digits, as the results show them.
std::string number(double value) { return formatDigits(value, 6); }

std::string numberBeside(double value, double other) { return formatBeside(value, other); }

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

// What to do, in the calculator's words, from the finding's remedy
// (analysis/findings.cpp decides it): about `algorithm` with M terms.
std::string advice(const Finding& f, InversionAlgorithm algorithm) {
    const int terms = f.inversionTerms;
    if (algorithm == InversionAlgorithm::Euler) {
        if (f.remedy == Remedy::LowerTerms)
            return std::string("Please lower ") + kTermsField + " to " + std::to_string(f.terms) +
                   ", or use Talbot (value 13): Euler loses digits to rounding as terms are added, "
                   "one per three terms beyond about 36.";
        if (f.remedy == Remedy::RaiseTerms)
            return std::string("Please raise ") + kTermsField + " to " + std::to_string(f.terms) +
                   ", or use Talbot (value 13).";
        return "Please compare with Talbot (value 13 of the input file (INPUT.DAT) = 0).";
    }
    if (f.remedy == Remedy::RaiseTerms)
        return std::string("Please raise ") + kTermsField + " to " + std::to_string(f.terms) +
               " or 64, or use Euler (value 13): on large call centres the fixed Talbot contour needs "
               "more than 32 terms.";
    if (f.remedy == Remedy::UseOtherAlgorithm)
        return "Please use Euler with " + std::to_string(f.terms) +
               " terms (values 13 and 11 of the input file (INPUT.DAT)): the Talbot contour misses here even with " +
               std::to_string(terms) + " terms.";
    return std::string("Please lower ") + kTermsField + " to " + std::to_string(f.terms) +
           ", or use Euler (value 13): beyond about 64 terms Talbot loses digits to rounding.";
}

std::string findingLine(const CurveFinding& f) {
    const std::string algorithm = std::string("The ") + algorithmName(f.algorithm) + " inversion";
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

// The calculator's words for a curve finding: the finding, with algorithm,
// curve, moment and values, then what to do.
std::string curveText(const Finding& finding) {
    const CurveFinding& f = *finding.curve;
    // The algorithm the remedy is about: the one other than it offers.
    const InversionAlgorithm concerned = finding.otherAlgorithm == InversionAlgorithm::Euler
                                             ? InversionAlgorithm::Talbot
                                             : InversionAlgorithm::Euler;
    if (f.problem != CurveProblem::AlgorithmsDiffer) return findingLine(f) + "\n" + advice(finding, concerned);
    if (f.suspectKnown)
        return findingLine(f) + "\nThe " + algorithmName(f.suspect) + " values are the doubtful ones. " +
               advice(finding, concerned);
    return findingLine(f) + "\nPlease run again with another " + std::string(kTermsField).substr(4) +
           " and keep the algorithm whose values stay: Euler is best at 20 to 24 terms, Talbot on large call "
           "centres needs 48 or 64.";
}

const char* const kAbandonmentMeaningless = "the abandonment measures have no meaning here";

}  // namespace

std::string findingText(const Finding& f) {
    if (f.input) return f.input->text;
    if (f.curve && isCurveKind(f.kind)) return curveText(f);
    switch (f.kind) {
        case FindingKind::MeasureNotFinite:
            return notFiniteText(f) + ".\nPlease check the input values: the computation left the range of "
                                      "numbers it can hold.";
        case FindingKind::AbandonmentAtRounding:
            return "P(A) = 1 - P(S) is " + formatDigits(f.value, 6) +
                   (f.value < 0 ? ", below 0" : ", below " + formatDigits(f.reference, 6)) +
                   ", the size of rounding: " + kAbandonmentMeaningless +
                   ".\nNearly every admitted call is served; E[W|A], E[W^2|A] and Var(W|A) are quotients of "
                   "rounding residue.";
        case FindingKind::NoAbandonment:
            return "Nobody abandons (P(A) = 0): E[W|A], E[W^2|A] and Var(W|A) are undefined.";
        case FindingKind::Rejected: return f.message;
        default: return findingNote(f);
    }
}

std::string findingNote(const Finding& f) {
    if (isCurveKind(f.kind)) {
        const std::string algorithm = f.algorithm ? algorithmName(*f.algorithm) : "";
        const std::string head = f.kind == FindingKind::AlgorithmsDiffer
                                     ? std::string()
                                     : algorithm + " with " + std::to_string(f.inversionTerms) + " terms: ";
        return withRemedy(head + curveProblem(f), f);
    }
    switch (f.kind) {
        case FindingKind::InputValue: {
            const std::string text = f.input ? f.input->text : std::string();
            return text.substr(0, text.find('\n'));
        }
        case FindingKind::MeasureNotFinite: return notFiniteText(f) + ".";
        case FindingKind::AbandonmentAtRounding:
            return "P(A) = 1 - P(S) is " + formatDigits(f.value, 6) + ": " + kAbandonmentMeaningless + ".";
        case FindingKind::NoAbandonment: return "Nobody abandons: E[W|A], E[W^2|A] and Var(W|A) are empty.";
        case FindingKind::Rejected: return f.message;
        case FindingKind::NoStaffing:
            return "No number of " + staffed(f) + " from " + formatValue(f.value) + " to " +
                   std::to_string(f.staffValue) + " meets every target.";
        case FindingKind::StaffingChecksFail:
            return "No answer: the checks fail at " + std::to_string(f.staffValue) + " " + staffed(f) +
                   ", where the answer depends on them.";
        default: return "";
    }
}

std::string rowNote(const std::vector<Finding>& findings) {
    std::string note;
    for (const Finding& f : findings) {
        if (f.severity == Severity::Advice) continue;
        if (!note.empty()) note += " ";
        note += findingNote(f);
    }
    return note;
}

}  // namespace queuecalc
