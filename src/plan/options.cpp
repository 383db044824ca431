#include "plan/options.h"

#include <algorithm>
#include <cmath>

#include "core/number_text.h"
#include "input/input_checks.h"
#include "report/command_line.h"
#include "core/echo_text.h"

namespace queuecalc {
namespace plan {

namespace {

constexpr double kPercent = 100;

// A number with spaces around it allowed.
bool readNumber(std::string text, double& value) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    return readFiniteNumber(text, value);
}

double positiveOption(const std::string& option, const std::string& text, const char* unit) {
    double value = 0;
    if (!readNumber(text, value) || !(value > 0))
        throw UsageError(option + " '" + echoText(text) + "': expected a number of " + unit + " above 0");
    return value;
}

// A share written in per cent, with or without the sign ("5%", "5", "2.5 %"),
// from 0 to 100; `option` names it in the message.
double percentOption(const std::string& option, const std::string& text) {
    std::string number = text;
    while (!number.empty() && number.back() == ' ') number.pop_back();
    if (!number.empty() && number.back() == '%') number.pop_back();
    double value = 0;
    if (!readNumber(number, value) || value < 0 || value > kPercent)
        throw UsageError(option + " '" + echoText(text) + "': expected a percentage from 0 to 100, such as 5% or 5");
    return value / kPercent;
}

// "80/20": 80 % within 20 seconds (a % after the share and an s after the
// seconds are allowed).
void serviceOption(const std::string& text, DayPlanSettings& settings) {
    const std::string::size_type slash = text.find('/');
    if (slash == std::string::npos)
        throw UsageError("--sl '" + echoText(text) + "': expected PERCENT/SECONDS, such as 80/20");
    std::string seconds = text.substr(slash + 1);
    if (!seconds.empty() && seconds.back() == 's') seconds.pop_back();
    settings.serviceShare = percentOption("--sl", text.substr(0, slash));
    settings.serviceSeconds = positiveOption("--sl", seconds, "seconds");
}

void patienceOption(const std::string& text, PatienceLaw& patience) {
    const std::string::size_type colon = text.find(':');
    const std::string shape = text.substr(0, colon);
    const std::string parameter = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    if (shape == "exponential" && colon == std::string::npos) {
        patience.shape = PatienceShape::Exponential;
    } else if (shape == "erlang") {
        patience.shape = PatienceShape::Erlang;
        patience.phases = static_cast<int>(wholeOption("--patience erlang:K", parameter, 1, kMaxErlangPhases));
    } else if (shape == "lognormal") {
        patience.shape = PatienceShape::Lognormal;
        patience.cv = colon == std::string::npos ? 1 : positiveOption("--patience lognormal:CV", parameter, "(a share)");
    } else {
        throw UsageError("--patience '" + echoText(text) + "': expected exponential, erlang:K (K from 1 to 12) or lognormal:CV");
    }
}

}  // namespace

PlanOptions parsePlanOptions(const std::vector<std::string>& args, unsigned cores) {
    PlanOptions options;
    DayPlanSettings& s = options.settings;
    s.jobs = std::max(1u, std::min(cores, kMaxJobs));
    bool roomGiven = false;
    bool methodGiven = false;
    CommandLine line(args);
    while (line.next()) {
        const std::string& option = line.option();
        // A share below 1 % written without the sign is most likely meant as a fraction.
        const auto share = [&](const std::string& text) {
            const double v = percentOption(option, text);
            if (v > 0 && v < 1 / kPercent && text.find('%') == std::string::npos)
                options.remarks.push_back(option + " " + text + " is read as " + text + " %; for " +
                                          formatValue(v * kPercent * kPercent) + " % write " +
                                          formatValue(v * kPercent * kPercent));
            return v;
        };
        const auto room = [&](WaitingRoom::Kind kind, long long low, long long high) {
            if (roomGiven) throw UsageError("give one of --lines and --waiting-places, once");
            roomGiven = true;
            s.room.kind = kind;
            s.room.count = static_cast<int>(wholeOption(option, line.takeValue(), low, high));
        };
        if (option == "--help" || option == "-h") {
            line.noValue();
            options.help = true;
        } else if (option == "--interval-minutes") {
            s.intervalMinutes = positiveOption(option, line.takeValue(), "minutes");
        } else if (option == "--sl") {
            const std::string text = line.takeValue();
            if (text == "none") s.serviceShare.reset();
            else serviceOption(text, s);
            options.slGiven = true;
        } else if (option == "--max-abandon") {
            s.maxAbandon = share(line.takeValue());
        } else if (option == "--max-asa") {
            s.maxAsa = positiveOption(option, line.takeValue(), "seconds");
        } else if (option == "--max-occupancy") {
            s.maxOccupancy = share(line.takeValue());
        } else if (option == "--shrinkage") {
            s.shrinkage = share(line.takeValue());
            if (s.shrinkage >= 1) throw UsageError("--shrinkage must be below 100 %");
        } else if (option == "--patience") {
            patienceOption(line.takeValue(), s.patience);
        } else if (option == "--patience-mean") {
            s.patience.meanSeconds = positiveOption(option, line.takeValue(), "seconds");
        } else if (option == "--lines") {
            room(WaitingRoom::Kind::Lines, 1, kMaxSystemSize);
        } else if (option == "--waiting-places") {
            room(WaitingRoom::Kind::Places, 0, kMaxWaitingPlaces);
        } else if (option == "--model") {
            s.model = modelOption(line.takeValue());
        } else if (option == "--method") {
            s.method = methodOption(line.takeValue());
            methodGiven = true;
        } else if (option == "--max-agents") {
            s.agentLimit = static_cast<int>(wholeOption(option, line.takeValue(), 1, kMaxSystemSize));
        } else if (option == "--fractional") {
            line.noValue();
            s.fractional = true;
        } else if (option == "--out") {
            options.outPath = line.takeValue();
            if (options.outPath.empty()) throw UsageError("--out needs a file name (without --out the plan goes to standard output)");
        } else if (option == "--html") {
            options.htmlPath = line.takeValue();
            if (options.htmlPath.empty()) throw UsageError("--html needs a file name");
        } else if (option == "--shifts" || option == "--roster") {
#ifndef QUEUECALC_WITH_SCHEDULE
            throw UsageError(option + ": this build has no shift scheduler");
#endif
            std::string& path = option == "--shifts" ? options.shiftsPath : options.rosterPath;
            path = line.takeValue();
            if (path.empty()) throw UsageError(option + " needs a file name");
        } else if (option == "--jobs") {
            s.jobs = static_cast<unsigned>(wholeOption(option, line.takeValue(), 1, kMaxJobs));
        } else if (option.size() > 1 && option[0] == '-') {
            throw UsageError("unknown option '" + echoText(option) + "'");
        } else if (options.forecastPath.empty()) {
            options.forecastPath = option;
        } else {
            throw UsageError("one forecast file, please ('" + echoText(options.forecastPath) + "' and '" + echoText(option) +
                             "' given)");
        }
    }
    if (options.help) return options;
    if (options.forecastPath.empty()) throw UsageError("no forecast file given");
    if (options.shiftsPath.empty() != options.rosterPath.empty())
        throw UsageError("--shifts TEMPLATES.csv and --roster FILE go together");
    checkMethodWithModel(s.model, methodGiven);
    if (s.patience.shape != PatienceShape::Exponential && !s.patience.meanSeconds)
        options.remarks.push_back("--patience applies only where a mean patience is known: give --patience-mean "
                                  "or a patience column");
    if (s.room.kind == WaitingRoom::Kind::Lines && s.agentLimit > s.room.count) s.agentLimit = s.room.count;
    return options;
}

std::string planUsageText() {
    return "Usage: queuecalc-plan FORECAST.csv [options]\n"
           "\n"
           "Staffs every interval of a forecast: the fewest agents that meet every target, with the service\n"
           "they give. FORECAST.csv is CSV with a header and the columns interval, calls (offered calls in\n"
           "the interval) and aht (average handle time, seconds), in any order; optional: patience (mean\n"
           "patience, seconds) and staffed (agents on hand: then the plan gives the service of those agents).\n"
           "Other columns are copied to the output. The plan is written as CSV; exit status 0 when every\n"
           "interval meets the targets, 1 when one does not (see its note), 2 for a bad command line or\n"
           "forecast (nothing is written then).\n"
           "\n"
           "Targets (percentages with or without %):\n"
           "  --sl PERCENT/SECONDS   service level: PERCENT of offered calls answered within SECONDS\n"
           "                         (default 80/20; 'none': no service level target, reported at 20 s;\n"
           "                         with a staffed column: no target unless given)\n"
           "  --max-abandon PERCENT  at most this share of callers hang up (default: no limit)\n"
           "  --max-asa SECONDS      average speed of answer at most this (default: no limit)\n"
           "  --max-occupancy PERCENT  agents busy at most this share of the time (default: no limit)\n"
           "\n"
           "The centre:\n"
           "  --interval-minutes M   length of an interval (default 30)\n"
           "  --shrinkage PERCENT    paid time off the phones; scheduled = ceil(agents / (1 - shrinkage))\n"
           "                         (default 30%)\n"
           "  --patience SHAPE       exponential, erlang:K (K = 1..12 phases) or lognormal:CV (coefficient of\n"
           "                         variation) (default exponential)\n"
           "  --patience-mean SECONDS  mean patience where the forecast has no patience column (default:\n"
           "                         none, callers never hang up)\n"
           "  --lines N              N lines in all: N - agents waiting places (at most N agents)\n"
           "  --waiting-places N     N waiting places beside the agents\n"
           "                         (default: per interval, the fewest places with P(Loss) below 1e-9,\n"
           "                         reported in the column 'waiting places')\n"
           "  --max-agents N         the most agents tried per interval (default 2 * ceil(load) + 1000)\n"
           "\n"
           "Computation and output:\n"
           "  --model exact|chain    the model of the queue (default exact: the queue itself for any\n"
           "                         patience, each value with a bound of its error; chain: the\n"
           "                         calculator's birth-and-death approximation, exact for exponential\n"
           "                         patience only)\n"
           "  --method exact|euler|talbot  with --model chain: its waiting-time method (default exact, with\n"
           "                         a certified bound on SL; euler: 24 terms, talbot: 48 terms, no bound)\n"
           "  --fractional           fractional agents: measures linear between s - 1 and s agents, the plan\n"
           "                         the smallest level between them where every target is met\n"
           "  --out FILE             write the plan to FILE (default: standard output)\n"
           "  --html FILE            also write a report with charts, one HTML file\n"
           "  --jobs N               intervals planned side by side (default: every core)\n"
           "  --shifts TEMPLATES.csv  then schedule shifts that cover the plan's scheduled agents (see\n"
           "                         queuecalc-shifts --help for the templates), with --roster FILE for the\n"
           "                         roster; the interval labels must be HH:MM\n"
           "  --help                 this text\n"
           "\n"
           "The README's section \"Staffing a day from a forecast\" shows an example.\n";
}

DayPlanSettings planSettings(const PlanOptions& options, const Forecast& forecast) {
    DayPlanSettings settings = options.settings;
    if (forecast.hasStaffed && !options.slGiven) settings.serviceShare.reset();
    return settings;
}

}  // namespace plan
}  // namespace queuecalc
