// The checked evaluation: the sound abandonment measures against the
// calculator's 1 - P(S), and the findings, which are the same objects for
// the calculator's run and a scenario's evaluation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/evaluation.h"
#include "core/failure.h"
#include "support/measured_error.h"
#include "support/pascal_table.h"
#include "support/same_bits.h"

using namespace queuecalc;

namespace {

ModelInput centre(const std::string& values) {
    std::istringstream in(values);
    return readModelInput(in);
}

Evaluation evaluate(const std::string& values, const std::vector<double>& thresholds = {}) {
    BinomialRows rows;
    EvaluationRequest request;
    request.thresholds = thresholds;
    return evaluateScenario(centre(values), request, rows);
}

bool has(const std::vector<Finding>& findings, FindingKind kind) {
    for (const Finding& f : findings)
        if (f.kind == kind) return true;
    return false;
}

// Centres where many callers abandon: P(A) well above rounding.
const char* const kOrdinary[] = {
    "1 0 0.5 -1 -1 10 20 1 9.5 0.1 32 5 0",         // the typical example
    "1 1 1.5 3 -1 10 20 1 9.5 0.1 32 5 0",          // Erlang patience
    "1 2 2 1.5 -1 10 20 1 9.5 0.1 32 5 0",          // lognormal patience
    "1 0 0.2 -1 -1 400 1500 1 480 0.02 32 2 0",     // the overloaded example
    "1 0 0.5 -1 -1 500 1000 1 495 0.001 32 0.1 0",  // the large example
};
// 1 - P(S) holds rounding of a sum of probabilities of order 1 over up to
// s + r states: 1e-12 leaves room for r = 1500.
constexpr double kAgreement = 1e-12;
// A sum of r non-negative terms, each from k roundings of u: r k eps at most,
// 1e-12 for r = 40.
constexpr double kRelativeToLongDouble = 1e-12;
// The moments given A divide one partial sum by the sound P(A) or by
// 1 - P(S): they differ by P(A)'s relative difference, kAgreement / P(A),
// within 1e-10 while P(A) stays above 1e-2.
constexpr double kGivenAbandonRelative = 1e-10;

TEST(SoundAbandonment, AgreesWithOneMinusPSOnOrdinaryCentres) {
    double worst = 0;
    std::string worstAt;
    for (const char* values : kOrdinary) {
        const Evaluation e = evaluate(values);
        const double error = std::fabs(e.abandonment.abandonProb - e.measures.abandonProb);
        if (error > worst) {
            worst = error;
            worstAt = values;
        }
        // The moments given A follow from it: the same up to its relative difference.
        EXPECT_NEAR(e.abandonment.meanWait, e.measures.meanWaitAbandon,
                    kGivenAbandonRelative * e.measures.meanWaitAbandon)
            << values;
        EXPECT_FALSE(anyFailsChecks(e.findings)) << values;
    }
    EXPECT_LE(worst, kAgreement);
    testsupport::reportWorstError("sound P(A) against 1 - P(S)", testsupport::ErrorKind::Absolute, worst, kAgreement,
                                  worstAt);
}

TEST(SoundAbandonment, IsNeverNegativeAndLeavesNoInfiniteQuotientOnLightLoads) {
    // The calculator's P(A) here: 0, -2.2e-16, and tiny positive residues.
    const char* const light[] = {
        "1 0 0.5 -1 -1 144 20 1 72 0.1 32 5 0",
        "1 0 0.5 -1 -1 19 20 1 1.2 0.1 32 5 0",
        "1 0 0.001 -1 -1 50 5 1 1 0.1 32 5 0",
        "1 1 0.01 2 -1 30 40 1 3 0.1 32 5 0",
    };
    double worst = 0;
    for (const char* values : light) {
        const Evaluation e = evaluate(values, {1.0});
        EXPECT_GT(e.abandonment.abandonProb, 0.0) << values;
        // Against sum a_(s+k-1) (1 - prod_j (1 - c_kj)) in long double, from
        // the same model: 11 more bits keep the product's cancellation far
        // below the double result's rounding.
        const QueueModel model = buildQueueModel(e.input);
        long double reference = 0;
        for (int k = 1; k <= e.input.waitingPlaces; ++k) {
            long double stay = 1;
            for (int j = 1; j <= k; ++j) stay *= 1 - static_cast<long double>(model.tables->abandonProb(k, j));
            reference += model.chain.admittedDist[e.input.servers + k - 1] * (1 - stay);
        }
        worst = std::max(worst, static_cast<double>(std::fabs(e.abandonment.abandonProb - reference) / reference));
        EXPECT_TRUE(std::isfinite(e.abandonment.meanWait) && e.abandonment.meanWait >= 0) << values;
        EXPECT_TRUE(std::isfinite(e.abandonment.variance)) << values;
        EXPECT_FALSE(anyFailsChecks(e.findings)) << values;
    }
    EXPECT_LE(worst, kRelativeToLongDouble);
    testsupport::reportWorstError("sound P(A) on light loads against long double", testsupport::ErrorKind::Relative,
                                  worst, kRelativeToLongDouble);
}

TEST(SoundAbandonment, WithoutWaitingRoomNobodyAbandonsAndTheQuotientsAreUndefined) {
    const Evaluation e = evaluate("1 0 0.5 -1 -1 10 0 1 9.5 0.1 32 5 0", {0.5});
    EXPECT_EQ(e.abandonment.abandonProb, 0.0);
    EXPECT_FALSE(e.abandonment.defined);
    EXPECT_TRUE(std::isnan(columnValue(e, {Measure::MeanWaitAbandon, 0})));
    EXPECT_TRUE(has(e.findings, FindingKind::NoAbandonment));
    EXPECT_FALSE(anyFailsChecks(e.findings)) << "a note, not a failure";
}

TEST(CalculatorMeasures, AreFlaggedWhereAbandonmentIsRoundingOrAMeasureIsNoNumber) {
    struct Case {
        const char* values;
        FindingKind kind;
    };
    const Case cases[] = {
        {"1 0 0.5 -1 -1 144 20 1 72 0.1 32 5 0", FindingKind::AbandonmentAtRounding},  // P(A) = 0
        {"1 0 0.5 -1 -1 19 20 1 1.2 0.1 32 5 0", FindingKind::AbandonmentAtRounding},  // P(A) < 0
        {"1 0 0.5 -1 -1 10 20 1 1e18 0.1 32 5 0", FindingKind::MeasureNotFinite},      // P(S) = nan
    };
    for (const Case& c : cases) {
        BinomialRows rows(testsupport::pascalTable(32));
        const ModelRun run = runModel(centre(c.values), rows, calculatorRequest(centre(c.values)));
        EXPECT_TRUE(has(run.findings, c.kind)) << c.values;
    }
    BinomialRows rows(testsupport::pascalTable(32));
    const ModelInput typical = centre(kOrdinary[0]);
    EXPECT_TRUE(runModel(typical, rows, calculatorRequest(typical)).findings.empty());
}

// The fields of a finding that say what, where, which numbers and what to do.
bool sameFinding(const Finding& a, const Finding& b) {
    return a.kind == b.kind && a.severity == b.severity && a.field == b.field && a.measure == b.measure &&
           a.algorithm == b.algorithm && a.inversionTerms == b.inversionTerms &&
           testsupport::sameBits(a.moment, b.moment) && testsupport::sameBits(a.value, b.value) &&
           testsupport::sameBits(a.reference, b.reference) && a.remedy == b.remedy && a.terms == b.terms;
}

TEST(Findings, AreTheSameObjectsForTheCalculatorsRunAndAScenariosEvaluation) {
    // One algorithm each, so that the scenario evaluated at the calculator's
    // moments runs what the calculator runs.
    const char* const inputs[] = {
        "1 0 0.5 -1 -1 10 20 1 9.5 0.1 64 5 -1",      // Euler at 64 terms: its error estimate
        "1 0 0.2 -1 -1 100 100 1 105 0.03 32 3 1",    // Talbot at 32 terms, 100 agents: out of [0, 1]
        "1 0 0.5 -1 -1 10 20 1 545 0.1 24 2 -1",      // mixed time units: RHO 54.5
    };
    for (const char* values : inputs) {
        const ModelInput input = centre(values);
        BinomialRows table(testsupport::pascalTable(64));
        const ModelRun run = runModel(input, table, calculatorRequest(input));
        ASSERT_FALSE(run.findings.empty()) << values;
        EvaluationRequest request;
        request.thresholds = run.moments;
        request.method = input.inversion == InversionChoice::Talbot ? WaitingMethod::Talbot : WaitingMethod::Euler;
        BinomialRows exact;
        const Evaluation e = evaluateScenario(input, request, exact);
        for (const Finding& f : run.findings) {
            bool found = false;
            for (const Finding& g : e.findings) found = found || sameFinding(f, g);
            EXPECT_TRUE(found) << values << ": a finding of kind " << static_cast<int>(f.kind);
        }
    }
}

}  // namespace

TEST(Thresholds, StayWithinTheUnitIntervalWhereTheInversionOvershootsByRounding) {
    // SL(0.2) is 1 + 2.2e-16 as (1 - L) (P(NoWait) + joint) falls here.
    const ModelInput input = centre("1 0 0.05 -1 -1 37 20 1 5 0.1 32 5 0");
    const Evaluation e = evaluate("1 0 0.05 -1 -1 37 20 1 5 0.1 32 5 0", {0.2});
    BinomialRows rows;
    const ModelRun run = runModel(input, rows, calculatorRequest(input));
    EXPECT_GT(serviceLevel(run.model.measures, run.curves.euler->joint[1]), 1.0) << "the overshoot this test is about";
    EXPECT_EQ(e.thresholds[0].serviceLevel, 1.0);
    EXPECT_LE(e.thresholds[0].conditional, 1.0);
    EXPECT_EQ(withinUnitInterval(1 + 2e-6), 1 + 2e-6) << "beyond the slack: as computed, for the checks to report";
    EXPECT_EQ(withinUnitInterval(-1e-7), 0.0);
}

TEST(Measures, StayWithinTheUnitIntervalWhereTheCalculatorsRoundingLeavesIt) {
    // One agent, no waiting room, lambda = 1000: the calculator's P(S) is
    // 1.0000000000001452 (and P(NoWait) the same), its 1 - P(S) negative.
    const char* const values = "1 0 0.5 -1 -1 1 0 1 1000 0.1 32 5 0";
    BinomialRows rows;
    const ModelRun run = runModel(centre(values), rows, calculatorRequest(centre(values)));
    EXPECT_GT(run.model.measures.servedProb, 1.0) << "the calculator's own value, which stays";
    const Evaluation e = evaluate(values, {0.1});
    for (const Measure m : {Measure::LossProb, Measure::NoWaitProb, Measure::ServedProb, Measure::AbandonProb,
                            Measure::Occupancy, Measure::ServiceLevel, Measure::ConditionalWait}) {
        const double p = columnValue(e, {m, 0.1});
        EXPECT_TRUE(p >= 0 && p <= 1) << "measure " << static_cast<int>(m) << " = " << p;
    }
    EXPECT_EQ(e.measures.servedProb, 1.0);
    EXPECT_EQ(e.measures.abandonProb, 0.0);
    EXPECT_TRUE(testsupport::sameBits(e.measures.lossProb, run.model.measures.lossProb)) << "inside [0, 1]: its bits";
}

TEST(ScenarioWorkspace, GivesTheBitsOfAFreshEvaluationAcrossGrowingAndShrinkingCentres) {
    // r grows past the transform's row bounds (48) and shrinks below them
    // again, patience types and methods change, and a rejected scenario
    // (negative r) leaves the workspace half-used in between.
    const struct {
        const char* values;
        WaitingMethod method;
    } kSequence[] = {
        {"1 0 0.5 -1 -1 10 20 1 9.5 0.1 32 5 0", WaitingMethod::Exact},
        {"1 0 0.5 -1 -1 60 300 1 62 0.1 32 5 0", WaitingMethod::Euler},
        {"1 1 1.5 3 -1 10 5 1 9.5 0.1 32 5 0", WaitingMethod::Euler},
        {"1 0 0.5 -1 -1 10 -3 1 9.5 0.1 32 5 0", WaitingMethod::Exact},
        {"1 2 2 1.5 -1 20 120 1 19 0.1 32 5 0", WaitingMethod::Talbot},
        {"1 2 2 1.5 -1 3 0 1 2 0.1 32 5 0", WaitingMethod::Exact},
        {"1 1 1.5 3 -1 10 20 1 9.5 0.1 32 5 0", WaitingMethod::Exact},
        {"1 0 0.5 -1 -1 10 20 1 9.5 0.1 32 5 0", WaitingMethod::Euler},
    };
    BinomialRows rows;
    ScenarioWorkspace reused;
    std::size_t compared = 0;
    for (const auto& c : kSequence) {
        EvaluationRequest request;
        request.thresholds = {0.2, 0.05};
        request.method = c.method;
        ScenarioWorkspace fresh;
        bool rejected = false;
        Evaluation expected;
        try {
            expected = evaluateScenario(centre(c.values), request, rows, fresh);
        } catch (const RunFailure&) {
            rejected = true;
        }
        if (rejected) {
            EXPECT_THROW(evaluateScenario(centre(c.values), request, rows, reused), RunFailure) << c.values;
            continue;
        }
        const Evaluation got = evaluateScenario(centre(c.values), request, rows, reused);
        const std::vector<double> a = columnValues(expected);
        const std::vector<double> b = columnValues(got);
        ASSERT_EQ(a.size(), b.size()) << c.values;
        for (std::size_t i = 0; i < a.size(); ++i)
            EXPECT_TRUE(testsupport::sameBits(a[i], b[i])) << c.values << " column " << i << ": " << a[i] << " vs " << b[i];
        EXPECT_EQ(expected.findings.size(), got.findings.size()) << c.values;
        ++compared;
    }
    EXPECT_EQ(compared, 7u);
}
