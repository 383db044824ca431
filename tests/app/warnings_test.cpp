// Warnings and the progress line as a user meets them: on standard error
// only, for each slip and each untrustworthy curve, never for ordinary runs;
// standard output, "OUTPUT.CSV" and the exit status exactly as without the
// checks, whatever standard error is (a file, closed, full, a pipe nobody
// reads, a terminal).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/evaluation.h"
#include "app/run.h"
#include "report/finding_text.h"
#include "report/console_report.h"
#include "report/results_file.h"
#include "support/program_runner.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

// File: a file beside the folder. ResultsFile: "OUTPUT.CSV" itself, in a
// folder made read-only (as an unprivileged user), so that the results file
// is rewritten in place under standard error's feet.
enum class ErrorTarget { File, Closed, DeviceFull, BrokenPipe, Terminal, ResultsFile };

struct ProcessRun {
    std::string out, err, csv;
    int exitStatus = -1;  // when it exited
    int signal = 0;       // the signal that ended it, if one did
};

// Runs the program in `folder` with empty standard input and standard error
// on `target` (Terminal: a pseudo-terminal, whose bytes become `err`).
// `brokenOutput`: standard output is a pipe without reader.
ProcessRun runWithErrorOn(const fs::path& folder, ErrorTarget target, bool brokenOutput = false) {
    const std::string outFile = folder.string() + ".out", errFile = folder.string() + ".err";
    const std::string dir = folder.string();
    int pipeEnds[2] = {-1, -1};
    if (target == ErrorTarget::BrokenPipe || brokenOutput) {
        if (pipe(pipeEnds) != 0) std::abort();
        close(pipeEnds[0]);  // nobody will ever read
    }
    const std::string resultsFile = (folder / "OUTPUT.CSV").string();
    const uid_t nobody = 65534;
    const bool dropRoot = target == ErrorTarget::ResultsFile && geteuid() == 0;
    if (target == ErrorTarget::ResultsFile) {
        writeBytes(folder / "OUTPUT.CSV", "");
        fs::permissions(folder / "OUTPUT.CSV", fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec));
        if (dropRoot)
            for (const fs::path& p : {folder, folder / "OUTPUT.CSV", folder / "INPUT.DAT", folder / "BINOMDIST.DAT"})
                if (chown(p.c_str(), nobody, nobody) != 0) std::abort();
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    }
    // The user without rights may not reach the build folder (a checkout
    // under /root), so it runs a copy of the program beside the folder.
    const std::string program = dropRoot ? folder.string() + ".queuecalc" : std::string(QUEUECALC_APP_PATH);
    if (dropRoot) {
        fs::copy_file(QUEUECALC_APP_PATH, program, fs::copy_options::overwrite_existing);
        fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
    }
    int master = -1;
    const pid_t pid = target == ErrorTarget::Terminal ? forkpty(&master, nullptr, nullptr, nullptr) : fork();
    if (pid == 0) {  // the child: descriptors, then the program
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(brokenOutput ? pipeEnds[1] : open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        if (target == ErrorTarget::File) dup2(open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        if (target == ErrorTarget::Closed) close(2);
        if (target == ErrorTarget::DeviceFull) dup2(open("/dev/full", O_WRONLY), 2);
        if (target == ErrorTarget::BrokenPipe) dup2(pipeEnds[1], 2);
        if (target == ErrorTarget::ResultsFile) {
            if (dropRoot && (setgid(nobody) != 0 || setuid(nobody) != 0)) _exit(126);
            dup2(open(resultsFile.c_str(), O_WRONLY | O_TRUNC), 2);
        }
        if (chdir(dir.c_str()) == 0) execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pipeEnds[1] >= 0) close(pipeEnds[1]);
    ProcessRun run;
    if (pid < 0) {
        ADD_FAILURE() << "could not start the program";
        return run;
    }
    if (master >= 0) {
        char buffer[4096];
        for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) run.err.append(buffer, static_cast<std::size_t>(n));
        close(master);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    run.out = readBytes(outFile);
    if (target == ErrorTarget::File) run.err = readBytes(errFile);
    if (fs::exists(folder / "OUTPUT.CSV")) run.csv = readBytes(folder / "OUTPUT.CSV");
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
    if (dropRoot) fs::remove(program);
    fs::remove(outFile);
    fs::remove(errFile);
    fs::remove(folder / "OUTPUT.CSV");
    return run;
}

// Standard output and the results file of the same input computed by the
// library's run without any check (the calculator's bytes before warnings).
ProcessRun withoutChecks(const fs::path& folder) {
    using namespace queuecalc;
    const ModelInput input = readModelInputFile((folder / "INPUT.DAT").string());
    const BinomialTable table =
        readBinomialTableFile((folder / "BINOMDIST.DAT").string(), input.inversionTerms, input.inversion);
    const RunResults results = computeRun(input, table);
    std::ostringstream out;
    if (input.consoleReport == 1) printConsoleReport(out, results.model.measures, results.timeGrid, results.curves);
    ProcessRun run;
    run.out = out.str() + finalPrompt();
    run.csv = buildResultsFile(input, results.model.measures, results.timeGrid, results.curves);
    run.exitStatus = 0;
    return run;
}

struct Slip {
    const char* what;
    std::string input;    // "INPUT.DAT"
    const char* warning;  // a part of what standard error must say
};

std::string values(const char* line) {
    std::string text = line;
    for (char& c : text)
        if (c == ' ') c = '\n';
    return text + "\n";
}

// The cases of the new-user pass that ran without a word.
std::vector<Slip> slips() {
    return {
        {"a deleted line", values("1 0 0.5 -1 -1 20 0.00416667 9.5 0.1 32 5 0"),
         "Warning: Number of extra waiting spaces is read as 0 from \"0.00416667\""},
        {"no agents", values("1 0 0.5 -1 -1 0 20 1 9.5 0.1 32 5 0"), "Warning: Number of servers (0)"},
        {"lambda per hour, mu per second", values("1 0 0.5 -1 -1 10 20 0.00416667 14.4 0.1 32 5 0"),
         "Warning: Offered load per server (RHO = 345.6) is above 10"},
        {"T below the interval", values("1 0 0.5 -1 -1 10 20 1 9.5 0.1 32 0.05 0"),
         "Warning: Maximum time instance (0.05) is smaller"},
        {"2.5 Erlang phases", values("1 1 0.5 2.5 -1 10 20 1 9.5 0.1 32 5 0"), "Warning: Erlang number of phases (2.5)"},
        {"Euler at 64 terms beside Talbot", values("1 0 0.5 -1 -1 10 20 1 9.5 0.1 64 5 0"),
         "Warning: The Euler inversion gives P(0<W<= t , S) = -24.7643"},
        {"Euler alone at 64 terms", values("1 0 0.5 -1 -1 10 20 1 9.5 0.1 64 5 -1"), "which may be off by"},
        {"Talbot at 32 terms, 100 agents, beside Euler", values("1 0 0.2 -1 -1 100 100 1 105 0.03 32 3 0"),
         "Warning: The Talbot inversion gives P(0<W<= t , S) = 0.93002 and P(W<= t | S) = 1.07419 at t = 0.63"},
        {"Talbot alone at 32 terms, 100 agents", values("1 0 0.2 -1 -1 100 100 1 105 0.03 32 3 1"),
         "but with 48 terms"},
        // The exact value referees: Euler is 2.9e-08 from it, Talbot 19.7.
        {"Talbot at 32 terms on the large example", values("1 0 0.5 -1 -1 500 1000 1.0 495 0.001 32 0.1 0"),
         "The exact value there is P(W<= t | S) = 0.914929 (to within "},
        {"Talbot at 32 terms on the large example, which is off", values("1 0 0.5 -1 -1 500 1000 1.0 495 0.001 32 0.1 0"),
         "Euler is off by 2.9e-08, Talbot is off by 19.7; the Talbot values are the ones off."},
        {"P(A) = 1 - P(S) = 0 on a light load", values("1 0 0.5 -1 -1 144 20 1 72 0.1 32 5 0"),
         "the abandonment measures have no meaning here"},
        {"P(A) = 1 - P(S) < 0 on a light load", values("1 0 0.5 -1 -1 19 20 1 1.2 0.1 32 5 0"),
         "Warning: P(A) = 1 - P(S) is -2.22045e-16, below 0"},
        {"an arrival rate of 1e18", values("1 0 0.5 -1 -1 10 20 1 1e18 0.1 32 5 0"), "not a finite number"},
    };
}

void expectWarningForm(const std::string& err) {
    ASSERT_EQ(err.rfind("Warning: ", 0), 0u) << err;
    ASSERT_EQ(err.back(), '\n');
    std::size_t warnings = 0, lines = 0;
    for (std::size_t at = 0; at < err.size(); at = err.find('\n', at) + 1) {
        ++lines;
        if (err.compare(at, 9, "Warning: ") == 0) ++warnings;
    }
    EXPECT_LE(lines, 2 * warnings) << "each warning is one or two lines:\n" << err;
}

}  // namespace

TEST(ProgramWarnings, NameEachSlipOnStandardErrorAndChangeNoByteOfTheResults) {
    for (const Slip& slip : slips()) {
        SCOPED_TRACE(slip.what);
        TempFolder folder;
        writeBytes(folder / "INPUT.DAT", slip.input);
        writeBytes(folder / "BINOMDIST.DAT", binomialTableText(64));
        const ProcessRun expected = withoutChecks(folder.path());
        const ProcessRun run = runWithErrorOn(folder.path(), ErrorTarget::File);
        EXPECT_NE(run.err.find(slip.warning), std::string::npos) << run.err;
        expectWarningForm(run.err);
        // Every finding of the library's checked run, in the words every
        // program takes from the report layer.
        using namespace queuecalc;
        const ModelInput input = readModelInputFile((folder / "INPUT.DAT").string());
        BinomialRows rows(readBinomialTableFile((folder / "BINOMDIST.DAT").string(), input.inversionTerms,
                                                input.inversion));
        for (const Finding& f : runModel(input, rows, calculatorRequest(input)).findings)
            EXPECT_NE(run.err.find(warningText(findingText(f))), std::string::npos) << findingText(f);
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_TRUE(run.out == expected.out) << "standard output differs from the run without checks";
        EXPECT_TRUE(run.csv == expected.csv) << "OUTPUT.CSV differs from the run without checks";
    }
}

TEST(ProgramWarnings, ExplainAFailedReadByTheValueThatRanOn) {
    // A deleted line and one value short: "0.5" in r gives the fraction to mu,
    // and the file ends before value 13.
    TempFolder folder;
    writeBytes(folder / "INPUT.DAT", values("1 0 0.5 -1 -1 10 0.5 9.5 0.1 32 5"));
    writeBytes(folder / "BINOMDIST.DAT", binomialTableText(64));
    const RunOutcome outcome = runProgramIn(folder.path());
    EXPECT_EQ(outcome.console, failureOutput("Unable to read input file (INPUT.DAT): it ends before value 13 of 13 "
                                             "(inverse Laplace transform algorithm)."));
    EXPECT_EQ(outcome.exitStatus, 1);
    EXPECT_EQ(outcome.errors.rfind("Warning: Number of extra waiting spaces is read as 0 from \"0.5\"", 0), 0u)
        << outcome.errors;
}

TEST(ProgramWarnings, NoneForTheSharedExamplesAndOrdinaryRuns) {
    const fs::path shared = fs::path(QUEUECALC_TEST_DATA) / "examples";
    for (const std::string& name : caseFolders(shared)) {
        TempFolder folder;
        for (const char* file : {"INPUT.DAT", "BINOMDIST.DAT"})
            if (fs::exists(shared / name / file)) fs::copy_file(shared / name / file, folder / file);
        const RunOutcome outcome = runProgramIn(folder.path(), readBytes(shared / name / "stdin"));
        // The empty grid is one of the slips; the others are ordinary runs.
        if (name == "no-moments")
            EXPECT_EQ(outcome.errors.rfind("Warning: Maximum time instance (0.05) is smaller", 0), 0u) << outcome.errors;
        else
            EXPECT_EQ(outcome.errors, "") << name;
    }
    for (const char* line : {"1 0 0.5 -1 -1 10 20 1 9.5 0.1 24 5 -1", "0 1 0.5 3 -1 10 20 1 9.5 0.1 48 5 1",
                             "1 2 2 1 -1 40 60 1 42 0.05 32 4 0", "1 0 0.2 -1 -1 100 100 1 105 0.03 48 3 1"}) {
        TempFolder folder;
        writeBytes(folder / "INPUT.DAT", values(line));
        writeBytes(folder / "BINOMDIST.DAT", binomialTableText(64));
        EXPECT_EQ(runProgramIn(folder.path()).errors, "") << line;
    }
}

TEST(StandardError, ClosedFullOrWithoutReaderChangesNothing) {
    for (const Slip& slip : {slips()[0], slips()[5]}) {
        SCOPED_TRACE(slip.what);
        TempFolder folder;
        writeBytes(folder / "INPUT.DAT", slip.input);
        writeBytes(folder / "BINOMDIST.DAT", binomialTableText(64));
        const ProcessRun reference = runWithErrorOn(folder.path(), ErrorTarget::File);
        ASSERT_NE(reference.err, "");
        for (const ErrorTarget target : {ErrorTarget::Closed, ErrorTarget::DeviceFull, ErrorTarget::BrokenPipe}) {
            const ProcessRun run = runWithErrorOn(folder.path(), target);
            EXPECT_EQ(run.signal, 0) << "ended by signal " << run.signal;
            EXPECT_EQ(run.exitStatus, 0);
            EXPECT_TRUE(run.out == reference.out);
            EXPECT_TRUE(run.csv == reference.csv);
        }
    }
}

TEST(StandardError, SentIntoTheResultsFileRewrittenInPlaceLeavesItIntact) {
    // Warnings written after the rewrite would land inside the new file.
    TempFolder folder;
    writeBytes(folder / "INPUT.DAT", slips()[5].input);
    writeBytes(folder / "BINOMDIST.DAT", binomialTableText(64));
    const ProcessRun run = runWithErrorOn(folder.path(), ErrorTarget::ResultsFile);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(run.csv == withoutChecks(folder.path()).csv) << run.csv.substr(0, 200);
}

TEST(StandardError, SaysLastThatStandardOutputOnAPipeWithoutReaderWasCut) {
    // The pipe signal ends nothing: the results file is written, the curve
    // warnings come, and then the line about the console, with status 3.
    TempFolder folder;
    writeBytes(folder / "INPUT.DAT", values("1 0 0.5 -1 -1 10 20 1 9.5 0.1 64 0.3 0"));
    writeBytes(folder / "BINOMDIST.DAT", binomialTableText(64));
    const ProcessRun run = runWithErrorOn(folder.path(), ErrorTarget::File, true);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 3);
    const std::string cut = "The console output was cut short: standard output was closed before the run ended; "
                            "the results file (OUTPUT.CSV) is complete.\n";
    EXPECT_EQ(run.err, runWithErrorOn(folder.path(), ErrorTarget::File).err + cut);
    EXPECT_TRUE(run.csv == withoutChecks(folder.path()).csv);
}

TEST(ProgressLine, ShowsOnATerminalForALongRunOnlyAndLeavesNothingBehind) {
    // 500 agents, 1000 places, 80 moments of Euler with 32 terms: about 1.3 s
    // by its size, so the line shows from the first moment.
    const int probe = posix_openpt(O_RDWR | O_NOCTTY);
    if (probe < 0) GTEST_SKIP() << "no pseudo-terminal on this machine";
    close(probe);
    TempFolder folder;
    writeBytes(folder / "INPUT.DAT", values("1 0 0.5 -1 -1 500 1000 1 495 0.001 32 0.08 -1"));
    writeBytes(folder / "BINOMDIST.DAT", binomialTableText(32));
    const auto begin = std::chrono::steady_clock::now();
    const ProcessRun onTerminal = runWithErrorOn(folder.path(), ErrorTarget::Terminal);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const ProcessRun onFile = runWithErrorOn(folder.path(), ErrorTarget::File);

    const std::string first = "\rComputing the waiting-time distribution: 0 of 80 moments (Euler)";
    EXPECT_EQ(onTerminal.err.rfind(first, 0), 0u) << onTerminal.err;
    const std::size_t shown = static_cast<std::size_t>(std::count(onTerminal.err.begin(), onTerminal.err.end(), 'C'));
    EXPECT_LE(shown, static_cast<std::size_t>(seconds * 10) + 2) << "at most ten updates a second";
    std::size_t width = 0;  // the longest text the line showed
    std::istringstream texts(onTerminal.err);
    for (std::string text; std::getline(texts, text, '\r');) width = std::max(width, text.size());
    ASSERT_GE(onTerminal.err.size(), width + 2);
    EXPECT_EQ(onTerminal.err.substr(onTerminal.err.size() - width - 2), "\r" + std::string(width, ' ') + "\r");
    EXPECT_EQ(onFile.err, "") << "never shown when standard error is no terminal";
    EXPECT_TRUE(onTerminal.out == onFile.out);
    EXPECT_TRUE(onTerminal.csv == onFile.csv);
    EXPECT_EQ(onTerminal.exitStatus, 0);

    TempFolder small;
    writeBytes(small / "INPUT.DAT", values("1 0 0.5 -1 -1 10 20 1 9.5 0.1 32 5 0"));
    writeBytes(small / "BINOMDIST.DAT", binomialTableText(32));
    EXPECT_EQ(runWithErrorOn(small.path(), ErrorTarget::Terminal).err, "") << "a short run shows nothing";
}
