// The number format shared by the console and the results file.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "report/number_format.h"

using queuecalc::formatNumber;

namespace {

// Independent oracle: the C library's %.6g (correctly rounded in glibc) with
// its two-digit exponent widened to three digits by hand.
std::string printfWithWideExponent(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    std::string s(buf);
    const std::size_t e = s.find('e');
    if (e != std::string::npos && s.size() - (e + 2) == 2) s.insert(e + 2, "0");
    return s;
}

}  // namespace

TEST(NumberFormat, WritesTheDocumentedExamples) {
    EXPECT_EQ(formatNumber(0.5), "0.5");
    EXPECT_EQ(formatNumber(20.0), "20");
    EXPECT_EQ(formatNumber(0.0), "0");
    EXPECT_EQ(formatNumber(2.5e-5), "2.5e-005");
    EXPECT_EQ(formatNumber(1.5e6), "1.5e+006");
    EXPECT_EQ(formatNumber(0.125), "0.125");
    EXPECT_EQ(formatNumber(1e-4), "0.0001");
    EXPECT_EQ(formatNumber(1e-5), "1e-005");
    EXPECT_EQ(formatNumber(1e5), "100000");
    EXPECT_EQ(formatNumber(1e6), "1e+006");
}

TEST(NumberFormat, RoundsToSixSignificantDigitsAndDropsTrailingZeros) {
    EXPECT_EQ(formatNumber(0.454288123), "0.454288");
    EXPECT_EQ(formatNumber(1.20511e-5), "1.20511e-005");
    EXPECT_EQ(formatNumber(0.1 + 0.2), "0.3");
    EXPECT_EQ(formatNumber(2.0 / 3.0), "0.666667");
    EXPECT_EQ(formatNumber(1.0000004), "1");
    EXPECT_EQ(formatNumber(1.25), "1.25");
    EXPECT_EQ(formatNumber(100.0), "100");
}

TEST(NumberFormat, RoundingThatCarriesIntoANewDigitMovesTheNotationBoundary) {
    EXPECT_EQ(formatNumber(999999.5), "1e+006");      // rounds up to 10^6: exponent notation
    EXPECT_EQ(formatNumber(999999.4), "999999");
    EXPECT_EQ(formatNumber(9.999995e-5), "0.0001");   // rounds up to 10^-4: fixed notation
    EXPECT_EQ(formatNumber(0.000099999949), "9.99999e-005");
    EXPECT_EQ(formatNumber(9.9999951), "10");
    EXPECT_EQ(formatNumber(0.99999951), "1");
}

TEST(NumberFormat, SwitchesNotationAtExponentsMinusFourAndSix) {
    EXPECT_EQ(formatNumber(123456.0), "123456");
    EXPECT_EQ(formatNumber(1234567.0), "1.23457e+006");
    EXPECT_EQ(formatNumber(0.00012345), "0.00012345");
    EXPECT_EQ(formatNumber(0.000012345), "1.2345e-005");
    EXPECT_EQ(formatNumber(0.0001), "0.0001");
    EXPECT_EQ(formatNumber(0.00009), "9e-005");
}

TEST(NumberFormat, WritesSignsOfNegativeNumbersAndNegativeZero) {
    EXPECT_EQ(formatNumber(-2.5e-5), "-2.5e-005");
    EXPECT_EQ(formatNumber(-0.5), "-0.5");
    EXPECT_EQ(formatNumber(-1e6), "-1e+006");
    EXPECT_EQ(formatNumber(-0.0), "-0");
}

TEST(NumberFormat, KeepsThreeDigitExponentsAtTheEndsOfTheRange) {
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::max()), "1.79769e+308");
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::min()), "2.22507e-308");
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::denorm_min()), "4.94066e-324");
    EXPECT_EQ(formatNumber(1e-300), "1e-300");
    EXPECT_EQ(formatNumber(1e100), "1e+100");
    EXPECT_EQ(formatNumber(1e-10), "1e-010");
    EXPECT_EQ(formatNumber(-3.5e-200), "-3.5e-200");
}

TEST(NumberFormat, SpellsValuesThatAreNotFiniteNumbersPlainly) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(formatNumber(nan), "nan");
    EXPECT_EQ(formatNumber(-nan), "nan");
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(formatNumber(-std::numeric_limits<double>::infinity()), "-inf");
}

TEST(NumberFormat, PadsOnTheLeftToAMinimumWidthAndNeverCuts) {
    EXPECT_EQ(formatNumber(0.5, 5), "  0.5");
    EXPECT_EQ(formatNumber(10.25, 5), "10.25");
    EXPECT_EQ(formatNumber(1.0, 8), "       1");
    EXPECT_EQ(formatNumber(1.5e-5, 8), "1.5e-005");
    EXPECT_EQ(formatNumber(1.23457e-5, 8), "1.23457e-005");
}

TEST(NumberFormat, IgnoresTheProcessLocale) {
    // A locale with a decimal comma, where the machine has one; the format
    // must keep its full stop either way.
    const char* candidates[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"};
    for (const char* name : candidates) {
        if (std::setlocale(LC_ALL, name) != nullptr) break;
    }
    EXPECT_EQ(formatNumber(0.125), "0.125");
    EXPECT_EQ(formatNumber(2.5e-5), "2.5e-005");
    std::setlocale(LC_ALL, "C");
}

TEST(NumberFormat, AgreesWithTheCLibraryOnRandomDoubles) {
    std::mt19937_64 rng(20261207);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-320, 310);
    int mismatches = 0;
    std::string firstMismatch;
    for (int i = 0; i < 200000; ++i) {
        double v;
        if (i % 2 == 0) {
            std::uint64_t bits = rng();
            std::memcpy(&v, &bits, sizeof v);
            if (!std::isfinite(v)) continue;
        } else {
            v = mantissa(rng) * std::pow(10.0, exponent(rng));
            if (!std::isfinite(v)) continue;
        }
        const std::string got = formatNumber(v);
        const std::string want = printfWithWideExponent(v);
        if (got != want && mismatches++ == 0) firstMismatch = want + " vs " + got;
    }
    EXPECT_EQ(mismatches, 0) << "first mismatch (printf vs ours): " << firstMismatch;
}

TEST(NumberFormat, AgreesWithTheCLibraryNearEveryRoundingBoundary) {
    // Values halfway between two six-digit decimals, and their neighbours,
    // across the fixed/exponent switch.
    int mismatches = 0;
    for (int e = -8; e <= 8; ++e) {
        for (int d = 100000; d < 1000000; d += 9973) {
            const double mid = (d + 0.5) * std::pow(10.0, e - 5);
            for (double v : {std::nextafter(mid, 0.0), mid, std::nextafter(mid, 1e300)}) {
                if (formatNumber(v) != printfWithWideExponent(v)) ++mismatches;
                if (formatNumber(-v) != printfWithWideExponent(-v)) ++mismatches;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}
