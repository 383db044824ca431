#include "input/binomial_row.h"

#include <cmath>
#include <cstddef>

namespace queuecalc {

namespace {

using BigUint = std::vector<std::uint32_t>;

void addInto(BigUint& sum, const BigUint& addend) {
    if (sum.size() < addend.size()) sum.resize(addend.size(), 0);
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < sum.size(); ++i) {
        if (i >= addend.size() && carry == 0) break;
        std::uint64_t t = carry + sum[i] + (i < addend.size() ? addend[i] : 0u);
        sum[i] = static_cast<std::uint32_t>(t);
        carry = t >> 32;
    }
    if (carry != 0) sum.push_back(static_cast<std::uint32_t>(carry));
}

std::size_t bitLength(const BigUint& x) {
    if (x.empty()) return 0;
    std::size_t top = x.size() - 1;
    std::size_t bits = 0;
    for (std::uint32_t v = x[top]; v != 0; v >>= 1) ++bits;
    return 32 * top + bits;
}

bool bitAt(const BigUint& x, std::size_t pos) {
    std::size_t limb = pos / 32;
    return limb < x.size() && ((x[limb] >> (pos % 32)) & 1u) != 0;
}

// True when any bit below position pos is set.
bool anyBitBelow(const BigUint& x, std::size_t pos) {
    std::size_t limb = pos / 32;
    for (std::size_t i = 0; i < limb && i < x.size(); ++i)
        if (x[i] != 0) return true;
    if (limb < x.size() && pos % 32 != 0) {
        std::uint32_t mask = (std::uint32_t{1} << (pos % 32)) - 1;
        if ((x[limb] & mask) != 0) return true;
    }
    return false;
}

// Value of an x below 2^64.
std::uint64_t toUint64(const BigUint& x) {
    std::uint64_t v = 0;
    for (std::size_t i = x.size(); i-- > 0;) v = (v << 32) | x[i];
    return v;
}

// The double nearest to x, ties to even: the leading 53 bits, rounded up when
// the next bit is set and either a lower bit is set or the 53 bits are odd.
// Infinity when x >= 2^1024 - 2^970 (ldexp overflows).
double toNearestDouble(const BigUint& x) {
    const std::size_t length = bitLength(x);
    if (length <= 53) return static_cast<double>(toUint64(x));  // exact
    const std::size_t shift = length - 53;
    std::uint64_t mantissa = 0;  // the leading 53 bits
    for (std::size_t i = 53; i-- > 0;) mantissa = (mantissa << 1) | (bitAt(x, shift + i) ? 1u : 0u);
    const bool roundBit = bitAt(x, shift - 1);
    const bool sticky = anyBitBelow(x, shift - 1);
    if (roundBit && (sticky || (mantissa & 1u) != 0)) ++mantissa;
    int exponent = static_cast<int>(shift);
    if (mantissa == (std::uint64_t{1} << 53)) {  // carried into a new bit
        mantissa >>= 1;
        ++exponent;
    }
    return std::ldexp(static_cast<double>(mantissa), exponent);  // exact, or inf
}

}  // namespace

PascalRows::PascalRows() : entries_(1, BigUint{1}) {}

void PascalRows::advance() {
    ++row_;
    entries_.emplace_back();  // C(n, n) starts at 0 and becomes C(n-1, n-1)
    for (std::size_t k = static_cast<std::size_t>(row_); k >= 1; --k) addInto(entries_[k], entries_[k - 1]);
}

double PascalRows::roundedEntry(int k) const {
    if (k < 0 || k > row_) return 0.0;
    return toNearestDouble(entries_[static_cast<std::size_t>(k)]);
}

std::vector<double> exactBinomialRow(int m) {
    if (m < 0) return {};
    PascalRows rows;
    while (rows.row() < m) rows.advance();
    std::vector<double> row(static_cast<std::size_t>(m) + 1);
    for (int k = 0; k <= m; ++k) row[static_cast<std::size_t>(k)] = rows.roundedEntry(k);
    return row;
}

}  // namespace queuecalc
