#pragma once
// std::to_chars and std::from_chars for double where the C++ library lacks
// them: the libc++ of Debian's emscripten (3.1.6, libc++ 13) declares
// chars_format but neither function for floating point. The WebAssembly build
// includes this header before every source (web/CMakeLists.txt); the
// functions below give the forms the library uses (core/number_text.h), to
// the character:
//  - shortest (no format): the fewest significant digits that read back as
//    the same double, the closest such (printf's correct rounding at each
//    length, else its neighbour in the last digit), written as %f or %e
//    whichever is shorter, %f on a tie; at least two exponent digits;
//  - general and fixed with a precision: printf's %.*g and %.*f, which the
//    standard defines them by (emscripten's printf rounds exactly);
//  - from_chars, general: strtod's pattern less what from_chars refuses
//    (leading blanks, a plus sign, hexadecimal: "0x1" reads as 0 followed by
//    "x1"), out of range when strtod overflows or underflows to zero.
// Where the library has them (a newer libc++, libstdc++) it uses its own:
// the functions in namespace queuecalc_charconv are also checked natively
// against them.

#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

namespace queuecalc_charconv {

inline std::to_chars_result copied(char* first, char* last, const std::string& text) {
    if (text.size() > static_cast<std::size_t>(last - first)) return {last, std::errc::value_too_large};
    std::memcpy(first, text.data(), text.size());
    return {first + text.size(), std::errc()};
}

// Whether "M e E" (M the p digits of `mantissa`) reads back as `value`.
inline bool readsBack(std::uint64_t mantissa, int exponent, double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%llue%d", static_cast<unsigned long long>(mantissa), exponent);
    return std::strtod(text, nullptr) == value;
}

// The shortest digits of a finite value > 0: digits, and the decimal
// exponent of the first digit.
inline void shortestDigits(double value, std::string& digits, int& exponent) {
    for (int p = 1; p <= 17; ++p) {
        char text[48];
        std::snprintf(text, sizeof text, "%.*e", p - 1, value);
        // d.ddd...e+XX: the p digits as a whole number m, value ~ m 10^(e - p + 1).
        std::uint64_t m = 0;
        const char* c = text;
        for (; *c != 'e'; ++c)
            if (*c >= '0' && *c <= '9') m = m * 10 + static_cast<std::uint64_t>(*c - '0');
        int e = std::atoi(c + 1);
        std::uint64_t low = 1;
        for (int i = 1; i < p; ++i) low *= 10;  // 10^(p-1), the least p-digit mantissa
        bool found = readsBack(m, e - p + 1, value);
        // printf's rounding is the closest p-digit decimal; where it misses
        // the interval that reads back (beside a power of two, whose lower
        // half-gap is half the upper), its neighbour may not.
        if (!found && readsBack(m + 1, e - p + 1, value)) {
            ++m;
            if (m == low * 10) m = low, ++e;
            found = true;
        } else if (!found && m > low && readsBack(m - 1, e - p + 1, value)) {
            --m;
            found = true;
        }
        if (found) {
            digits = std::to_string(m);
            while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
            exponent = e;
            return;
        }
    }
}

inline std::to_chars_result shortest(char* first, char* last, double value) {
    if (std::isnan(value)) return copied(first, last, std::signbit(value) ? "-nan" : "nan");
    if (std::isinf(value)) return copied(first, last, value < 0 ? "-inf" : "inf");
    const std::string sign = std::signbit(value) ? "-" : "";
    if (value == 0) return copied(first, last, sign + "0");
    std::string digits;
    int e = 0;
    shortestDigits(std::fabs(value), digits, e);
    const int n = static_cast<int>(digits.size());
    std::string fixed;
    if (e >= n - 1) {
        // A whole number: its exact digits, as %f writes them (as many as the
        // shortest digits and their zeros, so the choice below is the same).
        char whole[400];
        std::snprintf(whole, sizeof whole, "%.0f", std::fabs(value));
        fixed = whole;
    }
    else if (e >= 0) fixed = digits.substr(0, static_cast<std::size_t>(e + 1)) + "." + digits.substr(static_cast<std::size_t>(e + 1));
    else fixed = "0." + std::string(static_cast<std::size_t>(-e - 1), '0') + digits;
    std::string scientific = digits.substr(0, 1) + (n > 1 ? "." + digits.substr(1) : "") + "e" + (e < 0 ? "-" : "+");
    const std::string power = std::to_string(e < 0 ? -e : e);
    scientific += (power.size() < 2 ? "0" : "") + power;
    return copied(first, last, sign + (fixed.size() <= scientific.size() ? fixed : scientific));
}

inline std::to_chars_result withPrecision(char* first, char* last, double value, std::chars_format format, int precision) {
    if (std::isnan(value)) return copied(first, last, std::signbit(value) ? "-nan" : "nan");
    if (std::isinf(value)) return copied(first, last, value < 0 ? "-inf" : "inf");
    const char* form = format == std::chars_format::fixed ? "%.*f"
                       : format == std::chars_format::scientific ? "%.*e"
                       : format == std::chars_format::hex        ? "%.*a"
                                                                 : "%.*g";
    const int size = std::snprintf(nullptr, 0, form, precision, value);
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::snprintf(&text[0], text.size(), form, precision, value);
    text.pop_back();
    return copied(first, last, text);
}

inline std::from_chars_result read(const char* first, const char* last, double& value) {
    const char* c = first;
    if (c != last && *c == '-') ++c;
    if (c == last || *c == '+' || *c == ' ' || *c == '\t' || *c == '\n' || *c == '\v' || *c == '\f' || *c == '\r')
        return {first, std::errc::invalid_argument};
    // "0x..." is the number 0 followed by other text.
    const bool hex = last - c >= 2 && c[0] == '0' && (c[1] == 'x' || c[1] == 'X');
    const std::string text(first, hex ? c + 1 : last);
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str()) return {first, std::errc::invalid_argument};
    const char* ptr = first + (end - text.c_str());
    if (errno == ERANGE && (v == 0 || std::isinf(v))) return {ptr, std::errc::result_out_of_range};
    value = v;
    return {ptr, std::errc()};
}

}  // namespace queuecalc_charconv

#if defined(__EMSCRIPTEN__) && defined(_LIBCPP_VERSION)
namespace std {
#if _LIBCPP_VERSION < 14000
inline to_chars_result to_chars(char* first, char* last, double value) {
    return queuecalc_charconv::shortest(first, last, value);
}
inline to_chars_result to_chars(char* first, char* last, double value, chars_format format, int precision) {
    return queuecalc_charconv::withPrecision(first, last, value, format, precision);
}
#endif
#if _LIBCPP_VERSION < 200000
inline from_chars_result from_chars(const char* first, const char* last, double& value,
                                    chars_format = chars_format::general) {
    return queuecalc_charconv::read(first, last, value);
}
#endif
}  // namespace std
#endif
