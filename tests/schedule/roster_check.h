#pragma once
// A roster checked without the solver: its CSV text read back and every rule
// checked by minute arithmetic of its own, against the requirements and the
// templates as the library reads them.

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "schedule/shifts.h"

namespace testsupport {

// Fields of simple CSV text (no quotes), CR LF or LF line ends.
inline std::vector<std::vector<std::string>> csvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields(1);
        for (char c : line) {
            if (c == ',') fields.emplace_back();
            else fields.back() += c;
        }
        rows.push_back(fields);
    }
    return rows;
}

// "HH:MM" or "HH:MM+N" as minutes after midnight of the day it counts from; -1 if malformed.
inline int clockMinutes(const std::string& text) {
    int h = 0, m = 0, plus = 0;
    char colon = 0;
    std::istringstream in(text);
    if (!(in >> h >> colon >> m) || colon != ':' || text.size() < 5 || text[2] != ':') return -1;
    if (in.peek() == '+') {
        in.get();
        if (!(in >> plus)) return -1;
    }
    return h * 60 + m + plus * 24 * 60;
}

struct RosterCheck {
    std::vector<std::string> problems;
    std::vector<int> working;  // per interval of the horizon
    std::vector<int> onBreak;
    double cost = 0;
};

inline RosterCheck checkRoster(const queuecalc::schedule::Requirements& r,
                               const std::vector<queuecalc::schedule::ShiftTemplate>& shifts, const std::string& csv,
                               int maxStarts = 0) {
    RosterCheck check;
    const int day = 24 * 60;
    const int interval = r.intervalMinutes;
    const std::size_t slots = r.required.size();
    check.working.assign(slots, 0);
    check.onBreak.assign(slots, 0);
    const auto problem = [&](std::size_t row, const std::string& what) {
        check.problems.push_back("row " + std::to_string(row) + ": " + what);
    };
    const std::vector<std::vector<std::string>> rows = csvRows(csv);
    if (rows.empty() || rows[0] != std::vector<std::string>{"template", "day", "start", "end", "agents", "break_starts"}) {
        check.problems.push_back("the header is not template,day,start,end,agents,break_starts");
        return check;
    }
    std::map<std::pair<std::size_t, std::size_t>, int> perDay;
    std::map<std::size_t, int> perTemplate;
    std::map<std::size_t, std::set<int>> starts;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const std::vector<std::string>& f = rows[i];
        if (f.size() != 6) { problem(i, "not 6 fields"); continue; }
        std::size_t t = 0;
        while (t < shifts.size() && shifts[t].name != f[0]) ++t;
        std::size_t d = 0;
        while (d < r.days.size() && r.days[d] != f[1]) ++d;
        if (t == shifts.size() || d == r.days.size()) { problem(i, "unknown template or day"); continue; }
        const auto& s = shifts[t];
        const int start = clockMinutes(f[2]);
        const int agents = std::stoi(f[4]);
        if (!s.onDay[d]) problem(i, "the template does not work on " + f[1]);
        if (start < s.earliestStart || start > s.latestStart || (start - s.earliestStart) % s.startStep != 0)
            problem(i, "start " + f[2] + " off the template's grid or window");
        if (clockMinutes(f[3]) != start + s.length) problem(i, "end " + f[3] + " is not start + length");
        if (agents <= 0) problem(i, "no agents");
        const int from = static_cast<int>(d) * day + start, to = from + s.length;
        for (int k = from / interval; k * interval < to; ++k)
            if (k >= static_cast<int>(slots) || !r.listed[static_cast<std::size_t>(k)]) {
                problem(i, "the shift runs into a closed interval or past the horizon");
                break;
            }
        // Breaks: "HH:MMxN" groups.
        std::vector<std::pair<int, int>> breaks;  // (minute of the horizon, agents)
        std::istringstream groups(f[5]);
        int breakAgents = 0;
        for (std::string g; groups >> g;) {
            const std::size_t x = g.find('x');
            const int at = x == std::string::npos ? -1 : clockMinutes(g.substr(0, x));
            const int n = x == std::string::npos ? 0 : std::stoi(g.substr(x + 1));
            const int offset = static_cast<int>(d) * day + at - from;
            if (at < 0 || n <= 0 || s.breakLength == 0 || offset < s.breakEarliest || offset > s.breakLatest ||
                (offset - s.breakEarliest) % s.breakStep != 0)
                problem(i, "break " + g + " off the template's grid or window");
            breaks.emplace_back(from + offset, n);
            breakAgents += n;
        }
        if (s.breakLength > 0 ? breakAgents != agents : !breaks.empty())
            problem(i, "the break groups do not add up to the agents");
        if (s.breakLength == 0) breaks = {{-1, agents}};
        for (const auto& b : breaks)
            for (int k = from / interval; k * interval < to && k < static_cast<int>(slots); ++k) {
                const int a = k * interval, e = a + interval;
                const bool onShift = from <= a && e <= to;
                const bool resting = b.first >= 0 && a < b.first + s.breakLength && b.first < e;
                if (onShift && !resting) check.working[static_cast<std::size_t>(k)] += b.second;
                if (resting) check.onBreak[static_cast<std::size_t>(k)] += b.second;
            }
        perDay[{t, d}] += agents;
        perTemplate[t] += agents;
        starts[d].insert(start);
        check.cost += agents * s.cost;
    }
    for (std::size_t t = 0; t < shifts.size(); ++t) {
        const auto& s = shifts[t];
        for (std::size_t d = 0; d < r.days.size(); ++d) {
            const int n = perDay.count({t, d}) ? perDay[{t, d}] : 0;
            if (s.onDay[d] && (n < s.minPerDay || (s.maxPerDay && n > *s.maxPerDay)))
                check.problems.push_back(s.name + " on day " + std::to_string(d) + ": " + std::to_string(n) + " agents, out of its limits");
        }
        if (s.maxTotal && perTemplate[t] > *s.maxTotal) check.problems.push_back(s.name + ": above max_total");
    }
    for (const auto& d : starts)
        if (maxStarts > 0 && static_cast<int>(d.second.size()) > maxStarts)
            check.problems.push_back("day " + std::to_string(d.first) + ": more distinct starts than allowed");
    for (std::size_t k = 0; k < slots; ++k)
        if (check.working[k] < r.required[k] - 1e-9)
            check.problems.push_back("interval " + std::to_string(k) + ": " + std::to_string(check.working[k]) +
                                     " working where " + std::to_string(r.required[k]) + " are required");
    return check;
}

}  // namespace testsupport
