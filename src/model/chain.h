#pragma once
#include <vector>

namespace queuecalc {

struct ChainSolution {
    std::vector<double> deathRate;         // s + r + 1; [0] = -1 placeholder
    std::vector<double> unnormalisedDist;  // weights anchored at state s (at the
                                           // largest weight when they overflow)
    std::vector<double> stationaryDist;    // pi_i
    std::vector<double> admittedDist;      // pi_i / (1 - pi_{s+r})
    double lossProb = 0;                   // pi_{s+r}
};

ChainSolution solveChain(int servers, int waitingPlaces, double serviceRate, double arrivalRate,
                         const std::vector<double>& cumulativeAbandonRate);

}  // namespace queuecalc
