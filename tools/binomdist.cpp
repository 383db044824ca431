// binomdist: writes the binomial coefficient table that the queue calculator
// reads as "BINOMDIST.DAT".
//
// What: for a dimension N, the first line holds N, then N + 1 lines follow,
// row n = 0 .. N, each with N + 1 entries k = 0 .. N separated by single
// blanks: entry [n][k] is C(n, k) for k <= n and 0 for k > n.
//   N = -1 is the empty table: the output is the single line "-1" (the
//          calculator accepts it when only the Talbot inversion runs).
//   N =  0 is the table holding C(0, 0): the lines "0" and "1".
//
// How: Pascal's rule, C(n, k) = C(n-1, k-1) + C(n-1, k), on exact
// multi-precision unsigned integers (32-bit limbs, addition only). One row is
// kept and updated in place from right to left, so memory is one row of N + 1
// numbers of at most 1024 bits. A coefficient <= 2^53 is written as a plain
// decimal integer and reads back exactly. A larger one is rounded once, from
// its exact value, to the nearest double (ties to even) and written with 17
// significant digits (as "%.17g" writes it), enough for any correct decimal-to-double
// reader to get back that same double.
//
// Where it breaks: C(1030, 515) >= 2^1024 rounds to infinity, so 1029 is the
// largest dimension whose entries are all finite doubles (C(1029, 514) is
// about 1.43e308); larger dimensions are refused, as are dimensions below -1
// and arguments that are not plain decimal integers. The output grows as N^2:
// about 13 MB at N = 1029. A reader that converts decimals less carefully
// than round-to-nearest may land one unit in the last place off.

#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kMinDimension = -1;
constexpr int kMaxDimension = 1029;  // C(1030, 515) rounds to infinity

// Unsigned integer of any size, least significant 32-bit limb first, with no
// leading zero limbs (zero is the empty vector).
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

// The double nearest to x, ties to even; infinity when x >= 2^1024 - 2^970.
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

bool writeEntry(std::FILE* out, const BigUint& c) {
    if (bitLength(c) <= 53 || (bitLength(c) == 54 && !anyBitBelow(c, 53)))  // c <= 2^53
        return std::fprintf(out, "%" PRIu64, toUint64(c)) >= 0;
    // std::to_chars writes what "%.17g" writes, but with the same exponent
    // digits under every C runtime (some write e+016 where others write e+16).
    char text[32];
    const std::to_chars_result written =
        std::to_chars(text, text + sizeof text, toNearestDouble(c), std::chars_format::general, 17);
    return std::fwrite(text, 1, static_cast<std::size_t>(written.ptr - text), out) ==
           static_cast<std::size_t>(written.ptr - text);
}

bool writeTable(std::FILE* out, int dimension) {
    if (std::fprintf(out, "%d\n", dimension) < 0) return false;
    if (dimension < 0) return true;
    const std::size_t size = static_cast<std::size_t>(dimension) + 1;
    std::vector<BigUint> row(size);  // row n after pass n; entries k > n are 0
    row[0] = BigUint{1};
    for (std::size_t n = 0; n < size; ++n) {
        for (std::size_t k = n; k >= 1; --k) addInto(row[k], row[k - 1]);
        for (std::size_t k = 0; k < size; ++k) {
            if (k > 0 && std::fputc(' ', out) == EOF) return false;
            if (!writeEntry(out, row[k])) return false;
        }
        if (std::fputc('\n', out) == EOF) return false;
    }
    return true;
}

// Accepts an optional sign and decimal digits, nothing else; values far
// outside the valid range are clamped so that they are refused as such.
bool parseDimension(const char* text, long& value) {
    const char* p = text;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    if (*p == '\0') return false;
    long magnitude = 0;
    for (; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        if (magnitude < 1000000) magnitude = 10 * magnitude + (*p - '0');
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

void printUsage() {
    std::fprintf(stderr,
                 "usage: binomdist N [FILE]\n"
                 "  writes the table of binomial coefficients C(n, k), n, k = 0 .. N,\n"
                 "  to FILE or standard output; N from %d to %d\n",
                 kMinDimension, kMaxDimension);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        printUsage();
        return 2;
    }
    long dimension = 0;
    if (!parseDimension(argv[1], dimension)) {
        std::fprintf(stderr, "binomdist: the dimension '%s' is not a decimal integer\n", argv[1]);
        printUsage();
        return 2;
    }
    if (dimension < kMinDimension) {
        std::fprintf(stderr, "binomdist: the dimension %ld is below %d, the empty table\n",
                     dimension, kMinDimension);
        return 2;
    }
    if (dimension > kMaxDimension) {
        std::fprintf(stderr,
                     "binomdist: the dimension %s is above %d: C(%d, %d) and larger "
                     "coefficients exceed the largest double\n",
                     argv[1], kMaxDimension, kMaxDimension + 1, (kMaxDimension + 1) / 2);
        return 2;
    }

    const char* path = argc == 3 ? argv[2] : nullptr;
    // Binary: the same bytes, LF line ends, on every system.
    std::FILE* out = path != nullptr ? std::fopen(path, "wb") : stdout;
    if (out == nullptr) {
        std::fprintf(stderr, "binomdist: cannot open '%s' for writing: %s\n", path,
                     std::strerror(errno));
        return 1;
    }
    bool ok = writeTable(out, static_cast<int>(dimension));
    ok = (std::fflush(out) == 0) && ok && !std::ferror(out);
    if (path != nullptr) ok = (std::fclose(out) == 0) && ok;
    if (!ok) {
        std::fprintf(stderr, "binomdist: writing '%s' failed: %s\n",
                     path != nullptr ? path : "standard output", std::strerror(errno));
        return 1;
    }
    return 0;
}
