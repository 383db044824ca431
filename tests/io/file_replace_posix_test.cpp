// Replacing a whole file on POSIX systems: the new file has no name while
// written where the system makes unnamed files, and a named one is removed
// when SIGINT, SIGTERM or SIGHUP ends the program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "io/file_replace.h"
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

namespace {

// Closes a folder to new files while it lives: by the immutable attribute
// where the file system and the user's rights allow it (it stops root as
// well), else by its permissions (which stop any other user).
class FolderClosed {
public:
    explicit FolderClosed(const fs::path& folder) : folder_(folder) {
        fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        if (fd_ >= 0 && ::ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
            const int closed = flags | FS_IMMUTABLE_FL;
            immutable_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &closed) == 0;
            flags_ = flags;
        }
        if (!immutable_ && ::geteuid() != 0) fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    }
    ~FolderClosed() {
        if (immutable_) ::ioctl(fd_, FS_IOC_SETFLAGS, &flags_);
        if (fd_ >= 0) ::close(fd_);
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
    }
    FolderClosed(const FolderClosed&) = delete;
    FolderClosed& operator=(const FolderClosed&) = delete;
    // False where neither way closes the folder (root without the right to
    // set the attribute, or a file system without it).
    bool closed() const { return immutable_ || ::geteuid() != 0; }

private:
    fs::path folder_;
    int fd_ = -1;
    int flags_ = 0;
    bool immutable_ = false;
};

}  // namespace

TEST(FileReplace, WhereTheFolderTakesNoNewFileRefusesAndLeavesTheWritableOldFileWhole) {
    ScratchFolder folder;
    testsupport::writeBytes(folder / "day.csv", "interval,calls,aht\r\n08:00,12,300\r\n");
    testsupport::writeBytes(folder / "INPUT.DAT", testsupport::smallRun().text());
    const FolderClosed closed(folder.path());
    if (!closed.closed()) GTEST_SKIP() << "run as root where the immutable attribute cannot be set";
    const std::string refused = queuecalc::replaceFile((folder / "table.csv").string(), "new\r\n");
    EXPECT_NE(refused.find("its folder takes no new file"), std::string::npos) << refused;
    EXPECT_EQ(readBytes(folder / "table.csv"), "earlier\r\n");
    // The programs beside the calculator: status 1, the reason, the old file whole.
    for (const char* program :
         {"'" QUEUECALC_PLAN_PATH "' day.csv --out table.csv", "'" QUEUECALC_SWEEP_PATH "' --vary servers=2,3 --out table.csv"}) {
        const testsupport::RunOutcome run = testsupport::runProgramIn(folder.path(), "", program);
        EXPECT_EQ(run.exitStatus, 1) << program;
        EXPECT_NE(run.errors.find("cannot write 'table.csv': its folder takes no new file"), std::string::npos)
            << program << ": " << run.errors;
        EXPECT_EQ(readBytes(folder / "table.csv"), "earlier\r\n") << program;
    }
    // The calculator keeps its way: "OUTPUT.CSV" is rewritten in place.
    EXPECT_EQ(queuecalc::replaceFile((folder / "table.csv").string(), "new\r\n", queuecalc::InPlace::Allowed), "");
    EXPECT_EQ(readBytes(folder / "table.csv"), "new\r\n");
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

// Outputs put in place together: a signal that comes meanwhile waits until
// every one is in place (here it comes before the first), then ends the
// program; without the hold it would leave every file as it was.
TEST_P(FileReplaceSignal, ComingWhileOutputsArePutInPlaceTogetherItWaitsUntilAllAreNew) {
    const int signal = GetParam();
    ScratchFolder folder;
    testsupport::writeBytes(folder / "report.html", "earlier\r\n");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(signal, SIG_DFL);
        queuecalc::FileReplacement table((folder / "table.csv").string(), queuecalc::NewFile::Named);
        queuecalc::FileReplacement page((folder / "report.html").string(), queuecalc::NewFile::Named);
        table.write("new table", 9);
        page.write("new page", 8);
        {
            const queuecalc::EndingSignalsHeld held;  // as commitTogether holds them
            ::raise(signal);
            if (!table.commit().empty() || !page.commit().empty()) ::_exit(3);
        }
        ::_exit(4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_FALSE(WIFEXITED(status)) << "exit status " << WEXITSTATUS(status) << " (3: a commit failed; 4: no signal)";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
    EXPECT_EQ(readBytes(folder / "table.csv"), "new table");
    EXPECT_EQ(readBytes(folder / "report.html"), "new page");
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"report.html", "table.csv"})) << "no temporary file is left";

    // Without a signal, every file in place, each commit's result in order.
    const std::vector<std::string> failures = queuecalc::replaceFilesTogether(
        {{(folder / "table.csv").string(), "a"}, {(folder / "report.html").string(), "b"}});
    EXPECT_EQ(failures, (std::vector<std::string>{"", ""}));
    EXPECT_EQ(readBytes(folder / "table.csv") + readBytes(folder / "report.html"), "ab");
}

INSTANTIATE_TEST_SUITE_P(EndingSignals, FileReplaceSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == SIGINT ? "SIGINT" : info.param == SIGTERM ? "SIGTERM" : "SIGHUP";
                         });
