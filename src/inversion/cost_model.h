#pragma once
// The one cost model of the program: the work of the waiting-time
// computation counted in step factors c / (z + c), and the seconds it is
// expected to take. The thread sharing, the spot checks, the progress line,
// the time estimates and the benchmarks all count in it.

#include <cstddef>
#include <cstdint>

#include "core/choices.h"

namespace queuecalc {

// The step factors of one transform value: r(r + 1)/2, one per cell of the
// position tables.
inline std::uint64_t stepFactorsPerPoint(int waitingPlaces) {
    const std::uint64_t r = static_cast<std::uint64_t>(waitingPlaces);
    return r * (r + 1) / 2;
}

// The work of one transform value: its step factors and the r + 1
// positions' sums.
inline double workPerPoint(int waitingPlaces) {
    return static_cast<double>(stepFactorsPerPoint(waitingPlaces)) + waitingPlaces + 1;
}

// Transform values per moment: 2M + 1 for Euler, M for Talbot.
inline std::size_t nodesPerMoment(InversionAlgorithm algorithm, int inversionTerms) {
    const std::size_t m = static_cast<std::size_t>(inversionTerms);
    return algorithm == InversionAlgorithm::Euler ? 2 * m + 1 : m;
}

// Transform values per moment of the algorithms an input chooses.
inline std::size_t nodesPerMoment(InversionChoice choice, int inversionTerms) {
    return (runsEuler(choice) ? nodesPerMoment(InversionAlgorithm::Euler, inversionTerms) : 0) +
           (runsTalbot(choice) ? nodesPerMoment(InversionAlgorithm::Talbot, inversionTerms) : 0);
}

// The rate of the fast engine in step factors a second: what it reaches on
// two cores with AVX-512 (1.5e9 on examples/large), rounded up, so that an
// estimate errs towards a shorter run.
constexpr double kStepFactorsPerSecond = 2e9;
// The model's r(r + 1)/2 queue-position cells are each formed twice (for the
// chance to be served and for the measures, with a division each), at about
// 2.5e8 cells a second (0.36 s at r = 13376 on an AMD EPYC of family 25).
constexpr double kTableCellsPerSecond = 2.5e8;

// The expected seconds of an inversion: `moments` moments of
// `nodesPerMoment` transform values each.
inline double expectedInversionSeconds(int waitingPlaces, std::size_t nodes, std::size_t moments) {
    return workPerPoint(waitingPlaces) * static_cast<double>(nodes) * static_cast<double>(moments) /
           kStepFactorsPerSecond;
}

// The expected seconds of building the model.
inline double expectedModelSeconds(int waitingPlaces) {
    const double r = waitingPlaces;
    return r * (r + 1) / 2 / kTableCellsPerSecond;
}

}  // namespace queuecalc
