#include "input/binomial_table.h"

#include <fstream>

#include "core/failure.h"
#include "input/input_checks.h"
#include "input/model_fields.h"
#include "input/read_field.h"

namespace queuecalc {

const char* const kBinomialFileName = "BINOMDIST.DAT";

namespace {

std::string unableToRead(const std::string& fileName) {
    return "Unable to read binomial distribution data file (" + fileName + "): ";
}

[[noreturn]] void rejectTable(const std::string& problem, const std::string& fileName) {
    throw RunFailure(problem + " Please change the binomial distribution data file (" + fileName + ").");
}

}  // namespace

// The Euler algorithm reads row M; a smaller table cannot hold it.
// The calculator's words keep the spelling its users have always seen.
void checkBinomialDimension(int dimension, int inversionTerms, Spelling spelling) {
    if (dimension >= inversionTerms) return;
    const std::string terms = modelField(&ModelInput::inversionTerms).words;
    throw RunFailure("Binomial distribution dimension (" + std::to_string(dimension) + ") is smaller than " + terms +
                     " (" + std::to_string(inversionTerms) + "). Increase " +
                     (spelling == Spelling::AsTheCalculatorHasIt ? "binaomial" : "binomial") +
                     " distribution dimension or decrease " + terms + ".");
}

BinomialTable readBinomialTable(std::istream& in, int inversionTerms, InversionChoice inversion,
                                const std::string& fileName) {
    BinomialTable table;
    UnreadableValue unreadable;
    if (!readValue(in, table.dimension, unreadable)) {
        if (unreadable.ended)
            throw RunFailure(unableToRead(fileName) + "it ends before its first value, the dimension.");
        throw RunFailure(unableToRead(fileName) + "its dimension is " +
                         describeUnreadable<int>(unreadable) + ".");
    }
    const int n = table.dimension;
    if (runsEuler(inversion)) checkBinomialDimension(n, inversionTerms);
    // N = -1 is an empty table; below it no table can be built.
    if (n < -1)
        rejectTable("Binomial distribution dimension (" + std::to_string(n) + ") must be at least -1.", fileName);
    if (n > kMaxBinomialDimension)
        rejectTable("Binomial distribution dimension (" + std::to_string(n) + ") is more than the " +
                        std::to_string(kMaxBinomialDimension) + " this program can hold.",
                    fileName);
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
                    throw RunFailure(unableToRead(fileName) + "it ends before " + where + " of its " +
                                     std::to_string(size) + " x " + std::to_string(size) + " table.");
                throw RunFailure(unableToRead(fileName) + where + " is " +
                                 describeUnreadable<double>(unreadable) + ".");
            }
            values.push_back(v);
        }
        table.rows.push_back(std::move(values));
    }
    return table;
}

BinomialTable readBinomialTableFile(const std::string& path, int inversionTerms,
                                    InversionChoice inversion, const std::string& fileName) {
    // Binary, for the same bytes on every system (see readModelInputFile).
    std::ifstream file(path, std::ios::binary);
    if (!file) throw RunFailure("Unable to open binomial distribution data file (" + fileName + ").");
    return readBinomialTable(file, inversionTerms, inversion, fileName);
}

}  // namespace queuecalc
