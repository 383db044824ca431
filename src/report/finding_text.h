#pragma once
// Findings (analysis/findings.h) in words: the calculator's warnings on
// standard error, and the one-line notes of a table row.

#include <string>
#include <vector>

#include "analysis/findings.h"

namespace queuecalc {

// One or two lines ('\n' between them, no "Warning: " in front): what was
// found, with its values and place, then what to do, in the calculator's
// words (values named by their place in "INPUT.DAT").
std::string findingText(const Finding& finding);

// The words of an input warning alone (what findingText gives for its
// finding).
std::string inputWarningText(const InputWarning& warning);

// One line for a table row: the problem and the remedy, fields named as on
// a command line (inversionTerms, --method).
std::string findingNote(const Finding& finding);

// The notes of the findings that a row shows (those that fail the checks,
// and notes about its values; not advice on the input), one after another.
std::string rowNote(const std::vector<Finding>& findings);

}  // namespace queuecalc
