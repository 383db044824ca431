#pragma once
// The measures of a call centre beyond the calculator's fifteen, and sound
// abandonment measures.
//
// The calculator forms P(A) = 1 - P(S) and divides by it as it falls. Where
// almost nobody abandons, 1 - P(S) is rounding residue (even negative), and
// E[W|A] = E[W 1_A] / P(A) becomes inf, nan or negative. Here P(A) is a sum
// of non-negative terms instead:
//
//   P(A) = sum_{k=1..r} a_(s+k-1) u_k,   u_k = 1 - reachServiceProb[k],
//
// a_i the admitted-arrival distribution, u_k the chance that a caller who
// joins at position k abandons. u_k is formed without cancellation over the
// k steps of its way to service, c_kj the chance that step j ends in its own
// abandonment (model/queue_positions.h):
//
//   u <- u + (1 - u) c_kj,  j = 1 .. k,
//
// which keeps 0 <= u <= 1 for 0 <= c_kj <= 1: u_k = 1 - prod_j (1 - c_kj)
// without subtracting nearly equal numbers. Each term is then accurate to a
// relative few k eps, and so is the sum of the non-negative terms: P(A) >= 0
// always, P(A) = 0 exactly only where no admitted caller can abandon, and it
// agrees with 1 - P(S) to the latter's rounding (about 1e-16 absolute) on
// ordinary centres (tests/analysis). E[W|A] and its moments are E[W 1_A] and
// E[W^2 1_A] (the calculator's sums, of non-negative terms too) over this
// P(A): finite wherever P(A) > 0. Where P(A) = 0 they are left undefined.
//
// Cost: r(r + 1)/2 steps, one pass over the position tables.

#include "analysis/columns.h"
#include "engine/queue_model.h"

namespace queuecalc {

// One of the calculator's fifteen measures (the first kFixedMeasureCount - 4
// of Measure), as the calculator computed it.
double calculatorValue(const PerformanceMeasures& measures, Measure measure);
constexpr std::size_t kCalculatorMeasureCount = 15;

struct AbandonmentMeasures {
    double abandonProb = 0;  // P(A), sum of non-negative terms
    // E[W|A], E[W^2|A], Var(W|A); only where `defined`.
    double meanWait = 0;
    double secondMoment = 0;
    double variance = 0;
    bool defined = false;  // P(A) > 0
};

AbandonmentMeasures soundAbandonment(const QueueModel& model);

// The analyst's measures, with L = P(Loss), so that lambda (1 - L) is the
// rate of admitted calls:
//   occupancy       = lambda (1 - L) P(S) / (s mu)     share of agent time busy
//   ASA             = E[W|S]                            average speed of answer
//   meanQueueLength = lambda (1 - L) (E[W,S] + E[W1_A])  Little's law
//   abandonRate     = lambda (1 - L) P(A)               abandoning calls per time unit
// P(A) the sound one.
struct AnalystMeasures {
    double occupancy = 0;
    double asa = 0;
    double meanQueueLength = 0;
    double abandonRate = 0;
};

AnalystMeasures analystMeasures(const ModelInput& input, const PerformanceMeasures& measures,
                                const AbandonmentMeasures& abandonment);

// SL(tau) = (1 - P(Loss)) (P(NoWait) + P(0 < W <= tau, S)): the share of all
// offered calls answered within tau, from the joint curve's value at tau.
double serviceLevel(const PerformanceMeasures& measures, double joint);

// A bound of the absolute error of serviceLevel(measures, joint), computed
// as `serviceLevel`, when |joint - P(0 < W <= tau, S)| <= jointBound.
double serviceLevelBound(const PerformanceMeasures& measures, double jointBound, double serviceLevel);

// A probability from an inversion, within [0, 1]: a value beyond 0 or 1 by
// no more than the checks' rounding slack (kCurveSlack, 1e-6; sound curves
// overshoot 1 by up to a few 1e-7 near their top) is the bound it passed,
// which is nearer the truth than the overshoot; anything further out stays
// as computed, and the curve checks report it.
double withinUnitInterval(double probability);

// The calculator's measures with its four probabilities (P(Loss),
// P(NoWait), P(S) and its 1 - P(S)) each withinUnitInterval: P(S) comes out
// as 1.0000000000001452 at s = 1, r = 0, lambda = 1000, mu = 1, and P(A) as
// -1.45e-13. The other measures, and every value inside [0, 1], keep their
// bits.
PerformanceMeasures withProbabilitiesInRange(const PerformanceMeasures& measures);

}  // namespace queuecalc
