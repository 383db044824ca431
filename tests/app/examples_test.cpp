// The program as a user meets it: worked examples on exact bytes, the three
// section layouts, the console switch, and the specified failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/program_runner.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

const fs::path kExamples = fs::path(QUEUECALC_TEST_DATA) / "examples";

std::vector<std::string> splitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(bytes.substr(start, end - start));
    EXPECT_EQ(start, bytes.size()) << "the last line must end with CR LF";
    return lines;
}

struct FinishedRun {
    RunOutcome outcome;
    std::string csv;
    bool csvExists = false;
};

FinishedRun runWith(const InputValues& values, int tableDimension = 32) {
    TempFolder folder;
    writeBytes(folder / "INPUT.DAT", values.text());
    writeBytes(folder / "BINOMDIST.DAT", binomialTableText(tableDimension));
    FinishedRun run;
    run.outcome = runProgramIn(folder.path());
    run.csvExists = fs::exists(folder / "OUTPUT.CSV");
    if (run.csvExists) run.csv = readBytes(folder / "OUTPUT.CSV");
    return run;
}

}  // namespace

class WorkedExample : public ::testing::TestWithParam<std::string> {};

TEST_P(WorkedExample, ReproducesConsoleExitStatusAndResultsFileByteForByte) {
    const fs::path example = kExamples / GetParam();
    TempFolder folder;
    for (const char* name : {"INPUT.DAT", "BINOMDIST.DAT", "OUTPUT.CSV"})
        if (fs::exists(example / name)) fs::copy_file(example / name, folder / name);
    const RunOutcome outcome = runProgramIn(folder.path(), readBytes(example / "stdin"));

    EXPECT_EQ(outcome.console, readBytes(example / "expected.stdout"));
    const bool shouldSucceed = readBytes(example / "expected.exit").substr(0, 1) == "0";
    if (shouldSucceed) EXPECT_EQ(outcome.exitStatus, 0);
    else EXPECT_NE(outcome.exitStatus, 0);

    if (fs::exists(example / "expected.csv")) {
        ASSERT_TRUE(fs::exists(folder / "OUTPUT.CSV"));
        EXPECT_TRUE(readBytes(folder / "OUTPUT.CSV") == readBytes(example / "expected.csv"))
            << "OUTPUT.CSV differs from " << (example / "expected.csv");
    }
    if (fs::exists(example / "expected.nocsv")) {
        if (fs::exists(example / "OUTPUT.CSV"))
            EXPECT_EQ(readBytes(folder / "OUTPUT.CSV"), readBytes(example / "OUTPUT.CSV"))
                << "a failed run must leave the earlier results file as it was";
        else
            EXPECT_FALSE(fs::exists(folder / "OUTPUT.CSV"));
    }
}

INSTANTIATE_TEST_SUITE_P(SharedExamples, WorkedExample, ::testing::ValuesIn(caseFolders(kExamples)),
                         CaseName());

TEST(ResultsLayout, EachSignOfTheMethodSelectsItsColumnsInBothSections) {
    struct Case {
        const char* method;
        const char* title;
        const char* joint;
        const char* conditional;
        std::size_t fields;
    };
    const Case cases[] = {
        {"-1", ";Euler", "Time;P(0<W<= t , S)", "Time;P(W<= t | S)", 2},
        {"0", ";Euler;Talbot", "Time;P(0<W<= t , S);P(0<W<= t , S)", "Time;P(W<= t | S);P(W<= t | S)", 3},
        {"1", ";Talbot", "Time;P(0<W<= t , S)", "Time;P(W<= t | S)", 2},
    };
    for (const Case& c : cases) {
        InputValues values;
        values.inversionMethod = c.method;
        values.inversionTerms = "16";
        values.maxTime = "1";
        const FinishedRun run = runWith(values);
        ASSERT_EQ(run.outcome.exitStatus, 0) << c.method;
        const std::vector<std::string> lines = splitLines(run.csv);
        ASSERT_EQ(lines.size(), 72u + 2 * 10) << c.method;
        EXPECT_EQ(lines[19], c.title) << c.method;
        EXPECT_EQ(lines[20], c.joint) << c.method;
        EXPECT_EQ(lines[31], "");
        EXPECT_EQ(lines[32], "CONDITIONAL WAITING TIME DISTRIBUTION");
        EXPECT_EQ(lines[33], c.title) << c.method;
        EXPECT_EQ(lines[34], c.conditional) << c.method;
        for (int row : {21, 30, 35, 44}) {
            const std::string& l = lines[static_cast<std::size_t>(row)];
            EXPECT_EQ(static_cast<std::size_t>(std::count(l.begin(), l.end(), ';')) + 1, c.fields)
                << "method " << c.method << " line " << row + 1 << ": " << l;
        }
        EXPECT_EQ(lines[21].substr(0, 4), "0.1;");
        EXPECT_EQ(lines[30].substr(0, 2), "1;");
        EXPECT_EQ(lines[59], c.method) << "the echo shows the method as read";
    }
}

TEST(ResultsLayout, OtherMethodValuesBehaveLikeTheirSignExceptInTheEcho) {
    InputValues values;
    values.inversionTerms = "16";
    values.maxTime = "0.5";
    const auto fileFor = [&](const char* method) {
        values.inversionMethod = method;
        const FinishedRun run = runWith(values);
        EXPECT_EQ(run.outcome.exitStatus, 0);
        return std::make_pair(run.csv, run.outcome.console);
    };
    const auto euler = fileFor("-1");
    const auto eulerToo = fileFor("-7");
    const auto talbot = fileFor("1");
    const auto talbotToo = fileFor("3");
    const auto withoutEcho = [](std::string bytes, const char* method) {
        const std::string echoed = "\r\n" + std::string(method) + "\r\n// INPUT FILE";
        const std::size_t at = bytes.find(echoed);
        EXPECT_NE(at, std::string::npos);
        return bytes.replace(at, echoed.size(), "\r\nX\r\n// INPUT FILE");
    };
    EXPECT_EQ(withoutEcho(euler.first, "-1"), withoutEcho(eulerToo.first, "-7"));
    EXPECT_EQ(withoutEcho(talbot.first, "1"), withoutEcho(talbotToo.first, "3"));
    EXPECT_EQ(euler.second, eulerToo.second);
    EXPECT_EQ(talbot.second, talbotToo.second);
    EXPECT_NE(euler.first, talbot.first);
}

TEST(ResultsLayout, TheConsoleSwitchChangesOnlyTheConsole) {
    InputValues values;
    values.inversionTerms = "16";
    values.maxTime = "0.3";
    values.consoleReport = "1";
    const FinishedRun shown = runWith(values);
    EXPECT_NE(shown.outcome.console.find("Euler & Talbot inversion:\n"), std::string::npos);
    for (const char* silent : {"0", "2", "-1"}) {
        values.consoleReport = silent;
        const FinishedRun quiet = runWith(values);
        EXPECT_EQ(quiet.outcome.exitStatus, 0);
        EXPECT_EQ(quiet.outcome.console, finalPrompt()) << "consoleReport " << silent;
        EXPECT_EQ(quiet.csv, shown.csv) << "consoleReport " << silent;
    }
}

TEST(ResultsLayout, SquaredLabelsUseTheSingleByteSuperscriptTwo) {
    InputValues values;
    values.maxTime = "0";
    const FinishedRun run = runWith(values);
    const std::vector<std::string> lines = splitLines(run.csv);
    ASSERT_EQ(lines.size(), 72u);
    const auto label = [&](std::size_t line) { return lines[line].substr(0, lines[line].find(';')); };
    EXPECT_EQ(label(8), "E[W\xB2,S]");
    EXPECT_EQ(label(10), "E[W\xB2|S]");
    EXPECT_EQ(label(13), "E[W\xB2" "1_A]");
    EXPECT_EQ(label(15), "E[W\xB2|A]");
    EXPECT_EQ(label(8).size(), 7u);
    EXPECT_EQ(label(10).size(), 7u);
    EXPECT_EQ(label(13).size(), 8u);
    EXPECT_EQ(label(15).size(), 7u);
    EXPECT_EQ(lines[21], "") << "with no moments the empty line follows the column line";
    EXPECT_EQ(lines[22], "CONDITIONAL WAITING TIME DISTRIBUTION");
}

TEST(ResultsLayout, EchoesRealsRoundedToSixDigitsAndIntegersExactly) {
    InputValues values;
    values.arrivalRate = "2.0000001";
    values.servers = "3";
    values.waitingPlaces = "1234567";
    values.p3 = "123.456789";
    values.maxTime = "0";
    values.waitingPlaces = "7";
    values.inversionTerms = "31";
    const FinishedRun run = runWith(values);
    const std::vector<std::string> lines = splitLines(run.csv);
    ASSERT_EQ(lines.size(), 72u);
    EXPECT_EQ(lines[31], "123.457");
    EXPECT_EQ(lines[32], "3");
    EXPECT_EQ(lines[33], "7");
    EXPECT_EQ(lines[35], "2");
    EXPECT_EQ(lines[37], "31");
}

TEST(ResultsFile, ASecondRunReplacesALongerEarlierFileCompletely) {
    TempFolder folder;
    InputValues values;
    values.inversionTerms = "16";
    writeBytes(folder / "BINOMDIST.DAT", binomialTableText(16));
    writeBytes(folder / "INPUT.DAT", values.text());
    ASSERT_EQ(runProgramIn(folder.path()).exitStatus, 0);
    const std::string longer = readBytes(folder / "OUTPUT.CSV");
    values.maxTime = "0.2";
    writeBytes(folder / "INPUT.DAT", values.text());
    ASSERT_EQ(runProgramIn(folder.path()).exitStatus, 0);
    const std::string shorter = readBytes(folder / "OUTPUT.CSV");
    EXPECT_LT(shorter.size(), longer.size());
    EXPECT_EQ(splitLines(shorter).size(), 76u);
    EXPECT_EQ(shorter.substr(shorter.size() - 40), longer.substr(longer.size() - 40));
}

TEST(Failures, AMissingInputFileIsReportedFirst) {
    TempFolder folder;  // neither input file
    const RunOutcome outcome = runProgramIn(folder.path());
    EXPECT_EQ(outcome.console, failureOutput("Unable to open input file (INPUT.DAT)."));
    EXPECT_NE(outcome.exitStatus, 0);
}

TEST(Failures, ATalbotOnlyRunStillNeedsTheBinomialFile) {
    TempFolder folder;
    InputValues values;
    values.inversionMethod = "1";
    writeBytes(folder / "INPUT.DAT", values.text());
    const RunOutcome outcome = runProgramIn(folder.path());
    EXPECT_EQ(outcome.console,
              failureOutput("Unable to open binomial distribution data file (BINOMDIST.DAT)."));
    EXPECT_NE(outcome.exitStatus, 0);
    EXPECT_FALSE(fs::exists(folder / "OUTPUT.CSV"));
}

TEST(Failures, ATableSmallerThanTheTermsStopsEveryRunThatUsesEuler) {
    const std::string message =
        "Binomial distribution dimension (31) is smaller than number of terms to sum for each "
        "measurement moment (32). Increase binaomial distribution dimension or decrease number of "
        "terms to sum for each measurement moment.";
    InputValues values;
    values.maxTime = "0.2";
    for (const char* method : {"-1", "0", "-5"}) {
        values.inversionMethod = method;
        const FinishedRun run = runWith(values, 31);
        EXPECT_EQ(run.outcome.console, failureOutput(message)) << method;
        EXPECT_NE(run.outcome.exitStatus, 0);
        EXPECT_FALSE(run.csvExists);
    }
    values.inversionMethod = "1";
    EXPECT_EQ(runWith(values, 31).outcome.exitStatus, 0) << "Talbot alone needs no coefficients";
    EXPECT_EQ(runWith(values, 4).outcome.exitStatus, 0);
    values.inversionMethod = "0";
    EXPECT_EQ(runWith(values, 32).outcome.exitStatus, 0) << "a table of exactly M rows suffices";
}

TEST(Failures, ErlangPatienceIsLimitedToTwelvePhases) {
    InputValues values;
    values.abandonType = "1";
    values.maxTime = "0.2";
    values.p2 = "12";
    const FinishedRun twelve = runWith(values);
    EXPECT_EQ(twelve.outcome.exitStatus, 0);
    EXPECT_TRUE(twelve.csvExists);
    for (const char* phases : {"12.001", "12.5", "13"}) {
        values.p2 = phases;
        const FinishedRun run = runWith(values);
        EXPECT_EQ(run.outcome.console, failureOutput("Erlang of more than 12 phases is not allowed.")) << phases;
        EXPECT_NE(run.outcome.exitStatus, 0);
        EXPECT_FALSE(run.csvExists);
    }
    values.p2 = "13";
    values.waitingPlaces = "0";
    EXPECT_NE(runWith(values).outcome.exitStatus, 0) << "checked also without waiting places";
}

TEST(Failures, AnUndefinedDistributionIsRejectedAfterTheTableCheck) {
    const std::string undefined =
        "Unspecified abandonment time distribution. Please change the input file (INPUT.DAT).";
    InputValues values;
    values.maxTime = "0.2";
    for (const char* type : {"3", "-1", "7"}) {
        values.abandonType = type;
        const FinishedRun run = runWith(values);
        EXPECT_EQ(run.outcome.console, failureOutput(undefined)) << type;
        EXPECT_NE(run.outcome.exitStatus, 0);
    }
    values.abandonType = "3";
    const FinishedRun both = runWith(values, 20);
    EXPECT_EQ(both.outcome.console.find("\nBinomial distribution dimension (20)"), 0u)
        << "the table check comes first: " << both.outcome.console;
}

TEST(Failures, AFailedRunLeavesAnEarlierResultsFileUntouched) {
    TempFolder folder;
    const std::string earlier = "earlier results\r\nkeep me\r\n";
    writeBytes(folder / "OUTPUT.CSV", earlier);
    InputValues values;
    values.abandonType = "5";
    writeBytes(folder / "INPUT.DAT", values.text());
    writeBytes(folder / "BINOMDIST.DAT", binomialTableText(32));
    EXPECT_NE(runProgramIn(folder.path()).exitStatus, 0);
    EXPECT_EQ(readBytes(folder / "OUTPUT.CSV"), earlier);
}

TEST(Pauses, ATokenOrTheEndOfInputEndsEachPause) {
    TempFolder folder;
    InputValues values;
    values.consoleReport = "0";
    values.maxTime = "0.1";
    writeBytes(folder / "INPUT.DAT", values.text());
    writeBytes(folder / "BINOMDIST.DAT", binomialTableText(32));
    EXPECT_EQ(runProgramIn(folder.path(), "").exitStatus, 0);
    EXPECT_EQ(runProgramIn(folder.path(), "x\n").exitStatus, 0) << "a failed read also ends the wait";
    const RunOutcome answered = runProgramIn(folder.path(), "  \n 7\n");
    EXPECT_EQ(answered.exitStatus, 0);
    EXPECT_EQ(answered.console, finalPrompt());
    fs::remove(folder / "INPUT.DAT");
    EXPECT_NE(runProgramIn(folder.path(), "").exitStatus, 0);
    EXPECT_NE(runProgramIn(folder.path(), "q").exitStatus, 0);
}
