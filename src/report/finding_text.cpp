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

const char* const kAbandonmentMeaningless = "the abandonment measures have no meaning here";

}  // namespace

std::string findingText(const Finding& f) {
    if (f.input) return f.input->text;
    if (f.curve && isCurveKind(f.kind)) return describeCurveFinding(*f.curve);
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
