#include "engine/input_warnings.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "input/binomial_row.h"
#include "input/input_checks.h"
#include "input/model_fields.h"
#include "input/time_grid.h"
#include "model/performance.h"

namespace queuecalc {

namespace {

const char* const kInFile = " of the input file (INPUT.DAT)";

std::string capitalised(std::string text) {
    if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

// A number with `digits` significant digits, for a suggested value.
std::string withDigits(double value, int digits) { return formatDigits(value, digits); }

std::string runOnWarning(const RunOnValue& runOn) {
    const std::string field = capitalised(inputFieldName(runOn.position));
    const std::string place = "value " + std::to_string(runOn.position) + kInFile;
    if (!runOn.restIsNextValue)
        return field + " is read as " + runOn.value + " from \"" + runOn.text + "\"; the rest \"" +
               runOn.rest + "\" is never read.\nPlease write " + place + " as a whole number.";
    std::string text = field + " is read as " + runOn.value + " from \"" + runOn.text +
                       "\", and the rest \"" + runOn.rest + "\" as value " +
                       std::to_string(runOn.position + 1) + " (" + inputFieldName(runOn.position + 1) +
                       "), so every later value moves up one place.\n";
    if (isWholeNumberField(runOn.position))
        return text + "Please write " + place +
               " as a whole number, or add the value that is missing before it.";
    return text + "Please put white space between values " + std::to_string(runOn.position) + " and " +
           std::to_string(runOn.position + 1) + kInFile + ".";
}

// Value 1: documented are 1 (summary) and 0 (none); anything else also prints
// none, which is more likely a slip than a choice.
void checkConsoleSwitch(const ModelInput& input, std::vector<InputWarning>& warnings) {
    if (input.consoleReport == 0 || input.consoleReport == 1) return;
    warnings.push_back({InputProblem::ConsoleSwitch, 1, static_cast<double>(input.consoleReport), "Console report switch (" + std::to_string(input.consoleReport) +
                       ") is neither 1 nor 0, so no summary is printed.\nPlease change value 1" +
                       kInFile + " to 1 for the summary or to 0 for none."});
}

// Value 4 of an Erlang patience: the hazard rates form the density with the
// phase count as written (p1^p2 x^(p2-1)) but the factorial and the survival
// sum with its whole part, so a fraction gives no Erlang distribution at all.
void checkErlangPhases(const ModelInput& input, std::vector<InputWarning>& warnings) {
    if (input.patience != PatienceType::Erlang) return;
    const double phases = input.abandonParam2;
    if (phases == std::floor(phases)) return;
    const std::string whole = formatValue(std::floor(phases));
    warnings.push_back({InputProblem::ErlangPhases, 4, phases, "Erlang number of phases (" + formatValue(phases) +
                       ") is not a whole number: the density is formed with " + formatValue(phases) +
                       " phases and the survival with " + whole +
                       ", which is no Erlang distribution.\nPlease change value 4" + kInFile +
                       " to a whole number."});
}

// Value 6: without agents nobody is served; RHO is infinite and the served
// callers' distribution is 0 / 0 rounded.
void checkServers(const ModelInput& input, std::vector<InputWarning>& warnings) {
    if (input.servers != 0) return;
    warnings.push_back({InputProblem::NoServers, 6, 0, "Number of servers (0) leaves no agent: no call is ever served, RHO is infinite "
                       "and the waiting-time distribution of served calls has no meaning.\nPlease change "
                       "value 6" +
                       std::string(kInFile) + "."});
}

// Values 8 and 9: a load per agent far above 1 is legal (the queue is finite)
// but typical of an arrival rate per hour beside a service rate per second.
void checkLoad(const ModelInput& input, std::vector<InputWarning>& warnings) {
    if (input.servers == 0) return;  // said above
    const double rho = computeRho(input);
    if (!(rho > kPlausibleLoad)) return;
    warnings.push_back({InputProblem::ImplausibleLoad, 9, rho, "Offered load per server (RHO = " + withDigits(rho, 6) + ") is above " +
                       formatValue(kPlausibleLoad) + ": arrival rate " + formatValue(input.arrivalRate) +
                       " for " + std::to_string(input.servers) + " servers of individual service rate " +
                       formatValue(input.serviceRate) + ".\nPlease check that the arrival rate and the "
                       "individual service rate (values 9 and 8" +
                       kInFile + ") use the same time unit."});
}

// Values 10 and 12: no moment at all, or a last moment lost to the rounding
// of the quotient (0.3 / 0.1 is 2.9999999999999996 in double precision).
void checkTimeGridCount(const ModelInput& input, std::vector<InputWarning>& warnings) {
    const double quotient = input.maxTime / input.momentInterval;
    const int count = computeMomentCount(input.maxTime, input.momentInterval);
    if (count == 0 && quotient < 1 - 1e-9) {
        warnings.push_back({InputProblem::NoMoments, 12, quotient, "Maximum time instance (" + formatValue(input.maxTime) +
                           ") is smaller than the time in between measurement moments (" +
                           formatValue(input.momentInterval) +
                           "): there is no measurement moment and the waiting-time tables are empty.\n"
                           "Please change value 10 or 12" +
                           std::string(kInFile) + "."});
        return;
    }
    // Within a relative 1e-9 below the next whole number: meant as a multiple.
    const double next = std::floor(quotient) + 1;
    if (next - quotient > 1e-9 * next) return;
    const double missed = next * input.momentInterval;
    warnings.push_back({InputProblem::MomentLeftOut, 12, quotient, "Maximum time instance (" + formatValue(input.maxTime) +
                       ") over the time in between measurement moments (" +
                       formatValue(input.momentInterval) + ") is " + formatValue(quotient) +
                       " in double precision, so the moment " + withDigits(missed, 6) +
                       " is left out.\nPlease write value 12" + kInFile + " a little larger (" +
                       withDigits(input.maxTime + 1e-6 * input.momentInterval, 9) + ", say) to include it."});
}

// Value 13: documented are -1, 0 and 1; any other number acts as its sign.
void checkAlgorithmSwitch(const ModelInput& input, std::vector<InputWarning>& warnings) {
    const int m = input.inversionMethod;
    if (m >= -1 && m <= 1) return;
    warnings.push_back({InputProblem::AlgorithmSwitch, 13, static_cast<double>(m), "Inverse Laplace transform algorithm (" + std::to_string(m) +
                       ") is not -1, 0 or 1; it runs " +
                       (m < 0 ? "the Euler algorithm, as -1 does." : "the Talbot algorithm, as 1 does.") +
                       "\nPlease change value 13" + kInFile + " to -1 (Euler), 1 (Talbot) or 0 (both)."});
}

// Row M of "BINOMDIST.DAT", entries 1 .. M-1, weighs the Euler terms; a
// table written by another rule gives wrong Euler curves without a sign.
// Compared with the exact coefficients, correctly rounded, with a relative
// 1e-9 to spare for a file written with ten significant digits. Rows beyond
// the range of double (M above 1029) are not compared.
void checkBinomialRow(const ModelInput& input, const BinomialTable& table,
                      std::vector<InputWarning>& warnings) {
    // A program that computes the exact rows itself passes no table.
    if (!runsEuler(input.inversion) || input.inversionTerms > kLastFiniteBinomialRow ||
        table.dimension < input.inversionTerms)
        return;
    const int m = input.inversionTerms;
    const std::vector<double> exact = exactBinomialRow(m);
    for (int k = 1; k <= m - 1; ++k) {
        const double expected = exact[static_cast<std::size_t>(k)];
        const double found = table.rows[m][k];
        if (std::fabs(found - expected) <= 1e-9 * expected) continue;
        warnings.push_back({InputProblem::BinomialRow, 0, found, "Binomial distribution data file (BINOMDIST.DAT) holds " + formatValue(found) +
                           " at entry [" + std::to_string(m) + "][" + std::to_string(k) + "], not C(" +
                           std::to_string(m) + ", " + std::to_string(k) + ") = " + formatValue(expected) +
                           ", and the Euler results rest on it.\nPlease write the file again (binomdist " +
                           std::to_string(table.dimension) + " BINOMDIST.DAT)."});
        return;
    }
}

}  // namespace

std::vector<InputWarning> checkRunOns(const InputNotes& notes) {
    std::vector<InputWarning> warnings;
    for (const RunOnValue& runOn : notes.runOns)
        warnings.push_back({InputProblem::RunOnValue, runOn.position, 0, runOnWarning(runOn)});
    return warnings;
}

std::vector<InputWarning> checkInputValues(const ModelInput& input) {
    std::vector<InputWarning> warnings;
    checkConsoleSwitch(input, warnings);
    checkErlangPhases(input, warnings);
    checkServers(input, warnings);
    checkLoad(input, warnings);
    checkTimeGridCount(input, warnings);
    checkAlgorithmSwitch(input, warnings);
    return warnings;
}

std::vector<InputWarning> checkBinomialRowValues(const ModelInput& input, const BinomialTable& table) {
    std::vector<InputWarning> warnings;
    checkBinomialRow(input, table, warnings);
    return warnings;
}

std::vector<InputWarning> checkInputValues(const ModelInput& input, const BinomialTable& table) {
    std::vector<InputWarning> warnings = checkInputValues(input);
    checkBinomialRow(input, table, warnings);
    return warnings;
}

namespace {
std::vector<std::string> texts(const std::vector<InputWarning>& warnings) {
    std::vector<std::string> result;
    for (const InputWarning& w : warnings) result.push_back(w.text);
    return result;
}
}  // namespace

std::vector<std::string> runOnWarnings(const InputNotes& notes) { return texts(checkRunOns(notes)); }

std::vector<std::string> inputWarnings(const ModelInput& input, const BinomialTable& table) {
    return texts(checkInputValues(input, table));
}

}  // namespace queuecalc
