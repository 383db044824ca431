#include "report/number_format.h"

#include "core/number_text.h"

#include <cmath>

namespace queuecalc {

// General notation with six significant digits, the form a default-state
// output stream gives: rounded to six digits (correctly, from the exact binary
// value); with X the decimal exponent after rounding, fixed notation for
// -4 <= X <= 5 and exponent notation otherwise; trailing zeros and a bare point
// dropped. std::to_chars does exactly that and, unlike printf or a stream,
// never consults the locale. The home platform writes at least three exponent
// digits (2.5e-005) where the C library here writes two, so the exponent is
// widened afterwards. Values that are not finite are spelled plainly: NaN of
// either sign as "nan", infinities as "inf" and "-inf".
std::string formatNumber(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    std::string text = formatDigits(value, 6);
    const std::size_t e = text.find('e');
    if (e == std::string::npos) return text;
    // text[e + 1] is the sign; the digits follow.
    const std::size_t digits = text.size() - (e + 2);
    if (digits < 3) text.insert(e + 2, 3 - digits, '0');
    return text;
}

std::string formatNumber(double value, std::size_t width) {
    std::string text = formatNumber(value);
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
}

}  // namespace queuecalc
