// Replacing a whole file under any name, as a second program uses it: the
// new bytes exactly, no temporary file left behind, and a failure given as
// the system's reason alone, for the caller's own message. Built for this
// system and for Windows (run under Wine there); what only POSIX systems do
// is in file_replace_posix_test.cpp.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "io/file_replace.h"

namespace fs = std::filesystem;

namespace {

std::string contentOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A fresh folder below the system's temporary folder, removed at the end.
class ScratchFolder {
public:
    ScratchFolder() {
        const fs::path base = fs::temp_directory_path();
        for (int n = 0;; ++n) {
            path_ = base / ("queuecalc-replace-" + std::to_string(n));
            if (fs::create_directory(path_)) break;
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    fs::path operator/(const std::string& name) const { return path_ / name; }
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(path_)) found.push_back(entry.path().filename().string());
        return found;
    }

private:
    fs::path path_;
};

}  // namespace

TEST(FileReplace, ReplacesALongerFileOfAnyNameByExactlyTheNewBytes) {
    ScratchFolder folder;
    const fs::path target = folder / "sweep results.csv";
    {
        std::ofstream earlier(target, std::ios::binary);
        earlier << std::string(10000, 'x');
    }
    // Bytes a text-mode file would change: line ends, a lone LF, a Ctrl-Z, a NUL.
    const std::string bytes = std::string("a;b\r\nc\n\x1a") + '\0' + "\xB2\r\n";
    EXPECT_EQ(queuecalc::replaceFile(target.string(), bytes), "");
    EXPECT_EQ(contentOf(target), bytes);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"sweep results.csv"}) << "no temporary file may be left behind";
}

TEST(FileReplace, CreatesAMissingFile) {
    ScratchFolder folder;
    EXPECT_EQ(queuecalc::replaceFile((folder / "new.csv").string(), "1;2\r\n"), "");
    EXPECT_EQ(contentOf(folder / "new.csv"), "1;2\r\n");
    EXPECT_EQ(queuecalc::replaceFile((folder / "empty.csv").string(), ""), "");
    EXPECT_TRUE(fs::is_regular_file(folder / "empty.csv"));
    EXPECT_EQ(fs::file_size(folder / "empty.csv"), 0u);
}

TEST(FileReplace, GivesTheReasonAloneWhenTheFileCannotBeWritten) {
    ScratchFolder folder;
    fs::create_directory(folder / "taken.csv");
    EXPECT_EQ(queuecalc::replaceFile((folder / "taken.csv").string(), "x"), "a folder of that name is in the way");

    const std::string missingFolder = queuecalc::replaceFile((folder / "no such folder" / "out.csv").string(), "x");
    EXPECT_FALSE(missingFolder.empty());
    EXPECT_NE(missingFolder.back(), '.') << "the caller ends the sentence: " << missingFolder;
    EXPECT_NE(missingFolder.back(), '\n') << missingFolder;
    EXPECT_EQ(folder.names(), std::vector<std::string>{"taken.csv"}) << "no temporary file may be left behind";
}

// Both kinds of new file: unnamed where the system makes one, and named.
class FileReplaceKinds : public ::testing::TestWithParam<queuecalc::NewFile> {};

TEST_P(FileReplaceKinds, PutsAStreamedTableInPlaceOnlyWhenCommitted) {
    ScratchFolder folder;
    const fs::path target = folder / "table.csv";
    {
        std::ofstream earlier(target, std::ios::binary);
        earlier << "earlier\r\n";
    }
    std::ostringstream expected;  // the same insertions into a string
    {
        queuecalc::FileReplacement out(target.string(), GetParam());
        ASSERT_EQ(out.failure(), "");
        // More than the stream holds back, in rows and in one large piece.
        for (int row = 0; row < 20000; ++row) {
            out.stream() << row << ';' << 0.5 * row << "\r\n";
            expected << row << ';' << 0.5 * row << "\r\n";
        }
        const std::string piece(100000, 'p');
        out.stream().write(piece.data(), static_cast<std::streamsize>(piece.size()));
        out.write("\n", 1);
        expected << piece << "\n";
        EXPECT_EQ(contentOf(target), "earlier\r\n") << "nothing replaces the earlier file before the commit";
        EXPECT_EQ(out.commit(), "");
        EXPECT_TRUE(out.stream().good());
    }
    EXPECT_EQ(contentOf(target).size(), expected.str().size());
    EXPECT_TRUE(contentOf(target) == expected.str());
    EXPECT_EQ(folder.names(), std::vector<std::string>{"table.csv"});
    // A file of a new name, put in place at once.
    queuecalc::FileReplacement fresh((folder / "new.csv").string(), GetParam());
    fresh.write("1;2\r\n", 5);
    EXPECT_EQ(fresh.commit(), "");
    EXPECT_EQ(contentOf(folder / "new.csv"), "1;2\r\n");
}

TEST_P(FileReplaceKinds, WithoutACommitLeavesTheEarlierFileAndNoNewOne) {
    ScratchFolder folder;
    const fs::path target = folder / "table.csv";
    {
        std::ofstream earlier(target, std::ios::binary);
        earlier << "earlier\r\n";
    }
    {
        queuecalc::FileReplacement abandoned(target.string(), GetParam());
        abandoned.stream() << std::string(200000, 'x');
    }
    EXPECT_EQ(contentOf(target), "earlier\r\n");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"table.csv"}) << "no temporary file may be left behind";
}

INSTANTIATE_TEST_SUITE_P(NewFiles, FileReplaceKinds,
                         ::testing::Values(queuecalc::NewFile::UnnamedWherePossible, queuecalc::NewFile::Named),
                         [](const ::testing::TestParamInfo<queuecalc::NewFile>& info) {
                             return info.param == queuecalc::NewFile::Named ? "Named" : "UnnamedWherePossible";
                         });
