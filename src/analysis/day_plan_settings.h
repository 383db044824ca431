#pragma once
// What a day plan over a forecast is asked for, as values, and the settings
// of the run that follow from it and the forecast: the interval length from
// the labels or as given, the reverse question where agents are on hand, the
// variants planned beside the forecast. The plan program fills a PlanRequest
// from its command line, the Python module from its keywords; the readers of
// the values written as text (a service level, a patience shape, a variant,
// a share) are here so that both read them alike. Messages name each value
// as the caller calls it (PlanValueNames). Errors are UsageError.

#include <string>
#include <vector>

#include "analysis/day_plan.h"
#include "core/failure.h"
#include "input/forecast.h"

namespace queuecalc {

// A variant of the forecast planned beside it: calls or aht changed by a
// share ("calls=+10%") or an amount ("aht=-15", seconds), or another forecast
// of the same intervals (a file name).
struct ForecastVariant {
    std::string text;  // as given: it names the variant's columns
    enum class Kind { Calls, Aht, File } kind = Kind::Calls;
    bool relative = false;  // a share of each value rather than an amount
    double amount = 0;      // per cent with `relative`, else calls or seconds
    std::string path;       // Kind::File
};

// The names of the values in messages: the plan program's options by
// default, the Python module's keywords there.
struct PlanValueNames {
    std::string serviceLevel = "--sl";
    std::string intervalMinutes = "--interval-minutes";
    std::string patience = "--patience";
    std::string patienceMean = "--patience-mean";
    std::string compare = "--compare";
};

struct PlanRequest {
    DayPlanSettings settings;  // the values given, the defaults elsewhere
    bool slGiven = false;        // a service level (or none) was asked for
    bool intervalGiven = false;  // settings.intervalMinutes was given
    ForecastFormat format;       // the forecast's separator and decimal mark (none: from the header)
    std::vector<ForecastVariant> variants;  // in the order given
    PlanValueNames names;
};

// A number above 0 (blanks around it allowed), for the value `name`.
double readPositive(const std::string& name, const std::string& text, const char* unit);

// A share as readShare reads it ("80", "80%", "0.8"), for the value `name`.
double readShareText(const std::string& name, const std::string& text);

// "80/20": 80 % within 20 seconds (the share as readShare reads it, so
// 0.8/20 too; an s after the seconds is allowed); "none": no SL target.
void readServiceLevel(const std::string& name, const std::string& text, DayPlanSettings& settings);

// "exponential", "erlang:K" (K from 1 to kMaxErlangPhases) or
// "lognormal:CV" (CV 1 when left out): the shape of `patience`.
void readPatienceShape(const std::string& name, const std::string& text, PatienceLaw& patience);

// "calls=+10%", "aht=-15" or a file name.
ForecastVariant readVariant(const std::string& name, const std::string& text);

// The settings of a run over `forecast`: with a staffed or scheduled column
// and no service level asked for, the reverse question (the service of the
// agents on hand, with targets only where they were given). The interval
// length is the labels' step where they are times (input/interval_labels.h);
// a given length that disagrees with it, or none where the labels are not
// times, is a UsageError. With lines, at most that many agents are tried.
// What was read from the forecast goes to `readings`, what may not be meant
// to `remarks` (a gap in the labels, mixed forms), where given.
DayPlanSettings planSettings(const PlanRequest& request, const Forecast& forecast,
                             std::vector<std::string>* readings = nullptr, std::vector<std::string>* remarks = nullptr);

// The forecast of a variant: `base` with its calls or aht changed, or the
// variant's file (read in the request's format), which must list the same
// intervals in the same order. Throws UsageError (a change that leaves calls
// below 0 or aht at or below 0 where calls come, other intervals) or
// ForecastError (the file).
Forecast variantForecast(const ForecastVariant& variant, const Forecast& base, const PlanRequest& request);

}  // namespace queuecalc
