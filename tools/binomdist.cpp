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
// How: the exact rows of the library (input/binomial_row.h: Pascal's rule on
// multi-precision integers, one row kept in memory, each entry rounded once
// to the nearest double). A coefficient <= 2^53 is written as a plain
// decimal integer and reads back exactly. A larger one is rounded once, from
// its exact value, to the nearest double (ties to even) and written with 17
// significant digits ("%.17g"), enough for any correct decimal-to-double
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
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "input/binomial_row.h"

namespace {

constexpr int kMinDimension = -1;
constexpr int kMaxDimension = queuecalc::kLastFiniteBinomialRow;  // C(1030, 515) rounds to infinity

// An entry <= 2^53 as a plain decimal integer, a larger one as "%.17g" of
// its nearest double, written by std::to_chars: the same text, but with the
// same exponent digits under every C runtime (some write e+016 where others
// write e+16). Deciding on the rounded value gives the same text as
// deciding on the exact one: an exact C <= 2^53 is its own double, and the
// only C > 2^53 that rounds to 2^53 (C = 2^53 + 1) prints as
// "9007199254740992" either way.
bool writeEntry(std::FILE* out, double c) {
    if (c <= 9007199254740992.0)  // 2^53
        return std::fprintf(out, "%" PRIu64, static_cast<std::uint64_t>(c)) >= 0;
    char text[32];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, c, std::chars_format::general, 17);
    const std::size_t length = static_cast<std::size_t>(written.ptr - text);
    return std::fwrite(text, 1, length, out) == length;
}

bool writeTable(std::FILE* out, int dimension) {
    if (std::fprintf(out, "%d\n", dimension) < 0) return false;
    if (dimension < 0) return true;
    queuecalc::PascalRows rows;  // row n; entries k > n are 0
    for (int n = 0; n <= dimension; ++n) {
        if (n > 0) rows.advance();
        for (int k = 0; k <= dimension; ++k) {
            if (k > 0 && std::fputc(' ', out) == EOF) return false;
            if (!writeEntry(out, rows.roundedEntry(k))) return false;
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
