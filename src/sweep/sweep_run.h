#pragma once
// A whole sweep: every scenario of a shard of the grid, each a CSV row,
// computed on worker threads and written in grid order as they complete.

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "input/model_input.h"
#include "sweep/scenario.h"
#include "sweep/scenario_grid.h"
#include "sweep/staffing.h"

namespace queuecalc {
namespace sweep {

struct SweepPlan {
    ModelInput base;  // "INPUT.DAT" with the --set values
    ScenarioGrid grid{{}};
    EvaluationSettings evaluation;  // thresholds (--at and those of the targets), method
    bool staff = false;
    StaffedField staffed = StaffedField::Servers;
    int staffLimit = 0;  // 0: defaultStaffingLimit per scenario
    std::vector<Target> targets;
    Shard shard;
    bool header = true;
    unsigned jobs = 1;
};

// The column names: varied fields, the staffed field, result columns, "note".
std::vector<std::string> headerNames(const SweepPlan& plan);

// The record of scenario `index`. A scenario the calculator rejects, or a
// staffing search without an answer, has its reason in the note and no
// measures; `failed` says so.
std::string scenarioRecord(const SweepPlan& plan, BinomialRows& binomials, std::size_t index, bool& failed);

struct SweepSummary {
    std::size_t rows = 0;
    std::size_t failedRows = 0;
};

// Called by the writing thread after each row: rows written, rows in all.
using SweepProgress = std::function<void(std::size_t written, std::size_t total)>;

// Writes the header (unless plan.header is false) and the rows of the plan's
// shard in grid order. plan.jobs worker threads compute rows; at most a few
// rows per thread wait for an earlier one, so memory does not grow with the
// grid. Stream errors are left in the stream's state; the first one stops
// the sweep (rows written so far are counted in the summary).
SweepSummary runSweep(const SweepPlan& plan, BinomialRows& binomials, std::ostream& out,
                      const SweepProgress& progress = SweepProgress());

}  // namespace sweep
}  // namespace queuecalc
