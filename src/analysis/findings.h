#pragma once
// Findings: what the checks of an evaluation found, as data. Every program
// gets the same objects: the calculator writes them as warnings on standard
// error, the sweep as a row's note, the day plan and the Python module as
// they please (the words are made in report/finding_text.h).
//
// A finding says what is wrong (kind), how bad it is (severity), where (an
// input value, a measure, an algorithm and a moment), the numbers involved
// (the value found and what it is held against) and what to do (remedy).
// The detail of the lower layers' checks comes with it (the curve finding
// of engine/diagnostics.h, the input warning of engine/input_warnings.h), so
// that the calculator keeps its wording.

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "analysis/columns.h"
#include "core/choices.h"
#include "engine/diagnostics.h"
#include "engine/input_warnings.h"

namespace queuecalc {

enum class FindingKind {
    // An input value the calculator accepts but a careful user would check
    // (detail: `input`).
    InputValue,
    // The waiting-time curves (detail: `curve`).
    CurveNotFinite,
    CurveOutOfRange,
    CurveDecreases,
    AlgorithmsDiffer,
    ErrorEstimate,  // the estimated error is above kAgreement
    SpotCheck,      // Talbot with more terms gives another value
    // The measures.
    MeasureNotFinite,       // `measure` is inf or nan
    AbandonmentAtRounding,  // P(A) = 1 - P(S) is below kAbandonmentResolution or negative:
                            // the quotients given abandonment have no meaning
    NoAbandonment,          // nobody abandons (P(A) = 0 exactly): nothing is given A
    // The exact method does not apply (a negative hazard rate); the values
    // come from Euler with the input's terms.
    ExactNotApplicable,
    // The staffing search.
    StaffingChecksFail,  // the search cannot answer: the checks fail at `staffValue`
    NoStaffing,          // no value up to the limit meets every target
    // The scenario as a whole.
    Rejected,  // the input checks refuse it (`message`: the calculator's message)
};

// How much the finding takes from the values.
enum class Severity {
    Advice,      // the values are computed as asked; a person may want another input
    Note,        // a fact about the values (columns left empty by design)
    Doubtful,    // values that may be wrong beyond what a result may be
    Impossible,  // values no probability or measure can have
    NoResult,    // the scenario has no values (rejected, no staffing answer)
};

// What to do about it.
enum class Remedy {
    None,
    CheckInputValue,    // look at input value `field`
    LowerTerms,         // to `terms`, or use `otherAlgorithm`
    RaiseTerms,         // to `terms`, or use `otherAlgorithm`
    UseOtherAlgorithm,  // `otherAlgorithm` with `terms` terms
    CompareAlgorithms,  // run both and keep the one whose values stay
    RaiseStaffLimit,    // the search's limit
};

// |P(A)| below this is rounding residue of 1 - P(S): some ten times the
// rounding of a sum of probabilities of order 1 over up to 2^26 states.
constexpr double kAbandonmentResolution = 1e-12;

// The exact value at a curve finding's moment (inversion/exact_waiting.h),
// against which the inversions that ran are held: the referee of the
// calculator's warnings.
struct ExactReferee {
    double joint = 0, conditional = 0;            // P(0 < W <= t, S), P(W <= t | S)
    double jointBound = 0, conditionalBound = 0;  // their certified error bounds
    // The inversions' values at the same moment, where they ran.
    std::optional<double> eulerJoint, eulerConditional, talbotJoint, talbotConditional;
};

struct Finding {
    FindingKind kind = FindingKind::InputValue;
    Severity severity = Severity::Advice;
    // Where.
    int field = 0;                       // input value 1 .. 13; 0: none
    std::optional<Measure> measure;      // the measure or curve concerned
    double tau = 0;                      // its threshold, for SL and P(W<=tau|S)
    std::optional<InversionAlgorithm> algorithm;
    int inversionTerms = 0;              // M of that algorithm
    double moment = std::numeric_limits<double>::quiet_NaN();  // the first moment where it happens
    int staffValue = 0;                  // staffing: the value concerned
    // The numbers: what was found and what it is held against.
    double value = std::numeric_limits<double>::quiet_NaN();
    double reference = std::numeric_limits<double>::quiet_NaN();
    // What to do.
    Remedy remedy = Remedy::None;
    int terms = 0;  // LowerTerms, RaiseTerms, UseOtherAlgorithm: the terms to use
    std::optional<InversionAlgorithm> otherAlgorithm;
    // The detail behind it.
    std::optional<CurveFinding> curve;
    std::optional<ExactReferee> exact;  // curve findings: the exact value at `moment`
    std::optional<InputWarning> input;
    std::string message;  // Rejected: the calculator's message
};

// Whether the finding makes the values untrustworthy or impossible, or
// leaves none: what the sweep marks a row for and the staffing search
// refuses.
inline bool failsChecks(const Finding& f) { return f.severity >= Severity::Doubtful; }
bool anyFailsChecks(const std::vector<Finding>& findings);

// The findings of the lower layers' checks.
Finding fromCurveFinding(const CurveFinding& curve);
Finding fromInputWarning(const InputWarning& warning);
Finding rejectedScenario(const std::string& message);

}  // namespace queuecalc
