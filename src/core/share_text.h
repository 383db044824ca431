#pragma once
// Shares as planners write them (a service level, an abandonment or
// occupancy limit, a shrinkage): the one reader for every program and the
// Python module, so that "80", "80%" and "0.8" mean 80 % wherever a share is
// expected.
//
// The reading: a number followed by "%" (blanks allowed around both) is per
// cent, from 0 to 100. A bare number above 1 is per cent too (up to 100), a
// bare number below 1 a share. A bare 1 could be either (1 % or 100 %) and is
// refused, with both readings in the message.

#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "core/number_text.h"

namespace queuecalc {

// What readShare makes of a text: the share in [0, 1], or why there is none
// (a phrase to follow "OPTION 'TEXT': ").
struct ShareReading {
    std::optional<double> share;
    std::string problem;
};

// How a share may be written, for messages and help texts.
inline const char* shareForms() { return "80, 80% or 0.8"; }

// A share given as a number (80, 0.8), or as the number of a text with
// `percentSign` when the text ended in "%".
inline ShareReading readShare(double value, bool percentSign = false) {
    constexpr double kPercent = 100;
    ShareReading reading;
    if (!std::isfinite(value) || value < 0 || value > kPercent) {
        reading.problem = std::string("expected a percentage from 0 to 100 or a share from 0 to 1 (") + shareForms() + ")";
        return reading;
    }
    if (!percentSign && value == 1) {
        reading.problem = "1 could be a share (100 %) or a percentage (1 %): write 100% or 1%";
        return reading;
    }
    reading.share = percentSign || value > 1 ? value / kPercent : value;
    return reading;
}

inline ShareReading readShare(std::string_view text) {
    const auto trim = [](std::string_view& t) {
        while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
        while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    };
    trim(text);
    const bool percentSign = !text.empty() && text.back() == '%';
    if (percentSign) {
        text.remove_suffix(1);
        trim(text);
    }
    double value = 0;
    // Not a number: as a value out of range, with the same words.
    if (!readFiniteNumber(text, value)) value = -1;
    return readShare(value, percentSign);
}

// A share as per cent for echoes and messages: 0.8 -> "80 %", 0.075 ->
// "7.5 %" (ten significant digits hide the rounding of value * 100).
inline std::string formatShare(double share) { return formatDigits(share * 100, 10) + " %"; }

}  // namespace queuecalc
