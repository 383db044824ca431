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

#include "engine/queue_model.h"
#include "support/reference_queue.h"
#include "support/pascal_table.h"
#include "support/measured_error.h"
#include "support/call_centre.h"

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

// How ctest and failure messages name a case.
void PrintTo(const AccuracyCase& c, std::ostream* os) {
    *os << c.name << " (s = " << c.servers << ", r = " << c.waitingPlaces << ")";
}

// Tolerances: two to three times the worst absolute error measured (noted
// beside each). Both figures are rounding, not truncation: the same formulas
// in long double come out some 1e4 times closer. The Euler sum is scaled by
// 10^(M/3), which lifts double rounding to about 1e-7; the Talbot weights
// reach e^(2M/5), about 4e5.
//
// The large call centre's step rates lie between 50 and 60, and from t = 0.6
// to 2.7 the 32 Talbot nodes do not resolve that transform: the joint curve
// is -8.05 at t = 1.5 where it should be 0.816. A long-double evaluation of
// the same Talbot formula gives the same figures, so this is the algorithm at
// M = 32, not rounding; with 48 terms it converges (see below). Its bound
// only guards against it getting worse.
const AccuracyCase kCallCentres[] = {
    {"typical", 10, 20, 0.5, 9.5, 1.0, 8e-7, 1e-11},                 // 3.05e-7, 3.6e-12
    {"singleServerSinglePlace", 1, 1, 1.0, 1.0, 1.0, 2e-7, 4e-12},   // 6.7e-8, 1.4e-12
    {"overloaded", 3, 8, 2.0, 5.0, 1.0, 8e-7, 6e-12},                // 2.78e-7, 2.3e-12
    {"large", 50, 100, 0.1, 55.0, 1.0, 5e-7, 10.0},                  // 1.68e-7, 8.86
    {"patient", 4, 6, 0.0, 3.5, 1.0, 4e-7, 6e-12},                   // 1.27e-7, 2.5e-12
};


std::vector<double> timeGrid() {
    std::vector<double> t;
    for (int j = 1; j <= kMoments; ++j) t.push_back(j * kInterval);
    return t;
}

struct LibraryCurves {
    PerformanceMeasures measures;
    WaitingTimeCurves euler;
    WaitingTimeCurves talbot;
};

LibraryCurves runLibraryInversions(const AccuracyCase& c, const std::vector<double>& grid,
                                   int terms = kTerms) {
    const QueueModel model = buildQueueModel(testsupport::exponentialCentre(c));
    LibraryCurves out;
    out.measures = model.measures;
    const std::vector<double> row = testsupport::pascalTable(terms).rows[terms];
    out.euler = evaluateWaitingTime(model, InversionAlgorithm::Euler, terms, grid, row);
    out.talbot = evaluateWaitingTime(model, InversionAlgorithm::Talbot, terms, grid, {});
    return out;
}

struct WorstError {
    double error = 0;
    double time = 0;
};

WorstError worstAbsError(const std::vector<double>& actual, const std::vector<ref::real>& expected,
                         const std::vector<double>& grid) {
    EXPECT_EQ(actual.size(), expected.size());
    WorstError worst;
    for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
        const double e =
            static_cast<double>(std::fabs(static_cast<ref::real>(actual[i]) - expected[i]));
        if (!(e <= worst.error)) worst = {e, grid[i]};  // a NaN sticks
    }
    return worst;
}

double maxAbsError(const std::vector<double>& actual, const std::vector<ref::real>& expected,
                   const std::vector<double>& grid) {
    return worstAbsError(actual, expected, grid).error;
}

void printWorst(const char* algorithm, const std::string& name, const WorstError& worst,
                double tol) {
    testsupport::reportWorstError(std::string(algorithm) + " joint curve of " + name, testsupport::ErrorKind::Absolute,
                                 worst.error, tol, "t = " + std::to_string(worst.time));
}

TEST(ReferenceWaitingTime, UniformisedHypoexponentialMatchesTheDistinctRatesFormula) {
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
    testsupport::reportWorstError("reference: uniformisation against the distinct-rates formula",
                                  testsupport::ErrorKind::Absolute, worst, kHypoexponentialTol);
}

TEST(ReferenceWaitingTime, UniformisedSumOfEqualRatesIsTheErlangDistribution) {
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

TEST_P(InversionAccuracy, JointCurvesFollowTheTimeDomainDistributionWithinTheMeasuredError) {
    const AccuracyCase& c = GetParam();
    const std::vector<double> grid = timeGrid();
    const LibraryCurves lib = runLibraryInversions(c, grid);
    const std::vector<ref::real> expected = ref::jointWaitingCurve(ref::callCentreOf(c), grid);

    const WorstError euler = worstAbsError(lib.euler.joint, expected, grid);
    const WorstError talbot = worstAbsError(lib.talbot.joint, expected, grid);
    printWorst("euler", c.name, euler, c.eulerTol);
    printWorst("talbot", c.name, talbot, c.talbotTol);
    EXPECT_LE(euler.error, c.eulerTol);
    EXPECT_LE(talbot.error, c.talbotTol);
}

TEST_P(InversionAccuracy, ConditionalCurvesAddTheNoWaitShareAndConditionOnService) {
    const AccuracyCase& c = GetParam();
    const std::vector<double> grid = timeGrid();
    const LibraryCurves lib = runLibraryInversions(c, grid);
    const ref::CallCentre cc = ref::callCentreOf(c);
    const ref::Measures m = ref::measures(cc);
    std::vector<ref::real> expected = ref::jointWaitingCurve(cc, grid);
    for (ref::real& x : expected) x = (x + m.noWaitProb) / m.servedProb;

    // The conditional error is the joint one divided by P(S), plus rounding.
    const double slack = 1e-15;
    EXPECT_LE(maxAbsError(lib.euler.conditional, expected, grid),
              c.eulerTol / static_cast<double>(m.servedProb) + slack);
    EXPECT_LE(maxAbsError(lib.talbot.conditional, expected, grid),
              c.talbotTol / static_cast<double>(m.servedProb) + slack);
}

INSTANTIATE_TEST_SUITE_P(CallCentres, InversionAccuracy, ::testing::ValuesIn(kCallCentres),
                         [](const ::testing::TestParamInfo<AccuracyCase>& info) {
                             return std::string(info.param.name);
                         });

// With 48 terms the Talbot nodes resolve the large call centre that 32 do not.
TEST(InversionAccuracyMoreTerms, TalbotResolvesTheLargeCallCentreWithFortyEightTerms) {
    constexpr int kMoreTerms = 48;
    const AccuracyCase c{"large", 50, 100, 0.1, 55.0, 1.0, 0.0, 1.5e-8};  // measured 5.45e-9
    const std::vector<double> grid = timeGrid();
    const LibraryCurves lib = runLibraryInversions(c, grid, kMoreTerms);
    const std::vector<ref::real> expected = ref::jointWaitingCurve(ref::callCentreOf(c), grid);
    const WorstError talbot = worstAbsError(lib.talbot.joint, expected, grid);
    printWorst("talbot(M=48)", c.name, talbot, c.talbotTol);
    EXPECT_LE(talbot.error, c.talbotTol);
}

// One waiting place: G(z) = w c / (z (z + c)) is the transform of
// w (1 - e^{-ct}), with c = s mu + theta and w = a_s s mu / c.
TEST(InversionAccuracyOnePlace, BothInversionsReproduceTheSingleExponentialStep) {
    const AccuracyCase c{"onePlace", 2, 1, 0.7, 1.5, 1.0, 2e-7, 5e-12};  // 7.95e-8, 1.8e-12
    const std::vector<double> grid = timeGrid();
    const LibraryCurves lib = runLibraryInversions(c, grid);

    const ref::CallCentre cc = ref::callCentreOf(c);
    const std::vector<ref::real> a = ref::admittedDistribution(cc);
    const ref::real capacity = cc.servers * cc.serviceRate;
    const ref::real rate = capacity + cc.abandonRate;
    const ref::real weight = a[static_cast<std::size_t>(cc.servers)] * capacity / rate;
    std::vector<ref::real> expected;
    for (double t : grid) expected.push_back(weight * (1 - std::exp(-rate * t)));

    const WorstError euler = worstAbsError(lib.euler.joint, expected, grid);
    const WorstError talbot = worstAbsError(lib.talbot.joint, expected, grid);
    printWorst("euler", c.name, euler, c.eulerTol);
    printWorst("talbot", c.name, talbot, c.talbotTol);
    EXPECT_LE(euler.error, c.eulerTol);
    EXPECT_LE(talbot.error, c.talbotTol);
}

}  // namespace
}  // namespace queuecalc
