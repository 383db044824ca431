// The Windows programs under Wine, beside this system's build: the same bytes
// for the shipped examples and for input files with CR LF line ends, the
// binomial tool's table, the results file refused (a folder in the way, a
// read-only file, a file another program holds open) with the earlier file
// kept, and a working folder whose name goes beyond ASCII.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "support/program_runner.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

const fs::path kShippedExamples = fs::path(QUEUECALC_EXAMPLES);

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// Shell commands that start each build of a program.
const std::string kNativeCalculator = quoted(QUEUECALC_NATIVE_APP_PATH);
const std::string kWindowsCalculator = quoted(QUEUECALC_APP_PATH);
std::string windowsProgram(const std::string& exe) { return quoted(QUEUECALC_WINE_RUN) + " " + exe; }

// The name Windows programs under Wine give a file of this system.
std::string windowsName(const fs::path& path) {
    std::string name = "Z:" + path.string();
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

struct FinishedRun {
    RunOutcome outcome;
    std::string csv;
};

FinishedRun runIn(const fs::path& folder, const std::string& program, const std::string& stdinBytes = "") {
    FinishedRun run;
    run.outcome = runProgramIn(folder, stdinBytes, program);
    if (fs::is_regular_file(folder / "OUTPUT.CSV")) run.csv = readBytes(folder / "OUTPUT.CSV");
    return run;
}

// Runs both builds on the same two input files, each in a folder of its own.
std::pair<FinishedRun, FinishedRun> runBoth(const std::string& input, const std::string& binomial) {
    TempFolder native, windows;
    for (const TempFolder* folder : {&native, &windows}) {
        writeBytes(*folder / "INPUT.DAT", input);
        writeBytes(*folder / "BINOMDIST.DAT", binomial);
    }
    return {runIn(native.path(), kNativeCalculator, "0\n"), runIn(windows.path(), kWindowsCalculator, "0\n")};
}

void expectSameRun(const FinishedRun& native, const FinishedRun& windows, const std::string& what) {
    EXPECT_EQ(windows.outcome.exitStatus, native.outcome.exitStatus) << what;
    EXPECT_EQ(windows.outcome.console, native.outcome.console) << what;
    EXPECT_TRUE(windows.csv == native.csv) << what << ": OUTPUT.CSV differs (" << windows.csv.size()
                                           << " bytes against " << native.csv.size() << ")";
}

const std::string kEarlierResults = "earlier results\r\nkeep me\r\n";
const std::string kWriteFailure = "Unable to write results file (OUTPUT.CSV): ";

// The failed-write message with the system's reason, whatever its words.
void expectWriteRefusedInWords(const RunOutcome& outcome) {
    EXPECT_NE(outcome.exitStatus, 0);
    const std::string head = "\n" + kWriteFailure;
    const std::string tail = ".\nPress any key to quit...";
    ASSERT_GT(outcome.console.size(), head.size() + tail.size()) << outcome.console;
    EXPECT_EQ(outcome.console.substr(0, head.size()), head) << outcome.console;
    EXPECT_EQ(outcome.console.substr(outcome.console.size() - tail.size()), tail) << outcome.console;
    const std::string reason =
        outcome.console.substr(head.size(), outcome.console.size() - head.size() - tail.size());
    EXPECT_TRUE(std::any_of(reason.begin(), reason.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }))
        << "no reason in words: " << reason;
}

}  // namespace

TEST(WindowsPrograms, GiveTheSameConsoleExitStatusAndResultsFileAsThisBuildForTheShippedExamples) {
    for (const char* example : {"typical", "large"}) {
        const auto runs = runBoth(readBytes(kShippedExamples / example / "INPUT.DAT"),
                                  readBytes(kShippedExamples / example / "BINOMDIST.DAT"));
        EXPECT_EQ(runs.first.outcome.exitStatus, 0) << example;
        EXPECT_FALSE(runs.first.csv.empty()) << example;
        expectSameRun(runs.first, runs.second, example);
    }
}

// Files written on Windows end their lines with CR LF, and a stray Ctrl-Z
// ends a file read in text mode there; both builds must read the same values
// and quote an unreadable one alike.
TEST(WindowsPrograms, ReadInputFilesWithCrLfLineEndsAsThisBuildDoes) {
    InputValues values;
    values.maxTime = "1";
    const auto withCrLf = [](std::string text) {
        for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) text.insert(at, "\r");
        return text;
    };
    const std::string table = withCrLf(binomialTableText(32));
    const auto readable = runBoth(withCrLf(values.text()), table);
    EXPECT_EQ(readable.first.outcome.exitStatus, 0);
    expectSameRun(readable.first, readable.second, "CR LF throughout");
    for (const char* unreadable : {"-1e999", "abc", "1\x1a"}) {
        values.maxTime = unreadable;
        const auto runs = runBoth(withCrLf(values.text()), table);
        EXPECT_NE(runs.first.outcome.exitStatus, 0) << unreadable;
        expectSameRun(runs.first, runs.second, unreadable);
    }
}

TEST(WindowsPrograms, BinomdistWritesTheSameTableAsThisBuild) {
    TempFolder folder;
    // 1029, the largest dimension, has entries in exponent notation.
    for (const char* dimension : {"-1", "64", "1029"}) {
        const std::string native = "native-" + std::string(dimension) + ".DAT";
        const std::string windows = "windows-" + std::string(dimension) + ".DAT";
        EXPECT_EQ(runProgramIn(folder.path(), "", quoted(BINOMDIST_PATH) + " " + dimension + " " + native).exitStatus, 0);
        EXPECT_EQ(runProgramIn(folder.path(), "", windowsProgram("binomdist.exe") + " " + dimension + " " + windows)
                      .exitStatus,
                  0);
        EXPECT_TRUE(readBytes(folder / native) == readBytes(folder / windows)) << "dimension " << dimension;
    }
}

// The sweep's rows end in CR LF on every system, on standard output too.
TEST(WindowsPrograms, SweepWritesTheSameTableAsThisBuild) {
    TempFolder folder;
    writeBytes(folder / "INPUT.DAT", readBytes(kShippedExamples / "typical" / "INPUT.DAT"));
    writeBytes(folder / "BINOMDIST.DAT", readBytes(kShippedExamples / "typical" / "BINOMDIST.DAT"));
    const std::string grid = " --vary servers=9:11 --vary arrivalRate=9,9.5 --at 0.5";
    const RunOutcome native = runProgramIn(folder.path(), "", quoted(QUEUECALC_SWEEP_PATH) + grid);
    const RunOutcome windows =
        runProgramIn(folder.path(), "", "QUEUECALC_WINE_RAW=1 " + windowsProgram("queuecalc-sweep.exe") + grid);
    EXPECT_EQ(native.exitStatus, 0);
    EXPECT_EQ(windows.exitStatus, 0);
    EXPECT_NE(native.console.find("\r\n"), std::string::npos);
    EXPECT_TRUE(windows.console == native.console) << windows.console;
    EXPECT_EQ(runProgramIn(folder.path(), "", windowsProgram("queuecalc-sweep.exe") + grid + " --out table.csv")
                  .exitStatus,
              0);
    EXPECT_TRUE(readBytes(folder / "table.csv") == native.console);
}

TEST(WindowsPrograms, PlanWritesTheSamePlanAsThisBuild) {
    TempFolder folder;
    writeBytes(folder / "forecast.csv", readBytes(kShippedExamples / "day" / "forecast.csv"));
    const RunOutcome native =
        runProgramIn(folder.path(), "", quoted(QUEUECALC_PLAN_PATH) + " forecast.csv --out native.csv");
    const RunOutcome windows =
        runProgramIn(folder.path(), "", windowsProgram("queuecalc-plan.exe") + " forecast.csv --out windows.csv");
    EXPECT_EQ(windows.exitStatus, native.exitStatus) << windows.console;
    const std::string plan = readBytes(folder / "native.csv");
    EXPECT_FALSE(plan.empty());
    EXPECT_TRUE(readBytes(folder / "windows.csv") == plan);
}

TEST(WindowsResultsFile, AFolderNamedLikeTheResultsFileStopsTheRunWithAMessage) {
    SuccessfulSetup scenario;
    fs::create_directory(scenario.folder / "OUTPUT.CSV");
    const RunOutcome outcome = runProgramIn(scenario.folder.path(), "0\n", kWindowsCalculator);
    EXPECT_NE(outcome.exitStatus, 0);
    EXPECT_EQ(outcome.console, failureOutput(kWriteFailure + "a folder of that name is in the way."));
    EXPECT_TRUE(fs::is_directory(scenario.folder / "OUTPUT.CSV"));
    EXPECT_EQ(fileNames(scenario.folder.path()), (std::vector<std::string>{"BINOMDIST.DAT", "INPUT.DAT", "OUTPUT.CSV"}));
}

// Wine shows a file without write permission as read-only to Windows programs.
TEST(WindowsResultsFile, AReadOnlyFileIsKeptAndTheRefusalExplained) {
    SuccessfulSetup scenario;
    writeBytes(scenario.folder / "OUTPUT.CSV", kEarlierResults);
    ASSERT_EQ(::chmod((scenario.folder / "OUTPUT.CSV").c_str(), 0444), 0);
    expectWriteRefusedInWords(runProgramIn(scenario.folder.path(), "0\n", kWindowsCalculator));
    EXPECT_EQ(readBytes(scenario.folder / "OUTPUT.CSV"), kEarlierResults);
    EXPECT_EQ(fileNames(scenario.folder.path()), (std::vector<std::string>{"BINOMDIST.DAT", "INPUT.DAT", "OUTPUT.CSV"}))
        << "no temporary file may be left behind";
}

// As when the results are open in a spreadsheet: the file cannot be
// replaced while it is held, and the run says so instead of losing them.
TEST(WindowsResultsFile, AFileHeldOpenByAnotherProgramIsKeptAndTheRefusalExplained) {
    SuccessfulSetup scenario;
    writeBytes(scenario.folder / "OUTPUT.CSV", kEarlierResults);
    const std::string holding = windowsProgram("hold_open.exe") + " OUTPUT.CSV " +
                                quoted(windowsName(fs::path(QUEUECALC_WINDOWS_BUILD) / "queuecalc.exe"));
    expectWriteRefusedInWords(runProgramIn(scenario.folder.path(), "0\n", holding));
    EXPECT_EQ(readBytes(scenario.folder / "OUTPUT.CSV"), kEarlierResults);
    EXPECT_EQ(fileNames(scenario.folder.path()), (std::vector<std::string>{"BINOMDIST.DAT", "INPUT.DAT", "OUTPUT.CSV"}))
        << "no temporary file may be left behind";

    // Once nothing holds it, the same run replaces it.
    const FinishedRun released = runIn(scenario.folder.path(), kWindowsCalculator, "0\n");
    EXPECT_EQ(released.outcome.exitStatus, 0);
    EXPECT_EQ(released.csv.substr(0, 9), "OUTPUT:\r\n");
}

TEST(WindowsResultsFile, AWorkingFolderNamedBeyondAsciiWorks) {
    SuccessfulSetup plain;
    const fs::path folder = plain.folder / fs::u8path(u8"Szenario Café – 東京 ü");
    fs::create_directory(folder);
    fs::copy_file(plain.folder / "INPUT.DAT", folder / "INPUT.DAT");
    fs::copy_file(plain.folder / "BINOMDIST.DAT", folder / "BINOMDIST.DAT");
    const FinishedRun native = runIn(plain.folder.path(), kNativeCalculator, "0\n");
    const FinishedRun windows = runIn(folder, kWindowsCalculator, "0\n");
    EXPECT_EQ(native.outcome.exitStatus, 0);
    expectSameRun(native, windows, "folder named beyond ASCII");
    EXPECT_EQ(fileNames(folder), (std::vector<std::string>{"BINOMDIST.DAT", "INPUT.DAT", "OUTPUT.CSV"}));
}
