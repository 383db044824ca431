#pragma once
// Shift scheduling: which shifts start when, how many agents on each, and
// when each takes its break, at the lowest cost, so that every interval has
// at least the agents it requires working.
//
// Time is counted in minutes from midnight of the first day of the horizon;
// the horizon is the days of the requirements in the order they are first
// listed, each of 24 hours, and it is not cyclic: a shift may run past
// midnight into the next listed day but not past the last one. An agent
// counts in an interval only when on shift and not on break for the whole of
// it. An interval that is not listed is closed: no shift overlaps it (and it
// needs nobody); a listed interval may require 0.
//
// The integer program (one variable per complete pattern: template, day,
// start and break start; Dantzig's set covering, Management Science 1 (1954)
// 189-190) is solved by CBC through its driver, on one thread, so that the
// same input gives the same roster on every run unless the time limit stops
// the search first.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/failure.h"
#include "input/located_failure.h"

namespace queuecalc {
namespace schedule {

constexpr int kMinutesPerDay = 24 * 60;

struct Requirements {
    int intervalMinutes = 30;
    std::vector<std::string> days;  // labels in the order first listed ("" when the file has no day column)
    std::vector<double> required;   // per interval of the horizon (day * intervalsPerDay + slot); may be fractional
    std::vector<bool> listed;       // open: listed in the file
    int intervalsPerDay() const { return kMinutesPerDay / intervalMinutes; }
};

struct ShiftTemplate {
    std::string name;
    std::vector<bool> onDay;  // per day of the horizon
    int earliestStart = 0;    // minute of the day
    int latestStart = 0;
    int startStep = 0;  // minutes
    int length = 0;     // minutes on site, break included
    int breakLength = 0;  // 0: no break
    int breakEarliest = 0;  // minutes after the start
    int breakLatest = 0;
    int breakStep = 0;
    double cost = 0;
    int minPerDay = 0;
    std::optional<int> maxPerDay;
    std::optional<int> maxTotal;
    int line = 0;  // in the templates file
};

// A bad requirements or templates file: line and column from 1 (0 where the
// whole file or record is meant), also in the message.
class ScheduleInputError : public LocatedFailure {
public:
    using LocatedFailure::LocatedFailure;
};

// Reads the requirements: columns day (or date; optional), interval (HH:MM)
// and the requirement, in any order. The requirement is the column
// `requiredColumn` when given (a plan's "scheduled" or "agents"), else
// "required", else a plan's "scheduled"; a plan's totals record is skipped.
// `name` starts every message. Throws ScheduleInputError.
Requirements readRequirements(const std::string& text, const std::string& name, int intervalMinutes,
                              const std::string& requiredColumn = "");

// Reads and checks the templates against the horizon of `requirements`.
// Throws ScheduleInputError naming the line and column.
std::vector<ShiftTemplate> readTemplates(const std::string& text, const std::string& name,
                                         const Requirements& requirements);

// Reads a whole file; a ScheduleInputError when it cannot be opened.
std::string readFileText(const std::string& path);

// One way to work a shift.
struct ShiftPattern {
    int shift = 0;       // index of the template
    int day = 0;         // the day it starts on (night shifts count there)
    int start = 0;       // minute of the horizon
    int breakStart = -1;  // minute of the horizon; -1: no break
};

// Every pattern of the templates that stays within the open intervals and
// the horizon, in the order template, day, start, break start.
std::vector<ShiftPattern> enumeratePatterns(const Requirements& requirements, const std::vector<ShiftTemplate>& shifts);

// The intervals of the horizon in which the pattern's agents work (whole
// interval on shift, no minute on break), and those in which they are on
// break for some of it.
std::vector<int> workingIntervals(const Requirements& requirements, const ShiftTemplate& shift, const ShiftPattern& p);
std::vector<int> breakIntervals(const Requirements& requirements, const ShiftTemplate& shift, const ShiftPattern& p);

struct SolveProgress {
    double seconds = 0;             // elapsed
    std::optional<double> best;     // cost of the best roster so far
    std::optional<double> bound;    // lower bound on the cost (none yet while a coarser problem is solved first)
};

// The longest time limit a search takes: a week (a longer one is a slip of
// unit, and the solver's own clock is not meant for it).
constexpr double kMostSolveSeconds = 7 * 24 * 3600;

struct ScheduleSettings {
    std::optional<int> maxStarts;    // distinct start times a day, over all templates
    double timeLimitSeconds = 120;   // elapsed time, above 0 and at most kMostSolveSeconds
    // Called now and then during the search (from the solver's thread).
    std::function<void(const SolveProgress&)> progress;
};

enum class ScheduleStatus {
    Optimal,        // proven optimal
    TimeLimit,      // stopped by the time limit with a roster: cost, bound and gap stated
    NoRosterInTime, // stopped by the time limit before any roster was found
    Uncoverable,    // some interval requires agents that no pattern can give
    Infeasible,     // the limits of the templates (per day, in all, start times) cannot be met
};

struct Schedule {
    ScheduleStatus status = ScheduleStatus::Infeasible;
    std::vector<ShiftPattern> patterns;  // every pattern considered
    std::vector<int> agents;             // per pattern
    std::vector<int> uncoverable;        // intervals, with Uncoverable
    double cost = 0;
    double bound = 0;
    double gap = 0;  // (cost - bound) / cost, 0 for a cost of 0
    double seconds = 0;
    int variables = 0;
    int constraints = 0;
};

// Solves the integer program. Throws RunFailure when CBC fails outright.
Schedule solveSchedule(const Requirements& requirements, const std::vector<ShiftTemplate>& shifts,
                       const ScheduleSettings& settings);

// Per interval of the horizon: agents working and on break under `schedule`.
struct Coverage {
    std::vector<int> working;
    std::vector<int> onBreak;
};
Coverage scheduleCoverage(const Requirements& requirements, const std::vector<ShiftTemplate>& shifts,
                          const Schedule& schedule);

// "HH:MM" (hours 0-23, one or two digits) as a minute of the day, or -1.
int parseClock(const std::string& text);
// A minute of the horizon as "HH:MM", with "+N" when it falls N days after `day`.
std::string clockText(int minute, int day);

}  // namespace schedule
}  // namespace queuecalc
