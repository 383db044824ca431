// Replacing a whole file on POSIX systems: the new file has no name while
// written where the system makes unnamed files, and a named one is removed
// when SIGINT, SIGTERM or SIGHUP ends the program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "report/file_replace.h"
#include "support/program_runner.h"

namespace fs = std::filesystem;
using testsupport::readBytes;

namespace {

// A fresh folder holding "table.csv" (the earlier file).
class ScratchFolder : public testsupport::TempFolder {
public:
    ScratchFolder() { testsupport::writeBytes(*this / "table.csv", "earlier\r\n"); }
    std::vector<std::string> names() const { return testsupport::fileNames(path()); }
};

}  // namespace

TEST(FileReplace, WhileWritingGivesTheNewFileNoNameWhereTheSystemMakesUnnamedFiles) {
    ScratchFolder folder;
#ifdef O_TMPFILE
    const int probe = ::open((folder / "").c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (probe < 0) GTEST_SKIP() << "this file system makes no unnamed files";
    ::close(probe);
#else
    GTEST_SKIP() << "this system makes no unnamed files";
#endif
    const auto replaceTwice = [&] {
        for (const char* name : {"table.csv", "new.csv"}) {  // an earlier file, and none
            queuecalc::FileReplacement out((folder / name).string());
            out.stream() << "new\r\n";
            out.stream().flush();
            EXPECT_EQ(folder.names(), std::vector<std::string>{"table.csv"}) << "nothing a kill -9 could leave";
            EXPECT_EQ(out.commit(), "");
            EXPECT_EQ(readBytes(folder / name), "new\r\n");
        }
    };
    replaceTwice();
    if (::geteuid() != 0) return;
    // Root names the file by AT_EMPTY_PATH; any other user through /proc.
    fs::remove(folder / "new.csv");
    fs::permissions(folder / "", fs::perms::all, fs::perm_options::add);
    fs::permissions(folder / "table.csv", fs::perms::all, fs::perm_options::add);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(77);
        replaceTwice();
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_TRUE(WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 77) << "as another user (see above)";
}

// A named new file is removed when one of these signals ends the program;
// the earlier file stays whole and the program ends by the signal.
class FileReplaceSignal : public ::testing::TestWithParam<int> {};

TEST_P(FileReplaceSignal, EndingTheProgramRemovesTheNamedNewFile) {
    const int signal = GetParam();
    ScratchFolder folder;
    const fs::path target = folder / "table.csv";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // As a program started with the signal at its default action (a test
        // run in the background inherits SIGINT ignored).
        ::signal(signal, SIG_DFL);
        queuecalc::FileReplacement out(target.string(), queuecalc::NewFile::Named);
        out.stream() << std::string(100000, 'x');
        out.stream().flush();
        if (folder.names().size() != 2) ::_exit(3);  // the new file has a name while written
        ::raise(signal);
        ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_FALSE(WIFEXITED(status)) << "exit status " << WEXITSTATUS(status) << " (3: no named new file)";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "the program ends by the signal";
    EXPECT_EQ(folder.names(), std::vector<std::string>{"table.csv"}) << "no temporary file may be left behind";
    EXPECT_EQ(readBytes(target), "earlier\r\n");
}

INSTANTIATE_TEST_SUITE_P(EndingSignals, FileReplaceSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == SIGINT ? "SIGINT" : info.param == SIGTERM ? "SIGTERM" : "SIGHUP";
                         });
