#pragma once
// The command line of queuecalc-plan, in the planner's units.

#include <string>
#include <vector>

#include "analysis/day_plan.h"
#include "analysis/usage_error.h"

namespace queuecalc {
namespace plan {

struct PlanOptions {
    bool help = false;
    std::string forecastPath;
    std::string outPath;   // empty: standard output
    std::string htmlPath;  // empty: no report
    std::string shiftsPath;  // templates: schedule shifts over the plan (empty: none)
    std::string rosterPath;  // where the roster goes, with shiftsPath
    DayPlanSettings settings;
    bool slGiven = false;  // --sl was on the command line
    std::vector<std::string> remarks;  // for standard error: values read in a way the user may not mean
};

// Parses the arguments after the program name; `cores` is the default of
// --jobs. Throws UsageError (main prints it on one line and ends with
// status 2).
PlanOptions parsePlanOptions(const std::vector<std::string>& args, unsigned cores);

std::string planUsageText();

// The settings of a run over `forecast`: with a staffed column and no --sl,
// the reverse question (the service of the agents on hand, with targets only
// where the command line names them).
DayPlanSettings planSettings(const PlanOptions& options, const Forecast& forecast);

}  // namespace plan
}  // namespace queuecalc
