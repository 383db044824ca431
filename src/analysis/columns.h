#pragma once
// The measures a scenario's evaluation yields, as columns of a table, and the
// staffing targets over them. Their names live in the report layer
// (report/measure_labels.h); here they are identities and values.
//
// Per scenario, in this order:
//  - the fifteen measures of the results file, each the calculator's value to
//    the bit, except the four about abandoning callers (P(A), E[W|A],
//    E[W^2|A], Var(W|A)), which come from the sound P(A) of
//    analysis/measures.h;
//  - four measures of the analyst (analysis/measures.h): occupancy, ASA,
//    meanQueueLength, abandonRate;
//  - per service-level threshold tau: SL(tau), bound(tau) and P(W<=tau|S).

#include <cstddef>
#include <string>
#include <vector>

namespace queuecalc {

enum class Measure {
    Rho,
    LossProb,
    NoWaitProb,
    ServedProb,
    AbandonProb,
    PartialMeanServed,
    PartialSecondMomentServed,
    MeanWaitServed,
    SecondMomentServed,
    VarianceServed,
    PartialMeanAbandon,
    PartialSecondMomentAbandon,
    MeanWaitAbandon,
    SecondMomentAbandon,
    VarianceAbandon,
    Occupancy,
    ASA,
    MeanQueueLength,
    AbandonRate,
    // Per threshold tau:
    ServiceLevel,       // SL(tau) = (1 - P(Loss)) (P(NoWait) + P(0 < W <= tau, S))
    ServiceLevelBound,  // bound(tau): a certified bound of SL(tau)'s absolute error (exact method; else empty)
    ConditionalWait,    // P(W <= tau | S)
};

// The measures of a scenario that have no threshold, in column order.
constexpr std::size_t kFixedMeasureCount = 19;
Measure fixedMeasure(std::size_t index);

// Whether the measure is one of the conditional moments given abandonment,
// which are empty where nobody abandons.
bool givenAbandonment(Measure measure);

// Whether the measure is a share of calls or of time (the probabilities,
// occupancy, SL and P(W<=TAU|S)), whose bounds are read as shares ("80",
// "80%" and "0.8" alike).
bool isShareMeasure(Measure measure);

// One column: a measure, and for the threshold measures their tau.
struct Column {
    Measure measure = Measure::Rho;
    double tau = 0;
};

inline bool operator==(const Column& a, const Column& b) { return a.measure == b.measure && a.tau == b.tau; }

// The columns of a scenario evaluated at `thresholds`.
std::vector<Column> resultColumns(const std::vector<double>& thresholds);

// A staffing target: COLUMN >= BOUND or COLUMN <= BOUND.
struct Target {
    std::string text;  // as the user gave it, for messages
    Column column;
    bool atLeast = true;  // >= (else <=)
    double bound = 0;
};

// How far the value is on the good side of the bound (negative: missed; NaN
// when the value is NaN).
double targetMargin(const Target& target, double value);

}  // namespace queuecalc
