// Hand-worked figures of the queue model: hazard rates, the chain, the
// position tables and the measures on cases small enough to do on paper.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "core/failure.h"
#include "input/input_checks.h"
#include "input/time_grid.h"
#include "model/chain.h"
#include "model/hazard_rates.h"
#include "model/performance.h"
#include "model/queue_positions.h"
#include "support/call_centre.h"

using namespace queuecalc;

namespace {
const double kTight = 1e-15;  // a few ulps around 1
}

TEST(ErfApprox, MatchesTheTabulatedApproximationAndIsOdd) {
    // The approximation is not exact at 0: 1 - 0.999999999.
    EXPECT_NEAR(erfApprox(0.0), 1.0e-9, 1e-15);
    EXPECT_NEAR(erfApprox(1.0), 0.84270069, 5e-9);  // erf(1) = 0.84270079
    EXPECT_EQ(erfApprox(-1.0), -erfApprox(1.0));
    EXPECT_EQ(erfApprox(-0.0), erfApprox(0.0)) << "-0 takes the positive sign";
    double worst = 0;
    for (double x = -4; x <= 4; x += 0.01) worst = std::max(worst, std::fabs(erfApprox(x) - std::erf(x)));
    EXPECT_LT(worst, 1.5e-7) << "documented error bound of the approximation";
    EXPECT_EQ(erfApprox(40.0), 1.0);
}

TEST(IntegerPower, MultipliesSquaresFromTheLowestBitUp) {
    EXPECT_EQ(integerPower(3.7, 0), 1.0);
    EXPECT_EQ(integerPower(3.7, 1), 3.7);
    // 7 = 1 + 2 + 4: ((y * y^2) * y^4), each square from the previous one.
    const double y = 1.1;
    const double y2 = y * y;
    const double y4 = y2 * y2;
    EXPECT_EQ(integerPower(y, 7), (1.0 * y * y2) * y4);
    EXPECT_EQ(integerPower(y, 6), (1.0 * y2) * y4);
    EXPECT_EQ(integerPower(2.0, 11), 2048.0);
}

TEST(HazardRates, ExponentialPatienceGivesOneRateAndItsRunningSums) {
    const HazardRates h = buildHazardRates(PatienceType::Exponential, 0.5, -1, 4, 9.5);
    EXPECT_EQ(h.hazardRate, (std::vector<double>{-1.0, 0.5, 0.5, 0.5, 0.5}));
    EXPECT_EQ(h.cumulativeAbandonRate, (std::vector<double>{0.0, 0.5, 1.0, 1.5, 2.0}));
    EXPECT_EQ(h.factorialTable[12], 479001600.0);
    EXPECT_EQ(h.factorialTable[0], 1.0);
}

TEST(HazardRates, WithoutWaitingPlacesOnlyThePlaceholdersRemain) {
    for (PatienceType type : {PatienceType::Exponential, PatienceType::Erlang, PatienceType::Lognormal}) {
        const HazardRates h = buildHazardRates(type, 0.5, 3, 0, 9.5);
        EXPECT_EQ(h.hazardRate, std::vector<double>{-1.0});
        EXPECT_EQ(h.cumulativeAbandonRate, std::vector<double>{0.0});
    }
}

TEST(HazardRates, OneErlangPhaseIsTheExponentialRate) {
    const HazardRates h = buildHazardRates(PatienceType::Erlang, 0.8, 1, 50, 3.0);
    for (int k = 1; k <= 50; ++k) EXPECT_NEAR(h.hazardRate[k], 0.8, 0.8 * kTight) << k;
}

TEST(HazardRates, ErlangRatesFollowTheClosedFormHazard) {
    // Erlang(n, p) hazard p^n x^(n-1) / (n-1)! / sum_{i<n} (px)^i / i!,
    // formed here in long double without the common e^(-px).
    const double p = 0.7, lambda = 4.0;
    for (int n : {2, 3, 7, 12}) {
        const HazardRates h = buildHazardRates(PatienceType::Erlang, p, n, 30, lambda);
        double worst = 0;
        for (int k = 1; k <= 30; ++k) {
            const long double x = static_cast<long double>(k) / lambda, y = p * x;
            long double term = 1, survival = 0, fact = 1;
            for (int i = 0; i < n; ++i) {
                if (i > 0) { term *= y / i; fact *= i; }
                survival += term;
            }
            const long double density = std::pow(static_cast<long double>(p), n) * std::pow(x, n - 1) / fact;
            worst = std::max(worst, static_cast<double>(std::fabs(h.hazardRate[k] / (density / survival) - 1)));
        }
        EXPECT_LT(worst, 1e-13) << n << " phases";
    }
}

namespace {

// A valid centre with the given patience type (raw value) and parameters.
ModelInput withPatience(int type, double p1, double p2, int waitingPlaces) {
    return testsupport::callCentre(type, p1, p2, 10, waitingPlaces, 9.5);
}

}  // namespace

TEST(HazardRates, ErlangPhaseLimitIsTwelveOnTheValueAsRead) {
    EXPECT_NO_THROW(validateModelInput(withPatience(1, 0.5, 12, 20)));
    EXPECT_NO_THROW(validateModelInput(withPatience(1, 0.5, 11.99, 20)));
    EXPECT_NO_THROW(buildHazardRates(PatienceType::Erlang, 0.5, 12, 20, 9.5));
    EXPECT_THROW(validateModelInput(withPatience(1, 0.5, 12.001, 20)), RunFailure);
    EXPECT_THROW(validateModelInput(withPatience(1, 0.5, 12.001, 0)), RunFailure);
    try {
        validateModelInput(withPatience(1, 0.5, 13, 5));
        FAIL();
    } catch (const RunFailure& failure) {
        EXPECT_STREQ(failure.what(), "Erlang of more than 12 phases is not allowed.");
    }
}

TEST(HazardRates, AnUndefinedTypeIsRejected) {
    for (int type : {-1, 3, 100}) {
        EXPECT_EQ(decodePatienceType(type), PatienceType::Unspecified);
        try {
            validateModelInput(withPatience(type, 0.5, -1, 5));
            FAIL() << type;
        } catch (const RunFailure& failure) {
            EXPECT_STREQ(failure.what(),
                         "Unspecified abandonment time distribution. Please change the input file (INPUT.DAT).");
        }
        EXPECT_THROW(buildHazardRates(PatienceType::Unspecified, 0.5, -1, 5, 9.5), std::invalid_argument);
    }
}

TEST(HazardRates, LognormalRatesAreDensityOverSurvivalWithinTheErfApproximation) {
    const double mean = 2.0, variance = 1.0, lambda = 9.5;
    const HazardRates h = buildHazardRates(PatienceType::Lognormal, mean, variance, 30, lambda);
    const double sigma = std::sqrt(std::log(variance / (mean * mean) + 1));
    const double mu = std::log(mean) - sigma * sigma / 2;
    double worst = 0;
    for (int k = 1; k <= 30; ++k) {
        const double x = k / lambda;
        const double z = (std::log(x) - mu) / sigma;
        const double density = std::exp(-z * z / 2) / (x * sigma * std::sqrt(2 * M_PI));
        const double survival = 0.5 * std::erfc(z / std::sqrt(2.0));
        worst = std::max(worst, std::fabs(h.hazardRate[k] / (density / survival) - 1));
    }
    EXPECT_LT(worst, 1e-6) << "limited by the 1.5e-7 absolute error of the erf approximation";
    EXPECT_EQ(buildHazardRates(PatienceType::Lognormal, mean, variance, 30, lambda).hazardRate, h.hazardRate);
}

TEST(Chain, OneServerOneWaitingPlaceMatchesTheHandSolution) {
    const ChainSolution c = solveChain(1, 1, 1.0, 1.0, {0.0, 1.0});
    EXPECT_EQ(c.deathRate, (std::vector<double>{-1, 1, 2}));
    EXPECT_EQ(c.unnormalisedDist, (std::vector<double>{1, 1, 0.5}));
    EXPECT_EQ(c.stationaryDist, (std::vector<double>{0.4, 0.4, 0.2}));
    EXPECT_EQ(c.lossProb, 0.2);
    EXPECT_EQ(c.admittedDist, (std::vector<double>{0.5, 0.5, 0.25}))
        << "the last entry is formed by the same formula";
}

TEST(Chain, WithoutWaitingPlacesTheLossIsTheErlangLossProbability) {
    const ChainSolution single = solveChain(1, 0, 1.0, 1.0, {0.0});
    EXPECT_EQ(single.stationaryDist, (std::vector<double>{0.5, 0.5}));
    EXPECT_EQ(single.admittedDist, (std::vector<double>{1.0, 1.0}));
    // Erlang B by its stable recursion B(0) = 1, B(n) = aB / (n + aB).
    for (int s : {1, 5, 20, 80}) {
        const double load = 0.9 * s;
        const ChainSolution c = solveChain(s, 0, 1.0, load, {0.0});
        double b = 1;
        for (int n = 1; n <= s; ++n) b = load * b / (n + load * b);
        EXPECT_NEAR(c.lossProb / b, 1.0, 1e-13) << s << " servers";
    }
}

TEST(Chain, WithoutServersEveryDeathIsAnAbandonment) {
    const HazardRates h = buildHazardRates(PatienceType::Exponential, 2.0, -1, 3, 1.0);
    const ChainSolution c = solveChain(0, 3, 1.0, 1.0, h.cumulativeAbandonRate);
    EXPECT_EQ(c.deathRate, (std::vector<double>{-1, 2, 4, 6}));
    EXPECT_EQ(c.unnormalisedDist[0], 1.0);
    EXPECT_EQ(c.unnormalisedDist[3], 1.0 / 48);
}

TEST(QueuePositions, StepRatesDropTheAbandonmentOfCustomersAlreadyGone) {
    const double h = 0.25;
    const HazardRates rates = buildHazardRates(PatienceType::Exponential, h, -1, 5, 9.5);
    const QueuePositionTables t = buildQueuePositionTables(3, 5, 2.0, rates.hazardRate, rates.cumulativeAbandonRate);
    for (int k = 1; k <= 5; ++k)
        for (int j = 1; j <= k; ++j) {
            EXPECT_EQ(t.rate(k, j), 6.0 + (k - j + 1) * h) << k << "," << j;
            EXPECT_EQ(t.meanTime(k, j), 1 / t.rate(k, j));
        }
    EXPECT_EQ(t.abandonProb(1, 1), h * (1 / 6.25));
    EXPECT_NEAR(t.reachServiceProb[1], 6.0 / 6.25, kTight);
    EXPECT_EQ(t.reachServiceProb[0], 1.0);
    EXPECT_EQ(t.cumulativeAbandonRate.size(), 6u) << "only O(r) numbers are kept";
}

TEST(QueuePositions, WithoutAbandonmentEveryoneReachesService) {
    const HazardRates rates = buildHazardRates(PatienceType::Exponential, 0.0, -1, 6, 9.5);
    const QueuePositionTables t = buildQueuePositionTables(2, 6, 1.5, rates.hazardRate, rates.cumulativeAbandonRate);
    for (int k = 0; k <= 6; ++k) EXPECT_EQ(t.reachServiceProb[k], 1.0);
    for (int k = 1; k <= 6; ++k)
        for (int j = 1; j <= k; ++j) {
            EXPECT_EQ(t.abandonProb(k, j), 0.0);
            EXPECT_EQ(t.rate(k, j), 3.0);
        }
    const QueuePositionTables none = buildQueuePositionTables(2, 0, 1.5, {-1.0}, {0.0});
    EXPECT_EQ(none.reachServiceProb, std::vector<double>{1.0});
    EXPECT_EQ(none.cumulativeAbandonRate, std::vector<double>{0.0});
}

TEST(Measures, OneServerOneWaitingPlaceMatchesTheClosedForms) {
    ModelInput in;
    in.servers = 1;
    in.waitingPlaces = 1;
    in.serviceRate = 1.0;
    in.arrivalRate = 1.0;
    const HazardRates h = buildHazardRates(PatienceType::Exponential, 1.0, -1, 1, 1.0);
    const ChainSolution c = solveChain(1, 1, 1.0, 1.0, h.cumulativeAbandonRate);
    const QueuePositionTables t = buildQueuePositionTables(1, 1, 1.0, h.hazardRate, h.cumulativeAbandonRate);
    const PerformanceMeasures m = computePerformanceMeasures(in, c.stationaryDist, c.admittedDist, t);
    // beta = mu + alpha_1 = 2, a_0 = a_1 = 0.5, w_1 = a_1 mu / beta = 0.25.
    EXPECT_EQ(m.rho, 1.0);
    EXPECT_EQ(m.lossProb, 0.2);
    EXPECT_EQ(m.noWaitProb, 0.5);
    EXPECT_EQ(m.servedProb, 0.75);
    EXPECT_EQ(m.abandonProb, 0.25);
    EXPECT_EQ(m.partialMeanServed, 0.125);
    EXPECT_EQ(m.partialSecondMomentServed, 0.125);
    EXPECT_EQ(m.partialMeanAbandon, 0.125);
    EXPECT_EQ(m.partialSecondMomentAbandon, 0.125);
    EXPECT_NEAR(m.meanWaitServed, 1.0 / 6, kTight);
    EXPECT_NEAR(m.varianceServed, 1.0 / 6 - 1.0 / 36, kTight);
    EXPECT_EQ(m.meanWaitAbandon, 0.5);
    EXPECT_EQ(m.varianceAbandon, 0.25);
}

TEST(Measures, WithoutWaitingPlacesNobodyWaitsAndTheAbandonmentQuotientsAreUndefined) {
    ModelInput in;
    in.servers = 4;
    in.waitingPlaces = 0;
    in.serviceRate = 1.0;
    in.arrivalRate = 3.0;
    const ChainSolution c = solveChain(4, 0, 1.0, 3.0, {0.0});
    const QueuePositionTables t = buildQueuePositionTables(4, 0, 1.0, {-1.0}, {0.0});
    const PerformanceMeasures m = computePerformanceMeasures(in, c.stationaryDist, c.admittedDist, t);
    EXPECT_EQ(m.servedProb, m.noWaitProb);
    EXPECT_NEAR(m.servedProb, 1.0, kTight);
    EXPECT_EQ(m.partialMeanServed, 0.0);
    EXPECT_EQ(m.varianceServed, 0.0);
    EXPECT_EQ(m.partialMeanAbandon, 0.0);
    EXPECT_TRUE(std::isnan(m.meanWaitAbandon) || m.meanWaitAbandon == 0.0)
        << "0 / (1 - P(S)) as IEEE arithmetic gives it";
}

TEST(TimeGrid, CountsMomentsByTheFlooredDoubleQuotient) {
    EXPECT_EQ(computeMomentCount(0.3, 0.1), 2) << "0.3 / 0.1 = 2.9999999999999996";
    EXPECT_EQ(computeMomentCount(0.7, 0.1), 6);
    EXPECT_EQ(computeMomentCount(5, 0.1), 50);
    EXPECT_EQ(computeMomentCount(10, 0.5), 20);
    EXPECT_EQ(computeMomentCount(0.05, 0.1), 0);
    const std::vector<double> grid = buildTimeGrid(20, 0.5);
    EXPECT_EQ(grid.front(), 0.5);
    EXPECT_EQ(grid.back(), 10.0);
    const std::vector<double> tenths = buildTimeGrid(50, 0.1);
    double added = 0;
    for (int j = 0; j < 10; ++j) added += 0.1;
    EXPECT_EQ(tenths[9], 1.0) << "a product 10 * 0.1, not a running sum";
    EXPECT_NE(added, 1.0);
    EXPECT_TRUE(buildTimeGrid(0, 0.1).empty());
}
