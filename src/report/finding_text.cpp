#include "report/finding_text.h"

#include <cmath>
#include <optional>
#include <vector>

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

// What a staffing finding counts: the servers or the waiting places.
std::string staffed(const Finding& f) {
    return f.field == modelField(&ModelInput::waitingPlaces).position ? "waiting places" : "agents";
}

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

// "the number of terms (value 11 of the input file (INPUT.DAT))"
std::string termsFieldWords() {
    return "the number of terms (value " + std::to_string(modelField(&ModelInput::inversionTerms).position) +
           " of the input file (INPUT.DAT))";
}

// What to do, in the calculator's words, from the finding's remedy
// (analysis/findings.cpp decides it): about `algorithm` with M terms.
std::string advice(const Finding& f, InversionAlgorithm algorithm) {
    const int terms = f.inversionTerms;
    const std::string termsValue = std::to_string(modelField(&ModelInput::inversionTerms).position);
    const std::string methodValue = std::to_string(modelField(&ModelInput::inversionMethod).position);
    const std::string termsField = termsFieldWords();
    if (algorithm == InversionAlgorithm::Euler) {
        if (f.remedy == Remedy::LowerTerms)
            return "Please lower " + termsField + " to " + std::to_string(f.terms) + ", or use Talbot (value " +
                   methodValue + "): Euler loses digits to rounding as terms are added, one per three terms beyond about 36.";
        if (f.remedy == Remedy::RaiseTerms)
            return "Please raise " + termsField + " to " + std::to_string(f.terms) + ", or use Talbot (value " +
                   methodValue + ").";
        return "Please compare with Talbot (value " + methodValue + " of the input file (INPUT.DAT) = 0).";
    }
    if (f.remedy == Remedy::RaiseTerms)
        return "Please raise " + termsField + " to " + std::to_string(f.terms) + " or 64, or use Euler (value " +
               methodValue + "): on large call centres the fixed Talbot contour needs more than 32 terms.";
    if (f.remedy == Remedy::UseOtherAlgorithm)
        return "Please use Euler with " + std::to_string(f.terms) + " terms (values " + methodValue + " and " +
               termsValue + " of the input file (INPUT.DAT)): the Talbot contour misses here even with " +
               std::to_string(terms) + " terms.";
    return "Please lower " + termsField + " to " + std::to_string(f.terms) + ", or use Euler (value " + methodValue +
           "): beyond about 64 terms Talbot loses digits to rounding.";
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

// How far an inversion's value is from the exact one: "is off by 1.2e-08".
std::string offBy(const char* algorithm, double value, double exact) {
    const double off = std::fabs(value - exact);
    if (!std::isfinite(off)) return std::string(algorithm) + " gives no number";
    return std::string(algorithm) + " is off by " + formatDigits(off, 3);
}

// The exact value as the referee, on the curve the finding is about (the
// conditional one where it is about both): each inversion's distance from
// it, and which of them is off by more than kAgreement.
std::string refereeLine(const Finding& finding) {
    const ExactReferee& x = *finding.exact;
    const bool joint = finding.curve->curves == CurveSet::Joint;
    const double exact = joint ? x.joint : x.conditional;
    const std::optional<double> euler = joint ? x.eulerJoint : x.eulerConditional;
    const std::optional<double> talbot = joint ? x.talbotJoint : x.talbotConditional;
    std::string line = "The exact value there is " + std::string(joint ? kJointLabel : kConditionalLabel) + " = " +
                       number(exact) + " (to within " + formatDigits(joint ? x.jointBound : x.conditionalBound, 2) +
                       "): ";
    std::vector<const char*> off;
    const auto judge = [&](const char* name, const std::optional<double>& value) {
        if (!value) return std::string();
        if (!(std::fabs(*value - exact) <= kAgreement)) off.push_back(name);
        return offBy(name, *value, exact);
    };
    const std::string e = judge("Euler", euler);
    const std::string t = judge("Talbot", talbot);
    line += e.empty() ? t : t.empty() ? e : e + ", " + t;
    const int ran = (euler ? 1 : 0) + (talbot ? 1 : 0);
    if (off.empty())
        line += ran == 1 ? ", within " + number(kAgreement) + "." : "; both are within " + number(kAgreement) + ".";
    else if (off.size() == 1 && ran == 2)
        line += std::string("; the ") + off[0] + " values are the ones off.";
    else
        line += ".";
    return line;
}

// The calculator's words for a curve finding: the finding, with algorithm,
// curve, moment and values, the exact value as the referee where it was
// computed, then what to do.
std::string curveText(const Finding& finding) {
    const CurveFinding& f = *finding.curve;
    // The referee's sentence ends the finding's line; the advice is the second.
    const std::string referee = finding.exact ? " " + refereeLine(finding) : std::string();
    // The algorithm the remedy is about: the one other than it offers.
    const InversionAlgorithm concerned = finding.otherAlgorithm == InversionAlgorithm::Euler
                                             ? InversionAlgorithm::Talbot
                                             : InversionAlgorithm::Euler;
    if (f.problem != CurveProblem::AlgorithmsDiffer) return findingLine(f) + referee + "\n" + advice(finding, concerned);
    if (f.suspectKnown)
        return findingLine(f) + referee + "\nThe " + algorithmName(f.suspect) + " values are the doubtful ones. " +
               advice(finding, concerned);
    return findingLine(f) + referee + "\nPlease run again with another " + termsFieldWords().substr(4) +
           " and keep the algorithm whose values stay: Euler is best at 20 to 24 terms, Talbot on large call "
           "centres needs 48 or 64.";
}

// ---- The input's warnings, in the calculator's words ----

const char* const kInFile = " of the input file (INPUT.DAT)";

// "value 6 of the input file (INPUT.DAT)"
std::string inFile(const ModelField& field) { return "value " + std::to_string(field.position) + kInFile; }

std::string runOnText(const RunOnValue& runOn) {
    const std::string field = capitalisedWords(modelFieldAt(runOn.position));
    const std::string place = inFile(modelFieldAt(runOn.position));
    if (!runOn.restIsNextValue)
        return field + " is read as " + runOn.value + " from \"" + runOn.text + "\"; the rest \"" +
               runOn.rest + "\" is never read.\nPlease write " + place + " as a whole number.";
    std::string text = field + " is read as " + runOn.value + " from \"" + runOn.text +
                       "\", and the rest \"" + runOn.rest + "\" as value " +
                       std::to_string(runOn.position + 1) + " (" + modelFieldAt(runOn.position + 1).words +
                       "), so every later value moves up one place.\n";
    if (isWholeNumberField(runOn.position))
        return text + "Please write " + place +
               " as a whole number, or add the value that is missing before it.";
    return text + "Please put white space between values " + std::to_string(runOn.position) + " and " +
           std::to_string(runOn.position + 1) + kInFile + ".";
}

std::string inputText(const InputWarning& w) {
    const ModelInput& input = w.input;
    switch (w.problem) {
        case InputProblem::RunOnValue: return w.runOn ? runOnText(*w.runOn) : std::string();
        case InputProblem::ConsoleSwitch: {
            const ModelField& field = modelField(&ModelInput::consoleReport);
            return wordsWithValue(field, input.consoleReport) +
                   " is neither 1 nor 0, so no summary is printed.\nPlease change " + inFile(field) +
                   " to 1 for the summary or to 0 for none.";
        }
        case InputProblem::ErlangPhases:
            return "Erlang number of phases (" + formatValue(w.value) +
                   ") is not a whole number: the density is formed with " + formatValue(w.value) +
                   " phases and the survival with " + formatValue(std::floor(w.value)) +
                   ", which is no Erlang distribution.\nPlease change " + inFile(modelField(&ModelInput::abandonParam2)) +
                   " to a whole number.";
        case InputProblem::NoServers: {
            const ModelField& field = modelField(&ModelInput::servers);
            return wordsWithValue(field, 0) +
                   " leaves no agent: no call is ever served, RHO is infinite and the waiting-time distribution "
                   "of served calls has no meaning.\nPlease change " +
                   inFile(field) + ".";
        }
        case InputProblem::ImplausibleLoad:
            return "Offered load per server (RHO = " + formatDigits(w.value, 6) + ") is above " +
                   formatValue(kPlausibleLoad) + ": arrival rate " + formatValue(input.arrivalRate) + " for " +
                   std::to_string(input.servers) + " servers of individual service rate " +
                   formatValue(input.serviceRate) +
                   ".\nPlease check that the arrival rate and the individual service rate (values " +
                   std::to_string(modelField(&ModelInput::arrivalRate).position) + " and " +
                   std::to_string(modelField(&ModelInput::serviceRate).position) + kInFile + ") use the same time unit.";
        case InputProblem::NoMoments: {
            const ModelField& maxTime = modelField(&ModelInput::maxTime);
            const ModelField& interval = modelField(&ModelInput::momentInterval);
            return wordsWithValue(maxTime, input.maxTime) + " is smaller than the " + interval.words + " (" +
                   formatValue(input.momentInterval) +
                   "): there is no measurement moment and the waiting-time tables are empty.\nPlease change value " +
                   std::to_string(interval.position) + " or " + std::to_string(maxTime.position) + kInFile + ".";
        }
        case InputProblem::MomentLeftOut: {
            const ModelField& maxTime = modelField(&ModelInput::maxTime);
            return wordsWithValue(maxTime, input.maxTime) + " over the " +
                   modelField(&ModelInput::momentInterval).words + " (" + formatValue(input.momentInterval) +
                   ") is " + formatValue(w.value) + " in double precision, so the moment " +
                   formatDigits(w.expected, 6) + " is left out.\nPlease write " + inFile(maxTime) +
                   " a little larger (" + formatDigits(input.maxTime + 1e-6 * input.momentInterval, 9) +
                   ", say) to include it.";
        }
        case InputProblem::AlgorithmSwitch: {
            const ModelField& field = modelField(&ModelInput::inversionMethod);
            const int m = input.inversionMethod;
            return wordsWithValue(field, m) + " is not -1, 0 or 1; it runs " +
                   (m < 0 ? "the Euler algorithm, as -1 does." : "the Talbot algorithm, as 1 does.") +
                   "\nPlease change " + inFile(field) + " to -1 (Euler), 1 (Talbot) or 0 (both).";
        }
        case InputProblem::BinomialRow: {
            const std::string m = std::to_string(input.inversionTerms);
            const std::string k = std::to_string(w.entry);
            return "Binomial distribution data file (BINOMDIST.DAT) holds " + formatValue(w.value) + " at entry [" +
                   m + "][" + k + "], not C(" + m + ", " + k + ") = " + formatValue(w.expected) +
                   ", and the Euler results rest on it.\nPlease write the file again (binomdist " +
                   std::to_string(w.tableDimension) + " BINOMDIST.DAT).";
        }
    }
    return std::string();
}

const char* const kAbandonmentMeaningless = "the abandonment measures have no meaning here";

}  // namespace

std::string findingText(const Finding& f) {
    if (f.input) return inputText(*f.input);
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
            const std::string text = f.input ? inputText(*f.input) : std::string();
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
        case FindingKind::ExactNotApplicable:
            return "The exact method does not apply (a negative hazard rate): Euler with " +
                   std::to_string(f.inversionTerms) + " terms, without a bound.";
        default: return "";
    }
}

std::string inputWarningText(const InputWarning& warning) { return inputText(warning); }

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
