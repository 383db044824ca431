#include "report/plan_report.h"

#include <cmath>
#include <limits>

#include "core/number_text.h"
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

std::string percentWords(double share) { return significant(share * kPercent, 6) + "%"; }

// The targets the service misses (all of them when `service` is null).
std::string missedTargets(const DayPlanSettings& t, const IntervalService* service) {
    std::string text;
    const auto add = [&](bool missed, const std::string& part) {
        if (missed) text += (text.empty() ? "" : ", ") + part;
    };
    if (t.serviceShare)
        add(!service || !(service->serviceLevel >= *t.serviceShare),
            "SL " + significant(*t.serviceShare * kPercent, 6) + "/" + significant(t.serviceSeconds, 6));
    if (t.maxAbandon)
        add(!service || !(service->abandonment <= *t.maxAbandon), "abandonment <= " + percentWords(*t.maxAbandon));
    if (t.maxAsa) add(!service || !(service->asa <= *t.maxAsa), "ASA <= " + significant(*t.maxAsa, 6) + " s");
    if (t.maxOccupancy)
        add(!service || !(service->occupancy <= *t.maxOccupancy), "occupancy <= " + percentWords(*t.maxOccupancy));
    return text;
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
    if (p.chainAgents) add("the chain approximation would staff " + std::to_string(*p.chainAgents));
    if (p.roomShort)
        add("P(Loss) stays above " + significant(kAutomaticLoss, 3) + " even with " +
            std::to_string(kAutomaticRoomLimit) + " waiting places");
    return note;
}

}  // namespace

std::vector<std::string> describeSettings(const DayPlanSettings& s) {
    std::vector<std::string> lines;
    lines.push_back("Interval length: " + significant(s.intervalMinutes, 6) + " minutes");
    std::string targets;
    const auto add = [&](const std::string& t) { targets += (targets.empty() ? "" : "; ") + t; };
    if (s.serviceShare)
        add(shareWords(*s.serviceShare) + " of offered calls answered within " + secondsWords(s.serviceSeconds));
    if (s.maxAbandon) add("abandonment at most " + shareWords(*s.maxAbandon));
    if (s.maxAsa) add("ASA at most " + secondsWords(*s.maxAsa));
    if (s.maxOccupancy) add("occupancy at most " + shareWords(*s.maxOccupancy));
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

PlanTable planTable(const Forecast& forecast, const DayPlanSettings& settings, const DayPlan& plan) {
    PlanTable table;
    table.header = forecast.header;
    for (const char* name : {"load (Erlangs)", "agents", "scheduled", "waiting places"}) table.header.push_back(name);
    table.header.push_back(slName(settings) + " (%)");
    for (const char* name : {"ASA (s)", "abandonment (%)", "occupancy (%)", "P(Loss)", "SL bound", "note"})
        table.header.push_back(name);
    const int agentDecimals = settings.fractional ? 2 : 0;
    for (const IntervalPlan& p : plan.intervals) {
        std::vector<std::string> row = forecast.intervals[p.index].fields;
        row.push_back(formatFixed(p.load, 2));
        const bool planned = p.outcome != IntervalOutcome::NoStaffing;
        row.push_back(planned ? formatFixed(p.agents, agentDecimals) : std::string());
        row.push_back(planned ? formatFixed(p.scheduled, agentDecimals) : std::string());
        const IntervalService& s = p.service;
        if (p.measured) {
            row.push_back(std::to_string(s.waitingPlaces));
            row.push_back(percentText(s.serviceLevel));
            row.push_back(formatFixed(s.asa, 1));
            row.push_back(percentText(s.abandonment));
            row.push_back(percentText(s.occupancy));
            row.push_back(significant(s.lossProb, 3));
            row.push_back(s.bound ? significant(*s.bound, 3) : std::string());
        } else {
            row.insert(row.end(), 7, std::string());
        }
        row.push_back(intervalNote(p, settings));
        table.rows.push_back(std::move(row));
    }
    // The totals.
    std::vector<std::string> totals(table.header.size());
    std::size_t labelColumn = 0, callsColumn = 0;
    for (std::size_t i = 0; i < forecast.header.size(); ++i) {
        std::string name = forecast.header[i];
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        if (name == "interval") labelColumn = i;
        if (name == "calls") callsColumn = i;
    }
    const std::size_t base = forecast.header.size();
    totals[labelColumn] = "total";
    totals[callsColumn] = significant(plan.totals.calls, 10);
    totals[base + 1] = formatFixed(plan.totals.agentHours, 2);
    totals[base + 2] = formatFixed(plan.totals.scheduledHours, 2);
    totals[base + 4] = percentText(plan.totals.serviceLevel);
    totals[base + 6] = percentText(plan.totals.abandonment);
    totals.back() = std::string("agent-hours; SL and abandonment weighted by the calls of the intervals with values; "
                                "model: ") +
                    queueModelName(settings.model);
    table.rows.push_back(std::move(totals));
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
    if (settings.serviceShare)
        c5.targets.push_back({*settings.serviceShare, "SL target " + shareWords(*settings.serviceShare)});
    if (settings.maxAbandon)
        c5.targets.push_back({*settings.maxAbandon, "abandonment limit " + shareWords(*settings.maxAbandon)});
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

std::string planHtml(const std::string& forecastName, const Forecast& forecast, const DayPlanSettings& settings,
                     const DayPlan& plan) {
    const std::size_t n = plan.intervals.size();
    std::vector<std::string> labels;
    std::vector<double> calls(n), agents(n), scheduled(n), sl(n), abandon(n);
    bool reverse = false;
    for (std::size_t i = 0; i < n; ++i) {
        const IntervalPlan& p = plan.intervals[i];
        const ForecastInterval& f = forecast.intervals[p.index];
        labels.push_back(f.label);
        calls[i] = f.calls;
        const bool planned = p.outcome != IntervalOutcome::NoStaffing;
        agents[i] = planned ? p.agents : kNaN;
        scheduled[i] = planned ? p.scheduled : kNaN;
        sl[i] = p.measured ? p.service.serviceLevel : kNaN;
        abandon[i] = p.measured ? p.service.abandonment : kNaN;
        reverse = reverse || p.outcome == IntervalOutcome::Measured || p.outcome == IntervalOutcome::NoAgents;
    }
    const std::string xLabel = "interval (" + significant(settings.intervalMinutes, 6) + " minutes each)";
    std::string body;
    const auto chart = [&](LineChart c) { body += "<figure>" + svgLineChart(c) + "</figure>\n"; };

    // A chart over the intervals.
    const auto perInterval = [&](const char* id, std::string title, std::string yLabel) {
        LineChart c;
        c.id = id;
        c.title = std::move(title);
        c.xLabel = xLabel;
        c.yLabel = std::move(yLabel);
        c.categories = labels;
        return c;
    };
    LineChart c1 = perInterval("calls", "Offered calls per interval", "calls per interval");
    c1.series = {{"offered calls", calls}};
    LineChart c2 = perInterval(
        "agents", reverse ? "Agents on hand per interval" : "Required and scheduled agents per interval", "agents");
    c2.series = {{reverse ? "staffed (net)" : "required (net)", agents},
                 {"scheduled (with " + significant(settings.shrinkage * kPercent, 6) + " % shrinkage)", scheduled}};
    LineChart c3 = perInterval("sl", "Service level per interval",
                               "offered calls answered within " + secondsWords(settings.serviceSeconds));
    c3.yPercent = true;
    c3.yMax = 1;
    c3.series = {{slName(settings), sl}};
    if (settings.serviceShare) c3.targets.push_back({*settings.serviceShare, "target " + shareWords(*settings.serviceShare)});
    LineChart c4 = perInterval("abandonment", "Abandonment per interval", "callers who hang up");
    c4.yPercent = true;
    c4.series = {{"abandonment", abandon}};
    if (settings.maxAbandon) c4.targets.push_back({*settings.maxAbandon, "limit " + shareWords(*settings.maxAbandon)});

    body += "<h2>Calls and agents</h2>\n";
    chart(c1);
    chart(c2);
    body += "<h2>Service against the targets</h2>\n";
    chart(c3);
    chart(c4);
    if (plan.busiest) {
        const BusiestInterval& b = *plan.busiest;
        const IntervalPlan& p = plan.intervals[b.index];
        const std::string label = forecast.intervals[b.index].label;
        body += "<h2>The busiest interval: " + xmlEscaped(label) + " (" + formatFixed(p.load, 2) +
                " Erlangs)</h2>\n";
        for (const LineChart& c : busiestCharts(forecast, settings, plan)) chart(c);
    }

    // The table.
    const PlanTable table = planTable(forecast, settings, plan);
    body += "<h2>Plan</h2>\n<div class=\"wide\">\n<table>\n<thead><tr>";
    for (const std::string& h : table.header) body += "<th>" + xmlEscaped(h) + "</th>";
    body += "</tr></thead>\n<tbody>\n";
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const bool total = r + 1 == table.rows.size();
        const bool unmet = !total && !plan.intervals[r].met;
        body += std::string("<tr") + (total ? " class=\"total\"" : unmet ? " class=\"unmet\"" : "") + ">";
        for (const std::string& cell : table.rows[r]) body += "<td>" + xmlEscaped(cell) + "</td>";
        body += "</tr>\n";
    }
    body += "</tbody>\n</table>\n</div>\n";

    body += "<h2>Inputs</h2>\n<ul>\n<li>Forecast: " + xmlEscaped(forecastName) + ", " + std::to_string(n) +
            " intervals</li>\n";
    std::vector<std::string> settingsLines = describeSettings(settings);
    if (forecast.hasPatience) settingsLines[4] = "Patience: " + patienceWords(settings, true);
    for (const std::string& line : settingsLines) body += "<li>" + xmlEscaped(line) + "</li>\n";
    body += "</ul>\n";

    body += "<h2>Model assumptions</h2>\n<ul>\n"
            "<li>Within each interval calls arrive at random (a Poisson stream) at a steady rate: the interval's "
            "calls spread evenly over its length. Each interval is planned on its own, as if it had run long "
            "enough to settle; no queue is carried from one interval into the next.</li>\n"
            "<li>Handle times vary at random around the interval's average handle time (exponentially "
            "distributed); all agents are alike and answer calls in the order they came.</li>\n"
            "<li>A caller who waits longer than their patience hangs up. The model takes the chance of hanging up "
            "of the k-th caller in the queue from the patience distribution at the time k / (arrival rate); for "
            "exponential patience this is exact.</li>\n"
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

    std::string summary = std::to_string(n) + " intervals, " + significant(plan.totals.calls, 10) +
                          " calls; " + formatFixed(plan.totals.agentHours, 1) + " agent-hours net, " +
                          formatFixed(plan.totals.scheduledHours, 1) + " scheduled";
    if (std::isfinite(plan.totals.serviceLevel))
        summary += "; " + slName(settings) + " " + percentText(plan.totals.serviceLevel) + " %, abandonment " +
                   percentText(plan.totals.abandonment) + " % (weighted by calls)";
    summary += plan.unmet == 0 ? ". Every interval meets the targets." :
                                 ". " + std::to_string(plan.unmet) + " intervals miss a target (marked in the plan).";

    return htmlPage("Staffing plan: " + forecastName,
                    "h1 { font-size: 1.5em; } h2 { font-size: 1.2em; margin-top: 1.6em; border-bottom: 1px solid #999; }\n"
                    "figure { margin: 0.8em 0; } svg.chart { max-width: 100%; height: auto; }\n"
                    "div.wide { overflow-x: auto; } table { border-collapse: collapse; font-size: 0.8em; }\n"
                    "th, td { border: 1px solid #999; padding: 0.15em 0.5em; text-align: right; white-space: nowrap; }\n"
                    "td:first-child, th { text-align: left; } td:last-child { text-align: left; white-space: normal; }\n"
                    "tr.unmet td { font-weight: bold; background: #eee; } tr.total td { font-weight: bold; border-top: 2px solid #000; }\n"
                    "@media print { body { max-width: none; margin: 0; } figure { break-inside: avoid; } div.wide { overflow: visible; } }\n",
                    "<p>" + xmlEscaped(summary) + "</p>\n" + body,
                    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n");
}

}  // namespace queuecalc
