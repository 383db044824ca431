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

}  // namespace queuecalc
