#include "analysis/findings.h"

namespace queuecalc {

namespace {

// The remedy of a problem of `algorithm` with M terms: Euler is most accurate
// at 20 to 24 terms (rounding grows as 10^(M/3) beyond, discretization as
// 10^(-2M/3) below); Talbot at 48 to 64 on large call centres, where 32
// misses, and it loses digits to rounding beyond 64. The same advice as the
// calculator's words (engine/diagnostics.cpp).
void setRemedy(Finding& f, InversionAlgorithm algorithm, int terms) {
    const InversionAlgorithm other =
        algorithm == InversionAlgorithm::Euler ? InversionAlgorithm::Talbot : InversionAlgorithm::Euler;
    f.otherAlgorithm = other;
    if (algorithm == InversionAlgorithm::Euler) {
        if (terms > 28) {
            f.remedy = Remedy::LowerTerms;
            f.terms = 24;
        } else if (terms < 20) {
            f.remedy = Remedy::RaiseTerms;
            f.terms = 24;
        } else {
            f.remedy = Remedy::CompareAlgorithms;
            f.terms = terms;
        }
        return;
    }
    if (terms < 48) {
        f.remedy = Remedy::RaiseTerms;
        f.terms = 48;
    } else if (terms <= 64) {
        f.remedy = Remedy::UseOtherAlgorithm;
        f.terms = 24;
    } else {
        f.remedy = Remedy::LowerTerms;
        f.terms = 48;
    }
}

FindingKind kindOf(CurveProblem problem) {
    switch (problem) {
        case CurveProblem::NotFinite: return FindingKind::CurveNotFinite;
        case CurveProblem::OutOfRange: return FindingKind::CurveOutOfRange;
        case CurveProblem::Decreases: return FindingKind::CurveDecreases;
        case CurveProblem::AlgorithmsDiffer: return FindingKind::AlgorithmsDiffer;
        case CurveProblem::ErrorEstimate: return FindingKind::ErrorEstimate;
        case CurveProblem::SpotCheck: return FindingKind::SpotCheck;
    }
    return FindingKind::CurveNotFinite;
}

}  // namespace

bool anyFailsChecks(const std::vector<Finding>& findings) {
    for (const Finding& f : findings)
        if (failsChecks(f)) return true;
    return false;
}

Finding fromCurveFinding(const CurveFinding& curve) {
    Finding f;
    f.kind = kindOf(curve.problem);
    const bool shape = curve.problem == CurveProblem::NotFinite || curve.problem == CurveProblem::OutOfRange ||
                       curve.problem == CurveProblem::Decreases;
    f.severity = shape ? Severity::Impossible : Severity::Doubtful;
    f.field = 11;  // the number of terms
    f.measure = curve.curves == CurveSet::Joint ? Measure::ServiceLevel : Measure::ConditionalWait;
    f.tau = curve.moment;
    f.algorithm = curve.algorithm;
    f.inversionTerms = curve.terms;
    f.moment = curve.moment;
    const bool joint = curve.curves == CurveSet::Joint;
    f.value = joint ? curve.joint : curve.conditional;
    f.reference = joint ? curve.jointOther : curve.conditionalOther;
    if (curve.problem == CurveProblem::AlgorithmsDiffer && !curve.suspectKnown) {
        f.remedy = Remedy::CompareAlgorithms;
        f.terms = curve.terms;
    } else {
        setRemedy(f, curve.problem == CurveProblem::AlgorithmsDiffer ? curve.suspect : curve.algorithm, curve.terms);
    }
    f.curve = curve;
    return f;
}

Finding fromInputWarning(const InputWarning& warning) {
    Finding f;
    f.kind = FindingKind::InputValue;
    f.severity = Severity::Advice;
    f.field = warning.position;
    f.value = warning.value;
    f.remedy = Remedy::CheckInputValue;
    f.input = warning;
    return f;
}

Finding rejectedScenario(const std::string& message) {
    Finding f;
    f.kind = FindingKind::Rejected;
    f.severity = Severity::NoResult;
    f.message = message;
    return f;
}

}  // namespace queuecalc
