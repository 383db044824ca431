#include "analysis/day_plan_settings.h"

#include <cmath>

#include "core/echo_text.h"
#include "core/number_text.h"
#include "core/share_text.h"
#include "input/input_checks.h"
#include "input/interval_labels.h"

namespace queuecalc {

namespace {

// A number with spaces around it allowed.
bool readNumber(std::string text, double& value) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    return readFiniteNumber(text, value);
}

}  // namespace

double readPositive(const std::string& name, const std::string& text, const char* unit) {
    double value = 0;
    if (!readNumber(text, value) || !(value > 0))
        throw UsageError(name + " '" + echoText(text) + "': expected a number of " + unit + " above 0");
    return value;
}

double readShareText(const std::string& name, const std::string& text) {
    const ShareReading reading = readShare(text);
    if (!reading.share) throw UsageError(name + " '" + echoText(text) + "': " + reading.problem);
    return *reading.share;
}

void readServiceLevel(const std::string& name, const std::string& text, DayPlanSettings& settings) {
    if (text == "none") {
        settings.serviceShare.reset();
        return;
    }
    const std::string::size_type slash = text.find('/');
    if (slash == std::string::npos)
        throw UsageError(name + " '" + echoText(text) + "': expected PERCENT/SECONDS, such as 80/20 or 0.8/20");
    std::string seconds = text.substr(slash + 1);
    if (!seconds.empty() && seconds.back() == 's') seconds.pop_back();
    settings.serviceShare = readShareText(name, text.substr(0, slash));
    settings.serviceSeconds = readPositive(name, seconds, "seconds");
}

void readPatienceShape(const std::string& name, const std::string& text, PatienceLaw& patience) {
    const std::string::size_type colon = text.find(':');
    const std::string shape = text.substr(0, colon);
    const std::string parameter = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    if (shape == "exponential" && colon == std::string::npos) {
        patience.shape = PatienceShape::Exponential;
    } else if (shape == "erlang") {
        const WholeNumber phases = readWholeNumber(parameter, 1, kMaxErlangPhases);
        if (!phases.ok())
            throw UsageError(name + " erlang:K '" + echoText(parameter) + "': " + wholeNumberExpected(1, kMaxErlangPhases));
        patience.shape = PatienceShape::Erlang;
        patience.phases = static_cast<int>(phases.value);
    } else if (shape == "lognormal") {
        patience.shape = PatienceShape::Lognormal;
        patience.cv = colon == std::string::npos ? 1 : readPositive(name + " lognormal:CV", parameter, "(a share)");
    } else {
        throw UsageError(name + " '" + echoText(text) + "': expected exponential, erlang:K (K from 1 to " +
                         std::to_string(kMaxErlangPhases) + ") or lognormal:CV");
    }
}

ForecastVariant readVariant(const std::string& name, const std::string& text) {
    ForecastVariant variant;
    variant.text = text;
    const std::string::size_type equals = text.find('=');
    if (equals == std::string::npos) {
        if (text.empty()) throw UsageError(name + " needs calls=CHANGE, aht=CHANGE or a forecast file");
        variant.kind = ForecastVariant::Kind::File;
        variant.path = text;
        return variant;
    }
    const std::string column = text.substr(0, equals);
    std::string change = text.substr(equals + 1);
    if (column == "calls") variant.kind = ForecastVariant::Kind::Calls;
    else if (column == "aht") variant.kind = ForecastVariant::Kind::Aht;
    else throw UsageError(name + " '" + echoText(text) + "': expected calls=CHANGE or aht=CHANGE (such as calls=+10% or aht=-15)");
    while (!change.empty() && change.back() == ' ') change.pop_back();
    variant.relative = !change.empty() && change.back() == '%';
    if (variant.relative) change.pop_back();
    if (!readNumber(change, variant.amount) || (variant.relative && variant.amount <= -100))
        throw UsageError(name + " '" + echoText(text) + "': expected a change such as +10% (a share of each value, "
                         "above -100%) or -15 (" + (variant.kind == ForecastVariant::Kind::Aht ? "seconds" : "calls") +
                         ")");
    return variant;
}

Forecast variantForecast(const ForecastVariant& variant, const Forecast& base, const PlanRequest& request) {
    const std::string& name = request.names.compare;
    const auto where = [&](const ForecastInterval& f) {
        return "'" + echoText(f.label) + "'" + (f.day.empty() ? std::string() : " of '" + echoText(f.day) + "'") +
               " (line " + std::to_string(f.line) + ")";
    };
    if (variant.kind == ForecastVariant::Kind::File) {
        Forecast other = readForecastFile(variant.path, request.format);
        if (other.intervals.size() != base.intervals.size())
            throw UsageError(name + " '" + echoText(variant.path, kWholeText) + "' has " +
                             std::to_string(other.intervals.size()) + " intervals where the forecast has " +
                             std::to_string(base.intervals.size()));
        for (std::size_t i = 0; i < base.intervals.size(); ++i)
            if (other.intervals[i].label != base.intervals[i].label || other.intervals[i].day != base.intervals[i].day)
                throw UsageError(name + " '" + echoText(variant.path, kWholeText) + "': interval " +
                                 where(other.intervals[i]) + " where the forecast has " + where(base.intervals[i]) +
                                 " (the same intervals in the same order, please)");
        return other;
    }
    Forecast changed = base;
    for (ForecastInterval& f : changed.intervals) {
        double& value = variant.kind == ForecastVariant::Kind::Calls ? f.calls : f.aht;
        if (variant.kind == ForecastVariant::Kind::Aht && f.calls == 0) continue;  // no call, no handle time
        value = variant.relative ? value * (1 + variant.amount / 100) : value + variant.amount;
        if (variant.kind == ForecastVariant::Kind::Calls ? value < 0 : !(value > 0))
            throw UsageError(name + " '" + echoText(variant.text) + "' leaves interval " + where(f) + " with " +
                             (variant.kind == ForecastVariant::Kind::Calls ? "calls below 0" : "no handle time"));
    }
    return changed;
}

namespace {

// The interval length of `forecast`'s labels, checked against the one given.
void intervalLength(const PlanRequest& request, const Forecast& forecast, DayPlanSettings& settings,
                    std::vector<std::string>& readings, std::vector<std::string>& remarks) {
    const std::string& name = request.names.intervalMinutes;
    std::vector<IntervalLabel> labels;
    for (const ForecastInterval& interval : forecast.intervals) labels.push_back({interval.label, interval.day, interval.line});
    const LabelStep step = labelStep(labels);
    const auto at = [&](std::size_t i) {
        return "'" + echoText(labels[i].text) + "' (line " + std::to_string(labels[i].line) + ")";
    };
    const std::string given = formatValue(request.settings.intervalMinutes);
    if (step.notTime) {
        if (!request.intervalGiven)
            throw UsageError("the interval labels are not times of day (" + at(*step.notTime) +
                             "), so their length cannot be told from them: give " + name);
        return;
    }
    if (step.mixedForms)
        remarks.push_back("the interval labels are written in more than one form: " + at(step.mixedForms->first) + " and " +
                          at(step.mixedForms->second));
    if (!step.minutes) {
        if (!request.intervalGiven)
            remarks.push_back("no two intervals of one day follow each other, so their length cannot be told from the "
                              "labels: taken as " + given + " minutes (give " + name + ")");
        return;
    }
    const std::string inferred = formatValue(*step.minutes);
    if (request.intervalGiven && std::fabs(*step.minutes - request.settings.intervalMinutes) > 1e-9 * *step.minutes)
        throw UsageError(name + " " + given + " disagrees with the forecast, whose labels step by " + inferred +
                         " minutes (" + at(step.stepFrom) + " to " + at(step.stepTo) + ")");
    settings.intervalMinutes = *step.minutes;
    if (!request.intervalGiven) readings.push_back("interval length: " + inferred + " minutes, from the labels");
    constexpr std::size_t kNamed = 3;  // a few examples name the pattern; the count gives the rest
    const auto listed = [&](const std::vector<std::size_t>& pairs, const std::string& what) {
        std::string text = what;
        for (std::size_t k = 0; k < pairs.size() && k < kNamed; ++k)
            text += (k ? "; " : " ") + at(pairs[k] - 1) + " to " + at(pairs[k]);
        if (pairs.size() > kNamed) text += "; and " + std::to_string(pairs.size() - kNamed) + " more";
        remarks.push_back(text);
    };
    if (!step.gaps.empty())
        listed(step.gaps, "intervals are missing from the forecast (its labels step by " + inferred + " minutes):");
    if (!step.uneven.empty())
        listed(step.uneven, "the interval labels do not step evenly by " + inferred + " minutes:");
}

}  // namespace

DayPlanSettings planSettings(const PlanRequest& request, const Forecast& forecast, std::vector<std::string>* readings,
                             std::vector<std::string>* remarks) {
    DayPlanSettings settings = request.settings;
    if ((forecast.hasStaffed || forecast.hasScheduled) && !request.slGiven) {
        settings.requiredServiceShare = settings.serviceShare;  // the gap's target: the planner's default
        settings.serviceShare.reset();
    }
    if (settings.room.kind == WaitingRoom::Kind::Lines && settings.agentLimit > settings.room.count)
        settings.agentLimit = settings.room.count;
    std::vector<std::string> read, remarked;
    intervalLength(request, forecast, settings, read, remarked);
    if (settings.patience.shape != PatienceShape::Exponential && !settings.patience.meanSeconds && !forecast.hasPatience)
        remarked.push_back(request.names.patience + " applies only where a mean patience is known: give " +
                           request.names.patienceMean + " or a patience column");
    if (readings) readings->insert(readings->end(), read.begin(), read.end());
    if (remarks) remarks->insert(remarks->end(), remarked.begin(), remarked.end());
    return settings;
}

}  // namespace queuecalc
