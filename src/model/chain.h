#pragma once
// The birth-and-death chain of the number of customers present.

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

// The stationary distribution of the chain on the states 0 .. s + r (the
// number of customers present): births at lambda below s + r, deaths at
// i mu up to s and s mu + cumulativeAbandonRate[i - s] above (the k-th waiting
// customer abandons at the hazard rate of position k). Method and order of
// the operations: see chain.cpp. Needs validated rates (mu, lambda > 0 and
// finite, s, r >= 0) and cumulativeAbandonRate of r + 1 entries, [0] = 0.
// lossProb = p_{s+r}, the share of arrivals that find the system full;
// admittedDist = p_i / (1 - lossProb). Where no arrival is admitted (s = r = 0)
// the admitted distribution is the quotient as it falls (inf), and the
// measures that use it follow the plain formulas.
ChainSolution solveChain(int servers, int waitingPlaces, double serviceRate, double arrivalRate,
                         const std::vector<double>& cumulativeAbandonRate);
// The same into `c`, reusing the capacity of its vectors; the same values.
void solveChainInto(ChainSolution& c, int servers, int waitingPlaces, double serviceRate, double arrivalRate,
                    const std::vector<double>& cumulativeAbandonRate);

}  // namespace queuecalc
