// Hazard rates where the rate formula breaks down: 0/0 once e^(-y) underflows
// for long Erlang waits, and c g / 0 once 1 + erfApprox(d / w) is exactly 0
// for long lognormal waits. Those positions take a numerically stable form
// of the same hazard function; every rate the formula gives as a finite
// number stays exactly as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "app/run.h"
#include "model/hazard_rates.h"
#include "support/pascal_table.h"
#include "support/measured_error.h"
#include "support/call_centre.h"

using namespace queuecalc;

namespace {

// Agreement asked of the stable forms with the exact hazard.
constexpr double kRelativeTolerance = 1e-12;

double relativeError(double value, double reference) { return std::fabs(value / reference - 1.0); }

// The lognormal rate formula as written for the rates, for the positions
// where it gives a finite number (the oracle of "kept exactly as it was").
double lognormalFormula(double mean, double variance, double x) {
    const double e = std::exp(1.0);
    const double sigma = std::sqrt(std::log(variance / (mean * mean) + 1));
    const double m = std::log(mean) - (0.5 * sigma) * sigma;
    const double d = m - std::log(x);
    const double g = std::pow(e, -(d * d) / ((sigma + sigma) * sigma));
    return (std::sqrt(0.6366197723675814) * g) / ((erfApprox(d / (std::sqrt(2.0) * sigma)) + 1) * (sigma * x));
}

// The Erlang hazard at y = p1 x for a whole number n of phases, in closed
// form on long doubles: p1 (y^(n-1)/(n-1)!) / sum_{i<n} y^i/i!, the sum
// divided through by its last term (all terms positive).
long double erlangReference(long double y, long double p1, int n) {
    long double sum = 0;
    long double term = 1;  // y^(n-1-j) (n-1)! / (n-1-j)! / y^(n-1), j = 0..n-1
    for (int j = 0; j < n; ++j) {
        sum += term;
        term = term * (n - 1 - j) / y;
    }
    return p1 / sum;
}

}  // namespace

TEST(StableHazard, ErlangMatchesHighPrecisionValues) {
    // Source: mpmath at 50 digits, p1 y^(p2-1)/(n-1)! / sum_{i<n} y^i/i! at
    // the double y, n the integer part of p2.
    const struct {
        double p1, p2, y, hazard;
    } cases[] = {
        {1.0, 3.0, 0.5, 0.0769230769230769230769},
        {1.0, 3.0, 2.0, 0.4},
        {1.0, 3.0, 745.5, 0.997320835350258607579},
        {1.0, 3.0, 1000.0, 0.998001999996007992},
        {1.0, 3.0, 1e6, 0.999998000002},
        {1.0, 3.0, 1e20, 0.99999999999999999998},
        {0.7, 2.5, 0.3, 0.0884782592892960547124},
        {0.7, 2.5, 800.0, 19.774272033181852112},
        {2.0, 12.0, 5.0, 0.0165747369346859512407},
        {2.0, 12.0, 1000.0, 1.97802219934701862759},
        {2.0, 12.0, 1e-3, 5.00541375978723354779e-41},
        {3.0, 1.0, 900.0, 3.0},
        {0.25, 7.75, 2000.0, 74.5432491195064734173},
    };
    double worst = 0;
    for (const auto& c : cases) {
        const double rate = erlangHazardStable(c.y, c.p1, c.p2, static_cast<int>(c.p2));
        const double error = relativeError(rate, c.hazard);
        EXPECT_LE(error, kRelativeTolerance) << "p1 " << c.p1 << " p2 " << c.p2 << " y " << c.y;
        worst = std::max(worst, error);
    }
    testsupport::reportWorstError("Erlang hazard, stable form", testsupport::ErrorKind::Relative, worst, kRelativeTolerance);
}

TEST(StableHazard, LognormalMatchesHighPrecisionValues) {
    // Source: mpmath at 50 digits, sqrt(2/pi) e^(-u^2) / (sigma x erfc(u)),
    // u = (log x - m)/(sqrt2 sigma), for the sigma and m the rates are formed
    // with (for variance / mean^2 = 1e-6 the double sigma differs from the
    // exact one by 1e-10; for the others the exact parameters give the same
    // hazard to 1e-15). u runs from 6 (where 1 + erfApprox first vanishes)
    // across 26 (where the asymptotic series takes over) to 1647.
    const struct {
        double mean, variance, x, hazard;
    } cases[] = {
        {0.5, 0.01, 2.6315789473684212, 16.5006814066602783813},
        {0.5, 0.01, 3.1578947368421053, 15.2054415426223781263},
        {0.5, 0.01, 10.526315789473685, 7.45869877497955119323},
        {0.5, 0.01, 700.0, 0.264773699478418768697},
        {0.5, 0.01, 730.0, 0.255357194910573464793},
        {0.5, 0.01, 100000.0, 0.00311796711395106342562},
        {0.5, 0.01, 1e200, 1.17598540181672171204e-196},
        {3.0, 200.0, 1e12, 8.97138685508244520313e-12},
        {3.0, 200.0, 1e30, 2.21285308938115609888e-29},
        {1.0, 1e-6, 1.01, 9949.89668764482485686},
        {1.0, 1e-6, 1.5, 270312.184762973103158},
    };
    double worst = 0;
    for (const auto& c : cases) {
        const double sigma = std::sqrt(std::log(c.variance / (c.mean * c.mean) + 1));
        const double m = std::log(c.mean) - (0.5 * sigma) * sigma;
        const double d = m - std::log(c.x);
        const double rate = lognormalHazardStable(c.x, d, std::sqrt(2.0) * sigma, sigma);
        const double error = relativeError(rate, c.hazard);
        EXPECT_LE(error, kRelativeTolerance) << "mean " << c.mean << " variance " << c.variance << " x " << c.x;
        worst = std::max(worst, error);
    }
    testsupport::reportWorstError("lognormal hazard, stable form", testsupport::ErrorKind::Relative, worst, kRelativeTolerance);
}

TEST(StableHazard, LognormalRatesOfLongWaitsAreFiniteAndEarlierOnesUnchanged) {
    // Mean 0.5, variance 0.01, lambda = 9.5: 1 + erfApprox(d / w) is exactly
    // 0 from waiting position 25 on.
    const int r = 30;
    const HazardRates h = buildHazardRates(PatienceType::Lognormal, 0.5, 0.01, r, 9.5);
    int firstRepaired = 0;
    for (int k = 1; k <= r; ++k) {
        const double x = k / 9.5;
        const double formula = lognormalFormula(0.5, 0.01, x);
        if (std::isfinite(formula)) {
            EXPECT_EQ(h.hazardRate[k], formula) << "position " << k << " must keep the formula's bits";
        } else if (firstRepaired == 0) {
            firstRepaired = k;
        }
        EXPECT_TRUE(std::isfinite(h.cumulativeAbandonRate[k])) << k;
    }
    EXPECT_EQ(firstRepaired, 25);
    // Source: mpmath, as in LognormalMatchesHighPrecisionValues.
    EXPECT_LE(relativeError(h.hazardRate[25], 16.5006814066602783813), kRelativeTolerance);
    EXPECT_LE(relativeError(h.hazardRate[30], 15.2054415426223781263), kRelativeTolerance);
}

TEST(StableHazard, ErlangRatesOfLongWaitsApproachThePhaseRate) {
    // Three phases of rate 1, lambda = 1: y = k, and e^(-y) underflows to 0
    // from k = 746 on, where the formula gives 0/0.
    const int r = 1000;
    const HazardRates h = buildHazardRates(PatienceType::Erlang, 1.0, 3.0, r, 1.0);
    double worst = 0;
    int repaired = 0;
    for (int k = 1; k <= r; ++k) {
        const double rate = h.hazardRate[k];
        ASSERT_TRUE(std::isfinite(rate)) << k;
        if (std::pow(std::exp(1.0), -static_cast<double>(k)) == 0) {
            ++repaired;
            worst = std::max(worst, relativeError(rate, static_cast<double>(erlangReference(k, 1.0L, 3))));
        }
    }
    EXPECT_EQ(repaired, 255);
    EXPECT_LE(worst, kRelativeTolerance);
    EXPECT_TRUE(std::isfinite(h.cumulativeAbandonRate[r]));
    testsupport::reportWorstError("Erlang hazard, positions 746..1000", testsupport::ErrorKind::Relative, worst, kRelativeTolerance);
}

TEST(StableHazard, ErlangRateZeroStaysZeroAtAnyWait) {
    EXPECT_EQ(erlangHazardStable(0.0, 0.0, 3.0, 3), 0.0);
    EXPECT_EQ(erlangHazardStable(INFINITY, 0.0, 3.0, 3), 0.0);
    EXPECT_EQ(erlangHazardStable(INFINITY, 2.0, 3.0, 3), 2.0);
}

namespace {


// Every measure finite, the served and abandoning customers together all
// admitted ones, and finite curves from both algorithms.
void expectFiniteResults(const ModelInput& in) {
    const RunResults run = computeRun(in, testsupport::pascalTable(in.inversionTerms));
    const PerformanceMeasures& pm = run.model.measures;
    for (double v : {pm.rho, pm.lossProb, pm.noWaitProb, pm.servedProb, pm.abandonProb, pm.partialMeanServed,
                     pm.partialSecondMomentServed, pm.meanWaitServed, pm.secondMomentServed, pm.varianceServed,
                     pm.partialMeanAbandon, pm.partialSecondMomentAbandon, pm.meanWaitAbandon,
                     pm.secondMomentAbandon, pm.varianceAbandon})
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_NEAR(pm.servedProb + pm.abandonProb, 1.0, 1e-15);
    EXPECT_GT(pm.abandonProb, 0.0);
    EXPECT_GT(pm.varianceAbandon, 0.0);
    for (std::size_t n = 0; n < run.timeGrid.size(); ++n) {
        EXPECT_TRUE(std::isfinite(run.curves.euler->conditional[n])) << n;
        EXPECT_TRUE(std::isfinite(run.curves.talbot->conditional[n])) << n;
    }
}

ModelInput inputFor(int abandonType, double p1, double p2, int servers, int waitingPlaces, double arrivalRate) {
    ModelInput in = testsupport::callCentre(abandonType, p1, p2, servers, waitingPlaces, arrivalRate);
    in.momentInterval = 0.5;
    in.inversionTerms = 16;
    in.maxTime = 2;
    return in;
}

}  // namespace

// The lognormal case as a new user would try it.
TEST(StableHazard, TheLognormalRunWithLongWaitsGivesFiniteMeasures) {
    expectFiniteResults(inputFor(2, 0.5, 0.01, 10, 30, 9.5));
}

// Long Erlang waits with slow arrivals: positions 746 to 1000 need the
// stable form.
TEST(StableHazard, TheErlangRunWithLongWaitsGivesFiniteMeasures) {
    expectFiniteResults(inputFor(1, 1.0, 3.0, 1, 1000, 1.0));
}
