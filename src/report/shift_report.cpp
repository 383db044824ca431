#include "report/shift_report.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "core/echo_text.h"
#include "core/number_text.h"
#include "report/csv.h"
#include "report/svg_chart.h"

namespace queuecalc {

using namespace schedule;

namespace {
constexpr double kPercent = 100;
// Intervals named in a message about requirements that cannot be covered.
constexpr std::size_t kNamedIntervals = 12;

std::string intervalName(const Requirements& r, int k) {
    const int day = k / r.intervalsPerDay();
    const std::string& label = r.days[static_cast<std::size_t>(day)];
    return (label.empty() ? std::string() : echoText(label) + " ") + clockText(k * r.intervalMinutes, day);
}
}  // namespace

std::string scheduleFailure(const Requirements& r, const Schedule& schedule, const ScheduleSettings& settings) {
    switch (schedule.status) {
        case ScheduleStatus::Uncoverable: {
            std::string names;
            for (std::size_t i = 0; i < schedule.uncoverable.size() && i < kNamedIntervals; ++i)
                names += (i ? ", " : "") + intervalName(r, schedule.uncoverable[i]);
            if (schedule.uncoverable.size() > kNamedIntervals)
                names += " and " + std::to_string(schedule.uncoverable.size() - kNamedIntervals) + " more";
            return "no template can work in " + std::to_string(schedule.uncoverable.size()) +
                   " interval(s) that require agents: " + names;
        }
        case ScheduleStatus::Infeasible:
            return std::string("no roster covers the requirements within the templates' limits (min_per_day, "
                               "max_per_day, max_total") +
                   (settings.maxStarts ? ", --max-starts" : "") + ")";
        case ScheduleStatus::NoRosterInTime:
            return "the time limit (" + formatDigits(settings.timeLimitSeconds, 6) +
                   " s) ended the search before any roster was found";
        case ScheduleStatus::Optimal:
        case ScheduleStatus::TimeLimit: break;
    }
    return "";
}

std::string scheduleNote(const Schedule& schedule, const ScheduleSettings& settings) {
    if (schedule.status != ScheduleStatus::TimeLimit) return "";
    return "the time limit (" + formatDigits(settings.timeLimitSeconds, 6) +
           " s) ended the search; the roster is the best found, not proven optimal, and another run may stop at "
           "another one";
}

std::string agentsText(double agents) {
    if (agents == std::floor(agents)) return formatFixed(agents, 0);
    std::string text = formatFixed(agents, 2);
    while (text.back() == '0') text.pop_back();
    return text;
}

std::vector<RosterRow> rosterRows(const Requirements&, const std::vector<ShiftTemplate>& shifts, const Schedule& schedule) {
    std::map<std::tuple<int, int, int>, RosterRow> rows;
    for (std::size_t j = 0; j < schedule.patterns.size(); ++j) {
        const int agents = schedule.agents[j];
        if (agents == 0) continue;
        const ShiftPattern& p = schedule.patterns[j];
        RosterRow& row = rows[{p.shift, p.day, p.start}];
        row.shift = p.shift;
        row.day = p.day;
        row.start = p.start;
        row.end = p.start + shifts[static_cast<std::size_t>(p.shift)].length;
        row.agents += agents;
        if (p.breakStart >= 0) row.breaks.emplace_back(p.breakStart, agents);
    }
    std::vector<RosterRow> out;
    for (auto& entry : rows) {
        std::sort(entry.second.breaks.begin(), entry.second.breaks.end());
        out.push_back(std::move(entry.second));
    }
    return out;
}

std::string rosterCsv(const Requirements& r, const std::vector<ShiftTemplate>& shifts, const Schedule& schedule) {
    std::string text = csvRecord({"template", "day", "start", "end", "agents", "break_starts"});
    for (const RosterRow& row : rosterRows(r, shifts, schedule)) {
        std::string breaks;
        for (const auto& b : row.breaks)
            breaks += (breaks.empty() ? "" : " ") + clockText(b.first, row.day) + "x" + std::to_string(b.second);
        text += csvRecord({shifts[static_cast<std::size_t>(row.shift)].name, r.days[static_cast<std::size_t>(row.day)],
                           clockText(row.start, row.day), clockText(row.end, row.day), std::to_string(row.agents),
                           breaks});
    }
    return text;
}

std::string coverageCsv(const Requirements& r, const std::vector<ShiftTemplate>& shifts, const Schedule& schedule) {
    const Coverage c = scheduleCoverage(r, shifts, schedule);
    std::string text = csvRecord({"day", "interval", "required", "working", "on_break", "over", "under"});
    const int perDay = r.intervalsPerDay();
    for (std::size_t k = 0; k < r.required.size(); ++k) {
        if (!r.listed[k]) continue;
        const int day = static_cast<int>(k) / perDay;
        const double need = r.required[k];
        const double working = c.working[k];
        text += csvRecord({r.days[static_cast<std::size_t>(day)],
                           clockText(static_cast<int>(k) * r.intervalMinutes, day), agentsText(need),
                           std::to_string(c.working[k]), std::to_string(c.onBreak[k]),
                           agentsText(std::max(0.0, working - need)), agentsText(std::max(0.0, need - working))});
    }
    return text;
}

std::string scheduleSummary(const Requirements& r, const std::vector<ShiftTemplate>& shifts, const Schedule& schedule) {
    const Coverage c = scheduleCoverage(r, shifts, schedule);
    double over = 0, under = 0;
    int agents = 0;
    for (std::size_t k = 0; k < r.required.size(); ++k) {
        if (!r.listed[k]) continue;
        over += std::max(0.0, c.working[k] - r.required[k]);
        under += std::max(0.0, r.required[k] - c.working[k]);
    }
    for (int a : schedule.agents) agents += a;
    const double hours = r.intervalMinutes / 60.0;
    return std::to_string(agents) + " shifts, cost " + formatDigits(schedule.cost, 10) + ", bound " +
           formatDigits(schedule.bound, 10) + ", gap " + formatFixed(schedule.gap * kPercent, 2) + " %; over-cover " +
           formatFixed(over * hours, 2) + " agent-hours, under-cover " + formatFixed(under * hours, 2) + " agent-hours";
}

namespace {

std::string dayTitle(const Requirements& r, std::size_t day) {
    return r.days[day].empty() ? std::string("the day") : r.days[day];
}

}  // namespace

std::string coverageSections(const Requirements& r, const std::vector<ShiftTemplate>& shifts, const Schedule& schedule) {
    const Coverage c = scheduleCoverage(r, shifts, schedule);
    const int perDay = r.intervalsPerDay();
    std::string body = "<h2>Coverage</h2>\n";
    for (std::size_t d = 0; d < r.days.size(); ++d) {
        LineChart chart;
        chart.id = "coverage-" + std::to_string(d);
        chart.title = "Required, working and on-break agents, " + dayTitle(r, d);
        chart.xLabel = "interval (" + std::to_string(r.intervalMinutes) + " minutes each)";
        chart.yLabel = "agents";
        ChartSeries required{"required", {}}, working{"working", {}}, resting{"on break", {}};
        for (int slot = 0; slot < perDay; ++slot) {
            const std::size_t k = d * static_cast<std::size_t>(perDay) + static_cast<std::size_t>(slot);
            if (!r.listed[k]) continue;  // closed
            chart.categories.push_back(clockText(slot * r.intervalMinutes, 0));
            required.y.push_back(r.required[k]);
            working.y.push_back(c.working[k]);
            resting.y.push_back(c.onBreak[k]);
        }
        if (chart.categories.size() < 2) continue;
        chart.series = {required, working, resting};
        body += "<figure>" + svgLineChart(chart) + "</figure>\n";
    }
    return body;
}

std::string shiftsHtml(const std::string& name, const Requirements& r, const std::vector<ShiftTemplate>& shifts,
                       const Schedule& schedule, const ScheduleSettings& settings) {
    std::string body = "<p>" + xmlEscaped(scheduleSummary(r, shifts, schedule)) + ". " +
                       (schedule.status == ScheduleStatus::Optimal
                            ? std::string("The roster is optimal: no roster of the templates costs less.")
                            : xmlEscaped("Note: " + scheduleNote(schedule, settings) + ".")) +
                       "</p>\n";
    body += coverageSections(r, shifts, schedule);

    // Starts per day: agents starting at each time of the day, one line per template.
    const std::vector<RosterRow> rows = rosterRows(r, shifts, schedule);
    body += "<h2>Starts</h2>\n";
    for (std::size_t d = 0; d < r.days.size(); ++d) {
        int first = kMinutesPerDay, last = -1;
        for (const ShiftTemplate& s : shifts)
            if (s.onDay[d]) first = std::min(first, s.earliestStart), last = std::max(last, s.latestStart);
        if (last < first) continue;
        LineChart chart;
        chart.id = "starts-" + std::to_string(d);
        chart.title = "Agents starting, " + dayTitle(r, d);
        chart.xLabel = "start time (hours)";
        chart.yLabel = "agents starting";
        const int step = r.intervalMinutes < 15 ? r.intervalMinutes : 15;  // starts are drawn on a quarter-hour grid at most
        for (int m = first - first % step; m <= last; m += step) chart.x.push_back(m / 60.0);
        for (std::size_t t = 0; t < shifts.size(); ++t) {
            if (!shifts[t].onDay[d]) continue;
            ChartSeries series{shifts[t].name, std::vector<double>(chart.x.size(), 0.0)};
            for (const RosterRow& row : rows)
                if (row.shift == static_cast<int>(t) && row.day == static_cast<int>(d)) {
                    const int at = (row.start % kMinutesPerDay - (first - first % step)) / step;
                    if (at >= 0 && at < static_cast<int>(series.y.size())) series.y[static_cast<std::size_t>(at)] += row.agents;
                }
            chart.series.push_back(std::move(series));
        }
        if (chart.x.size() < 2) continue;
        body += "<figure>" + svgLineChart(chart, 760, 220) + "</figure>\n";
    }

    body += "<h2>Roster</h2>\n<div class=\"wide\">\n<table>\n<thead><tr>";
    for (const char* h : {"template", "day", "start", "end", "agents", "break starts", "cost"}) body += std::string("<th>") + h + "</th>";
    body += "</tr></thead>\n<tbody>\n";
    for (const RosterRow& row : rows) {
        std::string breaks;
        for (const auto& b : row.breaks)
            breaks += (breaks.empty() ? "" : " ") + clockText(b.first, row.day) + "\xC3\x97" + std::to_string(b.second);
        const ShiftTemplate& s = shifts[static_cast<std::size_t>(row.shift)];
        body += "<tr><td>" + xmlEscaped(s.name) + "</td><td>" + xmlEscaped(r.days[static_cast<std::size_t>(row.day)]) +
                "</td><td>" + clockText(row.start, row.day) + "</td><td>" + clockText(row.end, row.day) + "</td><td>" +
                std::to_string(row.agents) + "</td><td>" + breaks + "</td><td>" + formatDigits(s.cost * row.agents, 10) +
                "</td></tr>\n";
    }
    body += "</tbody>\n</table>\n</div>\n";
    body += "<h2>The model</h2>\n<ul>\n"
            "<li>An agent counts in an interval only when on shift and not on break for the whole interval; an "
            "interval that is not listed is closed, and no shift overlaps it.</li>\n"
            "<li>Each shift has at most one unpaid break, in its template's window; a night shift counts on the day "
            "it starts, and no shift runs past the last day.</li>\n"
            "<li>The cost is the sum of the templates' costs over the shifts; the bound is the solver's proof that "
            "no roster costs less, and the gap is (cost - bound) / cost.</li>\n"
            "<li>Not covered: several breaks per shift, named agents, days off.</li>\n</ul>\n";
    return htmlPage("Shifts: " + name,
                    "h1 { font-size: 1.5em; } h2 { font-size: 1.2em; margin-top: 1.6em; border-bottom: 1px solid #999; }\n"
                    "figure { margin: 0.8em 0; } svg.chart { max-width: 100%; height: auto; }\n"
                    "div.wide { overflow-x: auto; } table { border-collapse: collapse; font-size: 0.8em; }\n"
                    "th, td { border: 1px solid #999; padding: 0.15em 0.5em; text-align: right; white-space: nowrap; }\n"
                    "td:first-child, th { text-align: left; } td:nth-child(6) { text-align: left; white-space: normal; }\n"
                    "@media print { body { max-width: none; margin: 0; } figure { break-inside: avoid; } div.wide { overflow: visible; } }\n",
                    body, "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n");
}

}  // namespace queuecalc
