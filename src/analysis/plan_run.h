#pragma once
// A scenario plan run as a whole: every scenario of a shard of the grid,
// each evaluated (or staffed) with its checks, on worker threads, and handed
// on in grid order as rows complete. The sweep writes them as CSV rows; the
// day plan and the Python module use the same rows.
//
//   SweepPlan plan;  plan.base = input;  plan.grid = ScenarioGrid(dimensions);
//   plan.evaluation.thresholds = {20};
//   BinomialRows rows;
//   const PlanSummary s = runPlan(plan, rows, formatRow, out);   // formatRow: report/sweep_table.h

#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/evaluation.h"
#include "analysis/findings.h"
#include "analysis/scenario_grid.h"
#include "analysis/staffing.h"
#include "core/stop_request.h"
#include "input/model_input.h"

namespace queuecalc {

struct SweepPlan {
    ModelInput base;  // the base scenario, with any fixed values set
    ScenarioGrid grid;
    EvaluationRequest evaluation;  // thresholds (those asked and those of the targets), method
    bool staff = false;
    StaffedField staffed = StaffedField::Servers;
    int staffLimit = 0;  // 0: defaultStaffingLimit per scenario
    std::vector<Target> targets;
    Shard shard;
    unsigned jobs = 1;
    // Read between rows and between a staffing search's probes: once made,
    // runPlan throws Stopped (core/stop_request.h). None: it runs to its end.
    const StopRequest* stop = nullptr;
};

// One scenario of the plan, evaluated.
struct RowResult {
    std::size_t index = 0;
    ModelInput input;                      // the scenario, grid values applied
    std::optional<int> staffedValue;       // the staffing answer
    std::optional<Evaluation> evaluation;  // none: no values (a finding says why)
    // The evaluation's findings; or why there are no values (Rejected,
    // StaffingChecksFail, NoStaffing).
    std::vector<Finding> findings;

    // Values that the checks reject (impossible or untrustworthy), or none.
    bool failsChecks() const { return anyFailsChecks(findings); }
};

// Evaluates scenario `index` of the grid. Never throws for a scenario: a
// rejected one, or one that runs out of memory, has a Rejected finding;
// only Stopped passes (a stop request seen by its staffing search).
RowResult computeRow(const SweepPlan& plan, BinomialRows& rows, std::size_t index);

// Appends the text of one row to `out`; called on the worker threads, one
// row at a time per thread.
using RowFormatter = std::function<void(const RowResult& row, std::string& out)>;

// Rows written, rows in all: after each chunk of rows is written, and
// between rows at most every tenth of a second (a chunk of slow rows would
// otherwise keep it waiting for the whole chunk). One call at a time, on
// any of the plan's threads.
using PlanProgress = std::function<void(std::size_t written, std::size_t total)>;

// An input finding of the plan's rows: the first row's finding of its kind
// (and problem), and in how many rows it was found.
struct PlanInputFinding {
    Finding finding;
    std::size_t firstRow = 0;
    std::size_t rows = 0;
};

struct PlanSummary {
    std::size_t rows = 0;
    std::size_t rowsWithoutValues = 0;  // rejected, or no staffing answer
    std::size_t rowsFailingChecks = 0;  // values that are impossible or untrustworthy
    std::size_t answersThroughLoss = 0; // staffing answers with P(Loss) above kLossWarning
    std::vector<PlanInputFinding> inputFindings;
};

// Writes the text of the rows of the plan's shard to `out` in grid order.
// plan.jobs threads compute rows (fewer when the system gives fewer; the
// calling thread always takes part); at most a few chunks of rows per
// thread wait for an earlier one, so memory does not grow with the grid.
// Stream errors are left in the stream's state; the first one stops the
// plan (the rows computed so far are counted in the summary). Throws
// Stopped once plan.stop is made, the rows written so far written whole.
PlanSummary runPlan(const SweepPlan& plan, BinomialRows& rows, const RowFormatter& format, std::ostream& out,
                    const PlanProgress& progress = PlanProgress());

}  // namespace queuecalc
