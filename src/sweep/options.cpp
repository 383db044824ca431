#include "sweep/options.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "core/failure.h"
#include "cli/command_line.h"
#include "cli/target_option.h"
#include "report/measure_labels.h"
#include "core/echo_text.h"

namespace queuecalc {
namespace sweep {

namespace {

double thresholdOption(const std::string& text) {
    std::istringstream in(text);
    double tau = 0;
    if (text.empty() || !(in >> tau) || in.peek() != std::char_traits<char>::eof() || !(tau > 0) ||
        !std::isfinite(tau))
        throw UsageError("--at '" + echoText(text) + "': expected a finite number above 0");
    return tau;
}

void addMoment(std::vector<double>& moments, double tau) {
    if (std::find(moments.begin(), moments.end(), tau) == moments.end()) moments.push_back(tau);
}

// Each field is set or varied at most once, and never the staffed one.
void checkFields(const SweepOptions& options) {
    std::vector<std::string> named;
    const auto claim = [&](const std::string& name, const char* how) {
        if (std::find(named.begin(), named.end(), name) != named.end())
            throw UsageError(name + " is set or varied more than once");
        if (options.staff && name == staffedModelField(options.staffed).name)
            throw UsageError(name + " is " + how + " and staffed at once: --staff finds its value");
        named.push_back(name);
    };
    for (const FieldSetting& s : options.settings) claim(s.field->name, "set");
    for (const FieldValues& v : options.varied) claim(v.field()->name, "varied");
}

}  // namespace

SweepOptions parseOptions(const std::vector<std::string>& args, unsigned cores) {
    SweepOptions options;
    options.jobs = std::max(1u, std::min(cores, kMaxJobs));
    CommandLine line(args);
    while (line.next()) {
        const std::string& option = line.option();
        if (option == "--help" || option == "-h") {
            line.noValue();
            options.help = true;
        } else if (option == "--input") {
            options.inputPath = line.takeValue();
            if (options.inputPath.empty()) throw UsageError("--input needs a file name");
        } else if (option == "--set") {
            options.settings.push_back(parseSetting(line.takeValue()));
        } else if (option == "--vary") {
            options.varied.push_back(parseFieldValues(line.takeValue()));
        } else if (option == "--at") {
            addMoment(options.moments, thresholdOption(line.takeValue()));
        } else if (option == "--model") {
            options.model = modelOption(line.takeValue());
        } else if (option == "--method") {
            options.method = methodOption(line.takeValue());
        } else if (option == "--target") {
            options.targets.push_back(parseTarget(line.takeValue()));
        } else if (option == "--staff") {
            options.staff = true;
            // The field is optional: taken when the next word names one.
            std::string field = line.inlineValue();
            line.takeFollowingIf([](const std::string& next) { return next == "servers" || next == "waitingPlaces"; },
                                 field);
            if (field == "waitingPlaces") options.staffed = StaffedField::WaitingPlaces;
            else if (field.empty() || field == "servers") options.staffed = StaffedField::Servers;
            else throw UsageError("--staff '" + echoText(field) + "': expected servers or waitingPlaces");
        } else if (option == "--staff-max") {
            options.staffLimit = static_cast<int>(wholeOption(option, line.takeValue(), 1, 2147483647));
        } else if (option == "--out") {
            options.outPath = line.takeValue();
            if (options.outPath.empty()) throw UsageError("--out needs a file name");
        } else if (option == "--html") {
            options.htmlPath = line.takeValue();
            if (options.htmlPath.empty()) throw UsageError("--html needs a file name");
        } else if (option == "--jobs") {
            options.jobs = static_cast<unsigned>(wholeOption(option, line.takeValue(), 1, kMaxJobs));
        } else if (option == "--shard") {
            options.shard = parseShard(line.takeValue());
        } else if (option == "--no-header") {
            line.noValue();
            options.header = false;
        } else {
            throw UsageError("unknown option '" + echoText(line.argument()) + "'");
        }
    }
    if (options.help) return options;
    if (options.staff && options.targets.empty()) throw UsageError("--staff needs at least one --target");
    if (!options.staff && !options.targets.empty()) throw UsageError("--target needs --staff");
    if (options.staffLimit > 0 && !options.staff) throw UsageError("--staff-max needs --staff");
    if (!options.htmlPath.empty() && options.varied.empty()) throw UsageError("--html needs a --vary to draw against");
    checkFields(options);
    checkMethodWithModel(options.model, options.method.has_value());
    for (double tau : targetThresholds(options.targets)) addMoment(options.moments, tau);
    return options;
}

std::string usageText() {
    return R"(usage: queuecalc-sweep [OPTION]...
Computes the call-centre queue of INPUT.DAT for many scenarios at once and
writes one CSV row per scenario: the varied fields, the fifteen measures,
occupancy, ASA, meanQueueLength, abandonRate, and per --at threshold the
service level SL(TAU), bound(TAU) and P(W<=TAU|S).

Scenarios:
  --input FILE          base scenario (default INPUT.DAT); BINOMDIST.DAT beside it
                        is used when present, else exact coefficients
  --set NAME=VALUE      override one field of the input (names as in the README:
                        servers, waitingPlaces, serviceRate, arrivalRate,
                        abandonType, abandonParam1, abandonParam2, abandonParam3,
                        momentInterval, inversionTerms, maxTime, inversionMethod,
                        consoleReport)
  --vary NAME=FROM:TO[:STEP]
  --vary NAME=V1,V2,... vary one field; several make the full grid, the last
                        varying fastest; real fields need a step or a list
Measures:
  --at TAU              service level at t = TAU (repeatable)
  --model exact|chain   the model of the queue (default exact: the queue itself,
                        M/M/s/(s+r)+GI for any patience, every value with a bound
                        of its error, bound(TAU) that of SL(TAU), 1e-15 to 1e-13;
                        chain: the calculator's birth-and-death chain, whose
                        k-th waiting caller abandons at the patience hazard at
                        k/arrivalRate, exact for exponential patience only, its
                        measures the calculator's to the bit)
  --method exact|euler|talbot
                        with --model chain: how its waiting-time distribution at
                        the thresholds is computed (default: exact, with
                        bound(TAU) a certified bound of SL(TAU)'s absolute
                        error, about 1e-15; euler and talbot are the
                        calculator's inversions with inversionTerms terms,
                        value 13 ignored, bound empty)
Staffing:
  --staff [servers|waitingPlaces]
                        per scenario, the smallest number of agents (or waiting
                        places) that meets every target
  --target EXPR         COLUMN>=VALUE or COLUMN<=VALUE over any result column,
                        e.g. SL(20)>=0.8, P(A)<=0.05, ASA<=30 (repeatable);
                        over a share (P(Loss), P(NoWait), P(S), P(A),
                        occupancy, SL(TAU), P(W<=TAU|S)) 80, 80% and 0.8 all
                        mean 80 % (a bare number above 1 is per cent, a bare 1
                        is refused: write 1% or 100%), echoed on standard
                        error where written in per cent
  --staff-max N         largest value the search tries (default: agents
                        2*ceil(arrivalRate/serviceRate)+1000, waiting places 1000)
Output:
  --out FILE            write to FILE (complete, then renamed into place)
                        instead of standard output
  --html FILE           also write charts to FILE (one HTML page): each numeric
                        column against the first varied field, a line for each
                        value of the other varied fields (the first 5)
  --jobs N              threads (default: all cores)
  --shard I/N           only part I (0 .. N-1) of the grid cut into N parts,
                        N at most 999999999; the parts' outputs put one after
                        the other are the table
  --no-header           leave out the header row
  --help                this text

Every row runs the calculator's checks; a row whose values are impossible
(not finite, outside [0, 1], decreasing) or untrustworthy (estimated error
above 1e-5) gets a note saying why and what to do, and staffing never answers
from such a scenario. Warnings about the input go to standard error once.

Exit status: 0 when every row has its measures and passes its checks, 1 when
a row has no measures (a rejected scenario, or no staffing answer) or fails
its checks, the input files cannot be read or the table cannot be written
(the sweep then stops), 2 for a bad option or expression.
)";
}

}  // namespace sweep
}  // namespace queuecalc
