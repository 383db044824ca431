// queuecalc-plan as a planner runs it: the exit status, nothing written for a
// bad forecast, and the same agents as the sweep's staffing search.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/program_runner.h"
#include "sweep/sweep_support.h"

#ifndef QUEUECALC_PLAN_PATH
#error "QUEUECALC_PLAN_PATH must name the built queuecalc-plan program"
#endif

using namespace testsupport;

namespace {

ToolRun runPlanIn(const std::filesystem::path& folder, const std::string& args) {
    return runToolIn(folder, QUEUECALC_PLAN_PATH, args);
}

// The records of CSV without quoted line ends, split at commas outside quotes.
std::vector<std::vector<std::string>> records(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields(1);
        bool quoted = false;
        for (char c : line) {
            if (c == '"') quoted = !quoted;
            else if (c == ',' && !quoted) fields.emplace_back();
            else fields.back() += c;
        }
        rows.push_back(fields);
    }
    return rows;
}

// Reads back as the same double.
std::string exact(double value) {
    std::ostringstream s;
    s.precision(17);
    s << value;
    return s.str();
}

std::size_t columnOf(const std::vector<std::string>& header, const std::string& name) {
    for (std::size_t i = 0; i < header.size(); ++i)
        if (header[i] == name) return i;
    ADD_FAILURE() << "no column " << name;
    return 0;
}

}  // namespace

TEST(PlanProgram, WritesNothingAndEndsWithStatus2ForABadForecast) {
    TempFolder folder;
    writeBytes(folder / "day.csv", "interval,calls,aht\r\n08:00,12,300\r\n08:30,-3,300\r\n");
    writeBytes(folder / "plan.csv", "earlier");
    const ToolRun run = runPlanIn(folder.path(), "day.csv --out plan.csv --html report.html");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "queuecalc-plan: day.csv, line 3, column 2: calls: offered calls cannot be negative\n");
    EXPECT_EQ(readBytes(folder / "plan.csv"), "earlier");
    EXPECT_FALSE(std::filesystem::exists(folder / "report.html"));
    EXPECT_EQ(runPlanIn(folder.path(), "day.csv --sl 80").status, 2);
    EXPECT_EQ(runPlanIn(folder.path(), "missing.csv").status, 2);
}

TEST(PlanProgram, RefusesALoadNoStaffingSearchTakesAtOnceWithTheLimitAndWritesNothing) {
    const struct {
        const char* forecast;
        const char* options;
        const char* message;
    } cases[] = {
        // Before: 20 s and 3.7 GB, then "no agent count up to 67106863 meets SL 80/20".
        {"interval,calls,aht\n08:00,1000000000,300\n", "",
         "interval 08:00 (line 2): an offered load of 166666667 Erlangs (1e+09 calls of 300 s in 30 minutes)"},
        // Before: 3.7 GB a thread.
        {"interval,calls,aht\n08:00,1000000000,300\n08:30,1000000000,300\n", "--jobs 2 --model chain",
         "interval 08:00 (line 2): an offered load of 166666667 Erlangs"},
        // Before: 45 s.
        {"interval,calls,aht\n08:00,100,300\n", "--interval-minutes 1e-300",
         "interval 08:00 (line 2): an offered load of 5e+302 Erlangs (100 calls of 300 s in 1e-300 minutes)"},
    };
    // Refused before any work: the room is for a machine busy with sanitizer builds.
    constexpr auto kRefusedWithin = std::chrono::seconds(5);
    for (const auto& c : cases) {
        TempFolder folder;
        writeBytes(folder / "day.csv", c.forecast);
        const auto begin = std::chrono::steady_clock::now();
        const ToolRun run = runPlanIn(folder.path(), std::string("day.csv --out plan.csv ") + c.options);
        EXPECT_LT(std::chrono::steady_clock::now() - begin, kRefusedWithin) << c.message;
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("is more than the 10000000 Erlangs a staffing search takes"), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(folder / "plan.csv"));
    }
}

TEST(PlanProgram, RefusesAnOutputThatIsTheForecastOrTheOtherOutputAndWritesNothing) {
    TempFolder folder;
    const std::string forecast = "interval,calls,aht\r\n08:00,12,300\r\n";
    writeBytes(folder / "day.csv", forecast);
    writeBytes(folder / "plan.csv", "earlier");
    std::filesystem::create_directory(folder / "sub");
    std::filesystem::create_symlink("../day.csv", folder / "sub" / "link.csv");
    std::filesystem::create_symlink("new.csv", folder / "dangling.csv");
    const struct {
        const char* args;
        const char* err;  // part of the one line on standard error
    } cases[] = {
        {"day.csv --out day.csv", "--out 'day.csv' is the forecast 'day.csv'"},
        {"day.csv --html ./sub/../day.csv", "--html './sub/../day.csv' is the forecast"},
        {"day.csv --out sub/link.csv", "--out 'sub/link.csv' is the forecast"},
        {"sub/link.csv --html day.csv", "--html 'day.csv' is the forecast 'sub/link.csv'"},
        {"day.csv --out plan.csv --html ./plan.csv", "--out 'plan.csv' and --html './plan.csv' are one file"},
        {"day.csv --out new.csv --html dangling.csv", "are one file"},  // neither exists yet
    };
    for (const auto& c : cases) {
        const ToolRun run = runPlanIn(folder.path(), c.args);
        EXPECT_EQ(run.status, 2) << c.args;
        EXPECT_EQ(run.out, "") << c.args;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.args << ": " << run.err;
        EXPECT_EQ(readBytes(folder / "day.csv"), forecast) << c.args;
        EXPECT_EQ(readBytes(folder / "plan.csv"), "earlier") << c.args;
        EXPECT_FALSE(std::filesystem::exists(folder / "new.csv")) << c.args;
    }
}

// A folder where a file is read: the standard library's stream buffer
// throws on the read, which once ended the programs with an abort.
TEST(PlanProgram, RefusesAFolderGivenForAnyFileItReadsWithOneLine) {
    TempFolder folder;
    writeBytes(folder / "day.csv", "interval,calls,aht\r\n08:00,12,300\r\n");
    writeBytes(folder / "need.csv", "interval,required\r\n08:00,3\r\n");
    std::filesystem::create_directory(folder / "dir");
    const struct {
        const char* program;
        const char* args;
    } cases[] = {
        {QUEUECALC_PLAN_PATH, "dir --max-abandon 5"},
        {QUEUECALC_PLAN_PATH, "day.csv --max-abandon 5 --compare dir"},
        {QUEUECALC_PLAN_PATH, "day.csv --max-abandon 5 --interval-minutes 30 --shifts dir --roster r.csv"},
        {QUEUECALC_SHIFTS_PATH, "dir day.csv"},
        {QUEUECALC_SHIFTS_PATH, "need.csv dir --interval-minutes 30"},
    };
    for (const auto& c : cases) {
        const ToolRun run = runToolIn(folder.path(), c.program, c.args);
        EXPECT_EQ(run.status, 2) << c.args << ": " << run.err;
        EXPECT_NE(run.err.find("dir: is a folder, not a file"), std::string::npos) << c.args << ": " << run.err;
        EXPECT_FALSE(std::filesystem::exists(folder / "r.csv")) << c.args;
    }
}

TEST(PlanProgram, MessagesEchoInputCutAndEscapedAndSpeakTheOptionsWords) {
    TempFolder folder;
    const std::string escape = "\x1b[31m";  // a terminal's colour command
    std::string longCalls;
    for (int i = 0; i < 500; ++i) longCalls += escape + "9";
    writeBytes(folder / "day.csv", "interval,calls,aht\r\n08:00,12,300\r\n");
    writeBytes(folder / "long.csv", "interval,calls,aht\r\n08:00," + longCalls + ",300\r\n");
    const struct {
        std::string args;
        int status;
        std::string err;  // part of standard error
    } cases[] = {
        {"day.csv --html ''", 2, "--html needs a file name"},
        {"day.csv --out ''", 2, "--out needs a file name"},
        {"day.csv --sl '" + escape + "80/20'", 2, "--sl '\\x1b[31m80': expected a percentage"},
        {"long.csv", 2, "calls: '\\x1b[31m9\\x1b[31m9"},
    };
    for (const auto& c : cases) {
        const ToolRun run = runPlanIn(folder.path(), c.args);
        EXPECT_EQ(run.status, c.status) << c.args;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.args << ": " << run.err;
        EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << "no control byte reaches the terminal: " << c.args;
        EXPECT_LT(run.err.size(), 400u) << "a long field is cut: " << c.args;
    }
    // The note of a waiting room too large speaks of lines, as the option does.
    const ToolRun lines = runPlanIn(folder.path(), "day.csv --lines 20000");
    const auto rows = records(lines.out);
    ASSERT_GE(rows.size(), 2u) << lines.err;
    EXPECT_NE(rows[1].back().find("20000 lines leave"), std::string::npos)
        << rows[1].back();
    EXPECT_EQ(rows[1].back().find("INPUT.DAT"), std::string::npos) << rows[1].back();
}

TEST(PlanProgram, ReadsEveryShareAsPerCentOrAShareAlikeAndEchoesTheReading) {
    TempFolder folder;
    writeBytes(folder / "day.csv", "interval,calls,aht\r\n08:00,400,300\r\n08:30,10,300\r\n");
    const ToolRun base = runPlanIn(folder.path(), "day.csv --sl 80/20 --max-occupancy 85% --shrinkage 30%");
    ASSERT_EQ(base.status, 0) << base.err;
    EXPECT_EQ(base.err,
              "queuecalc-plan: service level: 80 % within 20 s\n"
              "queuecalc-plan: occupancy: at most 85 %\n"
              "queuecalc-plan: shrinkage: 30 %\n"
              "queuecalc-plan: interval length: 30 minutes, from the labels\n");
    for (const char* args : {"day.csv --sl 0.8/20 --max-occupancy 0.85 --shrinkage 0.3",
                             "day.csv --sl 80%/20s --max-occupancy 85 --shrinkage '30 %'"}) {
        const ToolRun run = runPlanIn(folder.path(), args);
        EXPECT_EQ(run.status, 0) << args << ": " << run.err;
        EXPECT_EQ(run.out, base.out) << args;
        EXPECT_EQ(run.err, base.err) << args;
    }
    const struct {
        const char* args;
        const char* err;  // part of the one line on standard error
    } refused[] = {
        {"day.csv --max-abandon 1", "--max-abandon '1': 1 could be a share (100 %) or a percentage (1 %): write 100% or 1%"},
        {"day.csv --sl 1/20", "--sl '1': 1 could be a share"},
        {"day.csv --max-occupancy 185", "--max-occupancy '185': expected a percentage from 0 to 100 or a share from 0 to 1"},
        {"day.csv --shrinkage 100%", "--shrinkage must be below 100 %"},
    };
    for (const auto& c : refused) {
        const ToolRun run = runPlanIn(folder.path(), c.args);
        EXPECT_EQ(run.status, 2) << c.args;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.args << ": " << run.err;
    }
}

TEST(PlanProgram, TakesTheIntervalLengthFromTimeLabelsAndRefusesAnOptionThatDisagrees) {
    TempFolder folder;
    const std::string quarters = "interval,calls,aht,patience\r\n08:00,100,300,60\r\n08:15,120,300,60\r\n";
    writeBytes(folder / "quarters.csv", quarters);
    writeBytes(folder / "dated.csv",
               "interval,calls,aht,patience\r\n2026-12-07 08:00,100,300,60\r\n2026-12-07 08:15,120,300,60\r\n");
    writeBytes(folder / "gap.csv", "interval,calls,aht\r\n08:00,10,300\r\n08:15,10,300\r\n08:45,10,300\r\n");
    writeBytes(folder / "mixed.csv", "interval,calls,aht\r\n7:45,10,300\r\n08:00,10,300\r\n");
    writeBytes(folder / "named.csv", "interval,calls,aht\r\nmorning,10,300\r\nafternoon,10,300\r\n");
    const ToolRun stated = runPlanIn(folder.path(), "quarters.csv --interval-minutes 15");
    ASSERT_EQ(stated.status, 0) << stated.err;
    EXPECT_EQ(stated.err, "");
    const struct {
        const char* args;
        int status;
        const char* err;  // part of standard error
    } cases[] = {
        {"quarters.csv", 0, "interval length: 15 minutes, from the labels"},
        {"dated.csv", 0, "interval length: 15 minutes, from the labels"},
        {"quarters.csv --interval-minutes 30", 2,
         "--interval-minutes 30 disagrees with the forecast, whose labels step by 15 minutes ('08:00' (line 2) to "
         "'08:15' (line 3))"},
        {"gap.csv", 0, "intervals are missing from the forecast (its labels step by 15 minutes): '08:15' (line 3) to "
                       "'08:45' (line 4)"},
        {"mixed.csv", 0, "the interval labels are written in more than one form: '7:45' (line 2) and '08:00' (line 3)"},
        {"named.csv", 2, "the interval labels are not times of day ('morning' (line 2)), so their length cannot be "
                         "told from them: give --interval-minutes"},
        {"named.csv --interval-minutes 30", 0, ""},
        {"quarters.csv --interval-minutes 15 --patience lognormal:0.5", 0, ""},  // the patience column gives the mean
    };
    for (const auto& c : cases) {
        const ToolRun run = runPlanIn(folder.path(), c.args);
        EXPECT_EQ(run.status, c.status) << c.args << ": " << run.err;
        if (*c.err == '\0') EXPECT_EQ(run.err, "") << c.args;
        else EXPECT_NE(run.err.find(c.err), std::string::npos) << c.args << ": " << run.err;
    }
    EXPECT_EQ(runPlanIn(folder.path(), "quarters.csv").out, stated.out) << "planned as quarter-hours";
    const auto dated = records(runPlanIn(folder.path(), "dated.csv").out), plain = records(stated.out);
    ASSERT_EQ(dated.size(), plain.size());
    for (std::size_t i = 1; i < plain.size(); ++i)
        EXPECT_EQ(dated[i][columnOf(dated[0], "agents")], plain[i][columnOf(plain[0], "agents")]) << i;
}

TEST(PlanProgram, RefusesAForecastColumnNamedLikeAColumnThePlanWritesAndNamesIt) {
    TempFolder folder;
    const struct {
        const char* header;
        const char* err;  // part of standard error
    } cases[] = {
        {"interval,calls,aht,agents", "the forecast's column 4, 'agents', has the name of a column the plan writes ('agents')"},
        {"interval,calls,aht, Note ", "column 4, ' Note ', has the name of a column the plan writes ('note')"},
        {"interval,calls,aht,sl 20 s (%)", "('SL 20 s (%)')"},
    };
    for (const auto& c : cases) {
        writeBytes(folder / "day.csv", std::string(c.header) + "\r\n08:00,10,300,x\r\n");
        const ToolRun run = runPlanIn(folder.path(), "day.csv --interval-minutes 30 --out plan.csv");
        EXPECT_EQ(run.status, 2) << c.header;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.header << ": " << run.err;
        EXPECT_FALSE(std::filesystem::exists(folder / "plan.csv")) << c.header;
    }
    writeBytes(folder / "day.csv", "interval,calls,aht,agents wanted\r\n08:00,10,300,x\r\n");
    EXPECT_EQ(runPlanIn(folder.path(), "day.csv --interval-minutes 30").status, 0) << "a name that only starts alike";
}

TEST(PlanProgram, PlansManyDaysKeyedByADateOrDayColumnWithATotalPerDayAndForAll) {
    TempFolder folder;
    for (const char* column : {"date", " Day"}) {
        writeBytes(folder / "week.csv", std::string(column) + ",interval,calls,aht\r\nmon," +
                                            "08:00,100,300\r\nmon,08:30,200,300\r\ntue,08:00,100,300\r\ntue,08:30,200,300\r\n");
        const ToolRun run = runPlanIn(folder.path(), "week.csv");
        ASSERT_EQ(run.status, 0) << column << ": " << run.err;
        EXPECT_NE(run.err.find("interval length: 30 minutes"), std::string::npos) << run.err;
        const auto rows = records(run.out);
        ASSERT_EQ(rows.size(), 8u) << run.out;
        const std::size_t agents = columnOf(rows[0], "agents"), calls = columnOf(rows[0], "calls");
        EXPECT_EQ(rows[1][agents], rows[3][agents]) << "the same day twice, the same plan";
        const double hours = (std::stod(rows[1][agents]) + std::stod(rows[2][agents])) / 2;
        const struct {
            std::size_t row;
            const char* day;
            const char* calls;
            double agentHours;
        } totals[] = {{5, "mon", "300", hours}, {6, "tue", "300", hours}, {7, "all days", "600", 2 * hours}};
        for (const auto& t : totals) {
            EXPECT_EQ(rows[t.row][0], t.day);
            EXPECT_EQ(rows[t.row][1], "total");
            EXPECT_EQ(rows[t.row][calls], t.calls);
            EXPECT_EQ(std::stod(rows[t.row][columnOf(rows[0], "agent-hours")]), t.agentHours) << t.day;
            EXPECT_EQ(rows[t.row][agents], "") << "agents are counts, not hours";
        }
    }
    const auto fte = records(runPlanIn(folder.path(), "week.csv --hours-per-fte 40").out);
    const double scheduledHours = std::stod(fte[7][columnOf(fte[0], "scheduled hours")]);
    EXPECT_NEAR(std::stod(fte[7][columnOf(fte[0], "FTE")]), scheduledHours / 40, 0.005) << "printed with two decimals";
    writeBytes(folder / "twice.csv", "interval,calls,aht\r\n08:00,10,300\r\n08:30,10,300\r\n08:00,10,300\r\n");
    const ToolRun twice = runPlanIn(folder.path(), "twice.csv");
    EXPECT_EQ(twice.status, 2);
    EXPECT_NE(twice.err.find("interval '08:00' is listed twice (first on line 2); for many days add a date or day column"),
              std::string::npos)
        << twice.err;
}

TEST(PlanProgram, ReadsASpreadsheetsExportAsMeantAndSaysWhatItAssumed) {
    TempFolder folder;
    writeBytes(folder / "plain.csv", "interval,calls,aht\r\n08:00,100,280.5\r\n08:30,0,300\r\n09:00,120,300\r\n");
    const ToolRun plain = runPlanIn(folder.path(), "plain.csv");
    ASSERT_EQ(plain.status, 0) << plain.err;
    const auto planned = records(plain.out);
    const struct {
        const char* what;
        const char* text;
        const char* args;
        const char* err;  // part of standard error
    } alike[] = {
        {"European", " Interval ;CALLS;Aht\r\n08:00;100;280,5\r\n08:30;0;0\r\n09:00;120;300\r\n", "",
         "fields separated by semicolons, numbers with a decimal comma, as the header is written"},
        {"stated", "interval;calls, offered;calls;aht\r\n08:00;1;100;280.5\r\n08:30;1;0;\r\n09:00;1;120;300\r\n",
         "--separator ';' --decimal .", ""},
        {"a total row", "interval,calls,aht\r\n08:00,100,280.5\r\n08:30,0,\r\n09:00,120,300\r\n Sum: ,220,\r\n", "",
         "line 5, ' Sum: ', is a total of the intervals above it: left out, not planned"},
        {"a total in the day column",
         "date,interval,calls,aht\r\nmon,08:00,100,280.5\r\nmon,08:30,0,0\r\nmon,09:00,120,300\r\nTOTAL,,220,\r\n", "",
         "line 5, 'TOTAL', is a total"},
    };
    for (const auto& c : alike) {
        writeBytes(folder / "sheet.csv", c.text);
        const ToolRun run = runPlanIn(folder.path(), std::string("sheet.csv ") + c.args);
        ASSERT_EQ(run.status, 0) << c.what << ": " << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.what << ": " << run.err;
        const auto rows = records(run.out);
        ASSERT_EQ(rows.size(), planned.size()) << c.what << ": " << run.out;
        for (std::size_t i = 1; i < rows.size(); ++i)
            EXPECT_EQ(rows[i][columnOf(rows[0], "agents")], planned[i][columnOf(planned[0], "agents")]) << c.what << i;
        EXPECT_EQ(rows[2][columnOf(rows[0], "agents")], "0") << c.what << ": no calls, no agents, whatever the aht";
    }
    writeBytes(folder / "sheet.csv", "interval;calls;aht\r\n08:00;1.200;280\r\n");
    const ToolRun thousands = runPlanIn(folder.path(), "sheet.csv");
    EXPECT_EQ(thousands.status, 2);
    EXPECT_NE(thousands.err.find("'1.200' is not a number (with decimal commas a point is no decimal mark"),
              std::string::npos)
        << thousands.err;
    EXPECT_EQ(runPlanIn(folder.path(), "sheet.csv --separator :").status, 2);
}

TEST(PlanProgram, ShowsRequiredOnHandAndTheGapForAgentsOnTheRosterOrStaffed) {
    TempFolder folder;
    // 30 % shrinkage: 10 on the roster are 7 on the phones (10 * 0.7 lands a
    // rounding below 7), 11 are 7.7.
    const struct {
        const char* column;
        const char* onHand;  // the forecast's values
        const char* args;
        const char* expected[2];  // on hand per interval
    } cases[] = {
        {"scheduled", "10,11", "", {"7", "7"}},
        {"scheduled", "10,11", "--fractional", {"7.00", "7.70"}},
        {"staffed", "7,7", "", {"7", "7"}},
    };
    std::string service;  // the service of 7 agents, the same from either column
    constexpr double kPrinted = 0.01;  // the table's agents have two decimals at most
    for (const auto& c : cases) {
        const std::string values = c.onHand;
        const std::string first = values.substr(0, values.find(',')), second = values.substr(values.find(',') + 1);
        writeBytes(folder / "day.csv", std::string("interval,calls,aht,") + c.column + "\r\n08:00,60,300," + first +
                                           "\r\n08:30,0,," + second + "\r\n");
        const ToolRun run = runPlanIn(folder.path(), std::string("day.csv ") + c.args);
        EXPECT_EQ(run.status, 0) << c.column << c.args << ": " << run.err;
        const auto rows = records(run.out);
        ASSERT_EQ(rows.size(), 4u) << run.out;
        const std::size_t required = columnOf(rows[0], "required"), onHand = columnOf(rows[0], "on hand"),
                          gap = columnOf(rows[0], "gap"), sl = columnOf(rows[0], "SL 20 s (%)");
        for (int i : {0, 1}) {
            EXPECT_EQ(rows[1 + i][onHand], c.expected[i]) << c.column << c.args << " " << i;
            EXPECT_NEAR(std::stod(rows[1 + i][gap]), std::stod(rows[1 + i][onHand]) - std::stod(rows[1 + i][required]),
                        kPrinted);
        }
        EXPECT_EQ(rows[2][required], c.args[0] ? "0.00" : "0") << "no calls, none required";
        EXPECT_GT(std::stod(rows[1][required]), 7) << "60 calls of 300 s in 30 minutes need more than 7 for 80/20";
        EXPECT_NEAR(std::stod(rows[3][gap]),
                    (std::stod(rows[1][gap]) + std::stod(rows[2][gap])) / 2, kPrinted) << "agent-hours of the gap";
        if (service.empty()) {
            service = rows[1][sl];
        } else if (!*c.args) {
            EXPECT_EQ(rows[1][sl], service) << c.column;
        }
    }
    writeBytes(folder / "day.csv", "interval,calls,aht,staffed,scheduled\r\n08:00,60,300,7,10\r\n");
    const ToolRun both = runPlanIn(folder.path(), "day.csv");
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.err.find("give the agents on hand once: staffed (net, on the phones) or scheduled"), std::string::npos)
        << both.err;
}

TEST(PlanProgram, WarnsWhereAnIntervalMeetsItsTargetsByLosingCalls) {
    TempFolder folder;
    // 10 Erlangs without a waiting place: 11 agents answer 83.7 % at once and
    // lose the rest (Erlang's loss formula, B(11, 10) = 0.163).
    writeBytes(folder / "day.csv", "interval,calls,aht\r\n08:00,60,300\r\n");
    const ToolRun blocked = runPlanIn(folder.path(), "day.csv --interval-minutes 30 --waiting-places 0");
    EXPECT_EQ(blocked.status, 0) << blocked.err;
    EXPECT_NE(blocked.err.find("1 of 1 intervals meet their targets while more than 1 % of the calls are lost (up to "
                               "16.32 %)"),
              std::string::npos)
        << blocked.err;
    EXPECT_NE(records(blocked.out)[1].back().find("meets the targets while 16.32 % of the calls are lost"),
              std::string::npos);
    const ToolRun automatic = runPlanIn(folder.path(), "day.csv --interval-minutes 30");
    EXPECT_EQ(automatic.err.find("are lost"), std::string::npos) << "the automatic room loses below 1e-9";
}

TEST(PlanProgram, PlansEachVariantOnTheSameIntervalsAsItsOwnForecastWouldBe) {
    TempFolder folder;
    writeBytes(folder / "day.csv", "interval,calls,aht\r\n08:00,100,300\r\n08:30,0,\r\n09:00,200,240\r\n");
    writeBytes(folder / "more.csv", "interval,calls,aht\r\n08:00,110,300\r\n08:30,0,\r\n09:00,220,240\r\n");
    writeBytes(folder / "shorter.csv", "interval,calls,aht\r\n08:00,100,285\r\n08:30,0,\r\n09:00,200,225\r\n");
    const struct {
        const char* compare;
        const char* asIf;  // the forecast the variant is
    } cases[] = {{"calls=+10%", "more.csv"}, {"aht=-15", "shorter.csv"}, {"aht=-6.25%", "shorter.csv"},
                 {"more.csv", "more.csv"}};
    for (const auto& c : cases) {
        const auto rows = records(runPlanIn(folder.path(), std::string("day.csv --compare ") + c.compare).out);
        const auto alone = records(runPlanIn(folder.path(), c.asIf).out);
        ASSERT_EQ(rows.size(), 5u) << c.compare;
        const std::size_t agents = columnOf(rows[0], std::string("agents (") + c.compare + ")"),
                          hours = columnOf(rows[0], std::string("agent-hours (") + c.compare + ")");
        for (std::size_t i = 1; i <= 3; ++i)
            EXPECT_EQ(rows[i][agents], alone[i][columnOf(alone[0], "agents")]) << c.compare << " " << i;
        EXPECT_EQ(rows[4][hours], alone[4][columnOf(alone[0], "agent-hours")]) << c.compare << ": the totals";
        EXPECT_EQ(rows[0].back(), "note") << "the note stays last";
    }
    writeBytes(folder / "other.csv", "interval,calls,aht\r\n08:00,100,300\r\n09:00,200,240\r\n08:30,0,\r\n");
    const struct {
        const char* args;
        const char* err;
    } refused[] = {
        {"day.csv --compare nurses=+1", "expected calls=CHANGE or aht=CHANGE"},
        {"day.csv --compare calls=lots", "expected a change such as +10%"},
        {"day.csv --compare calls=-150", "leaves interval '08:00' (line 2) with calls below 0"},
        {"day.csv --compare other.csv", "interval '09:00' (line 3) where the forecast has '08:30' (line 3)"},
        {"day.csv --compare more.csv --out more.csv", "--out 'more.csv' is --compare 'more.csv'"},
    };
    for (const auto& c : refused) {
        const ToolRun run = runPlanIn(folder.path(), c.args);
        EXPECT_EQ(run.status, 2) << c.args;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.args << ": " << run.err;
    }
}

TEST(PlanProgram, MarksAnIntervalNoCountMeetsAndEndsWithStatus1) {
    TempFolder folder;
    writeBytes(folder / "day.csv", "interval,calls,aht,team\r\n08:00,0,300,\"a, b\"\r\n08:30,90,300,c\r\n");
    // 90 calls of 300 s in 30 minutes: 15 Erlangs; 16 lines in all leave
    // no count that answers 99 % within 1 s.
    const ToolRun run = runPlanIn(folder.path(), "day.csv --sl 99/1 --lines 16");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("1 of 2 intervals miss a target"), std::string::npos) << run.err;
    const auto rows = records(run.out);
    ASSERT_EQ(rows.size(), 4u) << run.out;
    EXPECT_EQ(rows[1][3], "a, b") << "other columns are carried through";
    EXPECT_EQ(rows[1][columnOf(rows[0], "agents")], "0");
    EXPECT_NE(rows[2].back().find("no agent count up to 16 meets SL 99/1"), std::string::npos) << rows[2].back();
    EXPECT_EQ(rows[3][0], "total");
}

TEST(PlanProgram, StaffsAnIntervalAsTheSweepsStaffingSearchDoes) {
    // The same centre through both programs: 240 calls of 270 s in half an
    // hour (lambda = 240 / 1800, mu = 1 / 270), exponential patience of
    // mean 150 s, the waiting room the plan chose, SL 80/20 and at most
    // 5 % abandonment; the exact method, the default of both.
    TempFolder folder;
    writeBytes(folder / "day.csv", "interval,calls,aht\r\n10:00,240,270\r\n");
    const ToolRun plan =
        runPlanIn(folder.path(), "day.csv --patience-mean 150 --sl 80/20 --max-abandon 5%");
    ASSERT_EQ(plan.status, 0) << plan.err;
    const auto rows = records(plan.out);
    const std::string agents = rows[1][columnOf(rows[0], "agents")];
    const std::string places = rows[1][columnOf(rows[0], "waiting places")];
    EXPECT_LT(std::stod(rows[1][columnOf(rows[0], "SL bound")]), 1e-12) << "the exact method states its bound";

    InputValues v;
    v.consoleReport = "0";
    v.abandonType = "0";
    v.p1 = exact(1.0 / 150);
    v.servers = "1";
    v.waitingPlaces = places;
    v.serviceRate = exact(1.0 / 270);
    v.arrivalRate = exact(240.0 / 1800);
    v.momentInterval = "20";
    v.inversionTerms = "24";
    v.maxTime = "20";
    v.inversionMethod = "-1";
    writeBytes(folder / "INPUT.DAT", v.text());
    const sweeptest::SweepRun sweep =
        sweeptest::runSweepIn(folder.path(), "--staff --target 'SL(20)>=0.8' --target 'P(A)<=0.05'");
    ASSERT_EQ(sweep.status, 0) << sweep.err;
    const auto swept = records(sweep.out);
    EXPECT_EQ(swept[1][columnOf(swept[0], "servers")], agents);
}

TEST(PlanProgram, AnswersWithTheExactModelSaysWhereTheChainWouldStaffOtherwiseAndTakesTheMethodOnlyForTheChain) {
    // 262 calls of 180 s in half an hour, lognormal patience of mean 60 s and
    // CV 0.5: the chain's SL(20 s) with 28 agents is 81.7 %, the queue's 79.0 %
    // (tests/data/exact_queue/references.txt, centre lognormal-cv05-28).
    TempFolder folder;
    writeBytes(folder / "day.csv", "interval,calls,aht\r\n10:00,262,180\r\n");
    writeBytes(folder / "INPUT.DAT", sweeptest::smallCentreFile().text());
    const char* const centre = "day.csv --patience lognormal:0.5 --patience-mean 60";
    const struct {
        std::string args;
        const char* agents;
        const char* note;  // part of the interval's note, or "" for none
        const char* model;
    } plans[] = {
        {centre, "29", "the chain approximation would staff 28", "model: exact"},
        {std::string(centre) + " --model chain", "28", "", "model: chain"},
        {std::string(centre) + " --model chain --method euler", "28", "", "model: chain"},
    };
    for (const auto& c : plans) {
        const ToolRun run = runPlanIn(folder.path(), c.args);
        ASSERT_EQ(run.status, 0) << c.args << ": " << run.err;
        const auto rows = records(run.out);
        EXPECT_EQ(rows[1][columnOf(rows[0], "agents")], c.agents) << c.args;
        if (*c.note)
            EXPECT_NE(rows[1].back().find(c.note), std::string::npos) << c.args << ": " << rows[1].back();
        else
            EXPECT_EQ(rows[1].back(), "") << c.args;
        EXPECT_NE(rows[2].back().find(c.model), std::string::npos) << c.args << ": " << rows[2].back();
    }
    // The method belongs to the chain, in both programs.
    const struct {
        bool sweep;
        const char* args;
        const char* err;
    } refused[] = {
        {false, "day.csv --method euler", "--method chooses how the chain's waiting times are computed"},
        {false, "day.csv --model exact --method talbot", "give --model chain with --method"},
        {false, "day.csv --model markov", "--model 'markov': expected exact or chain"},
        {true, "--at 1 --method euler", "--method chooses how the chain's waiting times are computed"},
        {true, "--at 1 --model markov", "--model 'markov': expected exact or chain"},
    };
    for (const auto& c : refused) {
        int status = 0;
        std::string err;
        if (c.sweep) {
            const sweeptest::SweepRun run = sweeptest::runSweepIn(folder.path(), c.args);
            status = run.status, err = run.err;
        } else {
            const ToolRun run = runPlanIn(folder.path(), c.args);
            status = run.status, err = run.err;
        }
        EXPECT_EQ(status, 2) << c.args;
        EXPECT_NE(err.find(c.err), std::string::npos) << c.args << ": " << err;
    }
}

TEST(PlanProgram, ReportsAndChartsAreRefusedWhereTheyCannotBeDrawn) {
    TempFolder folder;
    writeBytes(folder / "day.csv", "interval,calls,aht\r\n08:00,12,300\r\n");
    writeBytes(folder / "INPUT.DAT", sweeptest::smallCentreFile().text());
    const sweeptest::SweepRun sweep = sweeptest::runSweepIn(folder.path(), "--at 0.5 --html charts.html");
    EXPECT_EQ(sweep.status, 2);
    EXPECT_NE(sweep.err.find("--html needs a --vary"), std::string::npos) << sweep.err;
    const ToolRun plan = runPlanIn(folder.path(), "day.csv --sl none --html report.html");
    EXPECT_EQ(plan.status, 2);
    EXPECT_NE(plan.err.find("nothing to plan for"), std::string::npos) << plan.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "charts.html") || std::filesystem::exists(folder / "report.html"));
}

TEST(PlanProgram, WritesTheReadmesExamplePlanByteForByte) {
    const std::string readme = readBytes(QUEUECALC_SOURCE_DIR "/README.md");
    const std::string command = "build/queuecalc-plan examples/day/forecast.csv ";
    // The one whose output the README shows (elsewhere it shows the command alone).
    std::string::size_type at = readme.find(command);
    while (at != std::string::npos && readme.compare(readme.find('\n', at), 9, "\n```\n```\n") != 0)
        at = readme.find(command, at + 1);
    ASSERT_NE(at, std::string::npos);
    const std::string args = readme.substr(at + command.size(), readme.find(" --html", at) - at - command.size());
    const std::string::size_type start = readme.find("```\n```\n", at) + 8;
    const std::string shown = readme.substr(start, readme.find("```\n", start) - start);
    TempFolder folder;
    std::filesystem::create_directories(folder / "examples/day");
    std::filesystem::copy_file(QUEUECALC_SOURCE_DIR "/examples/day/forecast.csv", folder / "examples/day/forecast.csv");
    const ToolRun run = runPlanIn(folder.path(), "examples/day/forecast.csv " + args);
    ASSERT_EQ(run.status, 0) << run.err;
    std::string written = run.out;
    for (std::string::size_type cr; (cr = written.find('\r')) != std::string::npos;) written.erase(cr, 1);
    EXPECT_EQ(written, shown);
}
