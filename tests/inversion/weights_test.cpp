// Nodes and weights of both inversions, and the transform's simplest cases.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <vector>

#include "inversion/euler.h"
#include "inversion/talbot.h"
#include "inversion/transform.h"
#include "model/chain.h"
#include "model/hazard_rates.h"
#include "support/pascal_table.h"

using namespace queuecalc;

namespace {


struct SmallQueue {
    HazardRates hazard;
    ChainSolution chain;
    QueuePositionTables tables;
    TransformModel model;
    SmallQueue(int s, int r, double theta, double lambda, double mu)
        : hazard(buildHazardRates(0, theta, -1, r, lambda)),
          chain(solveChain(s, r, mu, lambda, hazard.cumulativeAbandonRate)),
          tables(buildQueuePositionTables(s, r, mu, hazard.hazardRate, hazard.cumulativeAbandonRate)),
          model(makeTransformModel(s, r, chain.admittedDist, tables)) {}
};

}  // namespace

TEST(EulerWeights, OneAndTwoTermsGiveTheBinomialTailSums) {
    EulerCurves one;
    buildEulerWeights(1, testsupport::pascalTable(1), one);
    EXPECT_EQ(one.weights, (std::vector<double>{0.5, 1, 0.5}));
    EXPECT_EQ(one.signedWeights, (std::vector<double>{0.5, -1, 0.5}));
    EXPECT_NEAR(one.nodesRe[0], 0.767528, 1e-6);
    EXPECT_EQ(one.nodesRe[2], one.nodesRe[0]);
    EXPECT_EQ(one.nodesIm, (std::vector<double>{0, 3.141592653589793, 2 * 3.141592653589793}));

    EulerCurves two;
    buildEulerWeights(2, testsupport::pascalTable(2), two);
    EXPECT_EQ(two.weights, (std::vector<double>{0.5, 1, 1, 0.75, 0.25}));
    EXPECT_EQ(two.signedWeights, (std::vector<double>{0.5, -1, 1, -0.75, 0.25}));
}

TEST(EulerWeights, OnlyRowMOfTheTableMatters) {
    BinomialTable table = testsupport::pascalTable(40);
    EulerCurves reference;
    buildEulerWeights(32, table, reference);
    for (int row = 0; row <= 40; ++row)
        if (row != 32) std::fill(table.rows[row].begin(), table.rows[row].end(), 1e300);
    table.rows[32][0] = table.rows[32][32] = table.rows[32][35] = -7;
    EulerCurves changed;
    buildEulerWeights(32, table, changed);
    EXPECT_EQ(changed.weights, reference.weights);
}

TEST(TalbotNodes, OneTermHasTheSingleRealNode) {
    TalbotCurves one;
    buildTalbotNodes(1, one);
    EXPECT_EQ(one.nodesRe, std::vector<double>{0.4});
    EXPECT_EQ(one.nodesIm, std::vector<double>{0.0});
    EXPECT_EQ(one.weightsRe, std::vector<double>{0.5 * std::exp(0.4)});
    EXPECT_EQ(one.weightsIm, std::vector<double>{0.0});
}

TEST(TalbotNodes, NodesBendIntoTheLeftHalfPlaneAndStayFiniteAtRightAngles) {
    TalbotCurves c;
    buildTalbotNodes(32, c);
    for (int k = 1; k < 32; ++k) {
        EXPECT_NEAR(c.nodesIm[k], 2 * k * M_PI / 5, 1e-12);
        if (k < 16) {
            EXPECT_GT(c.nodesRe[k], 0) << k;
        } else if (k > 16) {
            EXPECT_LT(c.nodesRe[k], 0) << k;
        }
        EXPECT_TRUE(std::isfinite(c.weightsRe[k]) && std::isfinite(c.weightsIm[k])) << k;
    }
    EXPECT_NEAR(c.nodesRe[16], 0.0, 1e-14) << "theta = pi/2: cot is practically 0";
}

TEST(Transform, WithOnePositionItIsARationalFunction) {
    SmallQueue q(2, 1, 0.7, 1.5, 1.0);
    const double c = q.tables.rate(1, 1);
    const double w = q.model.positionWeight[1];
    for (double a : {0.3, 2.0, -0.5}) {
        for (double b : {0.0, 1.0, -4.0}) {
            const Complex g = waitingTimeTransform(q.model, a, b);
            // w c / (z (z + c)) with complex arithmetic of the library.
            const std::complex<double> z(a, b);
            const std::complex<double> want = w * c / (z * (z + c));
            EXPECT_NEAR(g.re, want.real(), 1e-14 * std::abs(want)) << a << "," << b;
            EXPECT_NEAR(g.im, want.imag(), 1e-14 * std::abs(want)) << a << "," << b;
        }
    }
    EXPECT_EQ(waitingTimeTransform(q.model, 1.0, 0.0).im, 0.0) << "real on the real axis";
}

TEST(Transform, WithoutWaitingPlacesEverythingIsZero) {
    SmallQueue q(3, 0, 0.5, 2.0, 1.0);
    const Complex g = waitingTimeTransform(q.model, 1.0, 2.0);
    EXPECT_EQ(g.re, 0.0);
    EXPECT_EQ(g.im, 0.0);
    const std::vector<double> grid{0.5, 1.0};
    const EulerCurves e = computeEulerCurves(8, testsupport::pascalTable(8), grid, 0.9, 0.9, q.model);
    const TalbotCurves t = computeTalbotCurves(8, grid, 0.9, 0.9, q.model);
    for (std::size_t n = 0; n < grid.size(); ++n) {
        EXPECT_EQ(e.jointCurve[n], 0.0);
        EXPECT_EQ(t.jointCurve[n], 0.0);
        EXPECT_EQ(e.conditionalCurve[n], 1.0);
        EXPECT_EQ(t.conditionalCurve[n], 1.0);
    }
}

TEST(Inversions, AnEmptyGridStillBuildsNodesAndWeights) {
    SmallQueue q(3, 4, 0.5, 2.0, 1.0);
    const EulerCurves e = computeEulerCurves(5, testsupport::pascalTable(5), {}, 0.5, 0.9, q.model);
    const TalbotCurves t = computeTalbotCurves(5, {}, 0.5, 0.9, q.model);
    EXPECT_EQ(e.weights.size(), 11u);
    EXPECT_EQ(t.nodesRe.size(), 5u);
    EXPECT_TRUE(e.jointCurve.empty());
    EXPECT_TRUE(t.conditionalCurve.empty());
}

TEST(Inversions, EveryEngineGivesTheSameBitsAsThePlainEvaluation) {
    SmallQueue q(10, 20, 0.5, 9.5, 1.0);
    std::vector<double> grid;
    for (int j = 1; j <= 130; ++j) grid.push_back(j * 0.05);  // more than one batch of moments
    const EulerCurves e0 = computeEulerCurves(32, testsupport::pascalTable(32), grid, 0.45, 0.91, q.model, TransformEngine::Scalar);
    const EulerCurves e1 = computeEulerCurves(32, testsupport::pascalTable(32), grid, 0.45, 0.91, q.model, TransformEngine::Fast);
    const TalbotCurves t0 = computeTalbotCurves(31, grid, 0.45, 0.91, q.model, TransformEngine::Scalar);
    const TalbotCurves t1 = computeTalbotCurves(31, grid, 0.45, 0.91, q.model, TransformEngine::Fast);
    EXPECT_EQ(0, std::memcmp(e0.jointCurve.data(), e1.jointCurve.data(), grid.size() * sizeof(double)));
    EXPECT_EQ(0, std::memcmp(t0.jointCurve.data(), t1.jointCurve.data(), grid.size() * sizeof(double)));
    EXPECT_EQ(0, std::memcmp(e0.conditionalCurve.data(), e1.conditionalCurve.data(), grid.size() * sizeof(double)));
}
