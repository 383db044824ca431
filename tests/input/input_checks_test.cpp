// The limits of the range checks, at their edges: each size limit but the
// published waiting-place limit is the largest value whose arrays fit 2 GiB,
// accepted, and one more is rejected;
// values the readers cannot produce (infinities, NaN) are rejected too.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/failure.h"
#include "input/input_checks.h"

using namespace queuecalc;

namespace {

constexpr double kTwoGiB = 2147483648.0;

template <typename Check>
std::string failure(Check check) {
    try {
        check();
    } catch (const RunFailure& f) {
        return f.what();
    }
    return "";
}

ModelInput grid(double maxTime, double interval) {
    ModelInput in;
    in.maxTime = maxTime;
    in.momentInterval = interval;
    return in;
}

}  // namespace

TEST(SizeLimits, EachIsTheLargestWhoseArraysFitTwoGiB) {
    EXPECT_LE(4 * 8 * (kMaxSystemSize + 1.0), kTwoGiB);
    EXPECT_GT(4 * 8 * (kMaxSystemSize + 2.0), kTwoGiB);
    EXPECT_LE(128 * static_cast<double>(kMaxMomentCount), kTwoGiB);
    EXPECT_LE(8 * (kMaxBinomialDimension + 1.0) * (kMaxBinomialDimension + 1.0), kTwoGiB);
    EXPECT_GT(8 * (kMaxBinomialDimension + 2.0) * (kMaxBinomialDimension + 2.0), kTwoGiB);
}

TEST(SizeLimits, AreAcceptedAndOneMoreIsRejected) {
    EXPECT_EQ(failure([] { checkQueuePositionTables(kMaxWaitingPlaces); }), "");
    EXPECT_NE(failure([] { checkQueuePositionTables(kMaxWaitingPlaces + 1); }), "");
    EXPECT_EQ(failure([] { checkInversionTerms(kMaxInversionTerms); }), "");
    EXPECT_NE(failure([] { checkInversionTerms(kMaxInversionTerms + 1); }), "");
    EXPECT_EQ(failure([] { checkInversionTerms(1); }), "");
    EXPECT_NE(failure([] { checkInversionTerms(0); }), "");
    const ModelInput in = grid(1, 1);
    EXPECT_EQ(failure([&] { checkMomentCount(kMaxMomentCount, in); }), "");
    EXPECT_NE(failure([&] { checkMomentCount(kMaxMomentCount + 1, in); }), "");
    ModelInput chain;
    chain.serviceRate = 1;
    chain.arrivalRate = 1;
    chain.servers = kMaxSystemSize - 5;
    chain.waitingPlaces = 5;
    EXPECT_EQ(failure([&] { checkChain(chain); }), "");
    chain.waitingPlaces = 6;
    EXPECT_NE(failure([&] { checkChain(chain); }), "");
    EXPECT_EQ(failure([] { checkWaitingPlaces(0); }), "");
    EXPECT_NE(failure([] { checkWaitingPlaces(std::numeric_limits<int>::max()); }), "");
}

TEST(TimeGridCheck, AcceptsEveryGridWhoseCountFitsTheIntegerType) {
    EXPECT_EQ(failure([] { checkTimeGrid(grid(0, 0.1)); }), "");
    EXPECT_EQ(failure([] { checkTimeGrid(grid(0.05, 0.1)); }), "");           // no moments
    EXPECT_EQ(failure([] { checkTimeGrid(grid(2147483647, 1)); }), "");       // count = the largest int
    EXPECT_EQ(failure([] { checkTimeGrid(grid(1, 4.9e-324)); }).rfind("Maximum time instance (1) over time in "
                                                                       "between measurement moments (5e-324) "
                                                                       "gives inf measurement moments",
                                                                       0),
              0u);
    EXPECT_NE(failure([] { checkTimeGrid(grid(2147483648.0, 1)); }), "");
}

TEST(TimeGridCheck, RejectsValuesNoFileCanHoldWithTheirOwnWords) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(failure([&] { checkTimeGrid(grid(1, inf)); }),
              "Time in between measurement moments (inf) must be a finite number. Please change value 10 of the "
              "input file (INPUT.DAT).");
    EXPECT_EQ(failure([&] { checkTimeGrid(grid(1, nan)); }),
              "Time in between measurement moments (nan) must be greater than 0. Please change value 10 of the "
              "input file (INPUT.DAT).");
    EXPECT_EQ(failure([&] { checkTimeGrid(grid(inf, 1)); }),
              "Maximum time instance (inf) must be a finite number. Please change value 12 of the input file "
              "(INPUT.DAT).");
    EXPECT_EQ(failure([&] { checkTimeGrid(grid(nan, 1)); }),
              "Maximum time instance (nan) must not be negative. Please change value 12 of the input file "
              "(INPUT.DAT).");
}

TEST(PatienceChecks, AcceptTheEdgesThatStillMeanSomething) {
    EXPECT_EQ(failure([] { checkExponentialRate(0); }), "");        // nobody abandons
    EXPECT_EQ(failure([] { checkErlangParameters(0, 1, 1e-300); }), "");
    EXPECT_EQ(failure([] { checkErlangParameters(2, 1.5, 9.5); }), "");
    EXPECT_NE(failure([] { checkErlangParameters(2, std::nextafter(1.0, 0.0), 9.5); }), "");
    EXPECT_EQ(failure([] { checkLognormalParameters(1e-300, 1e-300, 1e-300); }), "");
    EXPECT_EQ(failure([] { checkLognormalSpread(1, 1e-15, std::sqrt(std::log(1e-15 + 1))); }), "");
    EXPECT_NE(failure([] { checkLognormalSpread(1, 1e-17, std::sqrt(std::log(1e-17 + 1))); }), "");
}

TEST(ValueText, IsTheShortestThatReadsBackAsTheSameNumber) {
    EXPECT_EQ(formatValue(0.1), "0.1");
    EXPECT_EQ(formatValue(-0.5), "-0.5");
    EXPECT_EQ(formatValue(0.999), "0.999");
    EXPECT_EQ(formatValue(12.000000000000002), "12.000000000000002");
    EXPECT_EQ(formatValue(1e-20), "1e-20");
    EXPECT_EQ(formatValue(1e300), "1e+300");
    EXPECT_EQ(formatValue(0.0), "0");
    EXPECT_EQ(formatValue(-0.0), "-0");
}
