#include "input/input_checks.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "core/failure.h"
#include "core/lognormal.h"
#include "input/model_fields.h"
#include "input/time_grid.h"

namespace queuecalc {

namespace {

// "<problem> Please change value 7 of the input file (INPUT.DAT)."
[[noreturn]] void reject(const std::string& problem, const std::string& values) {
    throw RunFailure(problem + " Please change value " + values + " of the input file (INPUT.DAT).");
}

// The bound of `least` on a value named `named` ("Arrival rate (0)") at
// `position`; a real value with a bound must also be finite.
void requireLeast(const std::string& named, int position, FieldLeast least, bool real, double value) {
    const std::string place = std::to_string(position);
    switch (least) {
        case FieldLeast::Any: return;
        case FieldLeast::AboveZero:
            if (!(value > 0)) reject(named + " must be greater than 0.", place);
            break;
        case FieldLeast::Zero:
            if (!(value >= 0)) reject(named + " must not be negative.", place);
            break;
        case FieldLeast::One:
            if (!(value >= 1)) reject(named + " must be at least 1.", place);
            break;
    }
    if (real && std::isinf(value)) reject(named + " must be a finite number.", place);
}

// The field's own bound, from the table of fields.
void requireLeast(const ModelField& field, double value) {
    requireLeast(wordsWithValue(field, value), field.position, field.least, field.type == FieldType::Real, value);
}

// A parameter of a patience distribution, which names it in its own words.
void requireParameter(double ModelInput::*member, const char* words, FieldLeast least, double value) {
    requireLeast(std::string(words) + " (" + formatValue(value) + ")", modelField(member).position, least, true,
                 value);
}

[[noreturn]] void tooMany(const ModelField& field, int value) {
    reject(wordsWithValue(field, value) + " is more than the " + std::to_string(field.most) +
               " this program can hold.",
           std::to_string(field.position));
}

void requireMost(const ModelField& field, int value) {
    if (value > field.most) tooMany(field, value);
}

// A count as digits while it has them all, else in exponent form.
std::string formatCount(double count) {
    if (count < 1e15) return std::to_string(static_cast<long long>(count));
    return formatValue(count);
}

[[noreturn]] void tooManyMoments(double count, const ModelInput& input) {
    const ModelField& maxTime = modelField(&ModelInput::maxTime);
    const ModelField& interval = modelField(&ModelInput::momentInterval);
    reject(wordsWithValue(maxTime, input.maxTime) + " over " + interval.words + " (" +
               formatValue(input.momentInterval) + ") gives " + formatCount(count) + " measurement moments, more than the " +
               std::to_string(kMaxMomentCount) + " this program can hold.",
           std::to_string(interval.position) + " or " + std::to_string(maxTime.position));
}

}  // namespace

void checkTimeGrid(const ModelInput& input) {
    requireLeast(modelField(&ModelInput::momentInterval), input.momentInterval);
    requireLeast(modelField(&ModelInput::maxTime), input.maxTime);
    // The floored quotient becomes an int; beyond its range that conversion
    // has no meaning.
    const double count = std::floor(input.maxTime / input.momentInterval);
    if (!(count <= static_cast<double>(std::numeric_limits<int>::max()))) tooManyMoments(count, input);
}

void checkMomentCount(int momentCount, const ModelInput& input) {
    if (momentCount > kMaxMomentCount) tooManyMoments(momentCount, input);
}

// The hazard arrays alone: 16 bytes per waiting space, within 2 GiB. The
// tighter published limit is checked before the queue positions are built,
// but this message already names it.
void checkWaitingPlaces(int waitingPlaces) {
    const ModelField& field = modelField(&ModelInput::waitingPlaces);
    requireLeast(field, waitingPlaces);
    if (waitingPlaces >= (1 << 27)) tooMany(field, waitingPlaces);
}

// The servers' limit is on servers and waiting places together.
void checkChain(const ModelInput& input) {
    const ModelField& servers = modelField(&ModelInput::servers);
    const ModelField& places = modelField(&ModelInput::waitingPlaces);
    requireLeast(servers, input.servers);
    const long long states = static_cast<long long>(input.servers) + input.waitingPlaces;
    if (states > servers.most)
        reject(wordsWithValue(servers, input.servers) + " and " + places.words + " (" +
                   std::to_string(input.waitingPlaces) + ") add up to more than the " + std::to_string(servers.most) +
                   " places this program can hold.",
               std::to_string(servers.position) + " or " + std::to_string(places.position));
    requireLeast(modelField(&ModelInput::serviceRate), input.serviceRate);
    requireLeast(modelField(&ModelInput::arrivalRate), input.arrivalRate);
}

void checkQueuePositionTables(int waitingPlaces) {
    requireMost(modelField(&ModelInput::waitingPlaces), waitingPlaces);
}

void checkInversionTerms(int inversionTerms) {
    const ModelField& field = modelField(&ModelInput::inversionTerms);
    requireLeast(field, inversionTerms);
    requireMost(field, inversionTerms);
}

void checkExponentialRate(double rate) {
    requireParameter(&ModelInput::abandonParam1, "Exponential abandonment rate", FieldLeast::Zero, rate);
}

// A phase count below 1 would take the factorial of a negative number and sum
// no survival terms (an infinite count has failed the phase limit before). A
// rate of 0 is valid: nobody abandons.
void checkErlangParameters(double phaseRate, double phases, double arrivalRate) {
    if (!(phases >= 1))
        reject("Erlang number of phases (" + formatValue(phases) + ") must be at least 1.",
               std::to_string(modelField(&ModelInput::abandonParam2).position));
    requireParameter(&ModelInput::abandonParam1, "Erlang rate of a phase", FieldLeast::Zero, phaseRate);
    requireLeast(modelField(&ModelInput::arrivalRate), arrivalRate);
}

void checkLognormalParameters(double mean, double variance, double arrivalRate) {
    requireParameter(&ModelInput::abandonParam1, "Lognormal mean of the abandonment time", FieldLeast::AboveZero,
                     mean);
    requireParameter(&ModelInput::abandonParam2, "Lognormal variance of the abandonment time",
                     FieldLeast::AboveZero, variance);
    requireLeast(modelField(&ModelInput::arrivalRate), arrivalRate);
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
