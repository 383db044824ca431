#pragma once
// A schedule written out: the roster and the coverage as CSV (RFC 4180, CR LF).
//
// Roster: template,day,start,end,agents,break_starts, one record per
// template, day and start with agents; end is HH:MM, or HH:MM+1 after
// midnight; break_starts is "HH:MMxN" groups separated by spaces, their N
// adding up to agents.
// Coverage: day,interval,required,working,on_break,over,under, one record
// per listed interval; over and under compare working with the requirement.

#include <string>
#include <vector>

#include "schedule/shifts.h"

namespace queuecalc {

struct RosterRow {
    int shift = 0;
    int day = 0;
    int start = 0;  // minute of the horizon
    int end = 0;
    int agents = 0;
    std::vector<std::pair<int, int>> breaks;  // (minute of the horizon, agents)
};

// The schedule's agents grouped by template, day and start, in that order.
std::vector<RosterRow> rosterRows(const schedule::Requirements& requirements,
                                  const std::vector<schedule::ShiftTemplate>& shifts, const schedule::Schedule& schedule);

std::string rosterCsv(const schedule::Requirements& requirements, const std::vector<schedule::ShiftTemplate>& shifts,
                      const schedule::Schedule& schedule);
std::string coverageCsv(const schedule::Requirements& requirements, const std::vector<schedule::ShiftTemplate>& shifts,
                        const schedule::Schedule& schedule);

// A number of agents as written in the outputs: whole, or with up to two decimals.
std::string agentsText(double agents);

// "paid cost C, bound B, gap G %": the schedule's totals in words, with over- and under-cover.
std::string scheduleSummary(const schedule::Requirements& requirements, const std::vector<schedule::ShiftTemplate>& shifts,
                            const schedule::Schedule& schedule);

// Why the schedule has no roster, in words naming what to change (the
// intervals no template works in, the limits, the time limit); empty when it
// has one.
std::string scheduleFailure(const schedule::Requirements& requirements, const schedule::Schedule& schedule,
                            const schedule::ScheduleSettings& settings);

// The note of a roster that the time limit stopped before its proof; empty otherwise.
std::string scheduleNote(const schedule::Schedule& schedule, const schedule::ScheduleSettings& settings);

// The coverage as HTML sections: per day, a chart of required, working and
// on-break agents per interval (for the shifts' report and the plan's).
std::string coverageSections(const schedule::Requirements& requirements,
                             const std::vector<schedule::ShiftTemplate>& shifts, const schedule::Schedule& schedule);

// The whole report as one HTML document (no script, nothing outside it): the
// totals (cost, bound, gap, over- and under-cover), the coverage per day, the
// starts per day as a chart and the roster as a table. `name` names the
// requirements in the title.
std::string shiftsHtml(const std::string& name, const schedule::Requirements& requirements,
                       const std::vector<schedule::ShiftTemplate>& shifts, const schedule::Schedule& schedule,
                       const schedule::ScheduleSettings& settings);

}  // namespace queuecalc
