#pragma once
// Staffing: the smallest number of agents (or waiting places) for which a
// scenario meets every target.

#include <functional>
#include <string>
#include <vector>

#include "analysis/columns.h"
#include "analysis/evaluation.h"
#include "analysis/findings.h"
#include "core/stop_request.h"
#include "input/model_fields.h"
#include "input/model_input.h"

namespace queuecalc {

enum class StaffedField { Servers, WaitingPlaces };

// The input field a search staffs: "servers" (value 6) or "waitingPlaces" (7).
const ModelField& staffedModelField(StaffedField field);

struct StaffingProblem {
    StaffedField field = StaffedField::Servers;
    int smallest = 1;  // 1 agent, or 0 waiting places
    int largest = 1;   // the search's limit
    std::vector<Target> targets;
    // Read before each value is evaluated: once made, the search throws
    // Stopped (core/stop_request.h). None: it runs to its end.
    const StopRequest* stop = nullptr;
};

// The problem of one scenario: the targets, up to `limit` or, when it is 0,
// defaultStaffingLimit.
StaffingProblem makeStaffingProblem(StaffedField field, const std::vector<Target>& targets, int limit,
                                    const ModelInput& input);

// The thresholds the targets need (each once, in the order of the targets).
std::vector<double> targetThresholds(const std::vector<Target>& targets);

// The largest offered load (lambda / mu, Erlangs) whose agents a search
// looks for: ten million, a thousand times the largest call centres. Up to
// it a search of the exact model or the chain takes seconds and a few
// hundred MB a thread (the chain's arrays grow with the agents tried, up to
// twice the load); far beyond it no count the model holds (kMaxSystemSize
// agents and places) could answer the calls, and trying them all took tens
// of seconds and GBs before saying so.
constexpr double kMaxStaffedLoad = 1e7;

// RunFailure, before any scenario is evaluated, for a load above
// kMaxStaffedLoad: its message gives the load and the limit; `what` says
// where the load comes from ("arrivalRate 2e+07 / serviceRate 1").
void checkStaffedLoad(double load, const std::string& what);

// The default limit: for agents 2 * ceil(lambda / mu) + 1000 (past twice the
// offered load the chance that all agents are busy is astronomically small,
// so more agents change no measure that a target could still need), for
// waiting places 1000; never beyond what the input checks allow.
int defaultStaffingLimit(StaffedField field, const ModelInput& input);

// An answer that loses more than this share of the calls (P(Loss)) meets its
// targets partly by turning callers away: a loss a planner would not accept
// unnoticed, so the programs warn of it.
constexpr double kLossWarning = 0.01;

struct StaffingResult {
    bool found = false;
    int value = 0;                         // the smallest value that meets every target
    std::optional<Evaluation> evaluation;  // its evaluation (none when not found)
    // Not found: why (StaffingChecksFail with the failed check after it, or
    // NoStaffing).
    std::vector<Finding> findings;
    int evaluations = 0;   // scenarios built by the search
    bool scanned = false;  // the plain upward scan was needed
};

// Evaluates the scenario at one value of the staffed field (with or without
// the threshold columns); throws RunFailure for a rejected scenario.
using StaffingEvaluator = std::function<Evaluation(int value, bool withCurves)>;

// The evaluator of a scenario: `input` with the field set to the value,
// evaluated at the targets' thresholds with `request` otherwise.
StaffingEvaluator scenarioEvaluator(StaffedField field, const ModelInput& input, const EvaluationRequest& request,
                                    BinomialRows& rows);

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
// monotone). Staffing agents, a load beyond kMaxStaffedLoad is refused
// first (checkStaffedLoad).
//
// A value whose checks fail (anyFailsChecks: impossible or untrustworthy
// values) counts as a miss and its margins as unknown. The answer v stands
// only where v - 1 missed with its checks passed (or v is the smallest), so
// that a failed check never decides it: where v - 1 failed them, there is no
// answer, and the findings say where the checks failed and why.
StaffingResult findStaffing(const StaffingProblem& problem, const ModelInput& input,
                            const StaffingEvaluator& evaluate);

// The plain upward scan alone: the reference for tests.
StaffingResult scanStaffing(const StaffingProblem& problem, const StaffingEvaluator& evaluate);

}  // namespace queuecalc
