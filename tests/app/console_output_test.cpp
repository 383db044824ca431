// The calculator's console when it is not a plain terminal: a standard
// output closed before the end, and the one argument it reads, --help.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/program_runner.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

const char* const kCutLine = "The console output was cut short: standard output was closed before the run ended; ";

// 5,000 moments with the console summary on: far more than a pipe holds;
// 24 terms, for curves without warnings.
InputValues longSummary() {
    InputValues v = smallRun();
    v.consoleReport = "1";
    v.maxTime = "2500";
    v.inversionTerms = "24";
    return v;
}

struct ShellRun {
    std::string err;
    int status = -1;
    bool resultsFile = false;
    std::string csv;
};

// Runs `shell` (which writes the program's status to the file "status" and
// its standard error to "err") in a folder holding `input`.
ShellRun runInShell(const InputValues& input, const std::string& shell) {
    TempFolder folder;
    writeBytes(folder / "INPUT.DAT", input.text());
    writeBytes(folder / "BINOMDIST.DAT", binomialTableText(24));
    const std::string command = "cd '" + folder.path().string() + "' && " + shell;
    EXPECT_EQ(std::system(command.c_str()), 0) << shell;
    ShellRun run;
    run.err = readBytes(folder / "err");
    run.status = std::stoi(readBytes(folder / "status"));
    run.resultsFile = fs::exists(folder / "OUTPUT.CSV");
    if (run.resultsFile) run.csv = readBytes(folder / "OUTPUT.CSV");
    return run;
}

}  // namespace

TEST(ClosedConsole, StillWritesTheWholeResultsFileThenSaysSoInOneLineWithStatus3) {
    const std::string program = "'" QUEUECALC_APP_PATH "' < /dev/null";
    const ShellRun normal = runInShell(longSummary(), program + " > /dev/null 2> err; echo $? > status");
    ASSERT_EQ(normal.status, 0);
    ASSERT_EQ(normal.err, "");
    const struct {
        const char* what;
        InputValues input;
        std::string shell;
        int status;
        std::string err;  // its start
    } cases[] = {
        {"a pipe whose reader leaves after one line", longSummary(),
         "{ " + program + " 2> err; echo $? > status; } | head -1 > /dev/null", 3,
         std::string(kCutLine) + "the results file (OUTPUT.CSV) is complete.\n"},
        {"a closed standard output", longSummary(), program + " >&- 2> err; echo $? > status", 3,
         std::string(kCutLine) + "the results file (OUTPUT.CSV) is complete.\n"},
        {"a closed standard output and a failed run", [] {
             InputValues v = longSummary();
             v.servers = "-1";
             return v;
         }(),
         program + " >&- 2> err; echo $? > status", 1, std::string(kCutLine) + "the run stopped: "},
    };
    for (const auto& c : cases) {
        const ShellRun run = runInShell(c.input, c.shell);
        EXPECT_EQ(run.status, c.status) << c.what;
        EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << c.what << ": " << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << c.what << ": one line: " << run.err;
        if (c.status == 3) EXPECT_TRUE(run.csv == normal.csv) << c.what << ": the results file as in a normal run";
        else EXPECT_FALSE(run.resultsFile) << c.what;
    }
}

TEST(Arguments, HelpSaysWhatTheProgramDoesWithoutRunningAndOtherArgumentsAreIgnored) {
    SuccessfulSetup setup;
    const RunOutcome help = runProgramIn(setup.folder.path(), "", "'" QUEUECALC_APP_PATH "' --help");
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.errors, "");
    for (const char* word : {"INPUT.DAT", "BINOMDIST.DAT", "OUTPUT.CSV", "README", "Exit status"})
        EXPECT_NE(help.console.find(word), std::string::npos) << word << " in:\n" << help.console;
    EXPECT_FALSE(fs::exists(setup.folder / "OUTPUT.CSV")) << "--help computes nothing";

    const RunOutcome plain = runProgramIn(setup.folder.path());
    const std::string results = readBytes(setup.folder / "OUTPUT.CSV");
    fs::remove(setup.folder / "OUTPUT.CSV");
    const RunOutcome withArguments = runProgramIn(setup.folder.path(), "", "'" QUEUECALC_APP_PATH "' -h --verbose x");
    EXPECT_EQ(withArguments.console, plain.console);
    EXPECT_EQ(withArguments.exitStatus, plain.exitStatus);
    EXPECT_EQ(readBytes(setup.folder / "OUTPUT.CSV"), results);
}
