#pragma once
// Runs the built program as a user meets it: in a fresh temporary folder,
// with chosen input files and standard input, capturing the console output,
// the exit status and the results file.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/pascal_table.h"

namespace testsupport {

inline std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "queuecalc-test-XXXXXX").string();
        if (::mkdtemp(&pattern[0]) == nullptr) std::abort();
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct RunOutcome {
    std::string console;  // exact bytes on standard output
    std::string errors;   // exact bytes on standard error (warnings)
    int exitStatus = -1;
};

// Runs the program in `folder` with `stdinBytes` as its standard input;
// `program` is a shell command that starts it (another build of it, say).
inline RunOutcome runProgramIn(const std::filesystem::path& folder, const std::string& stdinBytes = "",
                               const std::string& program = "'" QUEUECALC_APP_PATH "'") {
    const std::filesystem::path in = folder.parent_path() / (folder.filename().string() + ".stdin");
    const std::filesystem::path out = folder.parent_path() / (folder.filename().string() + ".stdout");
    const std::filesystem::path err = folder.parent_path() / (folder.filename().string() + ".stderr");
    writeBytes(in, stdinBytes);
    const std::string command = "cd '" + folder.string() + "' && " + program + " < '" + in.string() +
                                "' > '" + out.string() + "' 2> '" + err.string() + "'";
    const int status = std::system(command.c_str());
    RunOutcome outcome;
    outcome.console = readBytes(out);
    outcome.errors = readBytes(err);
    outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::filesystem::remove(in);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return outcome;
}

// What a program with command-line arguments left: its standard output and
// error, and its exit status.
struct ToolRun {
    std::string out;  // standard output
    std::string err;  // standard error
    int status = -1;
};

// Runs the program at `programPath` in `folder` with the arguments (shell
// words) and nothing on standard input.
inline ToolRun runToolIn(const std::filesystem::path& folder, const std::string& programPath,
                         const std::string& args) {
    const std::string out = folder.string() + ".tool-out";
    const std::string err = folder.string() + ".tool-err";
    const std::string command = "cd '" + folder.string() + "' && '" + programPath + "' " + args +
                                " < /dev/null > '" + out + "' 2> '" + err + "'";
    const int status = std::system(command.c_str());
    ToolRun run;
    run.out = readBytes(out);
    run.err = readBytes(err);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

// The thirteen values of an input file, one per line.
struct InputValues {
    std::string consoleReport = "1", abandonType = "0", p1 = "0.5", p2 = "-1", p3 = "-1",
                servers = "10", waitingPlaces = "20", serviceRate = "1.0", arrivalRate = "9.5",
                momentInterval = "0.1", inversionTerms = "32", maxTime = "5", inversionMethod = "0";
    std::string text() const {
        return consoleReport + "\n" + abandonType + "\n" + p1 + "\n" + p2 + "\n" + p3 + "\n" + servers +
               "\n" + waitingPlaces + "\n" + serviceRate + "\n" + arrivalRate + "\n" + momentInterval +
               "\n" + inversionTerms + "\n" + maxTime + "\n" + inversionMethod + "\n";
    }
};

// A small valid run with a quiet console (2 servers, 3 waiting places,
// 2 moments, 4 terms, both algorithms), quick under any build.
inline InputValues smallRun() {
    InputValues v;
    v.consoleReport = "0";
    v.servers = "2";
    v.waitingPlaces = "3";
    v.arrivalRate = "1.5";
    v.momentInterval = "0.5";
    v.inversionTerms = "4";
    v.maxTime = "1";
    return v;
}

// "BINOMDIST.DAT" of dimension n with exact coefficients, one row a line.
inline std::string binomialTableText(int n) {
    const queuecalc::BinomialTable table = pascalTable(n);
    std::ostringstream s;
    s.precision(17);
    s << n << "\n";
    for (const std::vector<double>& row : table.rows)
        for (std::size_t k = 0; k < row.size(); ++k) s << row[k] << (k + 1 == row.size() ? "\n" : " ");
    return s.str();
}

// A temporary folder holding the input files of smallRun().
struct SuccessfulSetup {
    TempFolder folder;
    SuccessfulSetup() {
        writeBytes(folder / "INPUT.DAT", smallRun().text());
        writeBytes(folder / "BINOMDIST.DAT", binomialTableText(4));
    }
};

// The names of the folders in `folder`, sorted: one worked case each.
inline std::vector<std::string> caseFolders(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_directory()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The names of everything in `folder`, sorted.
inline std::vector<std::string> fileNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A case folder's name as a test name ("typical-both" -> "typical_both").
struct CaseName {
    template <typename Info>
    std::string operator()(const Info& info) const {
        std::string name = info.param;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    }
};

inline std::string finalPrompt() { return "\nPress any key to quit..."; }

inline std::string failureOutput(const std::string& message) {
    return "\n" + message + "\nPress any key to quit...";
}

}  // namespace testsupport
