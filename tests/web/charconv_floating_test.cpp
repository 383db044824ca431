// The web build's to_chars and from_chars for double (web/charconv_floating.h)
// held to the standard library's here, which the library uses natively: the
// page writes and reads numbers to the character as the programs do.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "../../web/charconv_floating.h"

namespace {

// Random bit patterns and decimals with few digits: both kinds of number
// the tables hold, enough to meet every form of the shortest text.
constexpr int kRandomSamples = 20000;

std::string standardShortest(double v) {
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
}

std::string shimShortest(double v) {
    char text[64];
    return std::string(text, queuecalc_charconv::shortest(text, text + sizeof text, v).ptr);
}

std::string standardWith(double v, std::chars_format format, int precision) {
    char text[400];
    return std::string(text, std::to_chars(text, text + sizeof text, v, format, precision).ptr);
}

std::string shimWith(double v, std::chars_format format, int precision) {
    char text[400];
    return std::string(text, queuecalc_charconv::withPrecision(text, text + sizeof text, v, format, precision).ptr);
}

std::vector<double> samples() {
    std::vector<double> values{0.0, -0.0, 1.0, 100.0, 1e22, 1e23, 0.001, 1e-5, 2.5e-5, 0.1, 0.3, 123456789012345680000.0,
                               5e-324, std::numeric_limits<double>::max(), std::numeric_limits<double>::min()};
    // Beside powers of two the interval that reads back is lopsided.
    for (int k = -1074; k < 1024; k += 7) {
        values.push_back(std::ldexp(1.0, k));
        values.push_back(std::nextafter(std::ldexp(1.0, k), 0.0));
    }
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < kRandomSamples; ++i) {
        const std::uint64_t bits = random();
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v)) values.push_back(v);
        values.push_back(-std::round(unit(random) * 1e6) / std::pow(10.0, static_cast<int>(unit(random) * 12)));
    }
    return values;
}

}  // namespace

TEST(WebCharconv, WritesEveryDoubleAsTheStandardLibraryDoes) {
    int differing = 0;
    for (const double v : samples()) {
        differing += shimShortest(v) != standardShortest(v);
        for (int digits : {1, 3, 6, 10, 17})
            differing += shimWith(v, std::chars_format::general, digits) != standardWith(v, std::chars_format::general, digits);
        if (std::fabs(v) < 1e300)
            for (int decimals : {0, 2})
                differing += shimWith(v, std::chars_format::fixed, decimals) != standardWith(v, std::chars_format::fixed, decimals);
        if (differing > 0) {
            ADD_FAILURE() << "differs at " << standardShortest(v);
            return;
        }
    }
}

TEST(WebCharconv, ReadsTextAsTheStandardLibraryDoes) {
    for (const char* text : {"2.5", "-.5e-3", "5.", "1e", "1,5", "0x10", "-0x1p3", "1e400", "1e-400", "1e-310", "inf",
                             "nan", "", "-", "+1", " 1", "abc", "123456789012345678901234567890"}) {
        SCOPED_TRACE(text);
        const char* last = text + std::strlen(text);
        double standard = 7, shim = 7;
        const std::from_chars_result a = std::from_chars(text, last, standard);
        const std::from_chars_result b = queuecalc_charconv::read(text, last, shim);
        EXPECT_EQ(a.ec, b.ec);
        EXPECT_EQ(a.ptr, b.ptr);
        if (a.ec == std::errc() && !std::isnan(standard)) {
            EXPECT_EQ(standard, shim);
        }
    }
}
