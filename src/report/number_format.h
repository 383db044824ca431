#pragma once
#include <string>

namespace queuecalc {

// A double as a default-state C++ output stream writes it on the program's
// home platform: %g with six significant digits, full stop, exponent with
// sign and three digits (2.5e-005). NaN is "nan", infinities "inf"/"-inf".
// Independent of the process locale.
std::string formatNumber(double value);

// The value right-aligned in a field of the given width (never cut).
std::string formatNumber(double value, std::size_t width);

// Numbers for people planning with them (the day plan's table, chart axes),
// independent of the process locale: `decimals` digits after the point
// ("80.25"), or `digits` significant digits in the general form ("1.2e-10").
// A value that is not finite gives the empty text (a cell left empty).
std::string formatFixed(double value, int decimals);
std::string formatSignificant(double value, int digits);

}  // namespace queuecalc
