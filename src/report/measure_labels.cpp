#include "report/measure_labels.h"

#include <cmath>
#include <sstream>

#include "analysis/usage_error.h"
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

// The threshold of "PREFIX<tau>SUFFIX", or false when the text has another form.
bool thresholdOf(const std::string& column, const std::string& prefix, const std::string& suffix, double& tau) {
    if (column.size() <= prefix.size() + suffix.size() || column.compare(0, prefix.size(), prefix) != 0 ||
        column.compare(column.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string number = column.substr(prefix.size(), column.size() - prefix.size() - suffix.size());
    std::istringstream in(number);
    if (!(in >> tau) || in.peek() != std::char_traits<char>::eof())
        throw UsageError("--target: '" + echoText(number) + "' in " + echoText(column) + " is not a number");
    if (!(tau > 0) || !std::isfinite(tau))
        throw UsageError("--target: the threshold in " + echoText(column) + " must be a finite number above 0");
    return true;
}

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

namespace {

// The columns that hold shares of calls or of time, whose bounds are read as
// shares ("80", "80%" and "0.8" alike).
bool shareColumn(const Column& column) {
    switch (column.measure) {
        case Measure::LossProb:
        case Measure::NoWaitProb:
        case Measure::ServedProb:
        case Measure::AbandonProb:
        case Measure::Occupancy:
        case Measure::ServiceLevel:
        case Measure::ConditionalWait: return true;
        default: return false;
    }
}

// The column of a target's left side. Throws UsageError naming `text`.
Column targetColumn(const std::string& column, const std::string& text) {
    double tau = 0;
    if (thresholdOf(column, "SL(", ")", tau)) return {Measure::ServiceLevel, tau};
    if (thresholdOf(column, "P(W<=", "|S)", tau)) return {Measure::ConditionalWait, tau};
    for (std::size_t i = 0; i < kFixedMeasureCount; ++i)
        if (column == kFixedLabels[i]) return {fixedMeasure(i), 0};
    std::string known;
    for (const char* label : kFixedLabels) known += std::string(label) + " ";
    throw UsageError("--target '" + echoText(text) + "': no column named '" + echoText(column) + "' (columns: " + known +
                     "SL(TAU) P(W<=TAU|S))");
}

}  // namespace

Target parseTarget(const std::string& text) {
    const std::string::size_type ge = text.rfind(">=");
    const std::string::size_type le = text.rfind("<=");
    std::string::size_type at = std::string::npos;
    if (ge != std::string::npos && (le == std::string::npos || ge > le)) at = ge;
    if (le != std::string::npos && (ge == std::string::npos || le > ge)) at = le;
    if (at == std::string::npos || at == 0)
        throw UsageError("--target '" + echoText(text) + "': expected COLUMN>=VALUE or COLUMN<=VALUE");
    Target target;
    target.text = text;
    target.atLeast = at == ge;
    target.column = targetColumn(text.substr(0, at), text);
    const std::string boundText = text.substr(at + 2);
    if (shareColumn(target.column)) {
        const ShareReading reading = readShare(boundText);
        if (!reading.share) throw UsageError("--target '" + echoText(text) + "': " + reading.problem);
        target.bound = *reading.share;
        return target;
    }
    std::istringstream in(boundText);
    if (boundText.empty() || !(in >> target.bound) || in.peek() != std::char_traits<char>::eof() ||
        !std::isfinite(target.bound))
        throw UsageError("--target '" + echoText(text) + "': '" + echoText(boundText) + "' is not a number");
    return target;
}

std::string targetReading(const Target& target) {
    if (!shareColumn(target.column)) return std::string();
    const std::string boundText = target.text.substr(target.text.rfind(target.atLeast ? ">=" : "<=") + 2);
    double plain = 0;
    if (readFiniteNumber(boundText, plain) && plain == target.bound) return std::string();
    return "target " + echoText(target.text) + ": " + columnLabel(target.column) + (target.atLeast ? " at least " : " at most ") +
           formatShare(target.bound) + " (" + formatValue(target.bound) + ")";
}

}  // namespace queuecalc
