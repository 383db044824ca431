// A sweep row against the calculator's own run of the same scenario: the
// fifteen measures and the conditional curve at a grid moment to the bit,
// and the exact binomial row against the table the tool writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <vector>

#include "app/run.h"
#include "core/failure.h"
#include "input/binomial_row.h"
#include "input/model_fields.h"
#include "analysis/evaluation.h"
#include "support/pascal_table.h"
#include "sweep/sweep_support.h"

using namespace queuecalc;
using sweeptest::sameBits;

namespace {

constexpr std::size_t kMeasureCount = 15;
constexpr std::size_t kFirstThresholdColumn = 15 + 4;
// Two roundings apart: (joint + P(NoWait)) / P(S) * P(S) against the sum.
constexpr double kTwoRoundings = 1e-15;

struct Variant {
    const char* name;
    void (*change)(ModelInput&);
};

// Patience types, sizes and algorithm choices the rows must follow.
const Variant kVariants[] = {
    {"exponential", [](ModelInput&) {}},
    {"erlang3", [](ModelInput& in) { in.setAbandonType(1); in.abandonParam1 = 1.5; in.abandonParam2 = 3; }},
    {"lognormal", [](ModelInput& in) { in.setAbandonType(2); in.abandonParam1 = 2; in.abandonParam2 = 1.5; }},
    {"noWaitingRoom", [](ModelInput& in) { in.waitingPlaces = 0; }},
    {"overloaded", [](ModelInput& in) { in.arrivalRate = 9.25; in.waitingPlaces = 12; }},
    {"talbotOnly", [](ModelInput& in) { in.setInversionMethod(1); }},
    {"eulerOnly", [](ModelInput& in) { in.setInversionMethod(-1); in.inversionTerms = 24; }},
};

TEST(SweepScenario, RowsEqualTheCalculatorsMeasuresAndCurvesToTheBitButForAbandonment) {
    int mismatches = 0;
    for (const Variant& variant : kVariants) {
        ModelInput input = sweeptest::smallCentre();
        variant.change(input);
        const RunResults run = computeRun(input, testsupport::pascalTable(input.inversionTerms));
        const std::vector<double>& conditional =
            input.inversion == InversionChoice::Talbot ? run.curves.talbot->conditional : run.curves.euler->conditional;
        // Every grid moment as a threshold, each one the product j * dt.
        EvaluationRequest settings;
        settings.thresholds = run.timeGrid;
        settings.method = input.inversion == InversionChoice::Talbot ? WaitingMethod::Talbot : WaitingMethod::Euler;
        BinomialRows exactRows;
        const std::vector<double> row = columnValues(evaluateScenario(input, settings, exactRows));

        const PerformanceMeasures& m = run.model.measures;
        const double measures[kMeasureCount] = {
            m.rho, m.lossProb, m.noWaitProb, m.servedProb, m.abandonProb,
            m.partialMeanServed, m.partialSecondMomentServed, m.meanWaitServed, m.secondMomentServed,
            m.varianceServed, m.partialMeanAbandon, m.partialSecondMomentAbandon, m.meanWaitAbandon,
            m.secondMomentAbandon, m.varianceAbandon};
        // The abandonment measures are the sound ones (analysis/measures.h),
        // the others the calculator's to the bit.
        for (std::size_t c = 0; c < kMeasureCount; ++c)
            if (!givenAbandonment(fixedMeasure(c)) && fixedMeasure(c) != Measure::AbandonProb &&
                !sameBits(row[c], measures[c])) {
                ++mismatches;
                ADD_FAILURE() << variant.name << ": measure column " << c;
            }
        for (std::size_t j = 0; j < run.timeGrid.size(); ++j)
            if (!sameBits(row[kFirstThresholdColumn + 3 * j + 2], conditional[j])) {
                ++mismatches;
                ADD_FAILURE() << variant.name << ": P(W<=t|S) at t = " << run.timeGrid[j];
            }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(SweepScenario, ServiceLevelCountsLostAndUnansweredCallsAgainstIt) {
    // SL(tau) = (1 - P(Loss)) (P(NoWait) + P(0 < W <= tau, S)): with a tiny
    // waiting room many calls are lost, and SL stays below P(W<=tau|S) P(S).
    ModelInput input = sweeptest::smallCentre();
    input.waitingPlaces = 1;
    input.arrivalRate = 6;
    EvaluationRequest settings;
    settings.thresholds = {1.0};
    BinomialRows exactRows;
    const std::vector<double> row = columnValues(evaluateScenario(input, settings, exactRows));
    const double loss = row[1], served = row[3];
    const double sl = row[kFirstThresholdColumn], conditional = row[kFirstThresholdColumn + 2];
    EXPECT_GT(loss, 0.05);
    EXPECT_NEAR(sl, (1 - loss) * conditional * served, kTwoRoundings);
}

TEST(SweepScenario, ATooSmallTableGetsTheCalculatorsMessageCorrectlySpeltBeforeAnyOtherCheck) {
    ModelInput input = sweeptest::smallCentre();
    input.servers = -3;  // also rejected, but after the table
    EvaluationRequest settings;
    settings.thresholds = {0.5};
    settings.method = WaitingMethod::Euler;
    BinomialRows smallTable(testsupport::pascalTable(8));
    std::string calculatorMessage;
    try {
        std::istringstream table("8");
        readBinomialTable(table, input.inversionTerms, InversionChoice::Both);
    } catch (const RunFailure& failure) {
        calculatorMessage = failure.what();
    }
    const std::string::size_type typo = calculatorMessage.find("binaomial");
    ASSERT_NE(typo, std::string::npos) << "the calculator keeps its words: " << calculatorMessage;
    try {
        columnValues(evaluateScenario(input, settings, smallTable));
        FAIL() << "a table of dimension 8 cannot serve 16 terms";
    } catch (const RunFailure& failure) {
        EXPECT_EQ(std::string(failure.what()), calculatorMessage.replace(typo, 9, "binomial"));
    }
    // Talbot and the exact method need no table.
    input.servers = 4;
    for (WaitingMethod method : {WaitingMethod::Talbot, WaitingMethod::Exact}) {
        settings.method = method;
        EXPECT_NO_THROW(columnValues(evaluateScenario(input, settings, smallTable)));
    }
}

TEST(ExactBinomialRow, EqualsTheRowTheTableToolWrites) {
    // The tool's row 64 (entries above 2^53 written to 17 digits) read back
    // by the calculator's reader.
    const std::string command = std::string("'") + BINOMDIST_PATH + "' 64";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string text;
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, got);
    pclose(pipe);
    std::istringstream in(text);
    const BinomialTable table = readBinomialTable(in, 64, InversionChoice::Both);
    int mismatches = 0;
    for (int m : {1, 16, 32, 57, 64}) {
        const std::vector<double> row = exactBinomialRow(m);
        ASSERT_EQ(row.size(), static_cast<std::size_t>(m) + 1);
        for (int k = 0; k <= m; ++k) mismatches += sameBits(row[k], table.rows[m][k]) ? 0 : 1;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_TRUE(exactBinomialRow(-1).empty());
}

TEST(SweepScenario, WithoutATableEulerStopsWhereTheExactCoefficientsOverflow) {
    // C(1030, 515) is beyond the largest double: no row of finite weights.
    ModelInput input = sweeptest::smallCentre();
    input.inversionTerms = kLastFiniteBinomialRow + 1;
    EvaluationRequest settings;
    settings.thresholds = {0.5};
    settings.method = WaitingMethod::Euler;
    BinomialRows exactRows;
    EXPECT_THROW(columnValues(evaluateScenario(input, settings, exactRows)), RunFailure);
    settings.method = WaitingMethod::Talbot;
    EXPECT_NO_THROW(columnValues(evaluateScenario(input, settings, exactRows)));
}

TEST(ModelFields, SettingAChoiceDecodesItAndWholeFieldsRefuseFractions) {
    ModelInput input = sweeptest::smallCentre();
    setModelField(input, *findModelField("inversionMethod"), 7);
    EXPECT_EQ(input.inversion, InversionChoice::Talbot);
    setModelField(input, *findModelField("abandonType"), 2);
    EXPECT_EQ(input.patience, PatienceType::Lognormal);
    setModelField(input, *findModelField("arrivalRate"), 2.25);
    EXPECT_EQ(modelFieldValue(input, *findModelField("arrivalRate")), 2.25);
    EXPECT_THROW(setModelField(input, *findModelField("servers"), 2.5), UsageError);
    EXPECT_THROW(setModelField(input, *findModelField("servers"), 3e9), UsageError);
    EXPECT_EQ(findModelField("Servers"), nullptr);
    // Positions 1 .. 13 in file order, each field once.
    for (std::size_t i = 0; i < modelFields().size(); ++i)
        EXPECT_EQ(modelFields()[i].position, static_cast<int>(i) + 1);
}

}  // namespace
