#pragma once
#include <string>
#include <vector>

#include "input/model_input.h"
#include "inversion/inversion.h"
#include "model/performance.h"

namespace queuecalc {

extern const char* const kResultsFileName;  // "OUTPUT.CSV"

// The exact bytes of the results file: CR LF line ends, 0xB2 for the
// superscript two, 72 + 2n lines. One column per algorithm whose curves are
// present, Euler first; the input values are echoed as they were read.
std::string buildResultsFile(const ModelInput& input, const PerformanceMeasures& measures,
                             const std::vector<double>& timeGrid, const InversionResults& curves);

// Writes the bytes to the named file so that an earlier file survives any
// failure intact; throws RunFailure when the file cannot be written.
void writeResultsFile(const std::string& path, const std::string& bytes);

}  // namespace queuecalc
