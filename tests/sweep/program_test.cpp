// queuecalc-sweep as a user runs it: the grid, its CSV, shards, threads, the
// output file, rejected scenarios, bad command lines, a reader that leaves and
// a signal that ends it.
#include <cmath>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "report/number_format.h"
#include "analysis/evaluation.h"
#include "cli/grid_options.h"
#include "sweep/sweep_support.h"
#include "core/failure.h"
#include "input/forecast.h"
#include "report/grid_report.h"

using namespace testsupport;
using namespace queuecalc;
using sweeptest::runSweepIn;
using sweeptest::SweepRun;

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::string::size_type start = 0, end;
    while ((end = text.find("\r\n", start)) != std::string::npos) {
        result.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "every record ends with CR LF";
    return result;
}

// The fields of a record without quoted commas after column `from`.
std::vector<std::string> fieldsAfter(const std::string& record, const std::string& from) {
    std::vector<std::string> fields;
    std::istringstream in(record.substr(record.find(from) + from.size()));
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    return fields;
}

class SweepProgram : public ::testing::Test {
protected:
    void SetUp() override { writeBytes(folder / "INPUT.DAT", sweeptest::smallCentreFile().text()); }
    TempFolder folder;
};

TEST_F(SweepProgram, WritesTheGridInOrderAsCsvWithTheLastVaryFastest) {
    const SweepRun run = runSweepIn(folder.path(), "--vary servers=3:4 --vary arrivalRate=2,2.5 --at 0.5");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> records = lines(run.out);
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0].substr(0, 60), "servers,arrivalRate,RHO,P(Loss),P(NoWait),P(S),P(A),\"E[W,S]\"");
    const std::string last = "abandonRate,SL(0.5),bound(0.5),P(W<=0.5|S),note";
    EXPECT_EQ(records[0].substr(records[0].size() - last.size()), last);
    const char* starts[] = {"3,2,", "3,2.5,", "4,2,", "4,2.5,"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(records[i + 1].rfind(starts[i], 0), 0u) << records[i + 1];
    EXPECT_EQ(records[1].back(), ',') << "an empty note ends the row";
}

TEST_F(SweepProgram, MeasuresFormattedLikeTheResultsFileEqualIt) {
    // The calculator's run of the same scenario, and the sweep's row of the
    // fifteen measures written in the results file's number format.
    writeBytes(folder / "BINOMDIST.DAT", binomialTableText(16));
    ASSERT_EQ(runProgramIn(folder.path()).exitStatus, 0);
    const std::vector<std::string> results = lines(readBytes(folder / "OUTPUT.CSV"));
    const SweepRun run = runSweepIn(folder.path(), "--model chain --method euler --at 1.5");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> row = fieldsAfter(lines(run.out)[1], "");
    // Row fields: RHO, P(Loss), P(NoWait), P(S), P(A), then E[W,S] ... (no
    // quoted numbers), so field c is measure c.
    for (int c = 0; c < 15; ++c) {
        const std::string& line = results[2 + c];
        EXPECT_EQ(line.substr(line.find(';') + 1), queuecalc::formatNumber(std::strtod(row[c].c_str(), nullptr)))
            << line;
    }
    // Every number reads back as the very double the library computes.
    // With either method: Euler as asked, and exact, the default.
    const SweepRun exactRun = runSweepIn(folder.path(), "--model chain --at 1.5");
    ASSERT_EQ(exactRun.status, 0) << exactRun.err;
    const std::vector<std::string> exactRow = fieldsAfter(lines(exactRun.out)[1], "");
    for (queuecalc::WaitingMethod method : {queuecalc::WaitingMethod::Euler, queuecalc::WaitingMethod::Exact}) {
        const std::vector<std::string>& fields = method == queuecalc::WaitingMethod::Euler ? row : exactRow;
        queuecalc::EvaluationRequest settings;
        settings.thresholds = {1.5};
        settings.method = method;
        queuecalc::BinomialRows table(pascalTable(16));
        const std::vector<double> values =
            columnValues(queuecalc::evaluateScenario(sweeptest::smallCentre(), settings, table));
        ASSERT_EQ(fields.size(), values.size()) << "the columns (the empty note after the last comma is no field here)";
        for (std::size_t c = 0; c < values.size(); ++c)
            EXPECT_TRUE(fields[c].empty() ? std::isnan(values[c])
                                          : sweeptest::sameBits(std::strtod(fields[c].c_str(), nullptr), values[c]))
                << "column " << c;
    }
    EXPECT_EQ(row[15 + 4 + 1], "") << "Euler gives no bound";
    EXPECT_LT(std::strtod(exactRow[15 + 4 + 1].c_str(), nullptr), 1e-14) << "the exact method's bound of SL(1.5)";
    // t = 1.5 is the grid's sixth moment; "P(W<= t | S)" of Euler then Talbot.
    const std::string conditional = results[25 + 8 + 5];
    EXPECT_EQ(conditional.substr(0, 4), "1.5;");
    const std::string euler = conditional.substr(4, conditional.find(';', 4) - 4);
    EXPECT_EQ(queuecalc::formatNumber(std::strtod(row[15 + 4 + 2].c_str(), nullptr)), euler);
}

TEST_F(SweepProgram, ShardsPutOneAfterTheOtherAreTheWholeTableWithAnyNumberOfThreads) {
    const std::string grid = "--vary waitingPlaces=0:6:3 --vary arrivalRate=1:4:0.75 --at 0.25 --at 1";
    const SweepRun whole = runSweepIn(folder.path(), grid + " --jobs 1");
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_EQ(lines(whole.out).size(), 1u + 3 * 5);
    EXPECT_EQ(runSweepIn(folder.path(), grid + " --jobs 2").out, whole.out);
    EXPECT_EQ(runSweepIn(folder.path(), grid + " --jobs 7").out, whole.out);
    for (int parts : {2, 4, 16}) {
        std::string joined = lines(whole.out)[0] + "\r\n";
        for (int part = 0; part < parts; ++part) {
            const SweepRun shard = runSweepIn(folder.path(), grid + " --no-header --jobs 2 --shard " +
                                                                 std::to_string(part) + "/" + std::to_string(parts));
            ASSERT_EQ(shard.status, 0) << shard.err;
            joined += shard.out;
        }
        EXPECT_EQ(joined, whole.out) << parts << " shards";
    }
}

TEST_F(SweepProgram, ARejectedScenarioGetsTheCalculatorsMessageAndTheOthersGoOn) {
    // The calculator's own message for a negative service rate.
    InputValues bad = sweeptest::smallCentreFile();
    bad.serviceRate = "-1";
    TempFolder calculator;
    writeBytes(calculator / "INPUT.DAT", bad.text());
    writeBytes(calculator / "BINOMDIST.DAT", binomialTableText(16));
    const std::string console = runProgramIn(calculator.path()).console;
    const std::string message = console.substr(1, console.find('\n', 1) - 1);

    const SweepRun run = runSweepIn(folder.path(), "--vary serviceRate=-1,1 --at 1");
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> records = lines(run.out);
    ASSERT_EQ(records.size(), 3u);
    const std::string note = message.find(',') == std::string::npos ? message : "\"" + message + "\"";
    EXPECT_EQ(records[1], "-1" + std::string(1 + 15 + 4 + 3, ',') + note) << "no measures, then the note";
    EXPECT_EQ(records[2].rfind("1,", 0), 0u);
    EXPECT_EQ(records[2].back(), ',');
}

TEST_F(SweepProgram, StaffingReportsTheAgentsAndSaysWhenNoneSuffice) {
    const SweepRun run = runSweepIn(folder.path(),
                                    "--staff --target 'SL(0.5)>=0.8' --target 'P(Loss)<=0.001' --vary waitingPlaces=0,6 "
                                    "--staff-max 6");
    EXPECT_EQ(run.status, 1) << "a row without an answer fails the sweep";
    const std::vector<std::string> records = lines(run.out);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].rfind("waitingPlaces,servers,RHO,", 0), 0u);
    // Without a waiting room, 6 agents lose too many calls.
    EXPECT_EQ(records[1], "0" + std::string(2 + 15 + 4 + 3, ',') + "No number of agents from 1 to 6 meets every target.");
    EXPECT_EQ(records[2].rfind("6,6,", 0), 0u) << records[2];
}

TEST_F(SweepProgram, ReadsATargetOverAShareInPerCentOrAsAShareAlikeAndSaysHowItReadIt) {
    const SweepRun share = runSweepIn(folder.path(), "--staff --target 'SL(0.5)>=0.8' --target 'P(A)<=0.2'");
    ASSERT_EQ(share.status, 0) << share.err;
    EXPECT_EQ(share.err, "") << "a bound written as the column's share needs no echo";
    const struct {
        const char* args;
        const char* echo;  // on standard error
    } alike[] = {
        {"--staff --target 'SL(0.5)>=80%' --target 'P(A)<=20'",
         "queuecalc-sweep: target SL(0.5)>=80%: SL(0.5) at least 80 % (0.8)\n"
         "queuecalc-sweep: target P(A)<=20: P(A) at most 20 % (0.2)\n"},
        {"--staff --target 'SL(0.5)>=80 %' --target 'P(A)<=0.2'",
         "queuecalc-sweep: target SL(0.5)>=80 %: SL(0.5) at least 80 % (0.8)\n"},
    };
    for (const auto& c : alike) {
        const SweepRun run = runSweepIn(folder.path(), c.args);
        EXPECT_EQ(run.status, 0) << c.args << ": " << run.err;
        EXPECT_EQ(run.out, share.out) << c.args;
        EXPECT_EQ(run.err, c.echo) << c.args;
    }
    const SweepRun one = runSweepIn(folder.path(), "--staff --target 'SL(0.5)>=1'");
    EXPECT_EQ(one.status, 2);
    EXPECT_NE(one.err.find("1 could be a share (100 %) or a percentage (1 %): write 100% or 1%"), std::string::npos)
        << one.err;
    const SweepRun seconds = runSweepIn(folder.path(), "--staff --target 'ASA<=80' --target 'SL(0.5)>=0.5'");
    EXPECT_EQ(seconds.status, 0) << seconds.err;
    EXPECT_EQ(seconds.err, "") << "a bound in seconds is a number, not a share";
}

TEST_F(SweepProgram, WarnsOfStaffingAnswersThatMeetTheirTargetsByLosingCalls) {
    // 3.5 Erlangs without a waiting place: 5 agents answer 84.6 % at once.
    const SweepRun blocked = runSweepIn(folder.path(), "--set waitingPlaces=0 --staff --target 'SL(0.5)>=0.8'");
    EXPECT_EQ(blocked.status, 0) << blocked.err;
    EXPECT_NE(blocked.err.find("1 of 1 staffing answers meet their targets while more than 1 % of the calls are lost"),
              std::string::npos)
        << blocked.err;
    const SweepRun roomy = runSweepIn(folder.path(), "--staff --target 'SL(0.5)>=0.8' --target 'P(Loss)<=0.01'");
    EXPECT_EQ(roomy.err, "") << "an answer that keeps the loss small";
}

TEST_F(SweepProgram, WritesTheOutputFileWholeAndLeavesAnEarlierOneOnFailure) {
    const SweepRun toStdout = runSweepIn(folder.path(), "--vary servers=3:5 --at 1");
    ASSERT_EQ(runSweepIn(folder.path(), "--vary servers=3:5 --at 1 --out table.csv").status, 0);
    EXPECT_EQ(readBytes(folder / "table.csv"), toStdout.out);
    writeBytes(folder / "fresh", "");
    EXPECT_EQ(std::filesystem::status(folder / "table.csv").permissions(),
              std::filesystem::status(folder / "fresh").permissions())
        << "a new table gets the permissions of any new file, not private ones";
    std::filesystem::remove(folder / "fresh");
    // A bad scenario file: nothing is written, the earlier table stays.
    writeBytes(folder / "INPUT.DAT", "1 0 0.5");
    const SweepRun failed = runSweepIn(folder.path(), "--out table.csv");
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(readBytes(folder / "table.csv"), toStdout.out);
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) files += entry.is_regular_file();
    EXPECT_EQ(files, 2u) << "no temporary file is left behind";
}

TEST_F(SweepProgram, RefusesAnOutputThatIsAnInputOrTheOtherOutputAndWritesNothing) {
    std::filesystem::create_directory(folder / "plans");
    const std::string input = sweeptest::smallCentreFile().text(), table = binomialTableText(16);
    writeBytes(folder / "plans" / "centre.dat", input);
    writeBytes(folder / "plans" / "BINOMDIST.DAT", table);
    std::filesystem::create_symlink("plans/centre.dat", folder / "link.dat");
    const struct {
        const char* args;
        const char* err;  // part of the one line on standard error
    } cases[] = {
        {"--input plans/centre.dat --out plans/centre.dat", "--out 'plans/centre.dat' is --input 'plans/centre.dat'"},
        {"--input link.dat --out plans/centre.dat", "--out 'plans/centre.dat' is --input 'link.dat'"},
        {"--input plans/centre.dat --out plans/BINOMDIST.DAT", "is the binomial table"},
        {"--input plans/centre.dat --html ./plans/../plans/BINOMDIST.DAT", "is the binomial table"},
        {"--input plans/centre.dat --out t.csv --html ./t.csv", "--out 't.csv' and --html './t.csv' are one file"},
    };
    for (const auto& c : cases) {
        const SweepRun run = runSweepIn(folder.path(), std::string(c.args) + " --vary servers=3:4 --at 1");
        EXPECT_EQ(run.status, 2) << c.args;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.args << ": " << run.err;
        EXPECT_EQ(readBytes(folder / "plans" / "centre.dat"), input) << c.args;
        EXPECT_EQ(readBytes(folder / "plans" / "BINOMDIST.DAT"), table) << c.args;
        EXPECT_FALSE(std::filesystem::exists(folder / "t.csv")) << c.args;
    }
}

TEST_F(SweepProgram, EchoesInputCutAndEscapedAndNamesTheLimitOfAWholeField) {
    const struct {
        std::string args;
        std::string err;  // part of the one line on standard error
    } cases[] = {
        {"--set servers=2147483648", "servers: '2147483648' is beyond what the model takes: at most 67108863"},
        {"--vary waitingPlaces=-2147483649,1", "at most 13376 waiting places"},
        {"--at '\x1b]0;title\x07'", "--at '\\x1b]0;title\\x07'"},  // a terminal's title command
        {"--jobs " + std::string(100, '7'), "--jobs '" + std::string(60, '7') + "...': expected"},
    };
    for (const auto& c : cases) {
        const SweepRun run = runSweepIn(folder.path(), c.args);
        EXPECT_EQ(run.status, 2) << c.args;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << c.args << ": " << run.err;
        EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << "no control byte reaches the terminal";
    }
}

TEST_F(SweepProgram, ChartsGatheredAsTheRowsAreWrittenAreThoseOfTheWholeTable) {
    // Two varied fields, and rows without values whose notes hold commas and quotes.
    const char* grids[] = {"--vary servers=2:6 --vary arrivalRate=3,3.5 --at 0.5",
                           "--vary arrivalRate=1:3:0.5 --vary servers=0,4 --at 0.5"};
    for (const char* grid : grids) {
        const SweepRun run = runSweepIn(folder.path(), std::string(grid) + " --html charts.html --no-header");
        GridTable table;
        table.varied = 2;
        for (const std::string& record : lines(run.out)) table.rows.push_back(readCsvRecords(record + "\r\n", "row")[0].fields);
        std::istringstream header(runSweepIn(folder.path(), std::string(grid) + " --shard 0/999999999").out);
        std::string first;
        std::getline(header, first);
        table.header = readCsvRecords(first + "\n", "header")[0].fields;
        const std::string command = std::string("queuecalc-sweep ") + grid + " --html charts.html --no-header";
        EXPECT_EQ(readBytes(folder / "charts.html"), gridChartsHtml("queuecalc-sweep: INPUT.DAT", {command}, table)) << grid;
    }
}

TEST(SweepCharts, KeepAnEvenSelectionOfAtMostAThousandValuesOfTheFirstField) {
    GridCharts charts({"servers", "P(S)"}, 1);
    for (int x = 0; x < 5000; ++x) charts.addRow({std::to_string(x), "0.5"});
    const std::string page = charts.html("grid", {});
    EXPECT_NE(page.find("Of the 5000 values of servers, every 8th (625 in all) is drawn."), std::string::npos)
        << page.substr(0, 800);
    GridCharts small({"servers", "P(S)"}, 1);
    for (int x = 0; x < 1000; ++x) small.addRow({std::to_string(x), "0.5"});
    EXPECT_EQ(small.html("grid", {}).find("is drawn."), std::string::npos) << "nothing left out below the limit";
}

TEST_F(SweepProgram, NamesTheFilesBesideTheGivenInputInItsMessages) {
    std::filesystem::create_directory(folder / "plans");
    writeBytes(folder / "plans" / "short.dat", "1 0 0.5");
    writeBytes(folder / "plans" / "centre.dat", sweeptest::smallCentreFile().text());
    const struct {
        const char* args;
        const char* table;  // "plans/BINOMDIST.DAT", or nothing
        std::string err;
    } cases[] = {
        {"--input plans/none.dat", nullptr, "Unable to open input file (plans/none.dat)."},
        {"--input plans/short.dat", nullptr,
         "Unable to read input file (plans/short.dat): it ends before value 4 of 13"},
        {"--input plans/centre.dat", "8\n1 2", "Unable to read binomial distribution data file "
                                              "(plans/BINOMDIST.DAT): it ends before entry [0][2]"},
        {"--input plans/centre.dat", "-3", "Binomial distribution dimension (-3) must be at least -1. Please "
                                           "change the binomial distribution data file (plans/BINOMDIST.DAT)."},
    };
    for (const auto& c : cases) {
        if (c.table) writeBytes(folder / "plans" / "BINOMDIST.DAT", c.table);
        const SweepRun run = runSweepIn(folder.path(), c.args);
        EXPECT_EQ(run.status, 1) << c.args;
        EXPECT_EQ(run.err.rfind("queuecalc-sweep: " + c.err, 0), 0u) << c.args << ": " << run.err;
    }
    // A table too small for a scenario: the note in plain words.
    writeBytes(folder / "plans" / "BINOMDIST.DAT", binomialTableText(8));
    const SweepRun small = runSweepIn(folder.path(), "--input plans/centre.dat --model chain --method euler --at 1");
    EXPECT_EQ(small.status, 1);
    EXPECT_NE(small.out.find("Increase binomial distribution dimension"), std::string::npos) << small.out;
}

// A grid of 10^10 scenarios: days of work, so a sweep that ends within the
// minute its shell grants it (status 124 otherwise) has stopped on its own.
const char* const kEndlessGrid = "--vary servers=1:100000 --vary arrivalRate=1:1000:0.01 --at 1 --jobs 2";

TEST_F(SweepProgram, StopsAtOnceWhenNobodyReadsItsTable) {
    const struct {
        const char* pipeSignal;  // the shell's words for SIGPIPE's action
        int status;
        const char* err;
    } cases[] = {
        {"", 128 + SIGPIPE, ""},  // ended by the signal, as any filter
        {"trap '' PIPE;", 1, "queuecalc-sweep: writing to standard output failed\n"},
    };
    for (const auto& c : cases) {
        const std::string command = "cd '" + folder.path().string() + "' && " + c.pipeSignal +
                                    " { timeout 60 '" QUEUECALC_SWEEP_PATH "' " + kEndlessGrid +
                                    " 2> err; echo $? > status; } | head -c 1 > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(std::stoi(readBytes(folder / "status")), c.status) << c.pipeSignal;
        EXPECT_EQ(readBytes(folder / "err"), c.err) << c.pipeSignal;
    }
}

// The wait status of the sweep started in `folder` with `args` and sent
// `signal` a fifth of a second later (SIGKILL ten seconds after that).
int statusAfterSignal(const std::filesystem::path& folder, const std::string& args, int signal) {
    const std::string command = "exec '" QUEUECALC_SWEEP_PATH "' " + args + " > /dev/null 2>&1";
    const pid_t child = ::fork();
    if (child == 0) {
        // As a program started from a terminal (a test run in the background
        // inherits SIGINT ignored).
        for (const int s : {SIGINT, SIGTERM, SIGHUP}) ::signal(s, SIG_DFL);
        if (::chdir(folder.c_str()) == 0) ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::usleep(200000);
    ::kill(child, signal);
    int status = 0;
    for (int waited = 0; ::waitpid(child, &status, WNOHANG) == 0; ++waited) {
        if (waited == 1000) ::kill(child, SIGKILL);
        ::usleep(10000);
    }
    return status;
}

TEST_F(SweepProgram, EndedBySignalLeavesTheEarlierOutputFileAndNoOther) {
    writeBytes(folder / "table.csv", "earlier\r\n");
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const int status = statusAfterSignal(folder.path(), std::string(kEndlessGrid) + " --out table.csv", signal);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << ::strsignal(signal);
        EXPECT_EQ(fileNames(folder.path()), (std::vector<std::string>{"INPUT.DAT", "table.csv"}))
            << ::strsignal(signal);
        EXPECT_EQ(readBytes(folder / "table.csv"), "earlier\r\n");
    }
}

TEST_F(SweepProgram, RejectsBadOptionsAndExpressionsWithOneLineAndStatus2) {
    const char* badCommandLines[] = {
        "--bogus",
        "--vary servers",
        "--vary nosuchfield=1:2",
        "--vary arrivalRate=1:2",          // a real range needs a step
        "--vary servers=5:1",              // empty
        "--vary servers=1:5:0",
        "--vary servers=1.5:3",
        "--vary servers=1:3 --vary servers=4,5",
        "--set servers=10 --vary servers=1,2",
        "--set arrivalRate=fast",
        "--at 0",
        "--at -1",
        "--at x",
        "--staff",                         // no target
        "--target 'P(A)<=0.05'",           // no --staff
        "--staff --target 'P(A)=0.05'",
        "--staff --target 'Q<=1'",
        "--staff --target 'SL(x)>=0.8'",
        "--staff --target 'P(A)<=lots'",
        "--staff --vary servers=1,2 --target 'P(A)<=0.1'",
        "--staff nurses --target 'P(A)<=0.1'",
        "--jobs 0",
        "--shard 2/2",
        "--shard 1",
        "--shard 0/1000000000",            // beyond the limit it states
        "--method laplace",
        "--out",
        "--no-header=1",
    };
    for (const char* args : badCommandLines) {
        const SweepRun run = runSweepIn(folder.path(), args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(run.out, "") << args;
        EXPECT_EQ(run.err.rfind("queuecalc-sweep: ", 0), 0u) << args << ": " << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << args << ": " << run.err;
    }
    const SweepRun help = runSweepIn(folder.path(), "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: queuecalc-sweep", 0), 0u);
    for (const std::string& text : {help.out, runSweepIn(folder.path(), "--shard 0/0").err})
        EXPECT_NE(text.find("999999999"), std::string::npos) << "--shard states its limit: " << text;
}

TEST(SweepGrid, RealRangesKeepTheirLastPointAndWholeRangesStepByOne) {
    const FieldValues tenths = parseFieldValues("arrivalRate=0.1:0.3:0.1");
    ASSERT_EQ(tenths.size(), 3u);
    EXPECT_EQ(tenths.at(2), 0.3) << "the quotient 1.9999999999999998 must not drop 0.3";
    const FieldValues unit = parseFieldValues("arrivalRate=0:1:0.1");
    ASSERT_EQ(unit.size(), 11u);
    EXPECT_EQ(unit.at(3), 3 * 0.1) << "each point is one product, not a running sum";
    EXPECT_EQ(unit.at(10), 1.0);
    const FieldValues offGrid = parseFieldValues("arrivalRate=0.5:2:0.4");
    ASSERT_EQ(offGrid.size(), 4u);
    EXPECT_EQ(offGrid.at(3), 0.5 + 3 * 0.4);
    const FieldValues down = parseFieldValues("servers=10:4:-3");
    ASSERT_EQ(down.size(), 3u);
    EXPECT_EQ(down.at(2), 4.0);
    EXPECT_EQ(parseFieldValues("servers=5:50").size(), 46u);
    EXPECT_EQ(parseFieldValues("abandonParam1=0.5").size(), 1u);
}

TEST(SweepGrid, ShardsCoverTheGridOnceInOrderAndAHugeGridIsRefused) {
    for (std::size_t size : {0u, 1u, 7u, 100u})
        for (std::size_t parts : {1u, 3u, 8u}) {
            std::size_t next = 0;
            for (std::size_t part = 0; part < parts; ++part) {
                const auto range = shardRange(size, Shard{part, parts});
                EXPECT_EQ(range.first, next);
                EXPECT_LE(range.second - range.first, size / parts + 1);
                next = range.second;
            }
            EXPECT_EQ(next, size);
        }
    std::vector<FieldValues> huge(4, parseFieldValues("arrivalRate=0:1e11:1"));
    EXPECT_THROW(ScenarioGrid{huge}, UsageError);
}

}  // namespace
