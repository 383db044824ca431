#pragma once
// A binomial table as "BINOMDIST.DAT" would hold it, built in memory by
// Pascal's rule: exact in double while every entry stays below 2^53 (up to
// dimension 56), which covers every number of terms the tests, benchmarks
// and fuzz targets use.

#include <cstddef>
#include <vector>

#include "input/binomial_table.h"

namespace testsupport {

inline queuecalc::BinomialTable pascalTable(int dimension) {
    queuecalc::BinomialTable table;
    table.dimension = dimension;
    const std::size_t size = dimension < 0 ? 0 : static_cast<std::size_t>(dimension) + 1;
    table.rows.assign(size, std::vector<double>(size, 0.0));
    for (std::size_t n = 0; n < size; ++n) {
        table.rows[n][0] = 1.0;
        for (std::size_t k = 1; k <= n; ++k)
            table.rows[n][k] = table.rows[n - 1][k - 1] + table.rows[n - 1][k];
    }
    return table;
}

}  // namespace testsupport
