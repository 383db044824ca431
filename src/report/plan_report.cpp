#include "report/plan_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/echo_text.h"
#include "input/located_failure.h"
#include "core/number_text.h"
#include "core/share_text.h"
#include "analysis/plan_targets.h"
#include "analysis/staffing.h"
#include "report/csv.h"
#include "report/finding_text.h"
#include "report/svg_chart.h"

namespace queuecalc {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPercent = 100;

// Significant digits, empty where there is no number.
std::string significant(double value, int digits) {
    return std::isfinite(value) ? formatDigits(value, digits) : std::string();
}

}  // namespace

std::string targetWords(const char* words, const PlanTargetKind& kind, double bound, const DayPlanSettings& settings) {
    const std::string filled[][2] = {
        {"{bound}", significant(kind.unit == TargetUnit::Share ? bound * kPercent : bound, 6)},
        {"{tau}", significant(settings.serviceSeconds, 6)},
    };
    std::string text = words;
    for (const auto& [field, value] : filled)
        for (std::size_t at = text.find(field); at != std::string::npos; at = text.find(field, at + value.size()))
            text.replace(at, field.size(), value);
    return text;
}

std::string missedTargets(const DayPlanSettings& settings, const IntervalService* service) {
    std::string text;
    for (const PlanTargetKind& kind : planTargetKinds()) {
        const std::optional<double> bound = targetBound(kind, settings);
        if (bound && (service == nullptr || !meetsTarget(kind, *bound, *service)))
            text += (text.empty() ? "" : ", ") + targetWords(kind.note, kind, *bound, settings);
    }
    return text;
}

namespace {

std::string percentText(double share) { return formatFixed(share * kPercent, 2); }
std::string shareWords(double share) {
    std::string text = significant(share * kPercent, 6);
    return text + " %";
}
std::string secondsWords(double seconds) { return significant(seconds, 6) + " s"; }

std::string methodName(WaitingMethod method) {
    switch (method) {
        case WaitingMethod::Euler: return "Euler inversion (" + std::to_string(kEulerTerms) + " terms)";
        case WaitingMethod::Talbot: return "Talbot inversion (" + std::to_string(kTalbotTerms) + " terms)";
        case WaitingMethod::Exact: return "exact (uniformization, with a certified bound on the error of SL)";
    }
    return "";
}

std::string patienceWords(const DayPlanSettings& settings, bool column) {
    const PatienceLaw& p = settings.patience;
    std::string shape;
    switch (p.shape) {
        case PatienceShape::Exponential: shape = "exponential"; break;
        case PatienceShape::Erlang: shape = "Erlang with " + std::to_string(p.phases) + " phases"; break;
        case PatienceShape::Lognormal:
            shape = "lognormal with coefficient of variation " + significant(p.cv, 6);
            break;
    }
    if (column) return shape + ", mean from the forecast's patience column";
    if (!p.meanSeconds) return "none: callers wait as long as it takes (nobody abandons)";
    return shape + ", mean " + secondsWords(*p.meanSeconds);
}

std::string roomWords(const WaitingRoom& room) {
    switch (room.kind) {
        case WaitingRoom::Kind::Automatic:
            return "per interval and agent count, the fewest waiting places with P(Loss) below " +
                   significant(kAutomaticLoss, 3) + " (at most " + std::to_string(kAutomaticRoomLimit) + ")";
        case WaitingRoom::Kind::Lines:
            return std::to_string(room.count) + " lines in all (agents plus waiting places)";
        case WaitingRoom::Kind::Places: return std::to_string(room.count) + " waiting places beside the agents";
    }
    return "";
}

std::string modelWords(QueueModelChoice model) {
    return model == QueueModelChoice::Exact
               ? "exact (the queue itself, M/M/s/(s+r)+GI, each value with a bound of its error)"
               : "chain (the birth-and-death approximation, exact for exponential patience only)";
}

std::string slName(const DayPlanSettings& s) { return "SL " + significant(s.serviceSeconds, 6) + " s"; }

// The dashed lines of the targets of `settings` drawn on the chart (by its id).
void addTargetLines(LineChart& chart, const DayPlanSettings& settings) {
    for (const PlanTargetKind& kind : planTargetKinds()) {
        const std::optional<double> bound = targetBound(kind, settings);
        if (!bound) continue;
        for (const PlanTargetKind::ChartLine& line : kind.chartLines)
            if (chart.id == line.chart) chart.targets.push_back({*bound, targetWords(line.name, kind, *bound, settings)});
    }
}

std::string intervalNote(const IntervalPlan& p, const DayPlanSettings& settings) {
    std::string note;
    const auto add = [&](const std::string& part) {
        if (!part.empty()) note += (note.empty() ? "" : "; ") + part;
    };
    switch (p.outcome) {
        case IntervalOutcome::NoCalls: add("no calls"); break;
        case IntervalOutcome::NoAgents: add("no agents: no call is answered"); break;
        case IntervalOutcome::NoStaffing:
            for (const Finding& f : p.findings) {
                if (f.kind == FindingKind::NoStaffing)
                    add("no agent count up to " + std::to_string(p.limit) + " meets " + missedTargets(settings, nullptr));
                else if (failsChecks(f) || f.kind == FindingKind::Rejected)
                    add(findingNote(f));
            }
            break;
        case IntervalOutcome::Measured:
            if (p.measured && !p.met) add("misses " + missedTargets(settings, &p.service));
            break;
        case IntervalOutcome::Planned: break;
    }
    if (p.outcome == IntervalOutcome::Planned || p.outcome == IntervalOutcome::Measured)
        for (const Finding& f : p.findings)
            if (failsChecks(f)) add(findingNote(f));
    if (p.measured && p.met && settings.hasTargets() && p.service.lossProb > kLossWarning)
        add("meets the targets while " + formatFixed(p.service.lossProb * kPercent, 2) +
            " % of the calls are lost: the waiting room turns callers away");
    if (p.chainAgents) add("the chain approximation would staff " + std::to_string(*p.chainAgents));
    if (p.roomShort)
        add("P(Loss) stays above " + significant(kAutomaticLoss, 3) + " even with " +
            std::to_string(kAutomaticRoomLimit) + " waiting places");
    return note;
}

// Required agents as a heat map: a row per day, a column per label (the
// labels in the order they first come), each cell shaded from white (the
// fewest) to dark blue (the most), with its number where the cell is wide
// enough to hold it; an interval a day lacks stays blank. Grey prints keep
// the order (the shade darkens with the count).
std::string svgHeatMap(const std::string& title, const std::vector<std::string>& days,
                       const std::vector<std::string>& columns, const std::vector<std::vector<double>>& cells) {
    constexpr double kWidth = 760, kLeft = 100, kRight = 10, kTop = 34, kRow = 24, kBottom = 40;
    constexpr double kDigitWidth = 7;  // px a character takes at 11 px
    const double cellW = (kWidth - kLeft - kRight) / static_cast<double>(std::max<std::size_t>(columns.size(), 1));
    const double height = kTop + kRow * static_cast<double>(days.size()) + kBottom;
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const std::vector<double>& row : cells)
        for (double v : row)
            if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
    const auto shade = [&](double v) {
        const double t = hi > lo ? (v - lo) / (hi - lo) : 1;
        const auto mix = [&](double from, double to) { return static_cast<int>(std::lround(from + (to - from) * t)); };
        char colour[8];
        std::snprintf(colour, sizeof colour, "#%02x%02x%02x", mix(247, 8), mix(251, 48), mix(255, 107));
        return std::string(colour);
    };
    const auto num = [](double v) { return formatFixed(v, 1); };
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"heatmap\" width=\"760\" height=\"" +
                      num(height) + "\" viewBox=\"0 0 760 " + num(height) + "\" role=\"img\" aria-label=\"" +
                      xmlEscaped(title) + "\" font-family=\"sans-serif\" font-size=\"11\">\n<title>" + xmlEscaped(title) +
                      "</title>\n<text x=\"" + num(kLeft) + "\" y=\"18\" font-size=\"14\" font-weight=\"bold\">" +
                      xmlEscaped(title) + "</text>\n";
    std::size_t widest = 1;
    for (const std::vector<double>& row : cells)
        for (double v : row)
            if (std::isfinite(v)) widest = std::max(widest, formatFixed(v, 0).size());
    const bool numbers = cellW >= kDigitWidth * static_cast<double>(widest) + 4;
    for (std::size_t d = 0; d < days.size(); ++d) {
        const double y = kTop + kRow * static_cast<double>(d);
        svg += "<text x=\"" + num(kLeft - 6) + "\" y=\"" + num(y + kRow / 2 + 4) + "\" text-anchor=\"end\">" +
               xmlEscaped(days[d]) + "</text>";
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const double v = cells[d][c];
            if (!std::isfinite(v)) continue;
            const double x = kLeft + cellW * static_cast<double>(c);
            svg += "<rect x=\"" + num(x) + "\" y=\"" + num(y) + "\" width=\"" + num(cellW) + "\" height=\"" + num(kRow) +
                   "\" fill=\"" + shade(v) + "\" stroke=\"#fff\"><title>" + xmlEscaped(days[d] + " " + columns[c]) + ": " +
                   formatFixed(v, 2) + " agents</title></rect>";
            if (numbers) {
                const bool dark = hi > lo && (v - lo) / (hi - lo) > 0.5;
                svg += "<text x=\"" + num(x + cellW / 2) + "\" y=\"" + num(y + kRow / 2 + 4) + "\" text-anchor=\"middle\"" +
                       (dark ? " fill=\"#fff\"" : "") + ">" + formatFixed(v, 0) + "</text>";
            }
        }
        svg += "\n";
    }
    // Time labels under the map, far enough apart not to touch.
    std::size_t longest = 1;
    for (const std::string& label : columns) longest = std::max(longest, label.size());
    const std::size_t every = std::max<std::size_t>(
        1, static_cast<std::size_t>(std::ceil((kDigitWidth * static_cast<double>(longest) + 8) / cellW)));
    const double below = kTop + kRow * static_cast<double>(days.size()) + 14;
    for (std::size_t c = 0; c < columns.size(); c += every)
        svg += "<text x=\"" + num(kLeft + cellW * (static_cast<double>(c) + 0.5)) + "\" y=\"" + num(below) +
               "\" text-anchor=\"middle\">" + xmlEscaped(columns[c]) + "</text>";
    svg += "\n<text x=\"" + num(kLeft) + "\" y=\"" + num(below + 18) + "\">required agents (net): " +
           (std::isfinite(lo) ? formatFixed(lo, 0) + " (lightest) to " + formatFixed(hi, 0) + " (darkest)" : std::string("none")) +
           "</text>\n</svg>";
    return svg;
}

// The forecast's column of that name, matched as the reader matches it
// (case and the blanks around it aside); 0 where there is none.
std::size_t forecastColumnOf(const Forecast& forecast, const std::string& name) {
    for (std::size_t i = 0; i < forecast.header.size(); ++i)
        if (lowered(trimmed(forecast.header[i])) == name) return i;
    return 0;
}

}  // namespace

std::vector<std::string> describeSettings(const DayPlanSettings& s) {
    std::vector<std::string> lines;
    lines.push_back("Interval length: " + significant(s.intervalMinutes, 6) + " minutes");
    std::string targets;
    const auto add = [&](const std::string& t) { targets += (targets.empty() ? "" : "; ") + t; };
    for (const PlanTargetKind& kind : planTargetKinds())
        if (const std::optional<double> bound = targetBound(kind, s)) add(targetWords(kind.settingWords, kind, *bound, s));
    lines.push_back("Targets: " + (targets.empty() ? std::string("none") : targets));
    lines.push_back("Service level reported at " + secondsWords(s.serviceSeconds));
    lines.push_back("Shrinkage: " + shareWords(s.shrinkage));
    lines.push_back("Patience: " + patienceWords(s, false));
    lines.push_back("Waiting room: " + roomWords(s.room));
    lines.push_back(std::string("Model: ") + modelWords(s.model));
    if (s.model == QueueModelChoice::Chain)
        lines.push_back(std::string("Waiting-time method: ") + methodName(s.method));
    if (s.fractional)
        lines.push_back(
            "Fractional agents: where s - 1 agents miss a target and s meet it, each measure is taken as linear "
            "between s - 1 and s, and the plan is the smallest level in [s - 1, s] at which every one meets its "
            "target (from 0 agents: SL 0 and abandonment 100 %)");
    return lines;
}

std::vector<std::string> planColumnNames(const Forecast& forecast, const DayPlanSettings& settings) {
    std::vector<std::string> names = {"load (Erlangs)", "agents"};
    if (!forecast.hasScheduled) names.push_back("scheduled");  // else the forecast's own column
    names.push_back("waiting places");
    names.push_back(slName(settings) + " (%)");
    for (const char* name : {"ASA (s)", "abandonment (%)", "occupancy (%)", "P(Loss)", "SL bound", "agent-hours",
                             "scheduled hours", "FTE"})
        names.push_back(name);
    if (forecast.hasStaffed || forecast.hasScheduled)
        for (const char* name : {"required", "on hand", "gap"}) names.push_back(name);
    names.push_back("note");
    return names;
}

std::string clashingColumn(const Forecast& forecast, const DayPlanSettings& settings) {
    const auto key = [](std::string name) {
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        return name;
    };
    const std::vector<std::string> written = planColumnNames(forecast, settings);
    for (std::size_t i = 0; i < forecast.header.size(); ++i)
        for (const std::string& name : written)
            if (key(forecast.header[i]) == key(name))
                return "the forecast's column " + std::to_string(i + 1) + ", '" + echoText(forecast.header[i]) +
                       "', has the name of a column the plan writes ('" + name +
                       "'): rename or remove it (a plan is not a forecast)";
    return std::string();
}

PlanTable planTable(const Forecast& forecast, const DayPlanSettings& settings, const DayPlan& plan,
                    const std::vector<PlanVariant>& variants) {
    PlanTable table;
    table.header = forecast.header;
    std::vector<std::string> names = planColumnNames(forecast, settings);
    for (const PlanVariant& v : variants)
        for (const char* what : {"agents (", "agent-hours ("})
            names.insert(names.end() - 1, std::string(what) + v.name + ")");
    for (const std::string& name : names) table.header.push_back(name);
    // The column of a name the plan writes (the forecast's for its own scheduled).
    const auto column = [&](const std::string& name) -> std::optional<std::size_t> {
        const auto at = std::find(names.begin(), names.end(), name);
        if (at != names.end()) return forecast.header.size() + static_cast<std::size_t>(at - names.begin());
        return std::nullopt;
    };
    const int agentDecimals = settings.fractional ? 2 : 0;
    const std::string slColumn = slName(settings) + " (%)";
    for (const IntervalPlan& p : plan.intervals) {
        std::vector<std::string> row = forecast.intervals[p.index].fields;
        row.resize(table.header.size());
        const auto set = [&](const std::string& name, std::string text) {
            if (const auto at = column(name)) row[*at] = std::move(text);
        };
        set("load (Erlangs)", formatFixed(p.load, 2));
        const bool planned = p.outcome != IntervalOutcome::NoStaffing;
        if (planned) {
            set("agents", formatFixed(p.agents, agentDecimals));
            set("scheduled", formatFixed(p.scheduled, agentDecimals));
        }
        const IntervalService& s = p.service;
        if (p.measured) {
            set("waiting places", std::to_string(s.waitingPlaces));
            set(slColumn, percentText(s.serviceLevel));
            set("ASA (s)", formatFixed(s.asa, 1));
            set("abandonment (%)", percentText(s.abandonment));
            set("occupancy (%)", percentText(s.occupancy));
            set("P(Loss)", significant(s.lossProb, 3));
            set("SL bound", s.bound ? significant(*s.bound, 3) : std::string());
        }
        const double hours = settings.intervalMinutes / 60;
        if (planned) {
            set("agent-hours", formatFixed(p.agents * hours, 2));
            set("scheduled hours", formatFixed(p.scheduled * hours, 2));
        }
        if (p.required) set("required", formatFixed(*p.required, agentDecimals));
        if (p.onHand) set("on hand", formatFixed(*p.onHand, agentDecimals));
        if (p.required && p.onHand) set("gap", formatFixed(*p.onHand - *p.required, agentDecimals));
        for (const PlanVariant& v : variants) {
            const IntervalPlan& q = v.plan.intervals[p.index];
            if (q.outcome == IntervalOutcome::NoStaffing) continue;
            set("agents (" + v.name + ")", formatFixed(q.agents, agentDecimals));
            set("agent-hours (" + v.name + ")", formatFixed(q.agents * hours, 2));
        }
        set("note", intervalNote(p, settings));
        table.rows.push_back(std::move(row));
    }
    // The totals.
    const std::size_t labelColumn = forecastColumnOf(forecast, "interval");
    const std::size_t callsColumn = forecastColumnOf(forecast, "calls");
    const bool onHand = forecast.hasStaffed || forecast.hasScheduled;
    // The totals of the same rows in each variant's plan (`day`: index into days, or none for all).
    const auto variantTotals = [&](std::optional<std::size_t> day, std::vector<std::string>& row) {
        for (const PlanVariant& v : variants) {
            const DayPlanTotals& t = day ? v.plan.days[*day].totals : v.plan.totals;
            if (const auto at = column("agent-hours (" + v.name + ")")) row[*at] = formatFixed(t.agentHours, 2);
        }
    };
    const auto totalsRow = [&](const DayPlanTotals& t, const std::string& day, const std::string& note) {
        std::vector<std::string> row(table.header.size());
        const auto set = [&](const std::string& name, std::string text) {
            if (const auto at = column(name)) row[*at] = std::move(text);
        };
        if (forecast.dayColumn >= 0) row[static_cast<std::size_t>(forecast.dayColumn)] = day;
        row[labelColumn] = "total";
        row[callsColumn] = significant(t.calls, 10);
        set("agent-hours", formatFixed(t.agentHours, 2));
        set("scheduled hours", formatFixed(t.scheduledHours, 2));
        set("FTE", formatFixed(t.scheduledHours / settings.hoursPerFte, 2));
        set(slColumn, percentText(t.serviceLevel));
        set("abandonment (%)", percentText(t.abandonment));
        if (onHand) {
            set("required", formatFixed(t.requiredHours, 2));
            set("on hand", formatFixed(t.onHandHours, 2));
            set("gap", formatFixed(t.gapHours, 2));
        }
        set("note", note);
        return row;
    };
    // Many days: a total per day, then the total of them all.
    if (plan.days.size() > 1)
        for (std::size_t d = 0; d < plan.days.size(); ++d) {
            table.rows.push_back(totalsRow(plan.days[d].totals, plan.days[d].day, "the day's totals"));
            variantTotals(d, table.rows.back());
        }
    table.rows.push_back(totalsRow(
        plan.totals, plan.days.size() > 1 ? "all days" : std::string(),
        "SL and abandonment weighted by the calls of the intervals with values; FTE: scheduled hours / " +
            significant(settings.hoursPerFte, 6) + " hours a week" + (onHand ? "; required, on hand and gap in agent-hours" : "") +
            "; model: " + queueModelName(settings.model)));
    variantTotals(std::nullopt, table.rows.back());
    return table;
}

void writePlanCsv(std::ostream& out, const PlanTable& table) {
    out << csvRecord(table.header);
    for (const std::vector<std::string>& row : table.rows) out << csvRecord(row);
}

std::vector<LineChart> busiestCharts(const Forecast& forecast, const DayPlanSettings& settings, const DayPlan& plan) {
    std::vector<LineChart> charts;
    if (!plan.busiest) return charts;
    const BusiestInterval& b = *plan.busiest;
    const IntervalPlan& p = plan.intervals[b.index];
    const std::string label = forecast.intervals[b.index].label;
    LineChart c5;
    c5.id = "sl-agents";
    c5.title = "Service level and abandonment against agents, " + label;
    c5.xLabel = "agents (net)";
    c5.yLabel = "share of calls";
    c5.yPercent = true;
    c5.yMax = 1;
    for (int a : b.agents) c5.x.push_back(a);
    c5.series = {{slName(settings), b.serviceLevel}, {"abandonment", b.abandonment}};
    addTargetLines(c5, settings);
    if (p.measured)
        c5.marks.push_back({static_cast<double>(p.service.agents),
                            (p.outcome == IntervalOutcome::Measured ? "staffed " : "plan ") +
                                std::to_string(p.service.agents)});
    charts.push_back(std::move(c5));
    if (!b.waitCurve.empty()) {
        LineChart c6;
        c6.id = "wait";
        c6.title = "Waiting time of answered calls, " + label + ", " + std::to_string(b.curveAgents) + " agents";
        c6.xLabel = "waiting time t (s)";
        c6.yLabel = "P(W <= t | answered)";
        c6.yPercent = true;
        c6.yMax = 1;
        c6.x = b.waitTimes;
        c6.series = {{"P(W <= t | answered)", b.waitCurve}};
        c6.marks.push_back({settings.serviceSeconds, "t = " + secondsWords(settings.serviceSeconds)});
        charts.push_back(std::move(c6));
    }
    return charts;
}

namespace {

// The report's series over the intervals, as the charts draw them.
struct PlanSeries {
    std::vector<std::string> labels;
    std::vector<double> calls, agents, scheduled, sl, abandon;
    bool reverse = false;  // agents on hand, not planned
    std::string xLabel;
};

PlanSeries planSeries(const Forecast& forecast, const DayPlanSettings& settings, const DayPlan& plan) {
    const std::size_t n = plan.intervals.size();
    PlanSeries s;
    s.calls.resize(n);
    s.agents.resize(n);
    s.scheduled.resize(n);
    s.sl.resize(n);
    s.abandon.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const IntervalPlan& p = plan.intervals[i];
        const ForecastInterval& f = forecast.intervals[p.index];
        s.labels.push_back(plan.days.size() > 1 ? f.day + " " + f.label : f.label);
        s.calls[i] = f.calls;
        const bool planned = p.outcome != IntervalOutcome::NoStaffing;
        s.agents[i] = planned ? p.agents : kNaN;
        s.scheduled[i] = planned ? p.scheduled : kNaN;
        s.sl[i] = p.measured ? p.service.serviceLevel : kNaN;
        s.abandon[i] = p.measured ? p.service.abandonment : kNaN;
        s.reverse = s.reverse || p.outcome == IntervalOutcome::Measured || p.outcome == IntervalOutcome::NoAgents;
    }
    s.xLabel = "interval (" + significant(settings.intervalMinutes, 6) + " minutes each)";
    return s;
}

// A chart over the intervals.
LineChart perInterval(const PlanSeries& s, const char* id, std::string title, std::string yLabel) {
    LineChart c;
    c.id = id;
    c.title = std::move(title);
    c.xLabel = s.xLabel;
    c.yLabel = std::move(yLabel);
    c.categories = s.labels;
    return c;
}

std::string figure(const LineChart& c) { return "<figure>" + svgLineChart(c) + "</figure>\n"; }

// Many days: the week at a glance (a heat map of the agents by day and
// interval), then a chart of each day on one scale.
std::string weekSections(const Forecast& forecast, const DayPlan& plan, const PlanSeries& s) {
    std::string body;
    std::vector<std::string> dayNames, times;
    for (const DayTotals& d : plan.days) {
        dayNames.push_back(d.day);
        for (std::size_t i : d.intervals) {
            const std::string& label = forecast.intervals[plan.intervals[i].index].label;
            if (std::find(times.begin(), times.end(), label) == times.end()) times.push_back(label);
        }
    }
    std::vector<std::vector<double>> cells(plan.days.size(), std::vector<double>(times.size(), kNaN));
    for (std::size_t d = 0; d < plan.days.size(); ++d)
        for (std::size_t i : plan.days[d].intervals) {
            const std::string& label = forecast.intervals[plan.intervals[i].index].label;
            cells[d][static_cast<std::size_t>(std::find(times.begin(), times.end(), label) - times.begin())] = s.agents[i];
        }
    body += "<h2>The week: required agents by day and interval</h2>\n<figure>" +
            svgHeatMap(s.reverse ? "Agents on hand by day and interval" : "Required agents by day and interval",
                       dayNames, times, cells) +
            "</figure>\n";
    double most = 0;  // one scale for every day, so that days compare at a glance
    for (double v : s.scheduled)
        if (std::isfinite(v)) most = std::max(most, v);
    for (std::size_t d = 0; d < plan.days.size(); ++d) {
        const DayTotals& day = plan.days[d];
        LineChart c = perInterval(s, ("day-" + std::to_string(d + 1)).c_str(), "", "agents");
        c.title = day.day + ": " + significant(day.totals.calls, 10) + " calls, " +
                  formatFixed(day.totals.agentHours, 1) + " agent-hours net";
        c.categories.clear();
        std::vector<double> required, toSchedule;
        for (std::size_t i : day.intervals) {
            c.categories.push_back(forecast.intervals[plan.intervals[i].index].label);
            required.push_back(s.agents[i]);
            toSchedule.push_back(s.scheduled[i]);
        }
        c.series = {{s.reverse ? "staffed (net)" : "required (net)", required}, {"scheduled", toSchedule}};
        if (most > 0) c.yMax = most;
        body += "<figure>" + svgLineChart(c, 760, 220) + "</figure>\n";
    }
    return body;
}

// Agents on hand: required against on hand, with the shortfall shaded.
std::string gapChart(const DayPlan& plan, const PlanSeries& s) {
    const std::size_t n = plan.intervals.size();
    std::vector<double> required(n, kNaN), onHand(n, kNaN);
    for (std::size_t i = 0; i < n; ++i) {
        if (plan.intervals[i].required) required[i] = *plan.intervals[i].required;
        if (plan.intervals[i].onHand) onHand[i] = *plan.intervals[i].onHand;
    }
    LineChart gap = perInterval(s, "gap", "Required agents against those on hand", "agents (net)");
    gap.series = {{"required", required}, {"on hand", onHand}};
    gap.bands.push_back({0, 1, "short: fewer on hand than required"});
    return figure(gap);
}

// Variants: every plan's agents together, and the totals side by side.
std::string variantsSection(const DayPlanSettings& settings, const DayPlan& plan, const std::vector<PlanVariant>& variants,
                            const PlanSeries& s) {
    const std::size_t n = plan.intervals.size();
    std::string body = "<h2>The forecast and its variants</h2>\n";
    LineChart compared = perInterval(s, "compare", "Required agents per interval, each plan", "agents (net)");
    compared.series.push_back({"the forecast", s.agents});
    for (const PlanVariant& v : variants) {
        std::vector<double> y(n, kNaN);
        for (std::size_t i = 0; i < n; ++i)
            if (v.plan.intervals[i].outcome != IntervalOutcome::NoStaffing) y[i] = v.plan.intervals[i].agents;
        compared.series.push_back({v.name, y});
    }
    body += figure(compared);
    const auto difference = [](double value, double base) {
        std::string text = (value >= base ? "+" : "") + formatFixed(value - base, 1);
        if (base > 0) text += " (" + std::string(value >= base ? "+" : "") + formatFixed((value / base - 1) * kPercent, 1) + " %)";
        return text;
    };
    body += "<div class=\"wide\">\n<table class=\"detail\">\n<thead><tr><th>plan</th><th>calls</th><th>agent-hours</th><th>scheduled "
            "hours</th><th>FTE</th><th>" + xmlEscaped(slName(settings)) + " (%)</th><th>abandonment (%)</th>"
            "<th>agent-hours against the forecast's</th><th>FTE against the forecast's</th></tr></thead>\n<tbody>\n";
    const auto totalsLine = [&](const std::string& name, const DayPlan& p) {
        const DayPlanTotals& t = p.totals;
        body += "<tr><td>" + xmlEscaped(name) + "</td><td>" + significant(t.calls, 10) + "</td><td>" +
                formatFixed(t.agentHours, 2) + "</td><td>" + formatFixed(t.scheduledHours, 2) + "</td><td>" +
                formatFixed(t.scheduledHours / settings.hoursPerFte, 2) + "</td><td>" + percentText(t.serviceLevel) +
                "</td><td>" + percentText(t.abandonment) + "</td><td>" +
                (&p == &plan ? std::string() : difference(t.agentHours, plan.totals.agentHours)) + "</td><td>" +
                (&p == &plan ? std::string()
                             : difference(t.scheduledHours / settings.hoursPerFte,
                                          plan.totals.scheduledHours / settings.hoursPerFte)) +
                "</td></tr>\n";
    };
    totalsLine("the forecast", plan);
    for (const PlanVariant& v : variants) totalsLine(v.name, v.plan);
    body += "</tbody>\n</table>\n</div>\n";
    return body;
}

// The table, in two parts that each fit a page 1200 px wide: the plan, then
// the model's detail and the hours, each row led by its interval.
std::string planTables(const Forecast& forecast, const DayPlanSettings& settings, const DayPlan& plan,
                       const std::vector<PlanVariant>& variants) {
    const PlanTable table = planTable(forecast, settings, plan, variants);
    const std::vector<std::string> detail = {"waiting places", "P(Loss)", "SL bound", "agent-hours", "scheduled hours",
                                             "FTE"};
    std::vector<std::size_t> main, rest;
    const std::size_t labelColumn = forecastColumnOf(forecast, "interval");
    for (std::size_t c = 0; c < table.header.size(); ++c) {
        const bool key = static_cast<int>(c) == forecast.dayColumn || c == labelColumn;
        const bool ofVariant = table.header[c].rfind("agents (", 0) == 0 || table.header[c].rfind("agent-hours (", 0) == 0;
        const bool isDetail = c >= forecast.header.size() &&
                              (ofVariant || std::find(detail.begin(), detail.end(), table.header[c]) != detail.end());
        if (!isDetail) main.push_back(c);
        if (isDetail || (key && c < forecast.header.size())) rest.push_back(c);
    }
    const auto htmlTable = [&](const std::vector<std::size_t>& columns, const char* kind) {
        std::string html = std::string("<div class=\"wide\">\n<table class=\"") + kind + "\">\n<thead><tr>";
        for (std::size_t c : columns) html += "<th>" + xmlEscaped(table.header[c]) + "</th>";
        html += "</tr></thead>\n<tbody>\n";
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            const bool total = r >= plan.intervals.size();
            const bool unmet = !total && !plan.intervals[r].met;
            html += std::string("<tr") + (total ? " class=\"total\"" : unmet ? " class=\"unmet\"" : "") + ">";
            for (std::size_t c : columns) html += "<td>" + xmlEscaped(table.rows[r][c]) + "</td>";
            html += "</tr>\n";
        }
        return html + "</tbody>\n</table>\n</div>\n";
    };
    return "<h2>Plan</h2>\n" + htmlTable(main, "plan") + std::string("<h2>Waiting room, P(Loss), error bound and hours") +
           (variants.empty() ? "" : "; the variants") + "</h2>\n" + htmlTable(rest, "detail");
}

std::string inputsSection(const std::string& forecastName, const Forecast& forecast, const DayPlanSettings& settings,
                          std::size_t intervals) {
    std::string body = "<h2>Inputs</h2>\n<ul>\n<li>Forecast: " + xmlEscaped(forecastName) + ", " +
                       std::to_string(intervals) + " intervals</li>\n";
    std::vector<std::string> settingsLines = describeSettings(settings);
    if (forecast.hasPatience) settingsLines[4] = "Patience: " + patienceWords(settings, true);
    for (const std::string& line : settingsLines) body += "<li>" + xmlEscaped(line) + "</li>\n";
    return body + "</ul>\n";
}

// The model's assumptions in plain words, in those of the model used.
std::string assumptionsSection(const DayPlanSettings& settings) {
    return "<h2>Model assumptions</h2>\n<ul>\n"
           "<li>Within each interval calls arrive at random (a Poisson stream) at a steady rate: the interval's "
           "calls spread evenly over its length. Each interval is planned on its own, as if it had run long "
           "enough to settle; no queue is carried from one interval into the next.</li>\n"
           "<li>Handle times vary at random around the interval's average handle time (exponentially "
           "distributed); all agents are alike and answer calls in the order they came.</li>\n"
           + std::string(settings.model == QueueModelChoice::Exact
                             ? "<li>A caller who waits longer than their patience hangs up; each caller's patience is "
                               "drawn independently from the patience distribution. The model is this queue itself, "
                               "solved exactly (no approximation of the patience).</li>\n"
                             : "<li>A caller who waits longer than their patience hangs up. The model (the chain) "
                               "takes the chance of hanging up of the k-th caller in the queue from the patience "
                               "distribution at the time k / (arrival rate); for exponential patience this is "
                               "exact.</li>\n") +
           "<li>A call that finds every agent busy and every waiting place taken is lost (P(Loss)).</li>\n"
           "<li>The service level is the share of all offered calls answered within the threshold: lost calls "
           "and callers who hang up count as not answered in time. ASA is the average wait of answered calls; "
           "abandonment is the share of callers who got through and hung up; occupancy the share of the agents' "
           "time spent on calls.</li>\n"
           "<li>Agents are the net agents on the phones; scheduled agents add shrinkage (breaks, training, "
           "absence): scheduled = agents / (1 - shrinkage), rounded up to a whole agent"
           + std::string(settings.fractional ? " (not rounded with fractional agents)" : "") +
           ".</li>\n"
           "<li>The SL bound, where given, bounds the error of the computed service level itself.</li>\n"
           "</ul>\n";
}

// The one paragraph under the title.
std::string planSummary(const Forecast& forecast, const DayPlanSettings& settings, const DayPlan& plan) {
    std::string summary = std::to_string(plan.intervals.size()) + " intervals, " + significant(plan.totals.calls, 10) +
                          " calls; " + formatFixed(plan.totals.agentHours, 1) + " agent-hours net, " +
                          formatFixed(plan.totals.scheduledHours, 1) + " scheduled (" +
                          formatFixed(plan.totals.scheduledHours / settings.hoursPerFte, 1) + " FTE of " +
                          significant(settings.hoursPerFte, 6) + " hours)";
    if (std::isfinite(plan.totals.serviceLevel))
        summary += "; " + slName(settings) + " " + percentText(plan.totals.serviceLevel) + " %, abandonment " +
                   percentText(plan.totals.abandonment) + " % (weighted by calls)";
    if (forecast.hasStaffed || forecast.hasScheduled)
        summary += "; on hand " + formatFixed(plan.totals.onHandHours, 1) + " agent-hours against " +
                   formatFixed(plan.totals.requiredHours, 1) + " required: gap " + formatFixed(plan.totals.gapHours, 1);
    summary += plan.unmet == 0 ? ". Every interval meets the targets." :
                                 ". " + std::to_string(plan.unmet) + " intervals miss a target (marked in the plan).";
    return summary;
}

}  // namespace

std::string planHtml(const std::string& forecastName, const Forecast& forecast, const DayPlanSettings& settings,
                     const DayPlan& plan, const std::vector<PlanVariant>& variants,
                     const std::string& extraSections) {
    const PlanSeries s = planSeries(forecast, settings, plan);
    LineChart c1 = perInterval(s, "calls", "Offered calls per interval", "calls per interval");
    c1.series = {{"offered calls", s.calls}};
    LineChart c2 = perInterval(
        s, "agents", s.reverse ? "Agents on hand per interval" : "Required and scheduled agents per interval", "agents");
    c2.series = {{s.reverse ? "staffed (net)" : "required (net)", s.agents},
                 {"scheduled (with " + significant(settings.shrinkage * kPercent, 6) + " % shrinkage)", s.scheduled}};
    LineChart c3 = perInterval(s, "sl", "Service level per interval",
                               "offered calls answered within " + secondsWords(settings.serviceSeconds));
    c3.yPercent = true;
    c3.yMax = 1;
    c3.series = {{slName(settings), s.sl}};
    addTargetLines(c3, settings);
    LineChart c4 = perInterval(s, "abandonment", "Abandonment per interval", "callers who hang up");
    c4.yPercent = true;
    c4.series = {{"abandonment", s.abandon}};
    addTargetLines(c4, settings);

    std::string body;
    if (plan.days.size() > 1) body += weekSections(forecast, plan, s);
    body += "<h2>Calls and agents</h2>\n" + figure(c1) + figure(c2);
    if (forecast.hasStaffed || forecast.hasScheduled) body += gapChart(plan, s);
    if (!variants.empty()) body += variantsSection(settings, plan, variants, s);
    body += "<h2>Service against the targets</h2>\n" + figure(c3) + figure(c4);
    if (plan.busiest) {
        const BusiestInterval& b = *plan.busiest;
        body += "<h2>The busiest interval: " + xmlEscaped(forecast.intervals[b.index].label) + " (" +
                formatFixed(plan.intervals[b.index].load, 2) + " Erlangs)</h2>\n";
        for (const LineChart& c : busiestCharts(forecast, settings, plan)) body += figure(c);
    }
    body += extraSections;
    body += planTables(forecast, settings, plan, variants);
    body += inputsSection(forecastName, forecast, settings, plan.intervals.size());
    body += assumptionsSection(settings);

    return htmlPage("Staffing plan: " + forecastName,
                    "h1 { font-size: 1.5em; } h2 { font-size: 1.2em; margin-top: 1.6em; border-bottom: 1px solid #999; }\n"
                    "figure { margin: 0.8em 0; } svg.chart, svg.heatmap { max-width: 100%; height: auto; }\n"
                    "div.wide { overflow-x: auto; } table { border-collapse: collapse; font-size: 0.75em; }\n"
                    "th, td { border: 1px solid #999; padding: 0.15em 0.35em; text-align: right; white-space: nowrap; }\n"
                    "th { white-space: normal; vertical-align: bottom; hyphens: auto; }\n"
                    "td:first-child, th { text-align: left; } td:last-child { text-align: left; white-space: normal; }\n"
                    "table.detail td:last-child { text-align: right; white-space: nowrap; }\n"
                    "tr.unmet td { font-weight: bold; background: #eee; } tr.total td { font-weight: bold; border-top: 2px solid #000; }\n"
                    "@media print { body { max-width: none; margin: 0; } figure { break-inside: avoid; } div.wide { overflow: visible; } }\n",
                    "<p>" + xmlEscaped(planSummary(forecast, settings, plan)) + "</p>\n" + body,
                    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n");
}

std::string lossWarning(const DayPlan& plan, const std::string& moreRoom) {
    if (plan.throughLoss == 0) return std::string();
    return std::to_string(plan.throughLoss) + " of " + std::to_string(plan.intervals.size()) +
           " intervals meet their targets while more than " + formatShare(kLossWarning) + " of the calls are lost (up to " +
           formatFixed(plan.worstLoss * 100, 2) + " %): give more " + moreRoom + " (see their note)";
}

std::string unmetWarning(const DayPlan& plan) {
    if (plan.unmet == 0) return std::string();
    return std::to_string(plan.unmet) + " of " + std::to_string(plan.intervals.size()) +
           " intervals miss a target (see their note)";
}

}  // namespace queuecalc
