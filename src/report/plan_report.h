#pragma once
// The day plan written out: a CSV table (one record per interval and a
// totals record) and a self-contained HTML report with inline SVG charts.
//
// The table keeps the forecast's columns as written, then adds, in the
// planner's units:
//   load (Erlangs)   agents   scheduled   waiting places
//   SL TAU s (%)   ASA (s)   abandonment (%)   occupancy (%)   P(Loss)   SL bound   note
// Shares are per cent with two decimals, ASA seconds with one, the load two
// decimals; P(Loss) and the bound three significant digits; a measure that
// does not exist (no calls, no count met) is empty. With --fractional agents
// and scheduled have two decimals. The totals record's agents and scheduled
// are agent-hours; its SL and abandonment are weighted by calls.

#include <ostream>
#include <string>
#include <vector>

#include "analysis/day_plan.h"
#include "analysis/plan_targets.h"
#include "input/forecast.h"
#include "report/svg_chart.h"

namespace queuecalc {

// A variant of the forecast planned on the same intervals, named as given.
struct PlanVariant {
    std::string name;
    DayPlan plan;
};

struct PlanTable {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;  // one per interval, then the totals
};

// With variants, each adds "agents (NAME)" and "agent-hours (NAME)" before
// the note, its totals in the totals rows.
PlanTable planTable(const Forecast& forecast, const DayPlanSettings& settings, const DayPlan& plan,
                    const std::vector<PlanVariant>& variants = {});

// The names of the columns the plan adds to the forecast's: with agents on
// hand also required, on hand and gap; with a scheduled column in the
// forecast no scheduled of its own.
std::vector<std::string> planColumnNames(const Forecast& forecast, const DayPlanSettings& settings);

// Why the forecast cannot be planned as it is where one of its columns has
// the name of a column the plan adds (letter case and surrounding blanks
// ignored: "Agents " is agents), naming it; empty otherwise. Two columns of
// one name would let a reader by name take the forecast's values for the
// plan's.
std::string clashingColumn(const Forecast& forecast, const DayPlanSettings& settings);

// The table as RFC 4180 CSV (CR LF line ends).
void writePlanCsv(std::ostream& out, const PlanTable& table);

// The whole report as one HTML document: no script, no file or address
// outside it. `forecastName` names the forecast in the title.
// With variants, a chart of every plan's agents and a table of the totals
// with their differences from the forecast's plan. `extraSections` (whole
// HTML sections, such as the coverage of a roster) come after the charts of
// the plan.
std::string planHtml(const std::string& forecastName, const Forecast& forecast, const DayPlanSettings& settings,
                     const DayPlan& plan, const std::vector<PlanVariant>& variants = {},
                     const std::string& extraSections = "");

// The charts of the busiest interval (none without plan.busiest): service
// level and abandonment against agents, and the waiting time of answered
// calls at the planned agents where that curve was computed.
std::vector<LineChart> busiestCharts(const Forecast& forecast, const DayPlanSettings& settings, const DayPlan& plan);

// A target kind's words (PlanTargetKind's templates) with the bound and
// the service level's threshold filled in.
std::string targetWords(const char* words, const PlanTargetKind& kind, double bound, const DayPlanSettings& settings);

// The targets of `settings` the service misses, in the notes' words (all of
// them when `service` is null), separated by commas; empty when it meets them.
std::string missedTargets(const DayPlanSettings& settings, const IntervalService* service);

// The settings in plain words, one line each (the report's inputs and the
// program's summary).
std::vector<std::string> describeSettings(const DayPlanSettings& settings);

// The plan's warnings, empty where there is none: the intervals that meet
// their targets only by losing calls (`moreRoom` names how to give more room,
// "--waiting-places or --lines"), and the intervals that miss a target.
std::string lossWarning(const DayPlan& plan, const std::string& moreRoom);
std::string unmetWarning(const DayPlan& plan);

}  // namespace queuecalc
