// The chain where its plain weights leave the range of doubles: many idle
// agents (p_0 / p_s = s! (mu/lambda)^s) or a long queue in overload.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/chain.h"
#include "model/hazard_rates.h"
#include "model/performance.h"
#include "model/queue_positions.h"
#include "support/measured_error.h"

using namespace queuecalc;

namespace {

const double kRelative = 1e-12;

// Stationary distribution from log-weights in long double, normalised at
// the largest: an independent route that cannot overflow.
std::vector<long double> logReference(int s, int r, double mu, double lambda,
                                      const std::vector<double>& cumulative) {
    const int top = s + r;
    std::vector<long double> lw(static_cast<std::size_t>(top) + 1, 0);
    for (int i = 1; i <= top; ++i) {
        const long double death = i <= s ? static_cast<long double>(i) * mu
                                         : static_cast<long double>(s) * mu + cumulative[i - s];
        lw[i] = lw[i - 1] + std::log(static_cast<long double>(lambda)) - std::log(death);
    }
    long double largest = lw[0];
    for (long double v : lw) largest = std::max(largest, v);
    long double total = 0;
    for (long double& v : lw) total += (v = std::exp(v - largest));
    for (long double& v : lw) v /= total;
    return lw;
}

double worstRelativeError(const std::vector<double>& got, const std::vector<long double>& want) {
    double worst = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (want[i] < 1e-250L) continue;  // below the range the doubles can show
        worst = std::max(worst, static_cast<double>(std::fabs(got[i] / want[i] - 1)));
    }
    return worst;
}

}  // namespace

TEST(ChainOverflow, ManyIdleAgentsGiveAProperDistributionInsteadOfNaN) {
    const int s = 200, r = 10;
    const HazardRates h = buildHazardRates(PatienceType::Exponential, 0.5, -1, r, 1.0);
    const ChainSolution c = solveChain(s, r, 1.0, 1.0, h.cumulativeAbandonRate);
    const std::vector<long double> want = logReference(s, r, 1.0, 1.0, h.cumulativeAbandonRate);
    const double worst = worstRelativeError(c.stationaryDist, want);
    testsupport::reportWorstError("chain with 200 idle agents", testsupport::ErrorKind::Relative, worst, kRelative);
    EXPECT_LT(worst, kRelative);
    EXPECT_NEAR(c.stationaryDist[1], std::exp(-1.0), 1e-12) << "Poisson(1) at 1 busy agent";

    ModelInput in;
    in.servers = s;
    in.waitingPlaces = r;
    in.serviceRate = 1.0;
    in.arrivalRate = 1.0;
    const QueuePositionTables t = buildQueuePositionTables(s, r, 1.0, h.hazardRate, h.cumulativeAbandonRate);
    const PerformanceMeasures m = computePerformanceMeasures(in, c.stationaryDist, c.admittedDist, t);
    EXPECT_EQ(m.noWaitProb, 1.0) << "nobody ever waits at 0.5% load";
    EXPECT_NEAR(m.servedProb + m.abandonProb, 1.0, 1e-15);
}

TEST(ChainOverflow, AnOverloadedLongQueueKeepsItsMassAtTheTop) {
    const int s = 2, r = 3000;
    const HazardRates h = buildHazardRates(PatienceType::Exponential, 0.001, -1, r, 50.0);
    const ChainSolution c = solveChain(s, r, 1.0, 50.0, h.cumulativeAbandonRate);
    const std::vector<long double> want = logReference(s, r, 1.0, 50.0, h.cumulativeAbandonRate);
    const double worst = worstRelativeError(c.stationaryDist, want);
    const double chainedTolerance = 1e-11;  // 3000 chained quotients
    testsupport::reportWorstError("chain of an overloaded queue of 3000", testsupport::ErrorKind::Relative, worst,
                                 chainedTolerance);
    EXPECT_LT(worst, chainedTolerance);
    for (double p : c.admittedDist) EXPECT_TRUE(std::isfinite(p));
}

TEST(ChainOverflow, ChainsThePlainArithmeticCarriesKeepTheirExactWeights) {
    // 170 agents: 170! still fits a double, so the plain recursion stands.
    const HazardRates h = buildHazardRates(PatienceType::Exponential, 0.5, -1, 5, 1.0);
    const ChainSolution c = solveChain(170, 5, 1.0, 1.0, h.cumulativeAbandonRate);
    EXPECT_EQ(c.unnormalisedDist[170], 1.0);
    EXPECT_EQ(c.unnormalisedDist[169], 170.0);
    EXPECT_TRUE(std::isfinite(c.unnormalisedDist[0]));
}

TEST(ChainOverflow, ATinyArrivalRateWhoseSingleStepOverflowsStillGivesTheEmptySystem) {
    // lambda = 1e-310: each downward factor deathRate / lambda alone exceeds
    // the double range (found by fuzzing; it once looped for ever).
    const HazardRates h = buildHazardRates(PatienceType::Erlang, 0.0, 3, 5, 1.0);
    const ChainSolution c = solveChain(2, 5, 1.0, 1e-310, h.cumulativeAbandonRate);
    EXPECT_EQ(c.stationaryDist[0], 1.0);
    EXPECT_EQ(c.stationaryDist[1], 1e-310) << "lambda / mu of the empty state";
    for (std::size_t i = 2; i < c.stationaryDist.size(); ++i) EXPECT_EQ(c.stationaryDist[i], 0.0) << i;
}
