// Fuzzes the reader of "BINOMDIST.DAT". The first two bytes choose the number
// of terms (-8 .. 247) and the algorithm (Euler, both or Talbot); the rest is
// the file. Every table read holds exactly the values plain formatted
// extraction gives; every failure carries one of the reader's messages, the
// dimension check first whenever the Euler algorithm runs.

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "core/failure.h"
#include "fuzz_support.h"
#include "input/binomial_table.h"
#include "input/input_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const int terms = static_cast<int>(data[0]) - 8;
    const int method = static_cast<int>(data[1] % 3) - 1;
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);

    // What plain extraction sees: the dimension, then values up to the first
    // failure (at most the announced number).
    std::istringstream plain(text);
    int dimension = 0;
    const bool dimensionRead = static_cast<bool>(plain >> dimension);
    const bool tooSmall = dimensionRead && method <= 0 && dimension < terms;
    const bool sizeOk = dimensionRead && !tooSmall && dimension >= -1 &&
                        dimension <= queuecalc::kMaxBinomialDimension;
    std::vector<double> values;
    bool allRead = sizeOk;
    if (sizeOk) {
        const std::size_t count = static_cast<std::size_t>(dimension + 1) * (dimension + 1);
        for (std::size_t i = 0; i < count; ++i) {
            double v;
            if (!(plain >> v)) {
                allRead = false;
                break;
            }
            values.push_back(v);
        }
    }

    std::istringstream in(text);
    try {
        const queuecalc::BinomialTable table = queuecalc::readBinomialTable(in, terms, queuecalc::decodeInversionChoice(method));
        if (!allRead) queuecalc_fuzz::violated("read a table that plain extraction cannot", text);
        if (table.dimension != dimension || table.rows.size() != static_cast<std::size_t>(dimension + 1))
            queuecalc_fuzz::violated("table has the wrong dimension", text);
        std::size_t i = 0;
        for (const std::vector<double>& row : table.rows) {
            if (row.size() != static_cast<std::size_t>(dimension + 1))
                queuecalc_fuzz::violated("row has the wrong length", text);
            for (double v : row)
                if (!(v == values[i++])) queuecalc_fuzz::violated("entry differs from plain extraction", text);
        }
    } catch (const queuecalc::RunFailure& failure) {
        const std::string message = failure.what();
        if (allRead) queuecalc_fuzz::violated("rejected a table that plain extraction reads", message);
        if (tooSmall) {
            queuecalc_fuzz::checkMessage(message, "Binomial distribution dimension (" +
                                                      std::to_string(dimension) + ") is smaller than");
        } else if (!dimensionRead || sizeOk) {
            queuecalc_fuzz::checkMessage(message,
                                         "Unable to read binomial distribution data file (BINOMDIST.DAT): ");
        } else {
            queuecalc_fuzz::checkMessage(message, "Binomial distribution dimension (" +
                                                      std::to_string(dimension) + ") ");
        }
    }
    return 0;
}
