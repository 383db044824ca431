#pragma once
// Checks of computed waiting-time curves: is what the inversion produced a
// distribution, do the two algorithms agree, and, when only one ran, how far
// off may it be. They read the curves and may evaluate the model again at a
// few moments; they never change a curve. A second program that evaluates
// the model (engine/queue_model.h) can run them on its own curves.
//
// Checks, per algorithm and curve, each reported at the first moment where
// it happens:
//   - a value that is not a finite number;
//   - a value outside what a probability can be: [0, 1] for P(W <= t | S),
//     [0, P(S) - P(W = 0)] for P(0 < W <= t, S), with kCurveSlack to spare;
//   - a decrease of more than kCurveSlack from one moment to the next;
//   - both algorithms ran: a difference of more than kAgreement;
//   - one algorithm ran: an estimated error above kAgreement.
//     Euler: the rounding error eps * termMagnitude (the terms are of order 1
//     and the sum is scaled by 10^(M/3), so the cancellation costs that many
//     digits) plus the discretization error 10^(-2M/3) (the aliasing error
//     e^(-2A) of the Fourier series of a function bounded by 1, with the
//     rule's A = M ln(10)/3). Against the true error on the typical centre
//     it is within a factor of 2 for M = 8 .. 64 (tests/engine). It costs
//     nothing: termMagnitude comes with the curves.
//     Talbot: the same rounding estimate (the weights grow as e^(2M/5); it
//     falls short of the true error by up to 8 times near M = 96) and a spot
//     check at up to kMaxSpotMoments moments spread over the grid with more
//     terms (spotCheckTerms): the failure of the fixed contour on large call
//     centres is no rounding error (2e-12 estimated where the curve is off
//     by 0.5) and shows only against another contour. The spot moments are as many as keep their work within
//     kSpotCheckShare of the run's (its inversion and kRunOverheadStepFactors).
// Joint and conditional findings of the same kind at the same moment are
// reported together, as one finding on both curves.

#include <string>
#include <vector>

#include "core/choices.h"
#include "engine/queue_model.h"
#include "inversion/inversion.h"

namespace queuecalc {

// Room for rounding in the range and monotonicity checks: well above the
// rounding error of a sound curve (about 1e-7 for Euler at 32 terms) and
// below the six printed digits of a probability near 1.
constexpr double kCurveSlack = 1e-6;
// The largest difference between the algorithms, or estimated error of one,
// that passes: a hundred times what either achieves where it works.
constexpr double kAgreement = 1e-5;
// The spot check of a Talbot curve: at most this many moments, costing at
// most this share of the run's work.
constexpr int kMaxSpotMoments = 8;
constexpr double kSpotCheckShare = 0.08;
// The work of a run besides its inversions (start, reading, the model), in
// step factors: at least about half a millisecond.
constexpr double kRunOverheadStepFactors = 1e6;

enum class CurveProblem {
    NotFinite,
    OutOfRange,
    Decreases,
    AlgorithmsDiffer,  // both ran
    ErrorEstimate,     // one ran: rounding and discretization estimate
    SpotCheck,         // one ran (Talbot): more terms give another value
};

// Which of the two curves a finding is about.
enum class CurveSet { Joint, Conditional, Both };

struct CurveFinding {
    CurveProblem problem = CurveProblem::NotFinite;
    InversionAlgorithm algorithm = InversionAlgorithm::Euler;  // AlgorithmsDiffer: Euler's side
    CurveSet curves = CurveSet::Joint;
    int terms = 0;          // M of the algorithm
    double moment = 0;      // the first moment where it happens
    // The values at that moment, of the joint and of the conditional curve
    // (as many as `curves` names), and what each is held against: the bound
    // it passes, the previous moment's value, the other algorithm's value,
    // the estimated error or the value with more terms.
    double joint = 0, conditional = 0;
    double jointOther = 0, conditionalOther = 0;
    double previousMoment = 0;  // Decreases: the moment before
    int referenceTerms = 0;     // SpotCheck: the terms of the reference
    // AlgorithmsDiffer: the algorithm the other checks point at, if exactly
    // one of them shows a problem of its own.
    bool suspectKnown = false;
    InversionAlgorithm suspect = InversionAlgorithm::Euler;
};

// The number of Talbot terms the spot check compares M terms with: 16 more
// up to 48 (32 -> 48 resolves the large call centres), 48 beyond (rounding
// grows as e^(2M/5): 64 is still good to 1e-6, 80 no longer).
int spotCheckTerms(int inversionTerms);

// The indices of the spot moments among `momentCount`, evenly spread and
// ending at the last; as many as the budget allows (possibly none).
std::vector<std::size_t> spotMoments(std::size_t momentCount, int inversionTerms, int referenceTerms,
                                     int waitingPlaces);

// Every check above on the curves that ran at `moments` (the curves of
// `results` hold one value per moment). `engine` evaluates the spot check.
std::vector<CurveFinding> checkWaitingTimeCurves(const QueueModel& model, int inversionTerms,
                                                 const std::vector<double>& moments,
                                                 const InversionResults& results,
                                                 TransformEngine engine = TransformEngine::Fast);

// Their words: report/finding_text.h.

}  // namespace queuecalc
