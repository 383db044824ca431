// The engine's entry points as a second program uses them: a model built
// once, evaluated at any moments, equal to the calculator's run bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "app/run.h"
#include "engine/queue_model.h"
#include "support/pascal_table.h"
#include "support/call_centre.h"
#include "support/same_bits.h"

using namespace queuecalc;

namespace {

// The typical centre of the README (s = 10, r = 20, lambda = 9.5, mu = 1,
// exponential patience 0.5), both algorithms, moments 0.1 .. 5.
ModelInput typicalCentre() { return testsupport::callCentre(0, 0.5, -1, 10, 20, 9.5); }

using testsupport::sameBits;

}  // namespace

TEST(Engine, AMomentAloneGivesTheCalculatorsGridValueBitForBit) {
    const ModelInput in = typicalCentre();
    const BinomialTable table = testsupport::pascalTable(32);
    const RunResults run = computeRun(in, table);
    const QueueModel model = buildQueueModel(in);
    for (std::size_t j : {0u, 6u, 19u, 49u}) {
        const std::vector<double> one{run.timeGrid[j]};
        const WaitingTimeCurves e =
            evaluateWaitingTime(model, InversionAlgorithm::Euler, 32, one, table.rows[32]);
        const WaitingTimeCurves t = evaluateWaitingTime(model, InversionAlgorithm::Talbot, 32, one, {});
        EXPECT_TRUE(sameBits(e.joint[0], run.curves.euler->joint[j])) << j;
        EXPECT_TRUE(sameBits(e.conditional[0], run.curves.euler->conditional[j])) << j;
        EXPECT_TRUE(sameBits(t.joint[0], run.curves.talbot->joint[j])) << j;
        EXPECT_TRUE(sameBits(t.conditional[0], run.curves.talbot->conditional[j])) << j;
    }
}

TEST(Engine, TheOrderAndCompanyOfTheMomentsDoNotChangeAValue) {
    const QueueModel model = buildQueueModel(typicalCentre());
    const std::vector<double> row = testsupport::pascalTable(32).rows[32];
    // 70 moments make two batches; the reversed list puts each moment in
    // another batch and another place.
    std::vector<double> moments;
    for (int j = 1; j <= 70; ++j) moments.push_back(j * 0.37);
    const std::vector<double> reversed(moments.rbegin(), moments.rend());
    const WaitingTimeCurves a = evaluateWaitingTime(model, InversionAlgorithm::Euler, 32, moments, row);
    const WaitingTimeCurves b = evaluateWaitingTime(model, InversionAlgorithm::Euler, 32, reversed, row);
    for (std::size_t n = 0; n < moments.size(); ++n)
        EXPECT_TRUE(sameBits(a.joint[n], b.joint[moments.size() - 1 - n])) << moments[n];
}

TEST(Engine, AModelCopyOutlivesTheModelItWasCopiedFrom) {
    const std::vector<double> moments{0.5, 1.5};
    auto original = std::make_unique<QueueModel>(buildQueueModel(typicalCentre()));
    const WaitingTimeCurves before =
        evaluateWaitingTime(*original, InversionAlgorithm::Talbot, 32, moments, {});
    const QueueModel copy = *original;
    original.reset();
    const WaitingTimeCurves after = evaluateWaitingTime(copy, InversionAlgorithm::Talbot, 32, moments, {});
    EXPECT_EQ(0, std::memcmp(before.joint.data(), after.joint.data(), 2 * sizeof(double)));
}

TEST(Engine, TheTermMagnitudeBoundsTheCancellationOfEachSum) {
    // Euler at M = 32: terms of order 1 scaled by 10^(32/3), so the magnitude
    // is far above the result; never below its absolute value.
    const QueueModel model = buildQueueModel(typicalCentre());
    const std::vector<double> moments{0.1, 1.0, 5.0};
    const WaitingTimeCurves e = evaluateWaitingTime(model, InversionAlgorithm::Euler, 32, moments,
                                                    testsupport::pascalTable(32).rows[32]);
    for (std::size_t n = 0; n < moments.size(); ++n) {
        EXPECT_GE(e.termMagnitude[n], std::fabs(e.joint[n]));
        EXPECT_GT(e.termMagnitude[n], 1e3 * std::fabs(e.joint[n])) << "Euler cancels heavily";
    }
}

TEST(Engine, ProgressIsReportedAfterEachBatchOfMoments) {
    const QueueModel model = buildQueueModel(typicalCentre());
    std::vector<double> moments;
    for (int j = 1; j <= 130; ++j) moments.push_back(j * 0.05);
    std::vector<std::size_t> seen;
    evaluateWaitingTime(model, InversionAlgorithm::Talbot, 16, moments, {}, TransformEngine::Fast,
                        [&seen](std::size_t done, std::size_t total) {
                            EXPECT_EQ(total, 130u);
                            seen.push_back(done);
                        });
    EXPECT_EQ(seen, (std::vector<std::size_t>{64, 128, 130}));
}

TEST(Engine, CallersErrorsAreRejectedAsSuch) {
    const QueueModel model = buildQueueModel(typicalCentre());
    const std::vector<double> shortRow = testsupport::pascalTable(8).rows[8];
    EXPECT_THROW(evaluateWaitingTime(model, InversionAlgorithm::Euler, 32, {1.0}, shortRow),
                 std::invalid_argument);
    EXPECT_THROW(evaluateWaitingTime(model, InversionAlgorithm::Talbot, 0, {1.0}, {}),
                 std::invalid_argument);
    ModelInput raw = typicalCentre();
    raw.abandonType = 1;  // without setAbandonType: the decoded type still says exponential
    EXPECT_THROW(validateModelInput(raw), std::invalid_argument);
}
