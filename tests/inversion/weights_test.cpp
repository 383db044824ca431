// Nodes and weights of both inversions, and the transform's simplest cases.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <vector>

#include "engine/queue_model.h"
#include "inversion/euler.h"
#include "inversion/talbot.h"
#include "inversion/transform.h"
#include "support/pascal_table.h"
#include "support/call_centre.h"

using namespace queuecalc;

namespace {


// A small exponential-patience centre built by the engine, with the pieces
// the tests look at.
struct SmallQueue {
    QueueModel queue;
    const QueuePositionTables& tables;
    const TransformModel& model;
    SmallQueue(int s, int r, double theta, double lambda, double mu)
        : queue(build(s, r, theta, lambda, mu)), tables(*queue.tables), model(queue.transform) {}
    static QueueModel build(int s, int r, double theta, double lambda, double mu) {
        return buildQueueModel(testsupport::callCentre(0, theta, -1, s, r, lambda, mu));
    }
};

}  // namespace

TEST(EulerWeights, OneAndTwoTermsGiveTheBinomialTailSums) {
    const EulerRule one = buildEulerRule(1, testsupport::pascalTable(1).rows[1]);
    EXPECT_EQ(one.weights, (std::vector<double>{0.5, 1, 0.5}));
    EXPECT_EQ(one.signedWeights, (std::vector<double>{0.5, -1, 0.5}));
    EXPECT_NEAR(one.nodes.re[0], 0.767528, 1e-6);
    EXPECT_EQ(one.nodes.re[2], one.nodes.re[0]);
    EXPECT_EQ(one.nodes.im, (std::vector<double>{0, 3.141592653589793, 2 * 3.141592653589793}));

    const EulerRule two = buildEulerRule(2, testsupport::pascalTable(2).rows[2]);
    EXPECT_EQ(two.weights, (std::vector<double>{0.5, 1, 1, 0.75, 0.25}));
    EXPECT_EQ(two.signedWeights, (std::vector<double>{0.5, -1, 1, -0.75, 0.25}));
}

TEST(EulerWeights, OnlyRowMOfTheTableMatters) {
    BinomialTable table = testsupport::pascalTable(40);
    const EulerRule reference = buildEulerRule(32, table.rows[32]);
    for (int row = 0; row <= 40; ++row)
        if (row != 32) std::fill(table.rows[row].begin(), table.rows[row].end(), 1e300);
    table.rows[32][0] = table.rows[32][32] = table.rows[32][35] = -7;
    const EulerRule changed = buildEulerRule(32, table.rows[32]);
    EXPECT_EQ(changed.weights, reference.weights);
}

TEST(TalbotNodes, OneTermHasTheSingleRealNode) {
    const TalbotRule one = buildTalbotRule(1);
    EXPECT_EQ(one.nodes.re, std::vector<double>{0.4});
    EXPECT_EQ(one.nodes.im, std::vector<double>{0.0});
    EXPECT_EQ(one.weightsRe, std::vector<double>{0.5 * std::exp(0.4)});
    EXPECT_EQ(one.weightsIm, std::vector<double>{0.0});
}

TEST(TalbotNodes, NodesBendIntoTheLeftHalfPlaneAndStayFiniteAtRightAngles) {
    const TalbotRule c = buildTalbotRule(32);
    for (int k = 1; k < 32; ++k) {
        EXPECT_NEAR(c.nodes.im[k], 2 * k * M_PI / 5, 1e-12);
        if (k < 16) {
            EXPECT_GT(c.nodes.re[k], 0) << k;
        } else if (k > 16) {
            EXPECT_LT(c.nodes.re[k], 0) << k;
        }
        EXPECT_TRUE(std::isfinite(c.weightsRe[k]) && std::isfinite(c.weightsIm[k])) << k;
    }
    EXPECT_NEAR(c.nodes.re[16], 0.0, 1e-14) << "theta = pi/2: cot is practically 0";
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
    const WaitingTimeCurves e =
        invertEuler(q.model, buildEulerRule(8, testsupport::pascalTable(8).rows[8]), 8, grid, 0.9, 0.9);
    const WaitingTimeCurves t = invertTalbot(q.model, buildTalbotRule(8), grid, 0.9, 0.9);
    for (std::size_t n = 0; n < grid.size(); ++n) {
        EXPECT_EQ(e.joint[n], 0.0);
        EXPECT_EQ(t.joint[n], 0.0);
        EXPECT_EQ(e.conditional[n], 1.0);
        EXPECT_EQ(t.conditional[n], 1.0);
    }
}

TEST(Inversions, AnEmptyListOfMomentsGivesEmptyCurves) {
    SmallQueue q(3, 4, 0.5, 2.0, 1.0);
    const WaitingTimeCurves e =
        invertEuler(q.model, buildEulerRule(5, testsupport::pascalTable(5).rows[5]), 5, {}, 0.5, 0.9);
    const WaitingTimeCurves t = invertTalbot(q.model, buildTalbotRule(5), {}, 0.5, 0.9);
    EXPECT_TRUE(e.joint.empty());
    EXPECT_TRUE(t.conditional.empty());
}

TEST(Inversions, EveryEngineGivesTheSameBitsAsThePlainEvaluation) {
    SmallQueue q(10, 20, 0.5, 9.5, 1.0);
    std::vector<double> grid;
    for (int j = 1; j <= 130; ++j) grid.push_back(j * 0.05);  // more than one batch of moments
    const EulerRule euler = buildEulerRule(32, testsupport::pascalTable(32).rows[32]);
    const TalbotRule talbot = buildTalbotRule(31);
    const WaitingTimeCurves e0 = invertEuler(q.model, euler, 32, grid, 0.45, 0.91, TransformEngine::Scalar);
    const WaitingTimeCurves e1 = invertEuler(q.model, euler, 32, grid, 0.45, 0.91, TransformEngine::Fast);
    const WaitingTimeCurves e2 =
        invertEuler(q.model, euler, 32, grid, 0.45, 0.91, TransformEngine::FastOneThread);
    const WaitingTimeCurves t0 = invertTalbot(q.model, talbot, grid, 0.45, 0.91, TransformEngine::Scalar);
    const WaitingTimeCurves t1 = invertTalbot(q.model, talbot, grid, 0.45, 0.91, TransformEngine::Fast);
    EXPECT_EQ(0, std::memcmp(e0.joint.data(), e1.joint.data(), grid.size() * sizeof(double)));
    EXPECT_EQ(0, std::memcmp(t0.joint.data(), t1.joint.data(), grid.size() * sizeof(double)));
    EXPECT_EQ(0, std::memcmp(e0.conditional.data(), e1.conditional.data(), grid.size() * sizeof(double)));
    EXPECT_EQ(0, std::memcmp(e0.joint.data(), e2.joint.data(), grid.size() * sizeof(double)));
}
