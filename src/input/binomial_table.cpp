#include "input/binomial_table.h"

#include <fstream>

#include "core/failure.h"
#include "input/input_checks.h"
#include "input/read_field.h"

namespace queuecalc {

const char* const kBinomialFileName = "BINOMDIST.DAT";

namespace {

const char* const kUnableToRead = "Unable to read binomial distribution data file (BINOMDIST.DAT): ";

[[noreturn]] void rejectTable(const std::string& problem) {
    throw RunFailure(problem + " Please change the binomial distribution data file (BINOMDIST.DAT).");
}

}  // namespace

// The Euler algorithm reads row M; a smaller table cannot hold it.
void checkBinomialDimension(int dimension, int inversionTerms) {
    if (dimension < inversionTerms)
        throw RunFailure("Binomial distribution dimension (" + std::to_string(dimension) +
                         ") is smaller than number of terms to sum for each measurement moment (" +
                         std::to_string(inversionTerms) +
                         "). Increase binaomial distribution dimension or decrease number of terms to sum for each measurement moment.");
}

BinomialTable readBinomialTable(std::istream& in, int inversionTerms, InversionChoice inversion) {
    BinomialTable table;
    UnreadableValue unreadable;
    if (!readValue(in, table.dimension, unreadable)) {
        if (unreadable.ended)
            throw RunFailure(std::string(kUnableToRead) + "it ends before its first value, the dimension.");
        throw RunFailure(std::string(kUnableToRead) + "its dimension is " +
                         describeUnreadable<int>(unreadable) + ".");
    }
    const int n = table.dimension;
    if (runsEuler(inversion)) checkBinomialDimension(n, inversionTerms);
    // N = -1 is an empty table; below it no table can be built.
    if (n < -1) rejectTable("Binomial distribution dimension (" + std::to_string(n) + ") must be at least -1.");
    if (n > kMaxBinomialDimension)
        rejectTable("Binomial distribution dimension (" + std::to_string(n) + ") is more than the " +
                    std::to_string(kMaxBinomialDimension) + " this program can hold.");
    // The table grows row by row as the values are read, so that a file that
    // ends early is reported before its announced size is allocated.
    const std::size_t size = static_cast<std::size_t>(n) + 1;
    for (std::size_t row = 0; row < size; ++row) {
        std::vector<double> values;
        values.reserve(size);
        for (std::size_t k = 0; k < size; ++k) {
            double v = 0;
            if (!readValue(in, v, unreadable)) {
                const std::string where = "entry [" + std::to_string(row) + "][" + std::to_string(k) + "]";
                if (unreadable.ended)
                    throw RunFailure(std::string(kUnableToRead) + "it ends before " + where + " of its " +
                                     std::to_string(size) + " x " + std::to_string(size) + " table.");
                throw RunFailure(std::string(kUnableToRead) + where + " is " +
                                 describeUnreadable<double>(unreadable) + ".");
            }
            values.push_back(v);
        }
        table.rows.push_back(std::move(values));
    }
    return table;
}

BinomialTable readBinomialTableFile(const std::string& path, int inversionTerms,
                                    InversionChoice inversion) {
    // Binary, for the same bytes on every system (see readModelInputFile).
    std::ifstream file(path, std::ios::binary);
    if (!file) throw RunFailure("Unable to open binomial distribution data file (BINOMDIST.DAT).");
    return readBinomialTable(file, inversionTerms, inversion);
}

}  // namespace queuecalc
