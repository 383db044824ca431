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

// The whole number from `low` to `high` that `text` is in plain digits
// ("12"; no sign, no blanks), if it is one.
inline std::optional<long long> readWholeNumber(const std::string& text, long long low, long long high) {
    // At most 12 digits: std::stoll cannot overflow, and every range here is smaller.
    const bool digits = !text.empty() && text.size() <= 12 &&
                        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const long long value = digits ? std::stoll(text) : low - 1;
    if (value < low || value > high) return std::nullopt;
    return value;
}

// What readWholeNumber expects, for messages.
inline std::string wholeNumberExpected(long long low, long long high) {
    return "expected a whole number from " + std::to_string(low) + " to " + std::to_string(high);
}

}  // namespace queuecalc
