#pragma once
// Staffing: the smallest number of agents (or waiting places) for which a
// scenario meets every target.

#include <functional>
#include <string>
#include <vector>

#include "input/model_input.h"
#include "sweep/result_columns.h"

namespace queuecalc {
namespace sweep {

enum class StaffedField { Servers, WaitingPlaces };

struct StaffingProblem {
    StaffedField field = StaffedField::Servers;
    int smallest = 1;  // 1 agent, or 0 waiting places
    int largest = 1;   // the search's limit
    std::vector<Target> targets;
    std::vector<std::size_t> targetColumns;  // index of each target's column
};

// The problem of one scenario: targets over the result columns of the
// thresholds `moments` (each target's threshold among them), up to `limit`
// or, when it is 0, defaultStaffingLimit.
StaffingProblem makeStaffingProblem(StaffedField field, const std::vector<Target>& targets,
                                    const std::vector<double>& moments, int limit, const ModelInput& input);

// The default limit: for agents 2 * ceil(lambda / mu) + 1000 (past twice the
// offered load the chance that all agents are busy is astronomically small,
// so more agents change no measure that a target could still need), for
// waiting places 1000; never beyond what the input checks allow.
int defaultStaffingLimit(StaffedField field, const ModelInput& input);

struct StaffingResult {
    bool found = false;
    int value = 0;              // the smallest value that meets every target
    std::vector<double> values; // its result columns (empty when not found)
    int evaluations = 0;        // scenarios built by the search
    bool scanned = false;       // the plain upward scan was needed
};

// Evaluates the result columns at one value of the staffed field (with or
// without the threshold columns); throws RunFailure for a rejected scenario.
using StaffingEvaluator = std::function<std::vector<double>(int value, bool withCurves)>;

// The smallest v in [smallest, largest] that meets every target, where v - 1
// (when v > smallest) does not.
//
// Galloping from the smallest value (then from the offered load for agents),
// doubling the distance until a value meets the targets, then bisection
// between the last miss and the first hit. Bisection assumes that each
// target's margin grows with v; every evaluated value is checked against
// that assumption (each margin never falls from one evaluated value to the
// next larger one). Where it fails, the answer comes from a plain upward
// scan from the smallest value instead. Without any hit up to the limit the
// result is not found (also after a scan where the margins were not
// monotone).
StaffingResult findStaffing(const StaffingProblem& problem, const ModelInput& input,
                            const StaffingEvaluator& evaluate);

// The plain upward scan alone: the reference for tests.
StaffingResult scanStaffing(const StaffingProblem& problem, const StaffingEvaluator& evaluate);

}  // namespace sweep
}  // namespace queuecalc
