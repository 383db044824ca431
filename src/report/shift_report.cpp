#include "report/shift_report.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "core/echo_text.h"
#include "core/number_text.h"
#include "report/csv.h"

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

}  // namespace queuecalc
