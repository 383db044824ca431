#pragma once
// Values of "INPUT.DAT" that have no meaning for the computation, and sizes
// too large to hold: the one place where the input is checked. The checks run
// in the order in which the steps of a run would first use each value, so that
// the checks every run has always made (the missing files, the binomial
// dimension, the Erlang phase limit, the distribution type) come first
// wherever they did. Every check throws RunFailure with a message that names
// the field, its value and its place in the file. The computation assumes an
// input that validateModelInput accepted.

#include <string>

#include "core/number_text.h"  // formatValue, for the messages
#include "input/model_input.h"

namespace queuecalc {

// Every limit but the waiting places' keeps one group of arrays within 2 GiB
// of memory.
// Measurement moments: the grid, up to four curves and two lines of the
// results file, at most 128 bytes per moment.
constexpr int kMaxMomentCount = 1 << 24;
// Extra waiting spaces: the program's published limit, which its messages
// name. It was set when the queue positions took 3 * 8 * r(r + 1)/2 bytes;
// they now take O(r), but a transform value still costs r(r + 1)/2 steps.
constexpr int kMaxWaitingPlaces = 13376;
// Servers plus extra waiting spaces: four arrays of s + r + 1 doubles.
constexpr int kMaxSystemSize = (1 << 26) - 1;
// Terms per moment: nodes, weights and the transform values of a batch of
// moments, about 2 KiB per term.
constexpr int kMaxInversionTerms = 1 << 20;
// Binomial table dimension N: (N + 1)^2 doubles.
constexpr int kMaxBinomialDimension = 16383;
// Erlang phases of the patience: the hazard's factorial table ends at 12!.
constexpr int kMaxErlangPhases = 12;

// Every check of "INPUT.DAT" in the order in which the calculator has always
// made them: the time grid (values 10, 12), the waiting places (7), the
// Erlang phase limit, the distribution type (2), the parameters of the
// distribution (3, 4, and 9 where the rates use it), the chain (6, 7, 8, 9),
// the size of the position tables (7), the number of moments (10, 12) and
// the number of terms (11). Throws RunFailure with the first failed check's
// message. An input it accepts can be built and evaluated (engine/queue_model.h).
void validateModelInput(const ModelInput& input);

// Before momentCount is formed: momentInterval > 0, maxTime >= 0, both
// finite, and a quotient whose floor fits the int.
void checkTimeGrid(const ModelInput& input);

// Before the grid and the curves are allocated.
void checkMomentCount(int momentCount, const ModelInput& input);

// Before the hazard rate arrays of r + 1 doubles: r >= 0 and not huge.
void checkWaitingPlaces(int waitingPlaces);

// Before the chain: servers >= 0, s + r within limits, serviceRate and
// arrivalRate positive and finite.
void checkChain(const ModelInput& input);

// Before the queue-position tables: r within kMaxWaitingPlaces.
void checkQueuePositionTables(int waitingPlaces);

// Before the first inversion: 1 <= inversionTerms <= kMaxInversionTerms.
void checkInversionTerms(int inversionTerms);

// The parameters of each patience distribution, checked after the Erlang
// phase limit and before any rate is formed.
void checkExponentialRate(double rate);
void checkErlangParameters(double phaseRate, double phases, double arrivalRate);
void checkLognormalParameters(double mean, double variance, double arrivalRate);
// sigma = sqrt(log(variance / mean^2 + 1)) as the rates form it: zero or
// infinite when the quotient is beyond what a double resolves.
void checkLognormalSpread(double mean, double variance, double sigma);

}  // namespace queuecalc
