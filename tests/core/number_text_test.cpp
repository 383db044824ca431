// Whole numbers typed or read from tables: an optional sign and plain digits
// within the caller's range, and what was wrong otherwise.
#include <gtest/gtest.h>

#include <string>

#include "core/number_text.h"

using namespace queuecalc;

TEST(WholeNumberText, ReadsSignedDigitsWithinTheRangeAndNamesTheBoundPassed) {
    using P = WholeNumber::Problem;
    const struct {
        std::string text;
        long long low, high;
        P problem;
        long long value;  // the value read, or the bound passed
    } cases[] = {
        {"42", 0, 100, P::None, 42},
        {"+3", 0, 100, P::None, 3},
        {"-7", -10, 10, P::None, -7},
        {"007", 0, 100, P::None, 7},
        {"-0", 0, 0, P::None, 0},
        {"100", 0, 100, P::None, 100},  // both bounds are taken
        {"101", 0, 100, P::OutOfRange, 100},
        {"-1", 0, 100, P::OutOfRange, 0},
        {"3", 5, 100, P::OutOfRange, 5},  // below the range without a sign
        {"99999999999999999999", 0, 100, P::OutOfRange, 100},  // beyond long long
        {"-99999999999999999999", 0, 100, P::OutOfRange, 0},
        {"", 0, 100, P::NotANumber, 0},
        {"-", 0, 100, P::NotANumber, 0},
        {"+-1", 0, 100, P::NotANumber, 0},
        {" 5", 0, 100, P::NotANumber, 0},
        {"5 ", 0, 100, P::NotANumber, 0},
        {"1.0", 0, 100, P::NotANumber, 0},
        {"1e3", 0, 10000, P::NotANumber, 0},
        {"0x10", 0, 100, P::NotANumber, 0},
    };
    for (const auto& c : cases) {
        const WholeNumber read = readWholeNumber(c.text, c.low, c.high);
        EXPECT_EQ(read.problem, c.problem) << "'" << c.text << "'";
        if (c.problem == P::None) {
            EXPECT_EQ(read.value, c.value) << "'" << c.text << "'";
        }
        if (c.problem == P::OutOfRange) {
            EXPECT_EQ(read.limit, c.value) << "'" << c.text << "'";
        }
    }
}
