#include "plan/options.h"

#include <algorithm>

#include "core/number_text.h"
#include "core/share_text.h"
#include "input/input_checks.h"
#include "cli/command_line.h"
#include "core/echo_text.h"
#include "analysis/plan_targets.h"

namespace queuecalc {
namespace plan {

namespace {

// The target kind whose option this is, if any.
const PlanTargetKind* targetOption(const std::string& option) {
    for (const PlanTargetKind& kind : planTargetKinds())
        if (kind.option != nullptr && option == kind.option) return &kind;
    return nullptr;
}

// A target's bound in its unit; a share is echoed as read ("abandonment: at most 5 %").
double targetValue(const PlanTargetKind& kind, const std::string& text, std::vector<std::string>& readings) {
    if (kind.unit == TargetUnit::Seconds) return readPositive(kind.option, text, "seconds");
    const double share = readShareText(kind.option, text);
    readings.push_back(std::string(kind.name) + (kind.atLeast ? ": at least " : ": at most ") + formatShare(share));
    return share;
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
        // A share, echoed as read.
        const auto share = [&](const std::string& text, const char* what) {
            const double v = readShareText(option, text);
            options.readings.push_back(std::string(what) + formatShare(v));
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
            s.intervalMinutes = readPositive(option, line.takeValue(), "minutes");
            options.intervalGiven = true;
        } else if (option == "--sl") {
            const std::string text = line.takeValue();
            readServiceLevel(option, text, s);
            options.slGiven = true;
            options.readings.push_back(s.serviceShare ? "service level: " + formatShare(*s.serviceShare) + " within " +
                                                            formatValue(s.serviceSeconds) + " s"
                                                      : std::string("service level: no target"));
        } else if (const PlanTargetKind* kind = targetOption(option)) {
            targetSetting(*kind, s) = targetValue(*kind, line.takeValue(), options.readings);
        } else if (option == "--shrinkage") {
            s.shrinkage = share(line.takeValue(), "shrinkage: ");
            if (s.shrinkage >= 1) throw UsageError("--shrinkage must be below 100 %");
        } else if (option == "--hours-per-fte") {
            s.hoursPerFte = readPositive(option, line.takeValue(), "hours");
        } else if (option == "--patience") {
            readPatienceShape(option, line.takeValue(), s.patience);
        } else if (option == "--patience-mean") {
            s.patience.meanSeconds = readPositive(option, line.takeValue(), "seconds");
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
        } else if (option == "--separator" || option == "--decimal") {
            const std::string text = line.takeValue();
            const char* allowed = option == "--separator" ? ",;" : ".,";
            if (text.size() != 1 || std::string(allowed).find(text[0]) == std::string::npos)
                throw UsageError(option + " '" + echoText(text) + "': expected " + allowed[0] + " or " + allowed[1]);
            (option == "--separator" ? options.format.separator : options.format.decimal) = text[0];
        } else if (option == "--compare") {
            options.variants.push_back(readVariant(option, line.takeValue()));
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
    return options;
}

namespace {

// The usage lines of the targets read by their own option.
std::string targetHelp() {
    std::string text;
    for (const PlanTargetKind& kind : planTargetKinds())
        if (kind.help != nullptr) text += kind.help;
    return text;
}

}  // namespace

std::string planUsageText() {
    return "Usage: queuecalc-plan FORECAST.csv [options]\n"
           "\n"
           "Staffs every interval of a forecast: the fewest agents that meet every target, with the service\n"
           "they give. FORECAST.csv is CSV with a header and the columns interval, calls (offered calls in\n"
           "the interval) and aht (average handle time, seconds), in any order; optional: patience (mean\n"
           "patience, seconds) and staffed (net agents on hand) or scheduled (agents on the roster, before\n"
           "shrinkage): then the plan gives the service of those agents, with required, on hand and gap.\n"
           "Column names match in any case, blanks around them ignored; a date or day column keys many days.\n"
           "A last row labelled total or sum is left out; an interval with 0 calls needs no agent, whatever\n"
           "its aht (0 or empty).\n"
           "Other columns are copied to the output. The plan is written as CSV; exit status 0 when every\n"
           "interval meets the targets, 1 when one does not (see its note), 2 for a bad command line or\n"
           "forecast (nothing is written then).\n"
           "\n"
           "Shares (PERCENT below): 80, 80% and 0.8 all mean 80 %; a bare number above 1 is per cent,\n"
           "one below 1 a share, and a bare 1 is refused (write 1% or 100%). Each share given is echoed\n"
           "on standard error as read (\"service level: 80 % within 20 s\").\n"
           "\n"
           "Targets:\n"
           "  --sl PERCENT/SECONDS   service level: PERCENT of offered calls answered within SECONDS\n"
           "                         (80/20, 80%/20 or 0.8/20; default 80/20; 'none': no service level\n"
           "                         target, reported at 20 s;\n"
           "                         with agents on hand: no target unless given, 80/20 for required)\n" +
           targetHelp() +
           "\n"
           "The centre:\n"
           "  --interval-minutes M   length of an interval (default: the step of the labels where they are\n"
           "                         times, such as 08:00 or 2026-12-07 08:00, else required; given, it\n"
           "                         must agree with them)\n"
           "  --shrinkage PERCENT    paid time off the phones; scheduled = ceil(agents / (1 - shrinkage))\n"
           "                         (default 30%)\n"
           "  --hours-per-fte H      paid hours of a full-time agent a week: the totals' FTE is their\n"
           "                         scheduled hours / H (default 37.5)\n"
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
           "                         the smallest level between them where every target is met, its\n"
           "                         service shown at that level\n"
           "  --separator , | ;      the forecast's field separator; --decimal . | , its decimal mark\n"
           "                         (default: from the header: semicolons and no comma mean fields\n"
           "                         separated by ';' with decimal commas, as European spreadsheets write)\n"
           "  --compare CHANGE       also plan a variant on the same intervals: calls=+10% or aht=-15%\n"
           "                         (a share of each value), calls=-20 or aht=-15 (calls or seconds),\n"
           "                         or another forecast file of the same intervals; repeatable, each\n"
           "                         its own variant, its agents and agent-hours in columns of its name\n"
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

}  // namespace plan
}  // namespace queuecalc
