#include "web/page_api.h"

#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include "analysis/day_plan.h"
#include "core/echo_text.h"
#include "core/failure.h"
#include "core/number_text.h"
#include "input/forecast.h"
#include "input/interval_labels.h"
#include "plan/options.h"
#include "report/plan_report.h"
#include "report/svg_chart.h"

namespace queuecalc {
namespace web {

namespace {

// Stands where the program has the forecast's file name: the options are
// read by the program's parser, which needs one.
const char* const kForecastStandIn = "forecast.csv";
// The one interval's label, which the charts' titles name.
const char* const kIntervalLabel = "this interval";

// ---- JSON ----------------------------------------------------------------

std::string jsonText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            static const char* const hex = "0123456789abcdef";
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string jsonList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + jsonText(items[i]);
    return out + "]";
}

std::string jsonMap(const std::map<std::string, std::string>& items) {
    std::string out = "{";
    bool first = true;
    for (const auto& [key, value] : items) {
        out += (first ? "" : ",") + jsonText(key) + ":" + jsonText(value);
        first = false;
    }
    return out + "}";
}

// ---- The options ---------------------------------------------------------

// "--max-abandon" -> "max_abandon": the page's name of a field.
std::string fieldName(const std::string& option) {
    std::string name = option.substr(option.find_first_not_of('-') == std::string::npos ? option.size()
                                                                                         : option.find_first_not_of('-'));
    for (char& c : name)
        if (c == '-') c = '_';
    return name;
}

// A message about one option, without the option's name in front (the page
// shows it beside the field).
std::string withoutOption(const std::string& message, const std::string& option) {
    if (message.compare(0, option.size() + 1, option + " ") == 0) return message.substr(option.size() + 1);
    return message;
}

struct ReadOptions {
    plan::PlanOptions options;
    std::map<std::string, std::string> fields;   // messages of values refused alone
    std::string message;                         // the options together refused
    bool ok() const { return fields.empty() && message.empty(); }
};

ReadOptions readOptions(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) words.push_back(line);
    ReadOptions read;
    // Each option alone, with the value that follows it.
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (words[i].compare(0, 2, "--") != 0) continue;
        std::vector<std::string> alone{kForecastStandIn, words[i]};
        if (i + 1 < words.size() && words[i + 1].compare(0, 2, "--") != 0) alone.push_back(words[i + 1]);
        // The chain's method alone would meet the exact model, the default:
        // that conflict is the options' together, below.
        if (words[i] == "--method") alone.insert(alone.end(), {"--model", "chain"});
        try {
            plan::parsePlanOptions(alone, 1);
        } catch (const UsageError& error) {
            read.fields[fieldName(words[i])] = withoutOption(error.what(), words[i]);
        }
    }
    if (!read.fields.empty()) return read;
    std::vector<std::string> all{kForecastStandIn};
    all.insert(all.end(), words.begin(), words.end());
    try {
        read.options = plan::parsePlanOptions(all, 1);  // one job: a page has one thread
    } catch (const UsageError& error) {
        read.message = error.what();
    }
    return read;
}

const char* outcomeName(IntervalOutcome outcome) {
    switch (outcome) {
        case IntervalOutcome::Planned: return "planned";
        case IntervalOutcome::NoCalls: return "no calls";
        case IntervalOutcome::Measured: return "measured";
        case IntervalOutcome::NoAgents: return "no agents";
        case IntervalOutcome::NoStaffing: return "no staffing";
    }
    return "";
}

// The number a forecast's field holds, as the forecast reader reads it
// (blanks around it allowed).
bool fieldNumber(std::string text, double& value) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    const std::size_t first = text.find_first_not_of(" \t");
    return readFiniteNumber(first == std::string::npos ? std::string() : text.substr(first), value);
}

}  // namespace

std::string intervalJson(const std::string& calls, const std::string& aht, const std::string& options) {
    ReadOptions read = readOptions(options);
    // The interval's two numbers, with the forecast reader's rules and words.
    double callsValue = 0, ahtValue = 0;
    if (!fieldNumber(calls, callsValue))
        read.fields["calls"] = "'" + echoText(calls) + "' is not a number";
    else if (callsValue < 0)
        read.fields["calls"] = "offered calls cannot be negative";
    if (!fieldNumber(aht, ahtValue))
        read.fields["aht"] = "'" + echoText(aht) + "' is not a number";
    else if (!(ahtValue > 0))
        read.fields["aht"] = "the average handle time must be above 0 seconds";
    std::string json = "{\"fields\":" + jsonMap(read.fields);
    if (!read.ok()) return json + ",\"message\":" + jsonText(read.message) + "}";

    Forecast forecast;
    forecast.header = {"interval", "calls", "aht"};
    ForecastInterval interval;
    interval.label = kIntervalLabel;
    interval.calls = callsValue;
    interval.aht = ahtValue;
    interval.fields = {kIntervalLabel, calls, aht};
    interval.line = 2;
    forecast.intervals.push_back(interval);
    DayPlanSettings settings;
    DayPlan plan;
    try {
        settings = planSettings(read.options, forecast);
        plan = planDay(forecast, settings, true);
    } catch (const UsageError& error) {
        return json + ",\"message\":" + jsonText(error.what()) + "}";
    } catch (const RunFailure& failure) {
        return json + ",\"message\":" + jsonText(failure.what()) + "}";
    }
    const PlanTable table = planTable(forecast, settings, plan);
    std::vector<std::string> charts;
    for (LineChart chart : busiestCharts(forecast, settings, plan)) {
        chart.id = "interval-" + chart.id;  // apart from the day report's charts on the same page
        charts.push_back(svgLineChart(chart));
    }
    const IntervalPlan& p = plan.intervals.front();
    return json + ",\"message\":\"\",\"header\":" + jsonList(table.header) + ",\"row\":" + jsonList(table.rows.front()) +
           ",\"outcome\":" + jsonText(outcomeName(p.outcome)) + ",\"met\":" + (p.met ? "true" : "false") +
           ",\"charts\":" + jsonList(charts) + "}";
}

std::string dayJson(const std::string& forecastCsv, const std::string& forecastName, const std::string& options) {
    const ReadOptions read = readOptions(options);
    std::string json = "{\"fields\":" + jsonMap(read.fields);
    const auto refused = [&](const std::string& message) {
        return json + ",\"message\":" + jsonText(message) + ",\"status\":2}";
    };
    if (!read.ok()) return refused(read.message);
    Forecast forecast;
    try {
        std::istringstream in(forecastCsv);
        forecast = readForecast(in, forecastName);
    } catch (const ForecastError& error) {
        return refused(error.what());
    }
    // The interval length: the labels' step where they are times of day, as
    // the program reads it without --interval-minutes; else the page's field.
    plan::PlanOptions planOptions = read.options;
    std::vector<IntervalLabel> labels;
    for (const ForecastInterval& interval : forecast.intervals) labels.push_back({interval.label, interval.day, interval.line});
    if (labelStep(labels).minutes) planOptions.intervalGiven = false;
    std::vector<std::string> readings, remarks;
    DayPlanSettings settings;
    DayPlan plan;
    try {
        settings = planSettings(planOptions, forecast, &readings, &remarks);
        plan = planDay(forecast, settings, true);
    } catch (const UsageError& error) {
        return refused(error.what());
    } catch (const RunFailure& failure) {
        return refused(failure.what());
    }
    readings.insert(readings.end(), remarks.begin(), remarks.end());
    std::ostringstream csv;
    writePlanCsv(csv, planTable(forecast, settings, plan));
    return json + ",\"message\":\"\",\"status\":" + (plan.allMet ? "0" : "1") + ",\"csv\":" + jsonText(csv.str()) +
           ",\"report\":" + jsonText(planHtml(forecastName, forecast, settings, plan)) +
           ",\"intervals\":" + std::to_string(plan.intervals.size()) + ",\"unmet\":" + std::to_string(plan.unmet) +
           ",\"readings\":" + jsonList(readings) + "}";
}

}  // namespace web
}  // namespace queuecalc
