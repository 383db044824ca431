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

// A staffing target "SL(20)>=0.8", "P(A)<=0.05", "P(W<=20|S)>=0.9", ... The
// operator is the last ">=" or "<=" of the text. Throws UsageError for an
// unknown column or a bound that is not a number.
Target parseTarget(const std::string& text);

}  // namespace queuecalc
