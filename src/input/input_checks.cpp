#include "input/input_checks.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "core/failure.h"
#include "core/lognormal.h"
#include "input/time_grid.h"

namespace queuecalc {

namespace {

// "<problem> Please change value 7 of the input file (INPUT.DAT)."
[[noreturn]] void reject(const std::string& problem, const std::string& values) {
    throw RunFailure(problem + " Please change value " + values + " of the input file (INPUT.DAT).");
}

void requirePositive(double value, const char* field, int position) {
    if (!(value > 0))
        reject(std::string(field) + " (" + formatValue(value) + ") must be greater than 0.",
               std::to_string(position));
    if (std::isinf(value))
        reject(std::string(field) + " (" + formatValue(value) + ") must be a finite number.",
               std::to_string(position));
}

void requireNotNegative(double value, const char* field, int position) {
    if (!(value >= 0))
        reject(std::string(field) + " (" + formatValue(value) + ") must not be negative.",
               std::to_string(position));
    if (std::isinf(value))
        reject(std::string(field) + " (" + formatValue(value) + ") must be a finite number.",
               std::to_string(position));
}

// A count as digits while it has them all, else in exponent form.
std::string formatCount(double count) {
    if (count < 1e15) return std::to_string(static_cast<long long>(count));
    return formatValue(count);
}

[[noreturn]] void tooManyMoments(double count, const ModelInput& input) {
    reject("Maximum time instance (" + formatValue(input.maxTime) +
               ") over time in between measurement moments (" + formatValue(input.momentInterval) +
               ") gives " + formatCount(count) + " measurement moments, more than the " +
               std::to_string(kMaxMomentCount) + " this program can hold.",
           "10 or 12");
}

[[noreturn]] void tooManyWaitingPlaces(int waitingPlaces) {
    reject("Number of extra waiting spaces (" + std::to_string(waitingPlaces) +
               ") is more than the " + std::to_string(kMaxWaitingPlaces) +
               " this program can hold.",
           "7");
}

}  // namespace

void checkTimeGrid(const ModelInput& input) {
    requirePositive(input.momentInterval, "Time in between measurement moments", 10);
    requireNotNegative(input.maxTime, "Maximum time instance", 12);
    // The floored quotient becomes an int; beyond its range that conversion
    // has no meaning.
    const double count = std::floor(input.maxTime / input.momentInterval);
    if (!(count <= static_cast<double>(std::numeric_limits<int>::max()))) tooManyMoments(count, input);
}

void checkMomentCount(int momentCount, const ModelInput& input) {
    if (momentCount > kMaxMomentCount) tooManyMoments(momentCount, input);
}

// The hazard arrays alone: 16 bytes per waiting space, within 2 GiB. The
// tighter published limit is checked before the queue positions are built.
void checkWaitingPlaces(int waitingPlaces) {
    if (waitingPlaces < 0)
        reject("Number of extra waiting spaces (" + std::to_string(waitingPlaces) +
                   ") must not be negative.",
               "7");
    if (waitingPlaces >= (1 << 27)) tooManyWaitingPlaces(waitingPlaces);
}

void checkChain(const ModelInput& input) {
    if (input.servers < 0)
        reject("Number of servers (" + std::to_string(input.servers) + ") must not be negative.", "6");
    const long long states = static_cast<long long>(input.servers) + input.waitingPlaces;
    if (states > kMaxSystemSize)
        reject("Number of servers (" + std::to_string(input.servers) +
                   ") and number of extra waiting spaces (" + std::to_string(input.waitingPlaces) +
                   ") add up to more than the " + std::to_string(kMaxSystemSize) +
                   " places this program can hold.",
               "6 or 7");
    requirePositive(input.serviceRate, "Individual service rate", 8);
    requirePositive(input.arrivalRate, "Arrival rate", 9);
}

void checkQueuePositionTables(int waitingPlaces) {
    if (waitingPlaces > kMaxWaitingPlaces) tooManyWaitingPlaces(waitingPlaces);
}

void checkInversionTerms(int inversionTerms) {
    if (inversionTerms < 1)
        reject("Number of terms to sum for each measurement moment (" + std::to_string(inversionTerms) +
                   ") must be at least 1.",
               "11");
    if (inversionTerms > kMaxInversionTerms)
        reject("Number of terms to sum for each measurement moment (" + std::to_string(inversionTerms) +
                   ") is more than the " + std::to_string(kMaxInversionTerms) +
                   " this program can hold.",
               "11");
}

void checkExponentialRate(double rate) {
    requireNotNegative(rate, "Exponential abandonment rate", 3);
}

// A phase count below 1 would take the factorial of a negative number and sum
// no survival terms. A rate of 0 is valid: nobody abandons.
void checkErlangParameters(double phaseRate, double phases, double arrivalRate) {
    if (!(phases >= 1))
        reject("Erlang number of phases (" + formatValue(phases) + ") must be at least 1.", "4");
    requireNotNegative(phaseRate, "Erlang rate of a phase", 3);
    requirePositive(arrivalRate, "Arrival rate", 9);
}

void checkLognormalParameters(double mean, double variance, double arrivalRate) {
    requirePositive(mean, "Lognormal mean of the abandonment time", 3);
    requirePositive(variance, "Lognormal variance of the abandonment time", 4);
    requirePositive(arrivalRate, "Arrival rate", 9);
}

void checkLognormalSpread(double mean, double variance, double sigma) {
    if (sigma > 0 && std::isfinite(sigma)) return;
    const std::string variancePart =
        "Lognormal variance of the abandonment time (" + formatValue(variance) + ")";
    const std::string meanPart = "the square of its mean (" + formatValue(mean) + ")";
    if (sigma > 0)
        reject(variancePart + " is too large beside " + meanPart +
                   ": their quotient exceeds the range of numbers.",
               "3 or 4");
    reject(variancePart + " is too small beside " + meanPart + " to be told apart from 0.", "3 or 4");
}

// The checks in the order the steps of a run have always met them: each value
// is checked right before the first step that would use it, so that for every
// input the first message is the one users have always seen.
void validateModelInput(const ModelInput& input) {
    // The decoded choices must be those of the raw values (set both through
    // ModelInput::setAbandonType and setInversionMethod): a caller's error,
    // not the user's.
    if (input.patience != decodePatienceType(input.abandonType) ||
        input.inversion != decodeInversionChoice(input.inversionMethod))
        throw std::invalid_argument(
            "ModelInput: the decoded choices disagree with abandonType or inversionMethod");
    checkTimeGrid(input);
    checkWaitingPlaces(input.waitingPlaces);
    switch (input.patience) {
        case PatienceType::Exponential:
            checkExponentialRate(input.abandonParam1);
            break;
        case PatienceType::Erlang:
            // Before any other check of the distribution, also when there
            // are no waiting places.
            if (input.abandonParam2 > kMaxErlangPhases)
                throw RunFailure("Erlang of more than " + std::to_string(kMaxErlangPhases) + " phases is not allowed.");
            checkErlangParameters(input.abandonParam1, input.abandonParam2, input.arrivalRate);
            break;
        case PatienceType::Lognormal:
            checkLognormalParameters(input.abandonParam1, input.abandonParam2, input.arrivalRate);
            checkLognormalSpread(input.abandonParam1, input.abandonParam2,
                                 lognormalSigma(input.abandonParam1, input.abandonParam2));
            break;
        case PatienceType::Unspecified:
            throw RunFailure(
                "Unspecified abandonment time distribution. Please change the input file (INPUT.DAT).");
    }
    checkChain(input);
    checkQueuePositionTables(input.waitingPlaces);
    checkMomentCount(computeMomentCount(input.maxTime, input.momentInterval), input);
    checkInversionTerms(input.inversionTerms);
}

}  // namespace queuecalc
