#pragma once
// Numbers as text, independent of the process locale: the one home of the
// forms the program writes numbers in. Every program and message uses these
// (the calculator's printed form, formatNumber in report/number_format.h,
// is formatDigits(value, 6) with its exponent widened).

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace queuecalc {

// The shortest text that reads back as the same double ("0.1", "1e-20",
// "nan", "inf", "-inf").
inline std::string formatValue(double value) {
    char buffer[64];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// `digits` significant digits in the form of %g: fixed notation for decimal
// exponents -4 .. digits-1, else exponent notation with at least two exponent
// digits; trailing zeros dropped. NaN of either sign is "nan".
inline std::string formatDigits(double value, int digits) {
    if (std::isnan(value)) return "nan";
    char buffer[64];
    const std::to_chars_result result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
    return std::string(buffer, result.ptr);
}

// `value` with as many significant digits (at least six) as it takes to tell
// it from `other`: 1.0000012 beside 1, not 1 beside 1.
inline std::string formatBeside(double value, double other) {
    for (int digits = 6; digits < 17; ++digits) {
        const std::string a = formatDigits(value, digits);
        if (a != formatDigits(other, digits)) return a;
    }
    return formatDigits(value, 17);
}

// `decimals` digits after the point ("80.25"), for tables people plan with
// and for chart axes; a value that is not finite gives the empty text (a
// cell left empty), and a negative value that rounds to zero is shown as 0.
inline std::string formatFixed(double value, int decimals) {
    if (!std::isfinite(value)) return std::string();
    char buffer[400];  // the largest double has 309 digits before the point
    const std::to_chars_result result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text(buffer, result.ptr);
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

// The number that is the whole of `text` ("2.5", "+3", "1e-3"; no blanks),
// if it is finite: the one reader of numbers typed or read from tables.
inline bool readFiniteNumber(std::string_view text, double& value) {
    if (text.empty()) return false;
    const char* first = text.data();
    const char* last = first + text.size();
    if (*first == '+') ++first;  // from_chars takes no plus sign
    const std::from_chars_result r = std::from_chars(first, last, value);
    return r.ec == std::errc() && r.ptr == last && std::isfinite(value);
}

// A whole number read from text, or what kept it from being one.
struct WholeNumber {
    enum class Problem {
        None,        // `value` holds it
        NotANumber,  // not an optional sign and plain digits
        OutOfRange,  // a whole number, but beyond `limit`
    };
    Problem problem = Problem::NotANumber;
    long long value = 0;
    long long limit = 0;  // the bound it passed: low or high
    bool ok() const { return problem == Problem::None; }
};

// The whole number that is the whole of `text` ("42", "+3", "-7", "007"; no
// blanks, point or exponent), if it lies in low .. high: the one reader of
// whole numbers typed or read from tables. Each caller words its own message.
inline WholeNumber readWholeNumber(std::string_view text, long long low, long long high) {
    WholeNumber read;
    const bool negative = !text.empty() && text[0] == '-';
    const std::size_t sign = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (text.size() == sign) return read;
    for (std::size_t i = sign; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return read;
    // from_chars takes a minus but no plus.
    const char* first = text.data() + (negative ? 0 : sign);
    const std::from_chars_result r = std::from_chars(first, text.data() + text.size(), read.value);
    const bool tooLarge = r.ec == std::errc::result_out_of_range;  // beyond long long: the sign tells the side
    if (tooLarge || read.value < low || read.value > high) {
        read.problem = WholeNumber::Problem::OutOfRange;
        read.limit = (tooLarge ? negative : read.value < low) ? low : high;
        read.value = 0;
        return read;
    }
    read.problem = WholeNumber::Problem::None;
    return read;
}

// What readWholeNumber expects, for messages.
inline std::string wholeNumberExpected(long long low, long long high) {
    return "expected a whole number from " + std::to_string(low) + " to " + std::to_string(high);
}

}  // namespace queuecalc
