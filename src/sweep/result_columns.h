#pragma once
// The result columns of a sweep row, and the staffing targets over them.
//
// Per scenario, in this order:
//  - the fifteen measures under their results-file labels in ASCII
//    ("E[W^2|S]" for "E[W²|S]"), each the calculator's value to the bit;
//  - four measures of the analyst, from the calculator's measures
//    (L = P(Loss), so lambda (1 - L) is the rate of admitted calls):
//      occupancy       = lambda (1 - L) P(S) / (s mu)   share of agent time busy
//      ASA             = E[W|S]                          average speed of answer
//      meanQueueLength = lambda (1 - L) (E[W,S] + E[W1_A])   Little's law
//      abandonRate     = lambda (1 - L) P(A)             abandoning calls per time unit
//  - per service-level threshold tau, two columns:
//      SL(tau)         = (1 - L) (P(NoWait) + P(0 < W <= tau, S)),
//                        the share of all offered calls answered within tau
//      P(W<=tau|S)     the calculator's conditional value at t = tau.

#include <cstddef>
#include <string>
#include <vector>

#include "engine/queue_model.h"

namespace queuecalc {
namespace sweep {

// The names of the result columns for thresholds `moments`.
std::vector<std::string> resultColumnNames(const std::vector<double>& moments);

// The names of the columns of one threshold: "SL(20)", "P(W<=20|S)", with
// tau in its shortest exact form.
std::string serviceLevelName(double tau);
std::string conditionalName(double tau);

// The values in the order of resultColumnNames. Without curves (when only
// measures are needed) the threshold columns hold NaN.
std::vector<double> resultValues(const QueueModel& model, const WaitingTimeCurves* curves,
                                 std::size_t momentCount);

// A staffing target: COLUMN>=BOUND or COLUMN<=BOUND.
struct Target {
    std::string text;    // as given
    std::string column;  // a result column name, thresholds normalised ("SL(20.0)" -> "SL(20)")
    double tau = 0;      // the threshold of an SL or P(W<=tau|S) column, else 0
    bool atLeast = true; // >= (else <=)
    double bound = 0;
};

// Parses "SL(20)>=0.8", "P(A)<=0.05", "P(W<=20|S)>=0.9", ... The operator is
// the last ">=" or "<=" of the text. Throws UsageError for an unknown column
// or a bound that is not a number.
Target parseTarget(const std::string& text);

// How far the value is on the good side of the bound (negative: missed; NaN
// when the value is NaN).
double targetMargin(const Target& target, double value);
inline bool targetMet(const Target& target, double value) { return targetMargin(target, value) >= 0; }

// The index of the target's column among resultColumnNames(moments).
std::size_t targetColumn(const Target& target, const std::vector<double>& moments);

}  // namespace sweep
}  // namespace queuecalc
