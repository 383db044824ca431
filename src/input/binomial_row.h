#pragma once
// Exact binomial coefficients C(n, k), each correctly rounded to a double:
// what the binomial table tool writes into "BINOMDIST.DAT", computed in
// memory, so that a program can run the Euler inversion without that file.

#include <cstdint>
#include <vector>

namespace queuecalc {

// The rows of Pascal's triangle one after another, n = 0, 1, 2, ...
//
// What: row n holds C(n, 0) .. C(n, n) as exact unsigned integers of any
// size; roundedEntry gives each as the nearest double (ties to even).
// How: Pascal's rule C(n, k) = C(n-1, k-1) + C(n-1, k) on 32-bit limbs
// (addition only, so every entry is exact), the row updated in place from
// right to left. Row n costs n additions of numbers of at most n bits.
// Where it breaks: from n = 1030 on the middle entries reach 2^1024 and round
// to infinity; C(1029, 514), about 1.43e308, is the largest finite one.
class PascalRows {
public:
    PascalRows();  // at row 0: C(0, 0) = 1

    int row() const { return row_; }
    void advance();  // to row n + 1

    // C(n, k) of the current row n, rounded to the nearest double (ties to
    // even); 0 for k > n; infinity when the exact value is at least
    // 2^1024 - 2^970, the first number that rounds beyond the largest double.
    double roundedEntry(int k) const;

private:
    // Least significant limb first, no leading zero limbs; zero is empty.
    using BigUint = std::vector<std::uint32_t>;
    int row_ = 0;
    std::vector<BigUint> entries_;
};

// C(m, 0) .. C(m, m) correctly rounded, the row m of the table the tool
// writes (m >= 0). Costs m^2 / 2 big-number additions.
std::vector<double> exactBinomialRow(int m);

// The largest m whose row holds only finite doubles.
constexpr int kLastFiniteBinomialRow = 1029;

}  // namespace queuecalc
