#pragma once
// The table of binomial coefficients read from "BINOMDIST.DAT": entry
// [n][k] = C(n, k). Only row M, entries 1 .. M-1, reach any result.

#include <istream>
#include <string>
#include <vector>

#include "core/choices.h"

namespace queuecalc {

struct BinomialTable {
    int dimension = -1;                     // N; rows 0 .. N
    std::vector<std::vector<double>> rows;  // N + 1 rows of N + 1 entries
};

extern const char* const kBinomialFileName;  // "BINOMDIST.DAT"

// Reads N, checks it against inversionTerms when the Euler algorithm will run
// before any row is read, then checks that a table of
// dimension N can exist (-1 <= N <= kMaxBinomialDimension) and reads the
// rows. Throws RunFailure naming the dimension or the first entry [n][k] that
// is missing or does not read as a number.
// Messages name the file `fileName`: "BINOMDIST.DAT" in the calculator's
// words wherever its file is, the path its user gave in another program's.
BinomialTable readBinomialTable(std::istream& in, int inversionTerms, InversionChoice inversion,
                                const std::string& fileName = kBinomialFileName);

BinomialTable readBinomialTableFile(const std::string& path, int inversionTerms, InversionChoice inversion,
                                    const std::string& fileName = kBinomialFileName);

// The check of the dimension N against M = inversionTerms that the reader
// makes when Euler runs, for callers that choose M per run: throws RunFailure
// with the calculator's message when N < M, spelt as the calculator has
// always spelt it ("binaomial") or corrected.
enum class Spelling { AsTheCalculatorHasIt, Corrected };
void checkBinomialDimension(int dimension, int inversionTerms,
                            Spelling spelling = Spelling::AsTheCalculatorHasIt);

}  // namespace queuecalc
