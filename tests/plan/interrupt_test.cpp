// The plan and the sweep in a long run: on a terminal they show the progress
// line within seconds, and SIGINT (Ctrl-C) and SIGTERM end them promptly, by
// the signal, leaving no output file, whole or partial, and no temporary
// file beside it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/program_runner.h"
#include "sweep/sweep_support.h"

#ifndef QUEUECALC_PLAN_PATH
#error "QUEUECALC_PLAN_PATH must name the built queuecalc-plan program"
#endif

namespace {

using Clock = std::chrono::steady_clock;

// Long enough that the run is surely still computing when the signal comes
// (each of these takes a minute or more), short enough to wait for.
constexpr auto kRunBeforeSignal = std::chrono::milliseconds(700);
// How long the program may take to end after the signal: the default action
// ends it at once; the room is for a machine busy with sanitizer builds.
constexpr auto kEndWithin = std::chrono::seconds(10);

// Starts `args` in `folder` with every signal at its default action (a test
// run in the background inherits SIGINT ignored) and the standard streams
// on /dev/null; with `terminal`, standard error on a new terminal whose
// other end it is set to.
pid_t start(const std::filesystem::path& folder, const std::vector<std::string>& args, int* terminal = nullptr) {
    const pid_t child = terminal ? ::forkpty(terminal, nullptr, nullptr, nullptr) : ::fork();
    if (child != 0) return child;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::signal(signal, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    const int null = ::open("/dev/null", O_RDWR);
    if (::chdir(folder.c_str()) != 0 || null < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 ||
        (!terminal && ::dup2(null, 2) < 0))
        ::_exit(127);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// The status of `child` once it has ended within `bound`; it is killed and
// -1 returned when it has not.
int waitAtMost(pid_t child, Clock::duration bound) {
    const Clock::time_point end = Clock::now() + bound;
    int status = 0;
    while (Clock::now() < end) {
        if (::waitpid(child, &status, WNOHANG) == child) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return -1;
}

// What the terminal shows until `pattern` appears in it or `bound` has
// passed.
std::string readUntil(int terminal, const std::regex& pattern, Clock::duration bound) {
    const Clock::time_point end = Clock::now() + bound;
    std::string shown;
    while (!std::regex_search(shown, pattern) && Clock::now() < end) {
        pollfd ready{terminal, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0) continue;
        char buffer[512];
        const ssize_t n = ::read(terminal, buffer, sizeof buffer);
        if (n <= 0) break;
        shown.append(buffer, static_cast<std::size_t>(n));
    }
    return shown;
}

// The example day's first intervals.
const char* const kForecast =
    "interval,calls,aht\n08:00,60,270\n08:30,95,265\n09:00,140,260\n09:30,170,255\n10:00,180,250\n";

// Runs of a minute or more, in steps (agent counts, rows) of seconds each.
struct LongRun {
    const char* what;
    std::vector<std::string> args;
    const char* progress;  // the progress line's text
};
const LongRun kLongRuns[] = {
    // The chain with the largest room.
    {"plan",
     {QUEUECALC_PLAN_PATH, "day.csv", "--model", "chain", "--waiting-places", "13376", "--jobs", "2", "--out",
      "result.csv", "--html", "report.html"},
     "queuecalc-plan: [0-9]+ of 5 intervals"},
    {"sweep",
     {QUEUECALC_SWEEP_PATH, "--model", "chain", "--set", "waitingPlaces=13376", "--vary", "servers=1:400", "--at", "1",
      "--jobs", "2", "--out", "result.csv"},
     "queuecalc-sweep: [0-9]+ of 400 rows"},
};

// A folder with the runs' inputs.
class RunFolder : public testsupport::TempFolder {
public:
    RunFolder() {
        testsupport::writeBytes(*this / "day.csv", kForecast);
        testsupport::writeBytes(*this / "INPUT.DAT", sweeptest::smallCentreFile().text());
    }
};

// The line appears after a second; the room is for a busy machine.
constexpr auto kProgressWithin = std::chrono::seconds(10);

}  // namespace

TEST(LongRuns, ShowTheProgressLineOnATerminalWithinSeconds) {
    for (const LongRun& run : kLongRuns) {
        const RunFolder folder;
        int terminal = -1;
        const pid_t child = start(folder.path(), run.args, &terminal);
        ASSERT_GT(child, 0);
        const std::string shown = readUntil(terminal, std::regex(run.progress), kProgressWithin);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(terminal);
        EXPECT_TRUE(std::regex_search(shown, std::regex(run.progress))) << run.what << " showed: " << shown;
    }
}

TEST(LongRuns, EndPromptlyBySIGINTOrSIGTERMAndLeaveNoOutputFile) {
    for (const LongRun& run : kLongRuns) {
        for (const int signal : {SIGINT, SIGTERM}) {
            const RunFolder folder;
            const std::vector<std::string> inputs = testsupport::fileNames(folder.path());
            const pid_t child = start(folder.path(), run.args);
            ASSERT_GT(child, 0);
            std::this_thread::sleep_for(kRunBeforeSignal);
            ASSERT_EQ(::kill(child, signal), 0);
            const int status = waitAtMost(child, kEndWithin);
            ASSERT_NE(status, -1) << run.what << " still running after the signal " << signal;
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal)
                << run.what << " did not end by the signal " << signal << " (status " << status << ")";
            EXPECT_EQ(testsupport::fileNames(folder.path()), inputs) << run.what << ", signal " << signal;
        }
    }
}
