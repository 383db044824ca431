#include "input/binomial_table.h"

#include <fstream>

#include "app/run_failure.h"
#include "input/read_field.h"

namespace queuecalc {

const char* const kBinomialFileName = "BINOMDIST.DAT";

BinomialTable readBinomialTable(std::istream& in, int inversionTerms, int inversionMethod) {
    BinomialTable table;
    std::string found;
    if (!readValue(in, table.dimension, found)) {
        if (found.empty())
            throw RunFailure("Binomial distribution data file (BINOMDIST.DAT) is empty: its first value, the dimension, is missing.");
        throw RunFailure("Unable to read the dimension of binomial distribution data file (BINOMDIST.DAT): \"" +
                         found + "\" is not a whole number within the integer range.");
    }
    const int n = table.dimension;
    // The Euler algorithm reads row M; a smaller table cannot hold it.
    if (inversionMethod <= 0 && n < inversionTerms) {
        throw RunFailure("Binomial distribution dimension (" + std::to_string(n) +
                         ") is smaller than number of terms to sum for each measurement moment (" +
                         std::to_string(inversionTerms) +
                         "). Increase binaomial distribution dimension or decrease number of terms to sum for each measurement moment.");
    }
    if (n < -1) {
        throw RunFailure("Binomial distribution dimension (" + std::to_string(n) +
                         ") is negative. Please change the binomial distribution data file (BINOMDIST.DAT).");
    }
    // Rows grow with the values actually read, so a file that announces a
    // huge dimension but holds few values is reported, not allocated.
    const std::size_t size = static_cast<std::size_t>(n) + 1;
    for (std::size_t row = 0; row < size; ++row) {
        std::vector<double> values;
        for (std::size_t k = 0; k < size; ++k) {
            double v;
            if (!readValue(in, v, found)) {
                const std::string where = "entry [" + std::to_string(row) + "][" + std::to_string(k) + "]";
                if (found.empty())
                    throw RunFailure("Binomial distribution data file (BINOMDIST.DAT) ends before " + where +
                                     " of its " + std::to_string(size) + " x " + std::to_string(size) + " table.");
                throw RunFailure("Unable to read " + where + " of binomial distribution data file (BINOMDIST.DAT): \"" +
                                 found + "\" is not a finite real number.");
            }
            values.push_back(v);
        }
        table.rows.push_back(std::move(values));
    }
    return table;
}

BinomialTable readBinomialTableFile(const std::string& path, int inversionTerms,
                                    int inversionMethod) {
    std::ifstream file(path);
    if (!file) throw RunFailure("Unable to open binomial distribution data file (BINOMDIST.DAT).");
    return readBinomialTable(file, inversionTerms, inversionMethod);
}

}  // namespace queuecalc
