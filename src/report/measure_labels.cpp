#include "report/measure_labels.h"

#include <cmath>
#include <sstream>

#include "core/number_text.h"
#include "core/share_text.h"
#include "core/echo_text.h"

namespace queuecalc {

namespace {

// The fixed measures in column order; the results file's labels with "^2"
// for its superscript two.
const char* const kFixedLabels[kFixedMeasureCount] = {
    "RHO",      "P(Loss)",   "P(NoWait)", "P(S)",     "P(A)",      "E[W,S]",          "E[W^2,S]",
    "E[W|S]",   "E[W^2|S]",  "Var(W|S)",  "E[W1_A]",  "E[W^21_A]", "E[W|A]",          "E[W^2|A]",
    "Var(W|A)", "occupancy", "ASA",       "meanQueueLength",       "abandonRate",
};

}  // namespace

std::string columnLabel(const Column& column) {
    if (column.measure == Measure::ServiceLevel) return "SL(" + formatValue(column.tau) + ")";
    if (column.measure == Measure::ServiceLevelBound) return "bound(" + formatValue(column.tau) + ")";
    if (column.measure == Measure::ConditionalWait) return "P(W<=" + formatValue(column.tau) + "|S)";
    return kFixedLabels[static_cast<std::size_t>(column.measure)];
}

std::string resultsFileLabel(Measure measure) {
    std::string label = kFixedLabels[static_cast<std::size_t>(measure)];
    const std::string::size_type square = label.find("^2");
    // SUPERSCRIPT TWO as the single byte of ISO 8859-1 / Windows-1252.
    if (square != std::string::npos) label.replace(square, 2, "\xB2");
    return label;
}

std::vector<std::string> columnLabels(const std::vector<double>& thresholds) {
    std::vector<std::string> labels;
    for (const Column& c : resultColumns(thresholds)) labels.push_back(columnLabel(c));
    return labels;
}

std::string targetReading(const Target& target) {
    if (!isShareMeasure(target.column.measure)) return std::string();
    const std::string boundText = target.text.substr(target.text.rfind(target.atLeast ? ">=" : "<=") + 2);
    double plain = 0;
    if (readFiniteNumber(boundText, plain) && plain == target.bound) return std::string();
    return "target " + echoText(target.text) + ": " + columnLabel(target.column) + (target.atLeast ? " at least " : " at most ") +
           formatShare(target.bound) + " (" + formatValue(target.bound) + ")";
}

}  // namespace queuecalc
