#pragma once
// The command line of queuecalc-plan, in the planner's units.

#include <string>
#include <vector>

#include "analysis/day_plan_settings.h"
#include "core/failure.h"

namespace queuecalc {
namespace plan {

// The command line: the run's request (analysis/day_plan_settings.h), read
// from the options, and the program's files.
struct PlanOptions : PlanRequest {
    bool help = false;
    std::string forecastPath;
    std::string outPath;   // empty: standard output
    std::string htmlPath;  // empty: no report
    std::string shiftsPath;  // templates: schedule shifts over the plan (empty: none)
    std::string rosterPath;  // where the roster goes, with shiftsPath
    std::vector<std::string> readings;  // for standard error: how each share given was read ("shrinkage: 30 %")
};

// Parses the arguments after the program name; `cores` is the default of
// --jobs. Throws UsageError (main prints it on one line and ends with
// status 2).
PlanOptions parsePlanOptions(const std::vector<std::string>& args, unsigned cores);

std::string planUsageText();

}  // namespace plan
}  // namespace queuecalc
