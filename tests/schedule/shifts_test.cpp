// Shift schedules: every roster the program writes checked on its own
// (tests/schedule/roster_check.h), the solver's cost equal to an exhaustive
// search on small instances, and the errors a planner meets.
#include <gtest/gtest.h>

#include <filesystem>
#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "schedule/roster_check.h"
#include "schedule/shifts.h"
#include "support/program_runner.h"

#ifndef QUEUECALC_SHIFTS_PATH
#error "QUEUECALC_SHIFTS_PATH must name the built queuecalc-shifts program"
#endif

using namespace testsupport;
using namespace queuecalc::schedule;

namespace {

// Costs are sums of a few template costs written with two decimals at most.
constexpr double kCostTolerance = 1e-9;

const std::string kExamples = QUEUECALC_SOURCE_DIR "/examples/shifts/";

const std::string kTemplateHeader =
    "name,days,earliest_start,latest_start,start_step_min,length_min,break_min,break_earliest_min,break_latest_min,"
    "break_step_min,cost,min_per_day,max_per_day,max_total\n";

ToolRun runShifts(const TempFolder& folder, const std::string& args) {
    return runToolIn(folder.path(), QUEUECALC_SHIFTS_PATH, args);
}

}  // namespace

TEST(ShiftRoster, EveryRosterWrittenCoversItsRequirementsWithinTheTemplatesRules) {
    struct Case {
        std::string name, requirements, templates, options;
        int maxStarts;
        bool optimal;
    };
    const std::vector<Case> cases = {
        {"the day", kExamples + "day-requirements.csv", kExamples + "day-templates.csv", "--interval-minutes 15", 0, true},
        {"the day, 4 start times", kExamples + "day-requirements.csv", kExamples + "day-templates.csv",
         "--interval-minutes 15 --max-starts 4", 4, true},
        {"the week", kExamples + "week-requirements.csv", kExamples + "week-templates.csv", "--interval-minutes 15", 0, true},
        // Breaks on a 15-minute grid: a roster comes within a second, the proof takes several.
        {"the week, stopped after 3 s", kExamples + "week-requirements.csv",
         QUEUECALC_TEST_DATA "/shifts/week-fine-break-templates.csv", "--interval-minutes 15 --time-limit 3", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const ToolRun run = runShifts(folder, "'" + c.requirements + "' '" + c.templates + "' " + c.options +
                                                  " --out roster.csv --coverage coverage.csv");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.find("(optimal)") != std::string::npos, c.optimal) << run.err;
        EXPECT_EQ(run.err.find("note: the time limit") != std::string::npos, !c.optimal) << run.err;
        const Requirements r = readRequirements(readFileText(c.requirements), "r", 15);
        const std::vector<ShiftTemplate> t = readTemplates(readFileText(c.templates), "t", r);
        const RosterCheck check = checkRoster(r, t, readBytes(folder / "roster.csv"), c.maxStarts);
        EXPECT_TRUE(check.problems.empty()) << check.problems.front();
        char cost[64];
        std::snprintf(cost, sizeof cost, "cost %g,", check.cost);
        EXPECT_NE(run.err.find(cost), std::string::npos) << run.err;
        // The coverage file says what the roster does, interval by interval.
        const auto coverage = csvRows(readBytes(folder / "coverage.csv"));
        ASSERT_EQ(coverage[0], (std::vector<std::string>{"day", "interval", "required", "working", "on_break", "over", "under"}));
        std::size_t row = 1;
        for (std::size_t k = 0; k < r.required.size(); ++k) {
            if (!r.listed[k]) continue;
            ASSERT_LT(row, coverage.size());
            EXPECT_EQ(coverage[row][3], std::to_string(check.working[k])) << "interval " << k;
            EXPECT_EQ(coverage[row][4], std::to_string(check.onBreak[k])) << "interval " << k;
            EXPECT_EQ(coverage[row][6], "0");
            ++row;
        }
        EXPECT_EQ(row, coverage.size());
    }
}

namespace {

// The cheapest roster by trying every multiset of patterns of at most as
// many agents as the requirements add up to (an agent more is never needed:
// every agent of a cheapest roster is the only cover of some requirement),
// pruned only by cost.
double exhaustiveOptimum(const Requirements& r, const std::vector<ShiftTemplate>& shifts, int maxStarts) {
    const std::vector<ShiftPattern> patterns = enumeratePatterns(r, shifts);
    std::vector<std::vector<int>> works;
    for (const ShiftPattern& p : patterns) works.push_back(workingIntervals(r, shifts[static_cast<std::size_t>(p.shift)], p));
    int most = 0;
    for (double q : r.required) most += static_cast<int>(std::ceil(q));
    most = std::max(most, static_cast<int>(r.days.size()) * 4);  // room for min_per_day
    std::vector<int> count(patterns.size(), 0);
    double best = std::numeric_limits<double>::infinity();
    const auto feasible = [&] {
        std::vector<int> working(r.required.size(), 0);
        std::map<std::pair<int, int>, int> perDay;
        std::map<int, int> total;
        std::map<int, std::set<int>> starts;
        for (std::size_t j = 0; j < patterns.size(); ++j) {
            if (count[j] == 0) continue;
            for (int k : works[j]) working[static_cast<std::size_t>(k)] += count[j];
            perDay[{patterns[j].shift, patterns[j].day}] += count[j];
            total[patterns[j].shift] += count[j];
            starts[patterns[j].day].insert(patterns[j].start);
        }
        for (std::size_t k = 0; k < working.size(); ++k)
            if (working[k] < r.required[k] - 1e-9) return false;
        for (std::size_t t = 0; t < shifts.size(); ++t) {
            for (std::size_t d = 0; d < r.days.size(); ++d) {
                const int n = perDay[{static_cast<int>(t), static_cast<int>(d)}];
                if (shifts[t].onDay[d] && (n < shifts[t].minPerDay || (shifts[t].maxPerDay && n > *shifts[t].maxPerDay)))
                    return false;
            }
            if (shifts[t].maxTotal && total[static_cast<int>(t)] > *shifts[t].maxTotal) return false;
        }
        for (const auto& s : starts)
            if (maxStarts > 0 && static_cast<int>(s.second.size()) > maxStarts) return false;
        return true;
    };
    std::function<void(std::size_t, int, double)> search = [&](std::size_t from, int left, double cost) {
        if (cost >= best) return;
        if (feasible()) best = cost;
        if (left == 0) return;
        for (std::size_t j = from; j < patterns.size(); ++j) {
            ++count[j];
            search(j, left - 1, cost + shifts[static_cast<std::size_t>(patterns[j].shift)].cost);
            --count[j];
        }
    };
    search(0, most, 0);
    return best;
}

}  // namespace

TEST(ShiftOptimum, EqualsTheCheapestRosterFoundByExhaustiveSearch) {
    struct Case {
        std::string name, requirements, templates;
        int maxStarts;
    };
    const std::string morning = "interval,required\n08:00,1\n08:30,2\n09:00,3\n09:30,2\n10:00,1\n10:30,2\n11:00,1\n11:30,1\n";
    const std::string shifts =
        kTemplateHeader +
        "long,all,08:00,09:00,30,180,30,60,120,30,3,,,\n"
        "short,all,08:00,10:00,60,120,,,,,2.25,,,\n";
    const std::vector<Case> cases = {
        {"a morning", morning, shifts, 0},
        {"a morning, fractional needs", "interval,required\n08:00,0.5\n08:30,1.2\n09:00,2.7\n09:30,1\n10:00,0.1\n10:30,0\n11:00,0\n11:30,0\n", shifts, 0},
        {"a morning, two start times", morning, shifts, 2},
        {"a morning, one start time (none covers it)", morning, shifts, 1},
        {"a morning, at most one short shift",
         morning, kTemplateHeader + "long,all,08:00,09:00,30,180,30,60,120,30,3,,,\nshort,all,08:00,10:00,60,120,,,,,2.25,,,1\n", 0},
        {"two days, a night shift and a floor per day",
         "day,interval,required\nA,20:00,1\nA,21:00,2\nA,22:00,2\nA,23:00,1\nB,00:00,2\nB,01:00,1\nB,02:00,1\n",
         kTemplateHeader + "night,A,20:00,22:00,60,240,60,60,120,60,4,,,\nearly,B,00:00,00:00,60,180,,,,,3.5,1,2,\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int minutes = c.name.rfind("two days", 0) == 0 ? 60 : 30;
        const Requirements r = readRequirements(c.requirements, "r", minutes);
        const std::vector<ShiftTemplate> t = readTemplates(c.templates, "t", r);
        ScheduleSettings settings;
        if (c.maxStarts > 0) settings.maxStarts = c.maxStarts;
        const Schedule s = solveSchedule(r, t, settings);
        const double cheapest = exhaustiveOptimum(r, t, c.maxStarts);
        if (std::isinf(cheapest)) {
            EXPECT_EQ(s.status, ScheduleStatus::Infeasible);
            continue;
        }
        ASSERT_EQ(s.status, ScheduleStatus::Optimal);
        EXPECT_NEAR(s.cost, cheapest, kCostTolerance);
        EXPECT_NEAR(s.bound, s.cost, kCostTolerance);
    }
}

TEST(ShiftErrors, ABadFileEndsWithStatus2NamingTheLineAndColumnAndWritesNothing) {
    const std::string day = "interval,required\n08:00,2\n08:30,2\n09:00,1\n";
    const std::string good = "night,all,08:00,08:00,30,90,,,,,2,,,\n";
    struct Case {
        std::string name, requirements, templates, expected;
    };
    const std::vector<Case> cases = {
        {"a break window outside the shift", day, kTemplateHeader + "a,all,08:00,08:00,30,90,30,30,75,,2,,,\n",
         "templates.csv, line 2, column 9: break_latest_min"},
        {"a start step of 0", day, kTemplateHeader + "a,all,08:00,08:00,0,90,,,,,2,,,\n",
         "templates.csv, line 2, column 5: start_step_min"},
        {"an unknown day", day, kTemplateHeader + "a,Mon,08:00,08:00,30,90,,,,,2,,,\n",
         "templates.csv, line 2, column 2: days: 'Mon' is not a day"},
        {"an end past the horizon", day, kTemplateHeader + good + "late,all,08:00,23:00,30,90,,,,,2,,,\n",
         "templates.csv, line 3, column 4: latest_start"},
        {"a time of day that is not one", "interval,required\n8h,2\n", kTemplateHeader + good,
         "requirements.csv, line 2, column 1: interval"},
        {"a negative requirement", "interval,required\n08:00,-1\n", kTemplateHeader + good,
         "requirements.csv, line 2, column 2: required"},
        {"an interval listed twice", "required,interval\n1,08:00\n2,08:00\n", kTemplateHeader + good,
         "requirements.csv, line 3, column 2: interval"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        writeBytes(folder / "requirements.csv", c.requirements);
        writeBytes(folder / "templates.csv", c.templates);
        const ToolRun run = runShifts(folder, "requirements.csv templates.csv --out roster.csv");
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(folder / "roster.csv"));
    }
}

TEST(ShiftErrors, RequirementsThatCannotBeMetEndWithStatus1AndNoRoster) {
    struct Case {
        std::string name, requirements, templates, options, expected;
    };
    const std::vector<Case> cases = {
        {"intervals no template works in", "interval,required\n07:30,1\n08:00,2\n08:30,2\n09:00,1\n12:00,3\n",
         kTemplateHeader + "a,all,08:00,08:00,30,90,,,,,2,,,\n", "",
         "no template can work in 2 interval(s) that require agents: 07:30, 12:00"},
        {"a limit per day too low", "interval,required\n08:00,3\n08:30,2\n",
         kTemplateHeader + "a,all,08:00,08:00,30,60,,,,,2,,2,\n", "", "within the templates' limits"},
        {"the time limit before any roster", "", "", "--time-limit 0.001", "before any roster was found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string files =
            c.requirements.empty() ? "'" + kExamples + "week-requirements.csv' '" + kExamples + "week-templates.csv' --interval-minutes 15"
                                   : "requirements.csv templates.csv";
        writeBytes(folder / "requirements.csv", c.requirements);
        writeBytes(folder / "templates.csv", c.templates);
        const ToolRun run = runShifts(folder, files + " " + c.options + " --out roster.csv --coverage coverage.csv");
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(folder / "roster.csv"));
        EXPECT_FALSE(std::filesystem::exists(folder / "coverage.csv"));
    }
}

TEST(ShiftRoster, TheReadmesDayExampleWritesTheRosterItShows) {
    const std::string readme = readBytes(QUEUECALC_SOURCE_DIR "/README.md");
    const std::string command = "../../build/queuecalc-shifts ";
    const std::string::size_type at = readme.find(command);
    ASSERT_NE(at, std::string::npos);
    const std::string args = readme.substr(at + command.size(), readme.find('\n', at) - at - command.size());
    const std::string::size_type start = readme.find("```\n```\n", at) + 8;
    const std::string shown = readme.substr(start, readme.find("```\n", start) - start);
    const ToolRun run = runToolIn(QUEUECALC_SOURCE_DIR "/examples/shifts", QUEUECALC_SHIFTS_PATH, args);
    ASSERT_EQ(run.status, 0) << run.err;
    std::string written = run.out;
    for (std::string::size_type cr; (cr = written.find('\r')) != std::string::npos;) written.erase(cr, 1);
    EXPECT_EQ(written, shown);
}

// The day's forecast as it is (30-minute labels), and relabelled in
// 15-minute steps with no --interval-minutes: the roster takes the plan's
// interval length, read from the labels.
TEST(ShiftRoster, ThePlansShiftsCoverItsScheduledAgentsWholeOrFractionalAtTheLabelsStep) {
    struct Case {
        std::string options;
        int minutes;
    };
    for (const Case& c : {Case{"", 30}, Case{"--fractional", 30}, Case{"", 15}}) {
        SCOPED_TRACE(c.options + " " + std::to_string(c.minutes));
        TempFolder folder;
        std::string forecast = readFileText(QUEUECALC_SOURCE_DIR "/examples/day/forecast.csv");
        if (c.minutes == 15) {  // 08:00, 08:15, ...: each label's clock moved to its place in 15-minute steps
            std::istringstream lines(forecast);
            std::string line, relabelled;
            std::getline(lines, line);
            relabelled = line + "\n";
            for (int i = 0; std::getline(lines, line); ++i) {
                const std::string::size_type comma = line.find(',');
                const int clock = 8 * 60 + 15 * i;
                const auto two = [](int n) { return std::string{char('0' + n / 10), char('0' + n % 10)}; };
                relabelled += line.substr(0, comma + 1) + two(clock / 60) + ":" + two(clock % 60) +
                              line.substr(line.find(',', comma + 1)) + "\n";
            }
            forecast = relabelled;
        }
        std::ofstream(folder / "forecast.csv", std::ios::binary) << forecast;
        const ToolRun run =
            runToolIn(folder.path(), QUEUECALC_PLAN_PATH,
                      "forecast.csv --patience-mean 120 --max-abandon 5 " + c.options +
                          " --shifts '" QUEUECALC_SOURCE_DIR "/examples/day/shifts.csv' --roster roster.csv");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("(optimal)"), std::string::npos) << run.err;
        const Requirements r = readRequirements(run.out, "plan", c.minutes, "scheduled");
        if (!c.options.empty()) {
            double fraction = 0;
            for (double q : r.required) fraction += q - std::floor(q);
            EXPECT_GT(fraction, 0) << "the fractional plan's needs are whole";
        }
        const std::vector<ShiftTemplate> t =
            readTemplates(readFileText(QUEUECALC_SOURCE_DIR "/examples/day/shifts.csv"), "t", r);
        const RosterCheck check = checkRoster(r, t, readBytes(folder / "roster.csv"));
        EXPECT_TRUE(check.problems.empty()) << check.problems.front();
    }
}
