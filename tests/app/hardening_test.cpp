// Bad input as a user meets it: every message of the readers and of the range
// checks on exact bytes, the place of each new check among the five checks
// every run has always made, valid edge cases that must keep their output,
// and a results file that is never lost or left half written.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "report/results_file.h"
#include "support/program_runner.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

const std::string kEarlierResults = "an earlier results file\r\n";

// smallRun() (support/program_runner.h) is the valid run that each case
// below spoils in one or two values.

struct FailedRun {
    RunOutcome outcome;
    std::string csvAfter;  // the earlier "OUTPUT.CSV" after the run
    std::vector<std::string> files;
};

// Runs in a folder holding an earlier "OUTPUT.CSV"; the binomial file is left
// out when `binomial` is empty.
FailedRun runFailing(const std::string& input, const std::string& binomial) {
    TempFolder folder;
    writeBytes(folder / "INPUT.DAT", input);
    if (!binomial.empty()) writeBytes(folder / "BINOMDIST.DAT", binomial);
    writeBytes(folder / "OUTPUT.CSV", kEarlierResults);
    FailedRun run;
    run.outcome = runProgramIn(folder.path(), "0\n");
    run.csvAfter = readBytes(folder / "OUTPUT.CSV");
    run.files = fileNames(folder.path());
    return run;
}

struct BadInput {
    const char* name;
    std::string input;     // "INPUT.DAT"
    std::string binomial;  // "BINOMDIST.DAT"
    std::string message;
};

// How ctest and failure messages name a case.
void PrintTo(const BadInput& c, std::ostream* os) { *os << c.name; }

InputValues with(InputValues v, std::string InputValues::*field, const std::string& value) {
    v.*field = value;
    return v;
}

InputValues with(InputValues v, std::string InputValues::*a, const std::string& va,
                 std::string InputValues::*b, const std::string& vb) {
    v.*a = va;
    v.*b = vb;
    return v;
}

const std::string kChange = " Please change value ";
const std::string kInputFile = " of the input file (INPUT.DAT).";
const std::string kTableFile = " Please change the binomial distribution data file (BINOMDIST.DAT).";
const std::string kReadInput = "Unable to read input file (INPUT.DAT): ";
const std::string kReadTable = "Unable to read binomial distribution data file (BINOMDIST.DAT): ";

std::vector<BadInput> badInputs() {
    using V = InputValues;
    const InputValues ok = smallRun();
    const std::string table = binomialTableText(4);
    const InputValues talbot = with(ok, &V::inversionMethod, "1");
    const InputValues erlang = with(ok, &V::abandonType, "1", &V::p2, "3");
    const InputValues lognormal = with(ok, &V::abandonType, "2", &V::p2, "0.01");
    return {
        // Reading "INPUT.DAT"
        {"InputEmpty", "", table, kReadInput + "it ends before value 1 of 13 (console report switch)."},
        {"InputEndsEarly", "0 0 0.5 -1 -1 2\n", table,
         kReadInput + "it ends before value 7 of 13 (number of extra waiting spaces)."},
        {"InputWordForWholeNumber", with(ok, &V::servers, "two").text(), table,
         kReadInput + "value 6 of 13 (number of servers) is \"two\", which is not a whole number."},
        {"InputWholeNumberOutOfRange", with(ok, &V::waitingPlaces, "99999999999").text(), table,
         kReadInput + "value 7 of 13 (number of extra waiting spaces) is \"99999999999\", which is "
                      "outside the range of whole numbers (-2147483648 to 2147483647)."},
        {"InputWordForNumber", with(ok, &V::arrivalRate, "fast").text(), table,
         kReadInput + "value 9 of 13 (arrival rate) is \"fast\", which is not a number."},
        {"InputNumberTooLarge", with(ok, &V::serviceRate, "-1e999").text(), table,
         kReadInput + "value 8 of 13 (individual service rate) is \"-1e999\", which is too large "
                      "for a number (at most about 1.8e308)."},
        {"InputFractionOfWholeNumber", with(ok, &V::servers, "2.5").text(), table,
         kReadInput + "value 7 of 13 (number of extra waiting spaces) is \".5\", which is not a whole "
                      "number (it is left over from value 6, which must be a whole number)."},
        {"InputLongUnprintableText", with(ok, &V::p1, "abc\x01\xff" + std::string(40, 'x')).text(), table,
         kReadInput + "value 3 of 13 (1st parameter of the abandonment time distribution) is "
                      "\"abc??xxxxxxxxxxxxxxxxxxx...\", which is not a number."},
        // Reading "BINOMDIST.DAT"
        {"TableEmpty", ok.text(), " \n", kReadTable + "it ends before its first value, the dimension."},
        {"TableWordForDimension", ok.text(), "four\n", kReadTable + "its dimension is \"four\", which is not a whole number."},
        {"TableEndsEarly", ok.text(), "4\n1 0 0 0 0\n1 1\n", kReadTable + "it ends before entry [1][2] of its 5 x 5 table."},
        {"TableWordForEntry", ok.text(), "4\n1 0 0 0 0\n1 one 0 0 0\n", kReadTable + "entry [1][1] is \"one\", which is not a number."},
        {"TableDimensionBelowMinusOne", talbot.text(), "-2\n",
         "Binomial distribution dimension (-2) must be at least -1." + kTableFile},
        {"TableDimensionTooLarge", talbot.text(), "16384\n",
         "Binomial distribution dimension (16384) is more than the 16383 this program can hold." + kTableFile},
        // Time grid
        {"IntervalZero", with(ok, &V::momentInterval, "0").text(), table,
         "Time in between measurement moments (0) must be greater than 0." + kChange + "10" + kInputFile},
        {"IntervalNegative", with(ok, &V::momentInterval, "-0.5").text(), table,
         "Time in between measurement moments (-0.5) must be greater than 0." + kChange + "10" + kInputFile},
        {"MaxTimeNegative", with(ok, &V::maxTime, "-1").text(), table,
         "Maximum time instance (-1) must not be negative." + kChange + "12" + kInputFile},
        {"MomentsBeyondTheIntegerRange", with(ok, &V::maxTime, "1e300", &V::momentInterval, "1").text(), table,
         "Maximum time instance (1e+300) over time in between measurement moments (1) gives 1e+300 "
         "measurement moments, more than the 16777216 this program can hold." + kChange + "10 or 12" + kInputFile},
        {"MomentsTooManyToHold", with(ok, &V::maxTime, "1e9", &V::momentInterval, "1").text(), table,
         "Maximum time instance (1e+09) over time in between measurement moments (1) gives 1000000000 "
         "measurement moments, more than the 16777216 this program can hold." + kChange + "10 or 12" + kInputFile},
        // Sizes
        {"WaitingPlacesNegative", with(ok, &V::waitingPlaces, "-1").text(), table,
         "Number of extra waiting spaces (-1) must not be negative." + kChange + "7" + kInputFile},
        {"WaitingPlacesBeyondTheTables", with(ok, &V::waitingPlaces, "13377").text(), table,
         "Number of extra waiting spaces (13377) is more than the 13376 this program can hold." + kChange + "7" + kInputFile},
        {"WaitingPlacesBeyondTheRates", with(ok, &V::waitingPlaces, "2147483647").text(), table,
         "Number of extra waiting spaces (2147483647) is more than the 13376 this program can hold." + kChange + "7" + kInputFile},
        {"ServersNegative", with(ok, &V::servers, "-1").text(), table,
         "Number of servers (-1) must not be negative." + kChange + "6" + kInputFile},
        {"ServersAndPlacesBeyondTheChain", with(ok, &V::servers, "2147483647", &V::waitingPlaces, "1").text(), table,
         "Number of servers (2147483647) and number of extra waiting spaces (1) add up to more than the "
         "67108863 places this program can hold." + kChange + "6 or 7" + kInputFile},
        {"TermsZero", with(ok, &V::inversionTerms, "0").text(), table,
         "Number of terms to sum for each measurement moment (0) must be at least 1." + kChange + "11" + kInputFile},
        {"TermsNegativeTalbotOnly", with(talbot, &V::inversionTerms, "-3").text(), table,
         "Number of terms to sum for each measurement moment (-3) must be at least 1." + kChange + "11" + kInputFile},
        {"TermsTooManyToHold", with(talbot, &V::inversionTerms, "1048577").text(), table,
         "Number of terms to sum for each measurement moment (1048577) is more than the 1048576 this "
         "program can hold." + kChange + "11" + kInputFile},
        // Rates
        {"ServiceRateZero", with(ok, &V::serviceRate, "0").text(), table,
         "Individual service rate (0) must be greater than 0." + kChange + "8" + kInputFile},
        {"ArrivalRateZero", with(ok, &V::arrivalRate, "0").text(), table,
         "Arrival rate (0) must be greater than 0." + kChange + "9" + kInputFile},
        {"ArrivalRateNegativeForErlang", with(erlang, &V::arrivalRate, "-9.5").text(), table,
         "Arrival rate (-9.5) must be greater than 0." + kChange + "9" + kInputFile},
        {"ArrivalRateZeroForLognormal", with(lognormal, &V::arrivalRate, "0").text(), table,
         "Arrival rate (0) must be greater than 0." + kChange + "9" + kInputFile},
        // Patience distributions
        {"ExponentialRateNegative", with(ok, &V::p1, "-0.5").text(), table,
         "Exponential abandonment rate (-0.5) must not be negative." + kChange + "3" + kInputFile},
        {"ErlangPhasesBelowOne", with(erlang, &V::p2, "0.999").text(), table,
         "Erlang number of phases (0.999) must be at least 1." + kChange + "4" + kInputFile},
        {"ErlangPhasesNegative", with(erlang, &V::p2, "-1").text(), table,
         "Erlang number of phases (-1) must be at least 1." + kChange + "4" + kInputFile},
        {"ErlangRateNegative", with(erlang, &V::p1, "-1e-3").text(), table,
         "Erlang rate of a phase (-0.001) must not be negative." + kChange + "3" + kInputFile},
        {"LognormalMeanZero", with(lognormal, &V::p1, "0").text(), table,
         "Lognormal mean of the abandonment time (0) must be greater than 0." + kChange + "3" + kInputFile},
        {"LognormalVarianceZero", with(lognormal, &V::p2, "0").text(), table,
         "Lognormal variance of the abandonment time (0) must be greater than 0." + kChange + "4" + kInputFile},
        {"LognormalVarianceLostBesideTheMean", with(lognormal, &V::p1, "1", &V::p2, "1e-20").text(), table,
         "Lognormal variance of the abandonment time (1e-20) is too small beside the square of its mean (1) "
         "to be told apart from 0." + kChange + "3 or 4" + kInputFile},
        {"LognormalVarianceBeyondTheRange", with(lognormal, &V::p1, "1e-200", &V::p2, "1").text(), table,
         "Lognormal variance of the abandonment time (1) is too large beside the square of its mean (1e-200): "
         "their quotient exceeds the range of numbers." + kChange + "3 or 4" + kInputFile},
    };
}

class RejectedInput : public ::testing::TestWithParam<BadInput> {};

TEST_P(RejectedInput, StopsWithItsMessageAndLeavesTheEarlierResultsFileAlone) {
    const BadInput& bad = GetParam();
    const FailedRun run = runFailing(bad.input, bad.binomial);
    EXPECT_EQ(run.outcome.console, failureOutput(bad.message));
    EXPECT_NE(run.outcome.exitStatus, 0);
    EXPECT_EQ(run.csvAfter, kEarlierResults);
    EXPECT_EQ(run.files, (std::vector<std::string>{"BINOMDIST.DAT", "INPUT.DAT", "OUTPUT.CSV"}));
}

INSTANTIATE_TEST_SUITE_P(EveryNewMessage, RejectedInput, ::testing::ValuesIn(badInputs()),
                         [](const ::testing::TestParamInfo<BadInput>& info) { return info.param.name; });

// The five checks every run has always made keep their place: a value that
// only a later step would misuse does not pre-empt them.
TEST(CheckOrder, TheOriginalFiveChecksComeFirstWhereTheStepsBeforeThemAreDefined) {
    using V = InputValues;
    const std::string undefinedType =
        "Unspecified abandonment time distribution. Please change the input file (INPUT.DAT).";
    const std::string tooManyPhases = "Erlang of more than 12 phases is not allowed.";
    const InputValues type7 = with(smallRun(), &V::abandonType, "7");
    const InputValues erlang13 = with(smallRun(), &V::abandonType, "1", &V::p2, "13");
    const std::string table = binomialTableText(4);
    const struct {
        InputValues input;
        std::string message;
    } cases[] = {
        {with(type7, &V::inversionTerms, "0"), undefinedType},
        {with(type7, &V::waitingPlaces, "20000"), undefinedType},
        {with(type7, &V::servers, "-1"), undefinedType},
        {with(type7, &V::serviceRate, "0"), undefinedType},
        {with(type7, &V::arrivalRate, "0"), undefinedType},
        {with(type7, &V::p1, "-1"), undefinedType},
        {with(type7, &V::maxTime, "1e9", &V::momentInterval, "1"), undefinedType},
        {with(erlang13, &V::arrivalRate, "0"), tooManyPhases},
        {with(erlang13, &V::p1, "-1"), tooManyPhases},
        {with(erlang13, &V::servers, "-1"), tooManyPhases},
        {with(erlang13, &V::inversionTerms, "0"), tooManyPhases},
    };
    for (const auto& c : cases) {
        const FailedRun run = runFailing(c.input.text(), table);
        EXPECT_EQ(run.outcome.console, failureOutput(c.message)) << c.input.text();
    }
}

TEST(CheckOrder, TheTableChecksComeBeforeEveryCheckOfTheModel) {
    using V = InputValues;
    const std::string tooSmall =
        "Binomial distribution dimension (-5) is smaller than number of terms to sum for each measurement "
        "moment (4). Increase binaomial distribution dimension or decrease number of terms to sum for each "
        "measurement moment.";
    const InputValues spoiled = with(with(smallRun(), &V::waitingPlaces, "-1"), &V::momentInterval, "0");
    EXPECT_EQ(runFailing(spoiled.text(), "-5\n").outcome.console, failureOutput(tooSmall));
    EXPECT_EQ(runFailing(with(spoiled, &V::inversionMethod, "1").text(), "-5\n").outcome.console,
              failureOutput("Binomial distribution dimension (-5) must be at least -1." + kTableFile));
    EXPECT_EQ(runFailing(spoiled.text(), "").outcome.console,
              failureOutput("Unable to open binomial distribution data file (BINOMDIST.DAT)."));
}

// The grid is formed before the distribution is looked at, so a meaningless
// interval is reported even when the distribution type is undefined too.
TEST(CheckOrder, AMeaninglessTimeGridIsReportedBeforeTheDistributionType) {
    using V = InputValues;
    const InputValues input = with(with(smallRun(), &V::abandonType, "7"), &V::momentInterval, "0");
    EXPECT_EQ(runFailing(input.text(), binomialTableText(4)).outcome.console,
              failureOutput("Time in between measurement moments (0) must be greater than 0." + kChange + "10" +
                            kInputFile));
}

// ---------------------------------------------------------------------------
// Valid edge cases keep their output byte for byte.

const fs::path kEdgeCases = fs::path(QUEUECALC_TEST_DATA) / "hardening";

class ValidEdgeCase : public ::testing::TestWithParam<std::string> {};

TEST_P(ValidEdgeCase, RunsAndKeepsItsConsoleOutputAndResultsFileByteForByte) {
    const fs::path edge = kEdgeCases / GetParam();
    TempFolder folder;
    fs::copy_file(edge / "INPUT.DAT", folder / "INPUT.DAT");
    fs::copy_file(edge / "BINOMDIST.DAT", folder / "BINOMDIST.DAT");
    const RunOutcome outcome = runProgramIn(folder.path(), "0\n");
    EXPECT_EQ(outcome.exitStatus, 0);
    EXPECT_EQ(outcome.console, readBytes(edge / "expected.stdout"));
    EXPECT_EQ(readBytes(folder / "OUTPUT.CSV"), readBytes(edge / "expected.csv"));
}

INSTANTIATE_TEST_SUITE_P(AcceptedInput, ValidEdgeCase, ::testing::ValuesIn(caseFolders(kEdgeCases)),
                         CaseName());

// ---------------------------------------------------------------------------
// The results file.

std::string expectedResults() {
    SuccessfulSetup setup;
    const RunOutcome outcome = runProgramIn(setup.folder.path(), "0\n");
    EXPECT_EQ(outcome.exitStatus, 0);
    return readBytes(setup.folder / "OUTPUT.CSV");
}

TEST(ResultsFileWriting, AFolderNamedLikeTheResultsFileStopsTheRunWithAMessage) {
    SuccessfulSetup setup;
    fs::create_directory(setup.folder / "OUTPUT.CSV");
    writeBytes(setup.folder / "OUTPUT.CSV" / "kept", "x");
    const RunOutcome outcome = runProgramIn(setup.folder.path(), "0\n");
    EXPECT_EQ(outcome.console,
              failureOutput("Unable to write results file (OUTPUT.CSV): a folder of that name is in the way."));
    EXPECT_NE(outcome.exitStatus, 0);
    EXPECT_EQ(readBytes(setup.folder / "OUTPUT.CSV" / "kept"), "x");
    EXPECT_EQ(fileNames(setup.folder.path()), (std::vector<std::string>{"BINOMDIST.DAT", "INPUT.DAT", "OUTPUT.CSV"}))
        << "no temporary file may be left behind";
}

TEST(ResultsFileWriting, ReplacesAnEarlierFileWholeAndKeepsItsPermissions) {
    const std::string expected = expectedResults();
    SuccessfulSetup setup;
    writeBytes(setup.folder / "OUTPUT.CSV", std::string(100000, 'x'));
    ASSERT_EQ(::chmod((setup.folder / "OUTPUT.CSV").c_str(), 0640), 0);
    const RunOutcome outcome = runProgramIn(setup.folder.path(), "0\n");
    EXPECT_EQ(outcome.exitStatus, 0);
    EXPECT_EQ(readBytes(setup.folder / "OUTPUT.CSV"), expected);
    struct stat after {};
    ASSERT_EQ(::stat((setup.folder / "OUTPUT.CSV").c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
}

TEST(ResultsFileWriting, WritesThroughALinkToTheFileItPointsTo) {
    const std::string expected = expectedResults();
    SuccessfulSetup setup;
    fs::create_directory(setup.folder / "results");
    writeBytes(setup.folder / "results" / "latest.csv", kEarlierResults);
    fs::create_symlink("results/latest.csv", setup.folder / "OUTPUT.CSV");
    EXPECT_EQ(runProgramIn(setup.folder.path(), "0\n").exitStatus, 0);
    EXPECT_TRUE(fs::is_symlink(setup.folder / "OUTPUT.CSV"));
    EXPECT_EQ(readBytes(setup.folder / "results" / "latest.csv"), expected);
}

std::string message(const std::function<void()>& write) {
    try {
        write();
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return "";
}

// Runs `body` in a child process after `prepare` (which returns false when
// the child cannot be set up here, skipping the test); the child reports its
// expectations through its exit status.
template <typename Prepare, typename Body>
void inChild(Prepare prepare, Body body) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!prepare()) ::_exit(77);
        body();
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "the child process could not be set up here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the expectations in the child failed (see above)";
}

// Write permission is not enforced for root, so these run as another user:
// in the test process itself when it is not root, else in a child that gives
// up root before it writes.
template <typename Body>
void asUnprivilegedUser(Body body) {
    if (::geteuid() != 0) {
        body();
        return;
    }
    inChild([] { return ::setgid(65534) == 0 && ::setuid(65534) == 0; }, body);
}

TEST(ResultsFileWriting, InAFolderThatTakesNoNewFileAWritableFileIsOverwrittenInPlace) {
    TempFolder folder;
    const fs::path target = folder / "OUTPUT.CSV";
    writeBytes(target, std::string(5000, 'x'));
    ::chmod(target.c_str(), 0666);
    ::chmod(folder.path().c_str(), 0555);
    asUnprivilegedUser([&] {
        EXPECT_EQ(message([&] { queuecalc::writeResultsFile(target.string(), "new results\r\n"); }), "");
        EXPECT_EQ(readBytes(target), "new results\r\n");
    });
}

TEST(ResultsFileWriting, InAFolderThatTakesNoNewFileAMissingFileIsReported) {
    TempFolder folder;
    ::chmod(folder.path().c_str(), 0555);
    const fs::path target = folder / "OUTPUT.CSV";
    asUnprivilegedUser([&] {
        EXPECT_EQ(message([&] { queuecalc::writeResultsFile(target.string(), "new results\r\n"); }),
                  "Unable to write results file (OUTPUT.CSV): Permission denied.");
    });
    EXPECT_FALSE(fs::exists(target));
}

TEST(ResultsFileWriting, AReadOnlyFileIsNeitherOverwrittenNorReplaced) {
    TempFolder folder;
    const fs::path target = folder / "OUTPUT.CSV";
    writeBytes(target, kEarlierResults);
    ::chmod(target.c_str(), 0444);
    ::chmod(folder.path().c_str(), 0777);
    asUnprivilegedUser([&] {
        EXPECT_EQ(message([&] { queuecalc::writeResultsFile(target.string(), "new results\r\n"); }),
                  "Unable to write results file (OUTPUT.CSV): Permission denied.");
    });
    EXPECT_EQ(readBytes(target), kEarlierResults);
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(folder.path())) files += entry.exists() ? 1 : 0;
    EXPECT_EQ(files, 1u) << "no temporary file may be left behind";
}

// A file size limit makes the write of the new file fail half-way, as a
// full disk would: the earlier file stays whole and the new one is removed.
TEST(ResultsFileWriting, AWriteThatFailsHalfWayLeavesTheEarlierFileWhole) {
    TempFolder folder;
    const fs::path target = folder / "OUTPUT.CSV";
    writeBytes(target, kEarlierResults);
    inChild(
        [] {
            const struct rlimit limit = {4096, 4096};
            return ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        },
        [&] {
            EXPECT_EQ(message([&] { queuecalc::writeResultsFile(target.string(), std::string(10000, 'r')); }),
                      "Unable to write results file (OUTPUT.CSV): File too large.");
        });
    EXPECT_EQ(readBytes(target), kEarlierResults);
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(folder.path())) files += entry.exists() ? 1 : 0;
    EXPECT_EQ(files, 1u) << "no temporary file may be left behind";
}

TEST(ResultsFileWriting, ALinkToADeviceIsWrittenToTheDeviceNotReplaced) {
    TempFolder folder;
    fs::create_symlink("/dev/null", folder / "OUTPUT.CSV");
    EXPECT_EQ(message([&] { queuecalc::writeResultsFile((folder / "OUTPUT.CSV").string(), "results\r\n"); }), "");
    EXPECT_TRUE(fs::is_symlink(folder / "OUTPUT.CSV"));
}

// A full disk: /dev/full takes no byte. Written in place (it is a device),
// the write fails and is reported rather than lost.
TEST(ResultsFileWriting, AWriteThatFailsIsReported) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    TempFolder folder;
    fs::create_symlink("/dev/full", folder / "OUTPUT.CSV");
    EXPECT_EQ(message([&] { queuecalc::writeResultsFile((folder / "OUTPUT.CSV").string(), "results\r\n"); }),
              "Unable to write results file (OUTPUT.CSV): No space left on device.");
}

// ---------------------------------------------------------------------------
// Memory

#if defined(__SANITIZE_ADDRESS__)
#define QUEUECALC_TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUEUECALC_TEST_UNDER_ASAN 1
#endif
#endif

// With the address space limited to 512 MiB, the 67 million agents the
// program accepts need more (the chain's arrays alone take 2 GiB): the failed
// allocation is reported instead of ending the run abnormally.
TEST(Memory, AnAllocationThatFailsIsReportedWithAMessage) {
#ifdef QUEUECALC_TEST_UNDER_ASAN
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#else
    SuccessfulSetup setup;
    writeBytes(setup.folder / "INPUT.DAT", with(smallRun(), &InputValues::servers, "67108000").text());
    writeBytes(setup.folder / "OUTPUT.CSV", kEarlierResults);
    writeBytes(setup.folder / "stdin", "0\n");
    const std::string command = "cd '" + setup.folder.path().string() + "' && ulimit -v 524288 && '" +
                                QUEUECALC_APP_PATH "' < stdin > stdout";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_EQ(readBytes(setup.folder / "stdout"),
              failureOutput("Unable to allocate the memory for this run. Please reduce the number of servers, "
                            "extra waiting spaces, measurement moments or terms to sum in the input file "
                            "(INPUT.DAT)."));
    EXPECT_EQ(readBytes(setup.folder / "OUTPUT.CSV"), kEarlierResults);
#endif
}

}  // namespace
