// The exact model of the queue against 50-digit references of the same
// formulas (tests/tools/exact_queue_reference.py), within its stated bounds;
// against the chain where patience is exponential (where the chain is exact);
// and in the programs' evaluation.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/evaluation.h"
#include "input/input_checks.h"
#include "input/model_input.h"
#include "model/exact_queue.h"
#include "support/measured_error.h"
#include "support/same_bits.h"

namespace queuecalc {
namespace {

// What the references hold the model to: 1e-12 relative, or 1e-15 absolute
// for values below 1e-3.
constexpr double kRelativeTarget = 1e-12;
constexpr double kAbsoluteTargetBelow = 1e-15;
constexpr double kSmallValue = 1e-3;
// Exponential patience: the exact model and the chain are the same queue.
constexpr double kChainAgreement = 1e-12;

double target(long double reference) {
    const double r = static_cast<double>(std::fabs(reference));
    return r < kSmallValue ? std::max(kAbsoluteTargetBelow, kRelativeTarget * r) : kRelativeTarget * r;
}

struct Reference {
    std::string name;
    std::string input;
    std::map<std::string, long double> measures;
    std::vector<double> moments;
    std::vector<long double> joint, conditional, serviceLevel;
};

long double number(const std::string& text) {
    return text == "nan" ? std::nanl("") : std::strtold(text.c_str(), nullptr);
}

// tests/data/exact_queue/references.txt.
std::vector<Reference> readReferences() {
    std::ifstream file(std::string(QUEUECALC_TEST_DATA) + "/exact_queue/references.txt");
    std::vector<Reference> all;
    std::string line, word;
    while (std::getline(file, line)) {
        std::istringstream in(line);
        if (!(in >> word) || word[0] == '#') continue;
        if (word == "centre") {
            all.emplace_back();
            in >> all.back().name;
        } else if (word == "input") {
            std::getline(in, all.back().input);
        } else if (word == "measure") {
            std::string label, value;
            in >> label >> value;
            all.back().measures[label] = number(value);
        } else if (word == "t") {
            std::string t, j, jv, c, cv, sl, slv;
            in >> t >> j >> jv >> c >> cv >> sl >> slv;
            all.back().moments.push_back(std::stod(t));
            all.back().joint.push_back(number(jv));
            all.back().conditional.push_back(number(cv));
            all.back().serviceLevel.push_back(number(slv));
        }
    }
    return all;
}

ModelInput inputOf(const std::string& values) {
    std::istringstream in(values);
    const ModelInput input = readModelInput(in);
    validateModelInput(input);
    return input;
}

// The fifteen in the references' labels, with the model's value and bound.
std::vector<std::pair<std::string, std::pair<double, double>>> labelled(const PerformanceMeasures& m,
                                                                       const PerformanceMeasures& b) {
    return {{"RHO", {m.rho, b.rho}},
            {"P(Loss)", {m.lossProb, b.lossProb}},
            {"P(NoWait)", {m.noWaitProb, b.noWaitProb}},
            {"P(S)", {m.servedProb, b.servedProb}},
            {"P(A)", {m.abandonProb, b.abandonProb}},
            {"E[W1_S]", {m.partialMeanServed, b.partialMeanServed}},
            {"E[W^21_S]", {m.partialSecondMomentServed, b.partialSecondMomentServed}},
            {"E[W|S]", {m.meanWaitServed, b.meanWaitServed}},
            {"E[W^2|S]", {m.secondMomentServed, b.secondMomentServed}},
            {"Var(W|S)", {m.varianceServed, b.varianceServed}},
            {"E[W1_A]", {m.partialMeanAbandon, b.partialMeanAbandon}},
            {"E[W^21_A]", {m.partialSecondMomentAbandon, b.partialSecondMomentAbandon}},
            {"E[W|A]", {m.meanWaitAbandon, b.meanWaitAbandon}},
            {"E[W^2|A]", {m.secondMomentAbandon, b.secondMomentAbandon}},
            {"Var(W|A)", {m.varianceAbandon, b.varianceAbandon}}};
}

// The largest share of its stated bound that an error took (for the report).
double largestShareOfBound = 0;

// Checks one value against its reference: within the target and within the
// stated bound; NaN where the reference is undefined. Returns the error in
// units of the target (for the report).
double check(const std::string& what, double value, double bound, long double reference) {
    if (std::isinf(reference)) {
        EXPECT_EQ(value, reference) << what;
        return 0;
    }
    if (std::isnan(reference)) {
        EXPECT_TRUE(std::isnan(value)) << what << " = " << value << ", undefined in the reference";
        return 0;
    }
    const double error = static_cast<double>(std::fabs(value - reference));
    EXPECT_LE(error, target(reference)) << what << " = " << value << ", reference "
                                        << static_cast<double>(reference);
    EXPECT_LE(error, bound) << what << ": error " << error << " beyond the stated bound " << bound;
    if (bound > 0) largestShareOfBound = std::max(largestShareOfBound, error / bound);
    return error / target(reference);
}

TEST(ExactQueue, MatchesTheFiftyDigitReferencesWithinTheTargetsAndItsStatedBounds) {
    const std::vector<Reference> references = readReferences();
    ASSERT_GE(references.size(), 10u) << "tests/data/exact_queue/references.txt missing or short";
    double worst = 0;
    std::string worstAt;
    for (const Reference& ref : references) {
        SCOPED_TRACE(ref.name);
        const ModelInput input = inputOf(ref.input);
        const ExactQueueResult r = solveExactQueue(input, ref.moments);
        // The programs' evaluation: the same, or the chain's solution where
        // that is the queue (exponential patience, small rooms).
        EvaluationRequest request;
        request.model = QueueModelChoice::Exact;
        request.thresholds = ref.moments;
        BinomialRows rows;
        const Evaluation e = evaluateScenario(input, request, rows);
        ASSERT_TRUE(e.measureBounds.has_value());
        for (const auto& values : {labelled(r.measures, r.bounds), labelled(e.measures, *e.measureBounds)})
            for (const auto& [label, valueAndBound] : values) {
                ASSERT_EQ(ref.measures.count(label), 1u) << label;
                const double x = check(label, valueAndBound.first, valueAndBound.second, ref.measures.at(label));
                if (x > worst) worst = x, worstAt = ref.name + " " + label;
            }
        for (std::size_t i = 0; i < ref.moments.size(); ++i) {
            const std::string at = " at " + std::to_string(ref.moments[i]);
            check("P(0 < W <= t, S)" + at, r.joint[i], r.jointBound[i], ref.joint[i]);
            check("P(W <= t | S)" + at, e.thresholds[i].conditional, *e.thresholds[i].conditionalBound,
                  ref.conditional[i]);
            const double x = check("SL" + at, e.thresholds[i].serviceLevel, *e.thresholds[i].bound, ref.serviceLevel[i]);
            if (x > worst) worst = x, worstAt = ref.name + " SL" + at;
        }
    }
    testsupport::reportWorstError("exact model against the references (in units of the target)",
                                  testsupport::ErrorKind::Relative, worst, 1, worstAt);
    testsupport::reportWorstError("exact model against the references (as a share of the stated bound)",
                                  testsupport::ErrorKind::Relative, largestShareOfBound, 1);
}

TEST(ExactQueue, EqualsTheChainForExponentialPatience) {
    // The chain is exact for exponential patience; its P(A) and the moments
    // given A are the sound ones (a sum, not 1 - P(S)). The quadrature alone
    // (solveExactQueue), whichever the programs take.
    const char* centres[] = {
        "1 0 0.5 -1 -1 10 20 1.0 9.5 0.1 32 5 0",      // typical
        "1 0 0.2 -1 -1 4 30 1.0 6 0.1 32 5 0",         // overloaded, small
        "1 0 0.5 -1 -1 500 1000 1.0 495 0.001 32 0.1 0",  // large
        "1 0 2 -1 -1 1 1 1.0 0.3 0.1 32 5 0",          // one agent, one place
        "1 0 0 -1 -1 5 40 1.0 4.8 0.1 32 5 0",         // nobody abandons
    };
    BinomialRows rows;
    double worst = 0;
    for (const char* values : centres) {
        SCOPED_TRACE(values);
        const ModelInput input = inputOf(values);
        EvaluationRequest request;
        request.thresholds = {0.05, 0.5};
        request.model = QueueModelChoice::Chain;
        const Evaluation chain = evaluateScenario(input, request, rows);
        const ExactQueueResult solved = solveExactQueue(input, request.thresholds);
        Evaluation exact = chain;
        exact.measures = solved.measures;
        exact.abandonment.abandonProb = solved.measures.abandonProb;
        exact.abandonment.meanWait = solved.measures.meanWaitAbandon;
        exact.abandonment.secondMoment = solved.measures.secondMomentAbandon;
        exact.abandonment.variance = solved.measures.varianceAbandon;
        for (std::size_t i = 0; i < exact.thresholds.size(); ++i) {
            exact.thresholds[i].serviceLevel =
                (1 - solved.measures.lossProb) * (solved.measures.noWaitProb + solved.joint[i]);
            exact.thresholds[i].conditional = solved.conditional[i];
        }
        const std::vector<Column> columns = resultColumns(request.thresholds);
        for (const Column& c : columns) {
            if (c.measure == Measure::ServiceLevelBound || c.measure == Measure::Occupancy ||
                c.measure == Measure::ASA || c.measure == Measure::MeanQueueLength ||
                c.measure == Measure::AbandonRate || !columnDefined(chain, c))
                continue;
            const double a = columnValue(chain, c), b = columnValue(exact, c);
            const double scale = std::max(std::fabs(a), kSmallValue * 1e-3);
            EXPECT_NEAR(a, b, kChainAgreement * scale) << static_cast<int>(c.measure) << " at " << c.tau;
            worst = std::max(worst, std::fabs(a - b) / scale);
        }
    }
    testsupport::reportWorstError("exact model against the chain, exponential patience",
                                  testsupport::ErrorKind::Relative, worst, kChainAgreement);
}

TEST(ExactQueue, GivesEachMomentAndEveryMeasureTheSameBitsAloneAsAmongOthers) {
    // The intervals do not depend on the moments asked for: a sweep with one
    // threshold and one with three agree to the bit.
    const char* centres[] = {
        "1 2 2 4 -1 10 20 1.0 9.5 0.1 32 5 0",          // lognormal, double
        "1 1 1.5 3 -1 20 40 1.0 17 0.1 32 5 0",        // Erlang
        "1 2 1 1 -1 500 1000 1.0 500 0.005 32 0.5 0",  // lognormal, long double, loss on its own intervals
    };
    const std::vector<double> several = {3, 0.2, 1e-9, 0.7, 50};
    for (const char* values : centres) {
        SCOPED_TRACE(values);
        const ModelInput input = inputOf(values);
        const ExactQueueResult all = solveExactQueue(input, several);
        for (std::size_t i = 0; i < several.size(); ++i) {
            const ExactQueueResult alone = solveExactQueue(input, {several[i]});
            EXPECT_TRUE(testsupport::sameBits(alone.measures, all.measures)) << "the measures, with " << several[i];
            EXPECT_TRUE(testsupport::sameBits(alone.bounds, all.bounds)) << "their bounds, with " << several[i];
            for (const auto& [a, b] : {std::pair{alone.joint[0], all.joint[i]}, {alone.jointBound[0], all.jointBound[i]},
                                       {alone.conditional[0], all.conditional[i]}})
                EXPECT_TRUE(testsupport::sameBits(a, b)) << "at " << several[i];
        }
    }
}

TEST(ExactQueue, StaysSmallAndFiniteWhereTheQueueIsFlatOrTheRoomFarFromFull) {
    // psi flat over hundreds of time units (load exactly 1 per agent, nobody
    // abandons, 13,376 places: the steps must grow where nothing falls), and
    // rooms whose loss lies below every exponent range (its hazard in logs).
    const char* centres[] = {
        "1 0 0 -1 -1 24 13376 1 24 0.1 32 5 0",
        "1 2 1 1 -1 24 13376 1 24 0.1 32 5 0",
        "1 2 1 1 -1 24 600 1 30 0.1 32 5 0",
    };
    constexpr int kFewIntervals = 100;  // a dozen or two where the steps grow as they should
    for (const char* values : centres) {
        SCOPED_TRACE(values);
        const ExactQueueResult r = solveExactQueue(inputOf(values), {0.2});
        EXPECT_LT(r.intervals, kFewIntervals);
        for (const auto& [label, valueAndBound] : labelled(r.measures, r.bounds)) {
            if (std::isnan(valueAndBound.first)) continue;  // the moments given A where nobody abandons
            EXPECT_TRUE(std::isfinite(valueAndBound.second) && valueAndBound.second >= 0) << label;
        }
        EXPECT_TRUE(std::isfinite(r.jointBound[0]));
    }
}

TEST(ExactQueue, AnswersTheEdgesWithoutAgentsRoomOrQueue) {
    // No agents: every admitted caller waits out its patience; the loss is
    // Erlang B with r places and load lambda E[tau] = 3 (lognormal, mean 1).
    const ExactQueueResult noAgents = solveExactQueue(inputOf("1 2 1 0.5 -1 0 5 1.0 3 0.1 32 5 0"), {0.5});
    const double b5 = 3.0 * 3 * 3 * 3 * 3 / 120 / (1 + 3 + 4.5 + 4.5 + 3.375 + 2.025);  // B(5, 3)
    EXPECT_NEAR(noAgents.measures.lossProb, b5, 1e-15);
    EXPECT_EQ(noAgents.measures.servedProb, 0);
    EXPECT_EQ(noAgents.measures.abandonProb, 1);
    EXPECT_NEAR(noAgents.measures.meanWaitAbandon, 1, 1e-15);
    EXPECT_NEAR(noAgents.measures.varianceAbandon, 0.5, 1e-15);
    EXPECT_TRUE(std::isnan(noAgents.measures.meanWaitServed));
    // No room: Erlang B, everybody admitted is answered at once.
    const ExactQueueResult noRoom = solveExactQueue(inputOf("1 1 2 3 -1 10 0 1.0 9.5 0.1 32 5 0"), {0.5});
    EXPECT_NEAR(noRoom.measures.lossProb, 0.19137915830131794, 1e-15);  // B(10, 9.5), the sum in Python
    EXPECT_EQ(noRoom.measures.noWaitProb, 1);
    EXPECT_EQ(noRoom.measures.abandonProb, 0);
    EXPECT_EQ(noRoom.conditional[0], 1);
    EXPECT_TRUE(std::isnan(noRoom.measures.meanWaitAbandon));
    // A moment that is not > 0 and finite is the caller's error.
    EXPECT_THROW(solveExactQueue(inputOf("1 0 0.5 -1 -1 10 20 1.0 9.5 0.1 32 5 0"), {0.0}), std::invalid_argument);
}

}  // namespace
}  // namespace queuecalc
