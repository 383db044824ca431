#pragma once
// The names of the measures as tables and targets show them: the results
// file's labels in ASCII ("E[W^2|S]" for "E[W²|S]"), the analyst's measures,
// and per threshold "SL(20)" and "P(W<=20|S)" with tau in its shortest exact
// form.

#include <string>
#include <vector>

#include "analysis/columns.h"

namespace queuecalc {

std::string columnLabel(const Column& column);

// The label of one of the calculator's fifteen measures as the results file
// writes it: the superscript two as the byte 0xB2 ("E[W\xB2|S]").
std::string resultsFileLabel(Measure measure);

// The labels of resultColumns(thresholds).
std::vector<std::string> columnLabels(const std::vector<double>& thresholds);

// How a target over a share was read where its bound was written in per
// cent ("target SL(20)>=80%: SL(20) at least 80 % (0.8)"); empty where the
// bound is the number as written.
std::string targetReading(const Target& target);

}  // namespace queuecalc
