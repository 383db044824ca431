// The sweep tells the truth: the cases of the review end to end. Staffing
// never answers from a scenario whose checks fail; impossible or doubtful
// values get a note and exit status 1 with a count on standard error; input
// warnings come once, in the calculator's words.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sweep/sweep_support.h"

using namespace testsupport;
using sweeptest::runSweepIn;
using sweeptest::SweepRun;

namespace {

std::string example(const char* name) {
    return readBytes(std::filesystem::path(QUEUECALC_SOURCE_DIR) / "examples" / name / "INPUT.DAT");
}

std::string oneLine(const char* values) { return std::string(values) + "\n"; }

// Field `index` (0-based) of each data record, with the note (the last
// field, maybe quoted) apart.
struct Row {
    std::vector<std::string> fields;
    std::string note;
};

std::vector<Row> rows(const std::string& csv) {
    std::vector<Row> result;
    std::string::size_type start = csv.find("\r\n") + 2;  // past the header
    for (std::string::size_type end; (end = csv.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string record = csv.substr(start, end - start);
        Row row;
        const std::string::size_type quote = record.find('"');
        const std::string numbers = quote == std::string::npos ? record : record.substr(0, quote);
        std::string::size_type from = 0;
        for (std::string::size_type comma; (comma = numbers.find(',', from)) != std::string::npos; from = comma + 1)
            row.fields.push_back(numbers.substr(from, comma - from));
        row.note = quote == std::string::npos ? numbers.substr(from) : record.substr(quote);
        result.push_back(row);
    }
    return result;
}

struct Case {
    const char* what;
    std::string input;
    const char* args;
    int status;
    std::vector<const char*> firstFields;  // each row's first fields; "" for none
    const char* note;                       // a part of every row's note; "" for an empty note
    const char* err;                        // a part of standard error; "" for nothing at all
};

std::vector<Case> cases() {
    const char* staffSL02 = "--model chain --method euler --staff --target 'SL(0.2)>=0.8'";
    return {
        // Staffing (before: 6 agents with SL(0.2) = 2.47; the right answer is 12).
        {"Euler at 64 terms", example("typical"), "--model chain --method euler --set inversionTerms=64 --staff --target 'SL(0.2)>=0.8'", 1,
         {""}, "No answer: the checks fail at", "1 of 1 rows have no values"},
        {"Euler at 56 terms", example("typical"), "--model chain --method euler --set inversionTerms=56 --staff --target 'SL(0.2)>=0.8'", 1,
         {""}, "may be off by", "1 of 1 rows have no values"},
        {"Euler at 32 terms", example("typical"), staffSL02, 0, {"12"}, "", ""},
        // Before: 151 agents with P(W<=0.1|S) = 3.07.
        {"Talbot on the large example", example("large"), "--model chain --method talbot --staff --target 'SL(0.1)>=0.8'", 1,
         {""}, "Talbot with 32 terms", "no values"},
        {"Euler on the large example", example("large"), "--model chain --method euler --staff --target 'SL(0.1)>=0.8'", 0, {"486"}, "", ""},
        {"exact on the large example", example("large"), "--staff --target 'SL(0.1)>=0.8'", 0, {"486"}, "", ""},
        // Before: 140 agents for both, with SL = 30 and 340.
        {"Talbot on the overloaded example", example("overloaded"),
         "--model chain --method talbot --staff --target 'SL(0.12)>=0.8' --vary arrivalRate=470,480", 1, {"470,", "480,"},
         "No answer", "2 of 2 rows have no values"},
        {"Euler on the overloaded example", example("overloaded"),
         "--model chain --method euler --staff --target 'SL(0.12)>=0.8' --vary arrivalRate=470,480", 0, {"470,470", "480,479"}, "", ""},
        {"exact on the overloaded example", example("overloaded"),
         "--staff --target 'SL(0.12)>=0.8' --vary arrivalRate=470,480", 0, {"470,470", "480,479"}, "", ""},
        {"exact at 64 terms on the typical example", example("typical"),
         "--set inversionTerms=64 --staff --target 'SL(0.2)>=0.8'", 0, {"12"}, "", ""},
        // Impossible measures (before: E[W|A] = inf, nan, -0.00056 and exit 0).
        {"P(A) = 0 in the calculator", oneLine("1 0 0.5 -1 -1 144 20 1 72 0.1 32 5 0"), "--at 1", 0, {"0.5,"}, "", ""},
        {"P(A) < 0 in the calculator", oneLine("1 0 0.5 -1 -1 19 20 1 1.2 0.1 32 5 0"), "--at 1", 0, {"0.0631"}, "",
         ""},
        {"an arrival rate of 1e18", oneLine("1 0 0.5 -1 -1 10 20 1 1e18 0.1 32 5 0"), "--at 1", 1, {"1e+17"},
         "not a finite number", "1 of 1 rows have impossible or untrustworthy values"},
        {"a threshold of 1e308", example("typical"), "--model chain --method euler --at 1e308", 1, {"0.95"}, "is -nan, not a finite number",
         "1 of 1 rows have impossible"},
        {"no waiting room", example("typical"), "--set waitingPlaces=0 --at 1", 0, {"0.95"}, "Nobody abandons", ""},
        // Input warnings, once per sweep (before: nothing, exit 0).
        {"mixed time units", oneLine("1 0 0.5 -1 -1 10 20 1 545 0.1 24 2 0"), "--at 0.5 --vary waitingPlaces=20,21", 0,
         {"20,", "21,"}, "", "Warning: Offered load per server (RHO = 54.5) is above 10"},
        {"a deleted line", oneLine("1 0 0.5 -1 -1 20 0.00416667 9.5 0.1 32 5 0 0"), "--at 0.5", 0, {"113.99"},
         "Nobody abandons",
         "Warning: Number of extra waiting spaces is read as 0 from \"0.00416667\""},
    };
}

TEST(SweepChecks, StaffNeverOnFailedChecksAndNoteEveryImpossibleOrDoubtfulRow) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        writeBytes(folder / "INPUT.DAT", c.input);
        const SweepRun run = runSweepIn(folder.path(), c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        const std::vector<Row> table = rows(run.out);
        ASSERT_EQ(table.size(), c.firstFields.size()) << run.out;
        for (std::size_t i = 0; i < table.size(); ++i) {
            std::string start;
            for (const std::string& f : table[i].fields) start += f + ",";
            EXPECT_EQ(start.rfind(c.firstFields[i], 0), 0u) << start;
            if (*c.note == '\0') EXPECT_EQ(table[i].note, "");
            else EXPECT_NE(table[i].note.find(c.note), std::string::npos) << table[i].note;
            for (const std::string& f : table[i].fields) EXPECT_EQ(f.find('-') == 0 && f != "-nan", false) << f;
        }
        if (*c.err == '\0') EXPECT_EQ(run.err, "");
        else EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        // Each warning once.
        std::vector<std::string> warnings;
        for (std::string::size_type at = run.err.find("Warning: "); at != std::string::npos;
             at = run.err.find("Warning: ", at + 1)) {
            const std::string line = run.err.substr(at, run.err.find('\n', at) - at);
            EXPECT_EQ(std::count(warnings.begin(), warnings.end(), line), 0) << line;
            warnings.push_back(line);
        }
    }
}

}  // namespace
