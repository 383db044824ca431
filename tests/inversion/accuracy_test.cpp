// Accuracy of the two inversions against the waiting-time distribution formed
// in the time domain. With exponential patience the joint curve
// J(t) = P(0 < W <= t, S) is a mixture of hypoexponential distribution
// functions, which tests/support/reference_queue.h evaluates by
// uniformisation in long double. The tolerances sit a small factor above the
// worst errors measured with M = 32 on the grid 0.1 .. 5; each test prints the
// error it saw.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iostream>
#include <string>
#include <vector>

#include "input/binomial_table.h"
#include "input/model_input.h"
#include "inversion/euler.h"
#include "inversion/talbot.h"
#include "inversion/transform.h"
#include "model/chain.h"
#include "model/hazard_rates.h"
#include "model/performance.h"
#include "model/queue_positions.h"
#include "support/reference_queue.h"

namespace queuecalc {
namespace {

namespace ref = reference;

constexpr int kTerms = 32;          // M
constexpr int kMoments = 50;        // t = 0.1, 0.2, .., 5
constexpr double kInterval = 0.1;

// Uniformisation against the distinct-rates formula, which is still accurate
// for up to four phases (it loses digits by cancellation beyond that).
constexpr long double kHypoexponentialTol = 1e-15L;
constexpr int kDistinctFormulaMaxPhases = 4;

struct AccuracyCase {
    const char* name;
    int servers;
    int waitingPlaces;
    double abandonRate;
    double arrivalRate;
    double serviceRate;
    double eulerTol;   // max abs error of the Euler joint curve
    double talbotTol;  // max abs error of the Talbot joint curve
};

// Tolerances: a small factor above the worst absolute error measured.
const AccuracyCase kCallCentres[] = {
    {"typical", 10, 20, 0.5, 9.5, 1.0, 1e-7, 1e-10},
    {"singleServerSinglePlace", 1, 1, 1.0, 1.0, 1.0, 1e-7, 1e-10},
    {"overloaded", 3, 8, 2.0, 5.0, 1.0, 1e-7, 1e-10},
    {"large", 50, 100, 0.1, 55.0, 1.0, 1e-7, 1e-10},
    {"patient", 4, 6, 0.0, 3.5, 1.0, 1e-7, 1e-10},
};

// C(n, k) for n, k <= dimension, exact in double by Pascal's rule (every entry
// up to C(32, 16) = 601080390 is an integer below 2^53).
BinomialTable exactBinomialTable(int dimension) {
    BinomialTable table;
    table.dimension = dimension;
    const std::size_t size = static_cast<std::size_t>(dimension) + 1;
    table.rows.assign(size, std::vector<double>(size, 0.0));
    for (std::size_t n = 0; n < size; ++n) {
        table.rows[n][0] = 1.0;
        for (std::size_t k = 1; k <= n; ++k)
            table.rows[n][k] = table.rows[n - 1][k - 1] + table.rows[n - 1][k];
    }
    return table;
}

std::vector<double> timeGrid() {
    std::vector<double> t;
    for (int j = 1; j <= kMoments; ++j) t.push_back(j * kInterval);
    return t;
}

ref::CallCentre referenceFor(const AccuracyCase& c) {
    ref::CallCentre cc;
    cc.servers = c.servers;
    cc.waitingPlaces = c.waitingPlaces;
    cc.abandonRate = c.abandonRate;
    cc.arrivalRate = c.arrivalRate;
    cc.serviceRate = c.serviceRate;
    return cc;
}

struct LibraryCurves {
    PerformanceMeasures measures;
    EulerCurves euler;
    TalbotCurves talbot;
};

LibraryCurves runLibraryInversions(const AccuracyCase& c, const std::vector<double>& grid) {
    ModelInput in;
    in.abandonType = 0;
    in.abandonParam1 = c.abandonRate;
    in.servers = c.servers;
    in.waitingPlaces = c.waitingPlaces;
    in.serviceRate = c.serviceRate;
    in.arrivalRate = c.arrivalRate;
    in.inversionTerms = kTerms;
    const HazardRates hazard = buildHazardRates(in.abandonType, in.abandonParam1, in.abandonParam2,
                                                in.waitingPlaces, in.arrivalRate);
    const ChainSolution chain = solveChain(in.servers, in.waitingPlaces, in.serviceRate,
                                           in.arrivalRate, hazard.cumulativeAbandonRate);
    const QueuePositionTables tables =
        buildQueuePositionTables(in.servers, in.waitingPlaces, in.serviceRate, hazard.hazardRate,
                                 hazard.cumulativeAbandonRate);
    LibraryCurves out;
    out.measures = computePerformanceMeasures(in, chain.stationaryDist, chain.admittedDist, tables);
    const TransformModel model = makeTransformModel(in.servers, in.waitingPlaces, chain.admittedDist,
                                                    tables);
    const BinomialTable binomial = exactBinomialTable(kTerms);
    out.euler = computeEulerCurves(kTerms, binomial, grid, out.measures.noWaitProb,
                                   out.measures.servedProb, model);
    out.talbot = computeTalbotCurves(kTerms, grid, out.measures.noWaitProb,
                                     out.measures.servedProb, model);
    return out;
}

double maxAbsError(const std::vector<double>& actual, const std::vector<ref::real>& expected) {
    EXPECT_EQ(actual.size(), expected.size());
    double worst = 0;
    for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
        const double e =
            static_cast<double>(std::fabs(static_cast<ref::real>(actual[i]) - expected[i]));
        if (!(e <= worst)) worst = e;  // a NaN sticks
    }
    return worst;
}

TEST(ReferenceWaitingTime, uniformisedHypoexponentialMatchesTheDistinctRatesFormula) {
    double worst = 0;
    for (int k = 1; k <= kDistinctFormulaMaxPhases; ++k) {
        std::vector<ref::real> rates;  // the typical call centre's position k
        for (int j = 1; j <= k; ++j) rates.push_back(10.0L + (k - j + 1) * 0.5L);
        for (int n = 1; n <= kMoments; ++n) {
            const ref::real t = n * static_cast<ref::real>(kInterval);
            const ref::real e = std::fabs(ref::hypoexponentialCdfUniformised(rates, t) -
                                          ref::hypoexponentialCdfDistinct(rates, t));
            EXPECT_LE(e, kHypoexponentialTol) << "k = " << k << ", t = " << static_cast<double>(t);
            worst = std::max(worst, static_cast<double>(e));
        }
    }
    std::cout << "[accuracy] reference uniformisation vs distinct-rates max abs diff = " << worst
              << "\n";
}

TEST(ReferenceWaitingTime, uniformisedSumOfEqualRatesIsTheErlangDistribution) {
    // P(Erlang(k, c) <= t) = 1 - e^{-ct} sum_{n<k} (ct)^n / n!
    const ref::real c = 4.0L;
    for (int k : {1, 3, 10, 25}) {
        const std::vector<ref::real> rates(static_cast<std::size_t>(k), c);
        for (int n = 1; n <= kMoments; ++n) {
            const ref::real x = c * n * static_cast<ref::real>(kInterval);
            ref::real term = 1, partial = 0;
            for (int m = 0; m < k; ++m) {
                partial += term;
                term *= x / (m + 1);
            }
            const ref::real erlang = 1 - std::exp(-x) * partial;
            EXPECT_NEAR(ref::hypoexponentialCdfUniformised(rates, x / c), erlang,
                        kHypoexponentialTol)
                << "k = " << k << ", t = " << static_cast<double>(x / c);
        }
    }
}

class InversionAccuracy : public ::testing::TestWithParam<AccuracyCase> {};

TEST_P(InversionAccuracy, jointCurvesFollowTheTimeDomainDistributionWithinTheMeasuredError) {
    const AccuracyCase& c = GetParam();
    const std::vector<double> grid = timeGrid();
    const LibraryCurves lib = runLibraryInversions(c, grid);
    const std::vector<ref::real> expected = ref::jointWaitingCurve(referenceFor(c), grid);

    const double eulerErr = maxAbsError(lib.euler.jointCurve, expected);
    const double talbotErr = maxAbsError(lib.talbot.jointCurve, expected);
    std::cout << "[accuracy] euler " << c.name << " max abs err = " << eulerErr
              << " (tol " << c.eulerTol << ")\n";
    std::cout << "[accuracy] talbot " << c.name << " max abs err = " << talbotErr
              << " (tol " << c.talbotTol << ")\n";
    RecordProperty("eulerMaxAbsError", std::to_string(eulerErr));
    RecordProperty("talbotMaxAbsError", std::to_string(talbotErr));
    EXPECT_LE(eulerErr, c.eulerTol);
    EXPECT_LE(talbotErr, c.talbotTol);
}

TEST_P(InversionAccuracy, conditionalCurvesAddTheNoWaitShareAndConditionOnService) {
    const AccuracyCase& c = GetParam();
    const std::vector<double> grid = timeGrid();
    const LibraryCurves lib = runLibraryInversions(c, grid);
    const ref::CallCentre cc = referenceFor(c);
    const ref::Measures m = ref::measures(cc);
    std::vector<ref::real> expected = ref::jointWaitingCurve(cc, grid);
    for (ref::real& x : expected) x = (x + m.noWaitProb) / m.servedProb;

    // The conditional error is the joint one divided by P(S), plus rounding.
    const double slack = 1e-15;
    EXPECT_LE(maxAbsError(lib.euler.conditionalCurve, expected),
              c.eulerTol / static_cast<double>(m.servedProb) + slack);
    EXPECT_LE(maxAbsError(lib.talbot.conditionalCurve, expected),
              c.talbotTol / static_cast<double>(m.servedProb) + slack);
}

INSTANTIATE_TEST_SUITE_P(CallCentres, InversionAccuracy, ::testing::ValuesIn(kCallCentres),
                         [](const ::testing::TestParamInfo<AccuracyCase>& info) {
                             return std::string(info.param.name);
                         });

// One waiting place: G(z) = w c / (z (z + c)) is the transform of
// w (1 - e^{-ct}), with c = s mu + theta and w = a_s s mu / c.
TEST(InversionAccuracyOnePlace, bothInversionsReproduceTheSingleExponentialStep) {
    const AccuracyCase c{"onePlace", 2, 1, 0.7, 1.5, 1.0, 1e-7, 1e-10};
    const std::vector<double> grid = timeGrid();
    const LibraryCurves lib = runLibraryInversions(c, grid);

    const ref::CallCentre cc = referenceFor(c);
    const std::vector<ref::real> a = ref::admittedDistribution(cc);
    const ref::real capacity = cc.servers * cc.serviceRate;
    const ref::real rate = capacity + cc.abandonRate;
    const ref::real weight = a[static_cast<std::size_t>(cc.servers)] * capacity / rate;
    std::vector<ref::real> expected;
    for (double t : grid) expected.push_back(weight * (1 - std::exp(-rate * t)));

    const double eulerErr = maxAbsError(lib.euler.jointCurve, expected);
    const double talbotErr = maxAbsError(lib.talbot.jointCurve, expected);
    std::cout << "[accuracy] euler onePlace max abs err = " << eulerErr << " (tol " << c.eulerTol
              << ")\n";
    std::cout << "[accuracy] talbot onePlace max abs err = " << talbotErr << " (tol "
              << c.talbotTol << ")\n";
    EXPECT_LE(eulerErr, c.eulerTol);
    EXPECT_LE(talbotErr, c.talbotTol);
}

}  // namespace
}  // namespace queuecalc
