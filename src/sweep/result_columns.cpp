#include "sweep/result_columns.h"

#include <cmath>
#include <limits>
#include <sstream>

#include "input/input_checks.h"
#include "sweep/usage_error.h"

namespace queuecalc {
namespace sweep {

namespace {

struct MeasureColumn {
    const char* name;
    double PerformanceMeasures::*value;
};

// The fifteen in the order of the results file.
const MeasureColumn kMeasureColumns[] = {
    {"RHO", &PerformanceMeasures::rho},
    {"P(Loss)", &PerformanceMeasures::lossProb},
    {"P(NoWait)", &PerformanceMeasures::noWaitProb},
    {"P(S)", &PerformanceMeasures::servedProb},
    {"P(A)", &PerformanceMeasures::abandonProb},
    {"E[W,S]", &PerformanceMeasures::partialMeanServed},
    {"E[W^2,S]", &PerformanceMeasures::partialSecondMomentServed},
    {"E[W|S]", &PerformanceMeasures::meanWaitServed},
    {"E[W^2|S]", &PerformanceMeasures::secondMomentServed},
    {"Var(W|S)", &PerformanceMeasures::varianceServed},
    {"E[W1_A]", &PerformanceMeasures::partialMeanAbandon},
    {"E[W^21_A]", &PerformanceMeasures::partialSecondMomentAbandon},
    {"E[W|A]", &PerformanceMeasures::meanWaitAbandon},
    {"E[W^2|A]", &PerformanceMeasures::secondMomentAbandon},
    {"Var(W|A)", &PerformanceMeasures::varianceAbandon},
};

const char* const kAnalystColumns[] = {"occupancy", "ASA", "meanQueueLength", "abandonRate"};

constexpr std::size_t kFixedColumns = 15 + 4;

// The threshold of "PREFIX<tau>SUFFIX", or false when the text has another form.
bool thresholdOf(const std::string& column, const std::string& prefix, const std::string& suffix, double& tau) {
    if (column.size() <= prefix.size() + suffix.size() || column.compare(0, prefix.size(), prefix) != 0 ||
        column.compare(column.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string number = column.substr(prefix.size(), column.size() - prefix.size() - suffix.size());
    std::istringstream in(number);
    if (!(in >> tau) || in.peek() != std::char_traits<char>::eof())
        throw UsageError("--target: '" + number + "' in " + column + " is not a number");
    if (!(tau > 0) || !std::isfinite(tau))
        throw UsageError("--target: the threshold in " + column + " must be a finite number above 0");
    return true;
}

}  // namespace

std::string serviceLevelName(double tau) { return "SL(" + formatValue(tau) + ")"; }
std::string conditionalName(double tau) { return "P(W<=" + formatValue(tau) + "|S)"; }

std::vector<std::string> resultColumnNames(const std::vector<double>& moments) {
    std::vector<std::string> names;
    for (const MeasureColumn& c : kMeasureColumns) names.push_back(c.name);
    for (const char* name : kAnalystColumns) names.push_back(name);
    for (double tau : moments) {
        names.push_back(serviceLevelName(tau));
        names.push_back(conditionalName(tau));
    }
    return names;
}

std::vector<double> resultValues(const QueueModel& model, const WaitingTimeCurves* curves,
                                 std::size_t momentCount) {
    const PerformanceMeasures& m = model.measures;
    const ModelInput& input = model.input;
    std::vector<double> values;
    values.reserve(kFixedColumns + 2 * momentCount);
    for (const MeasureColumn& c : kMeasureColumns) values.push_back(m.*c.value);
    const double admitted = 1 - m.lossProb;
    const double admittedRate = input.arrivalRate * admitted;
    values.push_back(admittedRate * m.servedProb / (static_cast<double>(input.servers) * input.serviceRate));
    values.push_back(m.meanWaitServed);
    values.push_back(admittedRate * (m.partialMeanServed + m.partialMeanAbandon));
    values.push_back(admittedRate * m.abandonProb);
    for (std::size_t i = 0; i < momentCount; ++i) {
        if (curves == nullptr) {
            values.push_back(std::numeric_limits<double>::quiet_NaN());
            values.push_back(std::numeric_limits<double>::quiet_NaN());
        } else {
            values.push_back(admitted * (m.noWaitProb + curves->joint[i]));
            values.push_back(curves->conditional[i]);
        }
    }
    return values;
}

Target parseTarget(const std::string& text) {
    const std::string::size_type ge = text.rfind(">=");
    const std::string::size_type le = text.rfind("<=");
    std::string::size_type at = std::string::npos;
    if (ge != std::string::npos && (le == std::string::npos || ge > le)) at = ge;
    if (le != std::string::npos && (ge == std::string::npos || le > ge)) at = le;
    if (at == std::string::npos || at == 0)
        throw UsageError("--target '" + text + "': expected COLUMN>=VALUE or COLUMN<=VALUE");
    Target target;
    target.text = text;
    target.atLeast = at == ge;
    target.column = text.substr(0, at);
    const std::string boundText = text.substr(at + 2);
    std::istringstream in(boundText);
    if (boundText.empty() || !(in >> target.bound) || in.peek() != std::char_traits<char>::eof() ||
        !std::isfinite(target.bound))
        throw UsageError("--target '" + text + "': '" + boundText + "' is not a number");

    double tau = 0;
    if (thresholdOf(target.column, "SL(", ")", tau)) {
        target.tau = tau;
        target.column = serviceLevelName(tau);
        return target;
    }
    if (thresholdOf(target.column, "P(W<=", "|S)", tau)) {
        target.tau = tau;
        target.column = conditionalName(tau);
        return target;
    }
    for (const std::string& name : resultColumnNames({}))
        if (name == target.column) return target;
    std::string known;
    for (const std::string& name : resultColumnNames({})) known += name + " ";
    throw UsageError("--target '" + text + "': no column named '" + target.column + "' (columns: " + known +
                     "SL(TAU) P(W<=TAU|S))");
}

double targetMargin(const Target& target, double value) {
    return target.atLeast ? value - target.bound : target.bound - value;
}

std::size_t targetColumn(const Target& target, const std::vector<double>& moments) {
    const std::vector<std::string> names = resultColumnNames(moments);
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == target.column) return i;
    throw UsageError("--target '" + target.text + "': its threshold is not among the --at values");
}

}  // namespace sweep
}  // namespace queuecalc
