#include "cli/target_option.h"

#include <cmath>
#include <sstream>

#include "core/echo_text.h"
#include "core/failure.h"
#include "core/share_text.h"
#include "report/measure_labels.h"

namespace queuecalc {
namespace {

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

// The column of a target's left side. Throws UsageError naming `text`.
Column targetColumn(const std::string& column, const std::string& text) {
    double tau = 0;
    if (thresholdOf(column, "SL(", ")", tau)) return {Measure::ServiceLevel, tau};
    if (thresholdOf(column, "P(W<=", "|S)", tau)) return {Measure::ConditionalWait, tau};
    std::string known;
    for (std::size_t i = 0; i < kFixedMeasureCount; ++i) {
        const Column fixed{fixedMeasure(i), 0};
        const std::string label = columnLabel(fixed);
        if (column == label) return fixed;
        known += label + " ";
    }
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
    if (isShareMeasure(target.column.measure)) {
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

}  // namespace queuecalc
