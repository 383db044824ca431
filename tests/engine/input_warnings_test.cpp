// Warnings about legal but doubtful input: none for the files users write
// every day, one for each slip, in the wording of the calculator's messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/input_warnings.h"
#include "report/finding_text.h"
#include "input/input_checks.h"
#include "support/pascal_table.h"
#include "support/program_runner.h"

using namespace queuecalc;
namespace fs = std::filesystem;

namespace {

// All warnings of the values of "INPUT.DAT" given in one line.
std::vector<std::string> warningsFor(const std::string& values, const BinomialTable& table = testsupport::pascalTable(64)) {
    std::istringstream in(values);
    InputNotes notes;
    const ModelInput input = readModelInput(in, &notes);
    validateModelInput(input);
    std::vector<std::string> all;
    for (const InputWarning& w : checkRunOns(notes)) all.push_back(inputWarningText(w));
    for (const InputWarning& w : checkInputValues(input, table)) all.push_back(inputWarningText(w));
    return all;
}

}  // namespace

TEST(InputWarnings, SayNothingAboutTheShippedAndSharedInputs) {
    std::vector<fs::path> files = {fs::path(QUEUECALC_SOURCE_DIR) / "examples/typical/INPUT.DAT",
                                   fs::path(QUEUECALC_SOURCE_DIR) / "examples/large/INPUT.DAT"};
    const fs::path shared = fs::path(QUEUECALC_TEST_DATA) / "examples";
    for (const std::string& name : testsupport::caseFolders(shared))
        // "no-moments" is the empty grid, which warns by design.
        if (name != "no-moments" && fs::exists(shared / name / "INPUT.DAT")) files.push_back(shared / name / "INPUT.DAT");
    for (const fs::path& file : files) {
        std::ifstream in(file);
        InputNotes notes;
        const ModelInput input = readModelInput(in, &notes);
        EXPECT_TRUE(checkRunOns(notes).empty()) << file;
        EXPECT_TRUE(checkInputValues(input, testsupport::pascalTable(64)).empty()) << file;
    }
}

TEST(InputWarnings, NameEachSlipWithItsValueAndWhatToDo) {
    struct Case {
        const char* values;
        const char* warning;
    };
    const Case cases[] = {
        // A deleted line: value 6 gone, mu lands in the whole-number r.
        {"1 0 0.5 -1 -1 20 0.95 9.5 0.1 32 5 0 x",
         "Number of extra waiting spaces is read as 0 from \"0.95\", and the rest \".95\" as value 8 "
         "(individual service rate), so every later value moves up one place.\nPlease write value 7 of the input "
         "file (INPUT.DAT) as a whole number, or add the value that is missing before it."},
        {"1 0 0.5 -1 -1 10 20 1 9.5 0.1 32 5 0.5",
         "Inverse Laplace transform algorithm is read as 0 from \"0.5\"; the rest \".5\" is never read.\nPlease "
         "write value 13 of the input file (INPUT.DAT) as a whole number."},
        {"1 0 0.5 -1 -1 0 20 1 9.5 0.1 32 5 0",
         "Number of servers (0) leaves no agent: no call is ever served, RHO is infinite and the waiting-time "
         "distribution of served calls has no meaning.\nPlease change value 6 of the input file (INPUT.DAT)."},
        {"1 0 0.5 -1 -1 10 20 0.00416667 14.4 0.1 32 5 0",
         "Offered load per server (RHO = 345.6) is above 10: arrival rate 14.4 for 10 servers of individual "
         "service rate 0.00416667.\nPlease check that the arrival rate and the individual service rate (values 9 "
         "and 8 of the input file (INPUT.DAT)) use the same time unit."},
        {"1 0 0.5 -1 -1 10 20 1 9.5 0.1 32 0.05 0",
         "Maximum time instance (0.05) is smaller than the time in between measurement moments (0.1): there is no "
         "measurement moment and the waiting-time tables are empty.\nPlease change value 10 or 12 of the input "
         "file (INPUT.DAT)."},
        {"1 0 0.5 -1 -1 10 20 1 9.5 0.1 32 0.3 0",
         "Maximum time instance (0.3) over the time in between measurement moments (0.1) is 2.9999999999999996 in "
         "double precision, so the moment 0.3 is left out.\nPlease write value 12 of the input file (INPUT.DAT) a "
         "little larger (0.3000001, say) to include it."},
        {"1 1 0.5 2.5 -1 10 20 1 9.5 0.1 32 5 0",
         "Erlang number of phases (2.5) is not a whole number: the density is formed with 2.5 phases and the "
         "survival with 2, which is no Erlang distribution.\nPlease change value 4 of the input file (INPUT.DAT) "
         "to a whole number."},
        {"2 0 0.5 -1 -1 10 20 1 9.5 0.1 32 5 0",
         "Console report switch (2) is neither 1 nor 0, so no summary is printed.\nPlease change value 1 of the "
         "input file (INPUT.DAT) to 1 for the summary or to 0 for none."},
        {"1 0 0.5 -1 -1 10 20 1 9.5 0.1 32 5 -7",
         "Inverse Laplace transform algorithm (-7) is not -1, 0 or 1; it runs the Euler algorithm, as -1 does.\n"
         "Please change value 13 of the input file (INPUT.DAT) to -1 (Euler), 1 (Talbot) or 0 (both)."},
    };
    for (const Case& c : cases) EXPECT_EQ(warningsFor(c.values), std::vector<std::string>{c.warning}) << c.values;
}

TEST(InputWarnings, CheckTheBinomialRowOnlyWhenEulerReadsIt) {
    BinomialTable table = testsupport::pascalTable(64);
    table.rows[32][5] += 1;
    EXPECT_EQ(warningsFor("1 0 0.5 -1 -1 10 20 1 9.5 0.1 32 5 0", table),
              std::vector<std::string>{"Binomial distribution data file (BINOMDIST.DAT) holds 201377 at entry "
                                       "[32][5], not C(32, 5) = 201376, and the Euler results rest on it.\n"
                                       "Please write the file again (binomdist 64 BINOMDIST.DAT)."});
    EXPECT_TRUE(warningsFor("1 0 0.5 -1 -1 10 20 1 9.5 0.1 32 5 1", table).empty());
}
