// Reading "BINOMDIST.DAT": the dimension, its check against the number of
// terms when the Euler algorithm runs (before any entry is read), the limits
// of the dimension, and a message naming the first missing or unreadable
// entry [n][k].
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

#include "core/failure.h"
#include "input/binomial_table.h"

using namespace queuecalc;

namespace {

const int kEuler = -1, kBoth = 0, kTalbot = 1;

BinomialTable read(const std::string& text, int terms, int method) {
    std::istringstream in(text);
    return readBinomialTable(in, terms, decodeInversionChoice(method));
}

std::string failure(const std::string& text, int terms, int method) {
    try {
        read(text, terms, method);
    } catch (const RunFailure& f) {
        return f.what();
    }
    return "(read without failure)";
}

const std::string kRead = "Unable to read binomial distribution data file (BINOMDIST.DAT): ";
const std::string kChange = " Please change the binomial distribution data file (BINOMDIST.DAT).";

std::string tooSmall(int dimension, int terms) {
    return "Binomial distribution dimension (" + std::to_string(dimension) +
           ") is smaller than number of terms to sum for each measurement moment (" + std::to_string(terms) +
           "). Increase binaomial distribution dimension or decrease number of terms to sum for each "
           "measurement moment.";
}

}  // namespace

TEST(BinomialTableFile, ReadsTheSquareTableRowByRowAndIgnoresWhatFollows) {
    const BinomialTable t = read("2\n1 0 0\n1 1 0 1 2 1e-400 garbage", 2, kEuler);
    ASSERT_EQ(t.dimension, 2);
    ASSERT_EQ(t.rows.size(), 3u);
    EXPECT_EQ(t.rows[0], (std::vector<double>{1, 0, 0}));
    EXPECT_EQ(t.rows[1], (std::vector<double>{1, 1, 0}));
    EXPECT_EQ(t.rows[2], (std::vector<double>{1, 2, 0}));  // 1e-400 reads as 0
}

TEST(BinomialTableFile, DimensionMinusOneIsAnEmptyTableAndNothingElseIsRead) {
    const BinomialTable t = read("-1 anything", 16, kTalbot);
    EXPECT_EQ(t.dimension, -1);
    EXPECT_TRUE(t.rows.empty());
}

TEST(BinomialTableFile, ChecksTheDimensionBeforeAnyEntryWhenEulerRuns) {
    EXPECT_EQ(failure("3 not read", 4, kEuler), tooSmall(3, 4));
    EXPECT_EQ(failure("3 not read", 4, kBoth), tooSmall(3, 4));
    EXPECT_EQ(failure("-7", 4, kBoth), tooSmall(-7, 4));
    // Talbot alone accepts the small table and reads it.
    EXPECT_EQ(failure("3 not read", 4, kTalbot), kRead + "entry [0][0] is \"not\", which is not a number.");
}

TEST(BinomialTableFile, RejectsDimensionsNoTableCanHave) {
    EXPECT_EQ(failure("-2", 16, kTalbot), "Binomial distribution dimension (-2) must be at least -1." + kChange);
    EXPECT_EQ(failure("-2147483648", -2147483647 - 1, kEuler),
              "Binomial distribution dimension (-2147483648) must be at least -1." + kChange);
    EXPECT_EQ(failure("16384", 16, kTalbot),
              "Binomial distribution dimension (16384) is more than the 16383 this program can hold." + kChange);
}

TEST(BinomialTableFile, ALargeAnnouncedTableThatEndsEarlyFailsWithoutFillingMemory) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(failure("16383 1 0 0", 32, kEuler), kRead + "it ends before entry [0][3] of its 16384 x 16384 table.");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 0.5) << "the announced 2 GiB were allocated before the values were read";
}

TEST(BinomialTableFile, NamesTheFirstMissingOrUnreadableEntry) {
    EXPECT_EQ(failure("", 4, kEuler), kRead + "it ends before its first value, the dimension.");
    EXPECT_EQ(failure("four", 4, kEuler), kRead + "its dimension is \"four\", which is not a whole number.");
    // "4.0" reads as dimension 4 and entry [0][0] = .0.
    EXPECT_EQ(failure("4.0", 4, kEuler), kRead + "it ends before entry [0][1] of its 5 x 5 table.");
    EXPECT_EQ(failure("2147483648", 4, kEuler),
              kRead + "its dimension is \"2147483648\", which is outside the range of whole numbers (-2147483648 to "
                      "2147483647).");
    EXPECT_EQ(failure("2\n1 0 0\n1 1 0\n1 2", 2, kEuler), kRead + "it ends before entry [2][2] of its 3 x 3 table.");
    EXPECT_EQ(failure("2\n1 0 0\n1 1e999 0\n1 2 1", 2, kEuler),
              kRead + "entry [1][1] is \"1e999\", which is too large for a number (at most about 1.8e308).");
}
