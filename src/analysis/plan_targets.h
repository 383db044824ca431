#pragma once
// The targets a day plan staffs to, as one table: each kind bounds one
// measure of an interval's service from below or above, and carries its
// setting, its option, its words and its chart lines. The checks, the
// staffing search's targets, the fractional agents, the missed-target notes,
// the report's settings and its target lines all follow from the rows, so a
// new target is one more row (with its setting and its measure).

#include <optional>
#include <string>
#include <vector>

#include "analysis/columns.h"
#include "analysis/day_plan.h"

namespace queuecalc {

enum class TargetUnit {
    Share,    // written as per cent: {bound} is the share times 100
    Seconds,  // written as seconds
};

struct PlanTargetKind {
    // What it bounds.
    std::optional<double> DayPlanSettings::*setting;  // the bound; none: no such target
    double IntervalService::*measure;                 // the measure bounded
    Measure column;                                   // the same measure for the staffing search
    bool atLeast;                                     // the measure must reach the bound (else stay at or under it)
    bool atTau;                                       // taken at the service level's threshold
    // The measure at 0 agents, where the line of fractional agents starts
    // below 1 agent; none: not known there, the target met only at 1 agent.
    std::optional<double> withoutAgents;
    // Its words; in the templates {bound} is the bound in its unit and {tau}
    // the service level's threshold, each to 6 significant digits.
    TargetUnit unit;
    const char* name;     // in the list of targets one could give ("abandonment")
    const char* option;   // its command-line option; null: read apart (--sl, PERCENT/SECONDS or none)
    const char* help;     // the option's lines in the usage text
    const char* note;     // in the notes of intervals that miss it ("abandonment <= {bound}%")
    const char* settingWords;  // in the report's settings ("abandonment at most {bound} %")
    // Its dashed line at the bound: the charts that draw it, each with the
    // line's name (a template as above).
    struct ChartLine {
        const char* chart;  // the chart's id (report/plan_report.cpp)
        const char* name;
    };
    std::vector<ChartLine> chartLines;
};

// Every kind, in the order the notes, the settings and the charts list them.
const std::vector<PlanTargetKind>& planTargetKinds();

// The bound `settings` give the kind, if any.
inline std::optional<double> targetBound(const PlanTargetKind& kind, const DayPlanSettings& settings) {
    return settings.*kind.setting;
}

// The kind's setting, to be set.
std::optional<double>& targetSetting(const PlanTargetKind& kind, DayPlanSettings& settings);

// Whether the service meets the kind's bound (false where the measure is NaN).
bool meetsTarget(const PlanTargetKind& kind, double bound, const IntervalService& service);

// Whether the service meets every target of `settings`.
bool meetsTargets(const IntervalService& service, const DayPlanSettings& settings);

// The targets of `settings` as the staffing search takes them.
std::vector<Target> planTargets(const DayPlanSettings& settings);

// The smallest x in [s - 1, s] at which the measures, linear between s - 1
// (`below`, or 0 agents: each kind's withoutAgents) and s (`at`), meet every
// target.
double fractionalAgents(const IntervalService* below, const IntervalService& at, const DayPlanSettings& settings);

// The service at s - 1 + t agents (0 <= t <= 1), each measure linear
// between s - 1 (`below`, or 0 agents: each kind's withoutAgents, the rest
// as at s) and s (`at`), as fractionalAgents takes them.
IntervalService serviceBetween(const IntervalService* below, const IntervalService& at, double t);

}  // namespace queuecalc
