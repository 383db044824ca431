#include "engine/input_warnings.h"

#include <cmath>

#include "input/binomial_row.h"
#include "input/input_checks.h"
#include "input/time_grid.h"
#include "model/performance.h"

namespace queuecalc {

namespace {

InputWarning warning(InputProblem problem, int position, double value, const ModelInput& input) {
    InputWarning w;
    w.problem = problem;
    w.position = position;
    w.value = value;
    w.input = input;
    return w;
}

// Value 1: documented are 1 (summary) and 0 (none); anything else also prints
// none, which is more likely a slip than a choice.
void checkConsoleSwitch(const ModelInput& input, std::vector<InputWarning>& warnings) {
    if (input.consoleReport == 0 || input.consoleReport == 1) return;
    warnings.push_back(warning(InputProblem::ConsoleSwitch, 1, input.consoleReport, input));
}

// Value 4 of an Erlang patience: the hazard rates form the density with the
// phase count as written (p1^p2 x^(p2-1)) but the factorial and the survival
// sum with its whole part, so a fraction gives no Erlang distribution at all.
void checkErlangPhases(const ModelInput& input, std::vector<InputWarning>& warnings) {
    if (input.patience != PatienceType::Erlang) return;
    const double phases = input.abandonParam2;
    if (phases == std::floor(phases)) return;
    warnings.push_back(warning(InputProblem::ErlangPhases, 4, phases, input));
}

// Value 6: without agents nobody is served; RHO is infinite and the served
// callers' distribution is 0 / 0 rounded.
void checkServers(const ModelInput& input, std::vector<InputWarning>& warnings) {
    if (input.servers != 0) return;
    warnings.push_back(warning(InputProblem::NoServers, 6, 0, input));
}

// Values 8 and 9: a load per agent far above 1 is legal (the queue is finite)
// but typical of an arrival rate per hour beside a service rate per second.
void checkLoad(const ModelInput& input, std::vector<InputWarning>& warnings) {
    if (input.servers == 0) return;  // said above
    const double rho = computeRho(input);
    if (!(rho > kPlausibleLoad)) return;
    warnings.push_back(warning(InputProblem::ImplausibleLoad, 9, rho, input));
}

// Values 10 and 12: no moment at all, or a last moment lost to the rounding
// of the quotient (0.3 / 0.1 is 2.9999999999999996 in double precision).
void checkTimeGridCount(const ModelInput& input, std::vector<InputWarning>& warnings) {
    const double quotient = input.maxTime / input.momentInterval;
    const int count = computeMomentCount(input.maxTime, input.momentInterval);
    if (count == 0 && quotient < 1 - 1e-9) {
        warnings.push_back(warning(InputProblem::NoMoments, 12, quotient, input));
        return;
    }
    // Within a relative 1e-9 below the next whole number: meant as a multiple.
    const double next = std::floor(quotient) + 1;
    if (next - quotient > 1e-9 * next) return;
    InputWarning w = warning(InputProblem::MomentLeftOut, 12, quotient, input);
    w.expected = next * input.momentInterval;  // the moment left out
    warnings.push_back(w);
}

// Value 13: documented are -1, 0 and 1; any other number acts as its sign.
void checkAlgorithmSwitch(const ModelInput& input, std::vector<InputWarning>& warnings) {
    const int m = input.inversionMethod;
    if (m >= -1 && m <= 1) return;
    warnings.push_back(warning(InputProblem::AlgorithmSwitch, 13, m, input));
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
        InputWarning w = warning(InputProblem::BinomialRow, 0, found, input);
        w.expected = expected;
        w.entry = k;
        w.tableDimension = table.dimension;
        warnings.push_back(w);
        return;
    }
}

}  // namespace

std::vector<InputWarning> checkRunOns(const InputNotes& notes) {
    std::vector<InputWarning> warnings;
    for (const RunOnValue& runOn : notes.runOns) {
        InputWarning w;
        w.problem = InputProblem::RunOnValue;
        w.position = runOn.position;
        w.runOn = runOn;
        warnings.push_back(w);
    }
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

}  // namespace queuecalc
