// The shift schedule as an integer program, solved by CBC (see shifts.h).
//
// Variables: x_p >= 0, integer, the agents who work pattern p (template,
// day, start, break start); with a cap on start times, y_{d,t} in {0, 1},
// whether any shift starts at time t of day d.
// Minimise   sum_p cost(p) x_p
// subject to sum_{p working in i} x_p >= ceil(required_i)        every interval i that requires agents
//            min_per_day <= sum_{p of template T on day d} x_p <= max_per_day
//            sum_{p of template T} x_p <= max_total
//            x_p <= u_p y_{d,t}, sum_t y_{d,t} <= N                 with --max-starts N
// where u_p = max(ceil of the largest requirement p covers, min_per_day of
// its template): an optimal roster never needs more on one pattern.
//
// The explicit form (one column per complete pattern) was chosen over the
// implicit one (shift columns and break columns linked by window rows): it
// has the same LP bound and, though denser, CBC's default strategy finds and
// proves good rosters on it far sooner (in earlier trials on a heavy week of
// six templates the implicit form had no roster after 300 s, this one was
// within 0.05 %). CBC is called through its driver
// (CbcMain0/CbcMain1, the strategy of the cbc program), on one thread so that
// a run is repeatable, with the time limit in elapsed time.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <tuple>
#include <string>

#include <CbcEventHandler.hpp>
#include <CbcModel.hpp>
#include <CbcSolver.hpp>
#include <CoinPackedMatrix.hpp>
#include <OsiClpSolverInterface.hpp>

#include "schedule/shifts.h"

namespace queuecalc {
namespace schedule {

namespace {

// Requirements come from CSV text; a requirement within this of a whole
// number is that number (10.000000001 needs 10 agents, not 11).
constexpr double kWholeTolerance = 1e-9;
// A problem is first solved on a coarser break grid (see solveSchedule) from
// this many columns, where some template has at least this many break starts
// beyond the first: the examples' day (340 columns) and week with breaks every
// 30 minutes (4,676) are proven fastest directly.
constexpr std::size_t kCoarseColumns = 6000;
constexpr int kCoarseBreakStarts = 8;
// Progress is reported after this much elapsed time and then as often.
constexpr double kProgressSeconds = 5;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Passes the search's state to the caller's progress function now and then.
class ProgressHandler : public CbcEventHandler {
public:
    struct Shared {
        std::function<void(const SolveProgress&)> report;
        Clock::time_point start;
        double next = kProgressSeconds;
        double limit = 0;  // elapsed seconds
    };
    explicit ProgressHandler(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
    CbcEventHandler* clone() const override { return new ProgressHandler(*this); }
    CbcAction event(CbcEvent which) override {
        // CBC checks its own limit between some steps only: on a busy machine a
        // search ran 30 s past it. Here it is checked at every node too.
        if (which == node && secondsSince(shared_->start) >= shared_->limit) return stop;
        if ((which == node || which == solution || which == heuristicSolution) && shared_->report && model_ != nullptr) {
            const double elapsed = secondsSince(shared_->start);
            if (elapsed >= shared_->next) {
                shared_->next = elapsed + kProgressSeconds;
                SolveProgress progress;
                progress.seconds = elapsed;
                if (model_->bestSolution() != nullptr) progress.best = model_->getObjValue();
                progress.bound = model_->getBestPossibleObjValue();
                shared_->report(progress);
            }
        }
        return noAction;
    }

private:
    std::shared_ptr<Shared> shared_;
};

int noCallback(CbcModel*, int) { return 0; }

// Standard output sent to the null device while it lives: CBC and CLP print
// a few lines with printf whatever their log levels ("1 slacks added"), and
// the library prints nothing (a roster may be going to standard output).
class QuietStandardOutput {
public:
    QuietStandardOutput() {
        std::cout.flush();
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        if (saved_ >= 0 && null >= 0) ::dup2(null, STDOUT_FILENO);
        if (null >= 0) ::close(null);
    }
    ~QuietStandardOutput() {
        std::cout.flush();
        std::fflush(stdout);
        if (saved_ >= 0) {
            ::dup2(saved_, STDOUT_FILENO);
            ::close(saved_);
        }
    }
    QuietStandardOutput(const QuietStandardOutput&) = delete;
    QuietStandardOutput& operator=(const QuietStandardOutput&) = delete;

private:
    int saved_ = -1;
};

std::string numberArgument(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

}  // namespace

std::vector<ShiftPattern> enumeratePatterns(const Requirements& r, const std::vector<ShiftTemplate>& shifts) {
    const int interval = r.intervalMinutes;
    const int horizonEnd = static_cast<int>(r.days.size()) * kMinutesPerDay;
    const auto open = [&](int from, int to) {  // every minute of [from, to) in a listed interval
        for (int k = from / interval; k * interval < to; ++k)
            if (!r.listed[static_cast<std::size_t>(k)]) return false;
        return true;
    };
    std::vector<ShiftPattern> patterns;
    for (std::size_t t = 0; t < shifts.size(); ++t) {
        const ShiftTemplate& s = shifts[t];
        for (std::size_t d = 0; d < r.days.size(); ++d) {
            if (!s.onDay[d]) continue;
            for (int minute = s.earliestStart; minute <= s.latestStart; minute += s.startStep) {
                const int start = static_cast<int>(d) * kMinutesPerDay + minute;
                if (start + s.length > horizonEnd || !open(start, start + s.length)) continue;
                ShiftPattern p{static_cast<int>(t), static_cast<int>(d), start, -1};
                if (s.breakLength == 0) {
                    patterns.push_back(p);
                    continue;
                }
                for (int b = s.breakEarliest; b <= s.breakLatest; b += s.breakStep) {
                    p.breakStart = start + b;
                    patterns.push_back(p);
                }
            }
        }
    }
    return patterns;
}

std::vector<int> workingIntervals(const Requirements& r, const ShiftTemplate& s, const ShiftPattern& p) {
    const int interval = r.intervalMinutes;
    std::vector<int> slots;
    for (int k = (p.start + interval - 1) / interval; (k + 1) * interval <= p.start + s.length; ++k) {
        const int from = k * interval, to = from + interval;
        if (p.breakStart >= 0 && from < p.breakStart + s.breakLength && p.breakStart < to) continue;
        slots.push_back(k);
    }
    return slots;
}

std::vector<int> breakIntervals(const Requirements& r, const ShiftTemplate& s, const ShiftPattern& p) {
    std::vector<int> slots;
    if (p.breakStart < 0 || s.breakLength == 0) return slots;
    for (int k = p.breakStart / r.intervalMinutes; k * r.intervalMinutes < p.breakStart + s.breakLength; ++k)
        slots.push_back(k);
    return slots;
}

namespace {

// A roster to start from: agents per pattern.
using StartingRoster = std::vector<std::pair<ShiftPattern, int>>;

// One solve of the whole program, within the time left of the limit since
// `started`, from `start` when given.
Schedule solveOnce(const Requirements& r, const std::vector<ShiftTemplate>& shifts, const ScheduleSettings& settings,
                   Clock::time_point started, const StartingRoster* start) {
    Schedule result;
    result.patterns = enumeratePatterns(r, shifts);
    const std::size_t slots = r.required.size();
    const std::size_t n = result.patterns.size();

    // Which patterns work in which interval.
    std::vector<std::vector<int>> working(n);
    std::vector<int> row(slots, -1);  // the covering row of each interval that requires agents
    std::vector<bool> covered(slots, false);
    for (std::size_t j = 0; j < n; ++j) {
        working[j] = workingIntervals(r, shifts[static_cast<std::size_t>(result.patterns[j].shift)], result.patterns[j]);
        for (int k : working[j]) covered[static_cast<std::size_t>(k)] = true;
    }
    std::vector<double> need(slots, 0);
    for (std::size_t k = 0; k < slots; ++k) {
        need[k] = std::ceil(r.required[k] - kWholeTolerance);
        if (need[k] > 0 && !covered[k]) result.uncoverable.push_back(static_cast<int>(k));
    }
    result.agents.assign(n, 0);
    if (!result.uncoverable.empty()) {
        result.status = ScheduleStatus::Uncoverable;
        result.seconds = secondsSince(started);
        return result;
    }

    std::vector<int> rows, cols;
    std::vector<double> values, rowLow, rowHigh;
    const double infinity = COIN_DBL_MAX;
    const auto addRow = [&](double low, double high) {
        rowLow.push_back(low);
        rowHigh.push_back(high);
        return static_cast<int>(rowLow.size()) - 1;
    };
    for (std::size_t k = 0; k < slots; ++k)
        if (need[k] > 0) row[k] = addRow(need[k], infinity);
    for (std::size_t j = 0; j < n; ++j)
        for (int k : working[j])
            if (row[static_cast<std::size_t>(k)] >= 0) {
                rows.push_back(row[static_cast<std::size_t>(k)]);
                cols.push_back(static_cast<int>(j));
                values.push_back(1);
            }
    // Limits per template and day, and in all.
    for (std::size_t t = 0; t < shifts.size(); ++t) {
        const ShiftTemplate& s = shifts[t];
        if (s.minPerDay > 0 || s.maxPerDay)
            for (std::size_t d = 0; d < r.days.size(); ++d) {
                if (!s.onDay[d]) continue;
                const int at = addRow(s.minPerDay, s.maxPerDay ? *s.maxPerDay : infinity);
                for (std::size_t j = 0; j < n; ++j)
                    if (result.patterns[j].shift == static_cast<int>(t) && result.patterns[j].day == static_cast<int>(d)) {
                        rows.push_back(at);
                        cols.push_back(static_cast<int>(j));
                        values.push_back(1);
                    }
            }
        if (s.maxTotal) {
            const int at = addRow(-infinity, *s.maxTotal);
            for (std::size_t j = 0; j < n; ++j)
                if (result.patterns[j].shift == static_cast<int>(t)) {
                    rows.push_back(at);
                    cols.push_back(static_cast<int>(j));
                    values.push_back(1);
                }
        }
    }
    std::vector<double> colLow(n, 0), colHigh(n), cost(n);
    for (std::size_t j = 0; j < n; ++j) {
        const ShiftTemplate& s = shifts[static_cast<std::size_t>(result.patterns[j].shift)];
        double most = s.minPerDay;
        for (int k : working[j]) most = std::max(most, need[static_cast<std::size_t>(k)]);
        colHigh[j] = most;
        cost[j] = s.cost;
    }
    // Start times: y_{d,t} after the x columns.
    if (settings.maxStarts) {
        std::vector<std::vector<int>> startColumn(r.days.size(), std::vector<int>(kMinutesPerDay, -1));
        std::vector<int> dayRow(r.days.size(), -1);
        for (std::size_t j = 0; j < n; ++j) {
            const ShiftPattern& p = result.patterns[j];
            const std::size_t d = static_cast<std::size_t>(p.day);
            int& y = startColumn[d][static_cast<std::size_t>(p.start % kMinutesPerDay)];
            if (y < 0) {
                y = static_cast<int>(colLow.size());
                colLow.push_back(0);
                colHigh.push_back(1);
                cost.push_back(0);
                if (dayRow[d] < 0) dayRow[d] = addRow(-infinity, *settings.maxStarts);
                rows.push_back(dayRow[d]);
                cols.push_back(y);
                values.push_back(1);
            }
            const int link = addRow(-infinity, 0);  // x_p - u_p y <= 0
            rows.push_back(link);
            cols.push_back(static_cast<int>(j));
            values.push_back(1);
            rows.push_back(link);
            cols.push_back(y);
            values.push_back(-colHigh[j]);
        }
    }
    const int columns = static_cast<int>(colLow.size());
    result.variables = columns;
    result.constraints = static_cast<int>(rowLow.size());

    CoinPackedMatrix matrix(true, rows.data(), cols.data(), values.data(), static_cast<CoinBigIndex>(values.size()));
    matrix.setDimensions(static_cast<int>(rowLow.size()), columns);
    OsiClpSolverInterface solver;
    solver.loadProblem(matrix, colLow.data(), colHigh.data(), cost.data(), rowLow.data(), rowHigh.data());
    for (int j = 0; j < columns; ++j) solver.setInteger(j);
    solver.setObjSense(1);
    solver.messageHandler()->setLogLevel(0);

    std::vector<std::string> names;
    std::vector<const char*> startNames;
    std::vector<double> startValues;
    if (start != nullptr) {
        // CBC takes a starting roster by column names.
        std::map<std::tuple<int, int, int>, std::size_t> column;
        for (std::size_t j = 0; j < n; ++j) {
            const ShiftPattern& p = result.patterns[j];
            column[{p.shift, p.start, p.breakStart}] = j;
            solver.setColName(static_cast<int>(j), "x" + std::to_string(j));
        }
        for (int j = static_cast<int>(n); j < columns; ++j) solver.setColName(j, "y" + std::to_string(j));
        names.reserve(start->size());
        for (const auto& entry : *start) {
            const auto at = column.find({entry.first.shift, entry.first.start, entry.first.breakStart});
            if (at == column.end()) continue;
            names.push_back("x" + std::to_string(at->second));
            startValues.push_back(entry.second);
        }
        for (const std::string& name : names) startNames.push_back(name.c_str());
    }
    CbcModel model(solver);
    if (!startNames.empty())
        model.setMIPStart(static_cast<int>(startNames.size()), startNames.data(), startValues.data());
    model.messageHandler()->setLogLevel(0);
    auto shared = std::make_shared<ProgressHandler::Shared>();
    shared->report = settings.progress;
    shared->start = started;
    shared->limit = settings.timeLimitSeconds;
    ProgressHandler handler(shared);
    model.passInEventHandler(&handler);
    // CBC's heuristics draw from the C library's drand48, whose state lives
    // on between solves in one process: back to its state at the start of a
    // process (glibc's documented initial X = 0x1234ABCD330E), so that a
    // second solve of the same problem in one process equals the first.
    unsigned short initialRandomState[3] = {0x330E, 0xABCD, 0x1234};
    ::seed48(initialRandomState);
    const QuietStandardOutput quiet;
    CbcSolverUsefulData data;
    data.noPrinting_ = true;
    CbcMain0(model, data);
    const std::string seconds = numberArgument(std::max(0.0, settings.timeLimitSeconds - secondsSince(started)));
    const char* argv[] = {"queuecalc-shifts", "-log", "0", "-slog", "0", "-threads", "0", "-timeMode", "elapsed",
                          "-seconds", seconds.c_str(), "-solve", "-quit"};
    const int argc = static_cast<int>(sizeof argv / sizeof argv[0]);
    if (CbcMain1(argc, argv, model, noCallback, data) != 0) throw RunFailure("the solver CBC failed");
    result.seconds = secondsSince(started);

    const double* solution = model.bestSolution();
    const bool timedOut = model.isSecondsLimitReached() || (!model.isProvenOptimal() && !model.isProvenInfeasible() &&
                                                            result.seconds >= settings.timeLimitSeconds);
    if (solution == nullptr) {
        result.status = timedOut ? ScheduleStatus::NoRosterInTime : ScheduleStatus::Infeasible;
        return result;
    }
    result.cost = 0;
    for (std::size_t j = 0; j < n; ++j) {
        result.agents[j] = static_cast<int>(std::lround(solution[j]));
        result.cost += cost[j] * result.agents[j];
    }
    result.status = model.isProvenOptimal() ? ScheduleStatus::Optimal : ScheduleStatus::TimeLimit;
    result.bound = std::min(result.cost, model.getBestPossibleObjValue());
    result.gap = result.cost > 0 ? (result.cost - result.bound) / result.cost : 0;
    return result;
}

}  // namespace

Schedule solveSchedule(const Requirements& r, const std::vector<ShiftTemplate>& shifts, const ScheduleSettings& settings) {
    const Clock::time_point started = Clock::now();
    // On a large problem whose breaks have many possible starts, CBC's
    // heuristics find good rosters late (a week of 8,366 columns with breaks
    // every 15 minutes stood 1.5 % above its bound after 120 s, while the same
    // week with breaks every 30 minutes was proven optimal in 4 s, at the same
    // cost as the bound of the finer one). So such a problem is first solved
    // with every break step doubled, in at most a third of the time limit,
    // and its roster (a roster of the finer problem too) is the finer
    // search's start.
    std::vector<ShiftTemplate> coarse = shifts;
    bool coarser = false;
    for (ShiftTemplate& t : coarse)
        if (t.breakLength > 0 && (t.breakLatest - t.breakEarliest) / t.breakStep >= kCoarseBreakStarts) {
            t.breakStep *= 2;
            coarser = true;
        }
    if (!coarser || enumeratePatterns(r, shifts).size() < kCoarseColumns) return solveOnce(r, shifts, settings, started, nullptr);
    ScheduleSettings first = settings;
    first.timeLimitSeconds = settings.timeLimitSeconds / 3;
    if (settings.progress)
        first.progress = [&settings](SolveProgress p) {
            p.bound.reset();  // the coarser problem's bound is none of the whole problem's
            settings.progress(p);
        };
    const Schedule rough = solveOnce(r, coarse, first, started, nullptr);
    if (rough.status != ScheduleStatus::Optimal && rough.status != ScheduleStatus::TimeLimit)
        return solveOnce(r, shifts, settings, started, nullptr);
    StartingRoster start;
    for (std::size_t j = 0; j < rough.patterns.size(); ++j)
        if (rough.agents[j] > 0) start.emplace_back(rough.patterns[j], rough.agents[j]);
    return solveOnce(r, shifts, settings, started, &start);
}

Coverage scheduleCoverage(const Requirements& r, const std::vector<ShiftTemplate>& shifts, const Schedule& schedule) {
    Coverage c;
    c.working.assign(r.required.size(), 0);
    c.onBreak.assign(r.required.size(), 0);
    for (std::size_t j = 0; j < schedule.patterns.size(); ++j) {
        const int agents = schedule.agents[j];
        if (agents == 0) continue;
        const ShiftPattern& p = schedule.patterns[j];
        const ShiftTemplate& s = shifts[static_cast<std::size_t>(p.shift)];
        for (int k : workingIntervals(r, s, p)) c.working[static_cast<std::size_t>(k)] += agents;
        for (int k : breakIntervals(r, s, p)) c.onBreak[static_cast<std::size_t>(k)] += agents;
    }
    return c;
}

}  // namespace schedule
}  // namespace queuecalc
