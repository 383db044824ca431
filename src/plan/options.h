#pragma once
// The command line of queuecalc-plan, in the planner's units.

#include <string>
#include <vector>

#include "analysis/day_plan.h"
#include "core/failure.h"

namespace queuecalc {
namespace plan {

// A variant of the forecast planned beside it (--compare): calls or aht
// changed by a share ("calls=+10%") or an amount ("aht=-15", seconds), or
// another forecast of the same intervals (a file name).
struct ForecastVariant {
    std::string text;  // as given: it names the variant's columns
    enum class Kind { Calls, Aht, File } kind = Kind::Calls;
    bool relative = false;  // a share of each value rather than an amount
    double amount = 0;      // per cent with `relative`, else calls or seconds
    std::string path;       // Kind::File
};

struct PlanOptions {
    bool help = false;
    std::string forecastPath;
    std::string outPath;   // empty: standard output
    std::string htmlPath;  // empty: no report
    ForecastFormat format;  // --separator, --decimal (none: from the header)
    std::vector<ForecastVariant> variants;  // --compare, in the order given
    std::string shiftsPath;  // templates: schedule shifts over the plan (empty: none)
    std::string rosterPath;  // where the roster goes, with shiftsPath
    DayPlanSettings settings;
    bool slGiven = false;  // --sl was on the command line
    bool intervalGiven = false;  // --interval-minutes was on the command line
    std::vector<std::string> remarks;  // for standard error: values read in a way the user may not mean
    std::vector<std::string> readings;  // for standard error: how each share given was read ("shrinkage: 30 %")
};

// Parses the arguments after the program name; `cores` is the default of
// --jobs. Throws UsageError (main prints it on one line and ends with
// status 2).
PlanOptions parsePlanOptions(const std::vector<std::string>& args, unsigned cores);

std::string planUsageText();

// The forecast of a variant: `base` with its calls or aht changed, or the
// variant's file, which must list the same intervals in the same order.
// Throws UsageError (a change that leaves calls below 0 or aht at or below 0
// where calls come, other intervals) or ForecastError (the file).
Forecast variantForecast(const ForecastVariant& variant, const Forecast& base, const ForecastFormat& format);

// The settings of a run over `forecast`: with a staffed column and no --sl,
// the reverse question (the service of the agents on hand, with targets only
// where the command line names them). The interval length is the labels'
// step where they are times (input/interval_labels.h); --interval-minutes
// that disagrees with it, or is missing where the labels are not times, is a
// UsageError. What was read from the forecast goes to `readings` (for
// standard error), what may not be meant to `remarks` (a gap in the labels,
// mixed forms), where given.
DayPlanSettings planSettings(const PlanOptions& options, const Forecast& forecast,
                             std::vector<std::string>* readings = nullptr, std::vector<std::string>* remarks = nullptr);

}  // namespace plan
}  // namespace queuecalc
