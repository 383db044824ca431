// The exact waiting-time method: its certified bound against 40-digit
// references, the Erlang C closed form, the Euler inversion, and the same bits
// on any number of threads.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/evaluation.h"
#include "engine/exact_waiting_time.h"
#include "input/binomial_row.h"
#include "input/model_input.h"
#include "input/time_grid.h"
#include "support/call_centre.h"
#include "support/measured_error.h"
#include "support/same_bits.h"

namespace queuecalc {
namespace {

// The bound the examples and the project's scenarios must stay within.
constexpr double kLargestAcceptedBound = 1e-12;

using testsupport::queueModelOf;

std::vector<double> gridOf(const QueueModel& m) {
    return buildTimeGrid(computeMomentCount(m.input.maxTime, m.input.momentInterval), m.input.momentInterval);
}

struct ReferenceScenario {
    std::string name;
    std::string input;
    std::string data;  // C_r, w_r, P(S) as hexadecimal floats
    std::vector<double> moments;
    std::vector<long double> joint;
};

// tests/data/exact/references.txt, written by tests/tools/exact_reference.py.
std::vector<ReferenceScenario> readReferences() {
    std::ifstream file(std::string(QUEUECALC_TEST_DATA) + "/exact/references.txt");
    std::vector<ReferenceScenario> all;
    std::string word;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream in(line);
        in >> word;
        if (word == "scenario") {
            all.emplace_back();
            in >> all.back().name;
        } else if (word == "input") {
            std::getline(in, all.back().input);
        } else if (word == "data") {
            std::getline(in, all.back().data);
        } else if (word == "t") {
            double t = 0;
            std::string j;
            std::string value;
            in >> t >> j >> value;
            all.back().moments.push_back(t);
            all.back().joint.push_back(std::strtold(value.c_str(), nullptr));
        }
    }
    return all;
}

TEST(ExactWaitingTime, StaysWithinItsBoundOfTheFortyDigitReferencesOnBothPathsAndSoDoesTheServiceLevel) {
    const std::vector<ReferenceScenario> scenarios = readReferences();
    ASSERT_GE(scenarios.size(), 11u) << "tests/data/exact/references.txt missing or short";
    for (const ReferenceScenario& sc : scenarios) {
        const QueueModel model = queueModelOf(sc.input);
        const ExactWaitingModel facts = exactWaitingModel(model);
        const int r = facts.waitingPlaces;
        // The references were computed on these very doubles.
        std::istringstream data(sc.data);
        std::string lastRate, lastWeight, served;
        data >> lastRate >> lastWeight >> served;
        const bool same = std::strtod(lastRate.c_str(), nullptr) == model.hazard.cumulativeAbandonRate[r] &&
                          (r == 0 || std::strtod(lastWeight.c_str(), nullptr) == facts.positionWeight[r]) &&
                          std::strtod(served.c_str(), nullptr) == model.measures.servedProb;
        ASSERT_TRUE(same) << sc.name << ": the model's data changed; rerun tests/tools/exact_reference.py";
        // Exponential patience with C_k = k C_1 exactly: one death chain.
        const bool exponential = model.input.patience == PatienceType::Exponential;
        const bool linear = exponential && deathChainDeviation(facts) == 0;
        for (ExactPrecision precision : {ExactPrecision::Extended, ExactPrecision::Double})
        for (bool chain : {true, false}) {
            ExactWaitingOptions options;
            options.precision = precision;
            options.allowDeathChain = chain;
            const ExactWaitingCurves c = exactWaitingTime(facts, sc.moments, options);
            ASSERT_TRUE(c.applicable) << sc.name;
            const bool onChain = c.method == ExactMethod::DeathChain;
            if (r > 0 && chain && linear) {
                EXPECT_TRUE(onChain) << sc.name;
            }
            if (!chain || !exponential) {
                EXPECT_FALSE(onChain) << sc.name;
            }
            double worst = 0;
            double widest = 0;
            for (std::size_t i = 0; i < sc.moments.size(); ++i) {
                const double error = static_cast<double>(std::fabs(c.joint[i] - sc.joint[i]));
                EXPECT_LE(error, c.jointBound[i]) << sc.name << " at t = " << sc.moments[i];
                worst = std::max(worst, error);
                widest = std::max(widest, c.jointBound[i]);
            }
            const bool extended = c.precision == ExactPrecision::Extended;
            if (extended) {
                EXPECT_LE(widest, kLargestAcceptedBound) << sc.name;
            }
            char bound[32];
            std::snprintf(bound, sizeof bound, "%.3g", widest);
            testsupport::reportWorstError(
                "exact P(0<W<=t,S), " + sc.name + (extended ? ", extended" : ", double") +
                    (onChain ? ", death chain" : ", rows") + " (stated bound " + bound + ")",
                testsupport::ErrorKind::Absolute, worst, widest);
        }
        // bound(TAU) of the analysis layer: SL(TAU) = (1 - P(Loss)) (P(W = 0) + J).
        std::vector<double> thresholds;
        for (double t : sc.moments)
            if (t > 0) thresholds.push_back(t);
        if (thresholds.empty()) continue;
        EvaluationRequest request;
        request.thresholds = thresholds;
        BinomialRows rows;
        const Evaluation e = evaluateScenario(model.input, request, rows);
        for (std::size_t i = 0, j = 0; i < sc.moments.size(); ++i) {
            if (!(sc.moments[i] > 0)) continue;
            const ThresholdResult& t = e.thresholds[j++];
            const long double level =
                (1 - static_cast<long double>(e.measures.lossProb)) * (e.measures.noWaitProb + sc.joint[i]);
            ASSERT_TRUE(t.bound.has_value()) << sc.name;
            EXPECT_LE(static_cast<double>(std::fabs(t.serviceLevel - level)), *t.bound) << sc.name << " SL";
        }
    }
}

// No abandonment: every step of row k has the rate s mu, so F_k(t) =
// P(Poisson(s mu t) >= k), summed here term by term in long double.
TEST(ExactWaitingTime, AgreesWithTheErlangCClosedFormWhenNobodyAbandons) {
    struct Case {
        const char* values;
        std::vector<double> moments;
    };
    const Case cases[] = {
        {"1 0 0 -1 -1 10 20 1.0 9.5 0.1 32 5 0", {1e-9, 0.1, 1, 5, 40}},
        {"1 0 0 -1 -1 50 2000 1.0 49.9 0.1 32 5 0", {0.5, 5, 30, 60}},
    };
    constexpr double kClosedFormTol = 1e-16;  // the closed form's own rounding, long double
    double worstExcess = 0;  // how far an error went beyond its certified bound
    for (const Case& cs : cases) {
        const QueueModel model = queueModelOf(cs.values);
        const ExactWaitingCurves c = evaluateExactWaitingTime(model, cs.moments);
        const ExactWaitingModel data = exactWaitingModel(model);
        const long double sigma = static_cast<long double>(data.servers) * data.serviceRate;
        for (std::size_t i = 0; i < cs.moments.size(); ++i) {
            const long double x = sigma * cs.moments[i];
            long double term = std::exp(-x);  // P(Poisson = 0)
            long double below = 0;            // P(Poisson < k)
            long double joint = 0;
            for (int k = 1; k <= data.waitingPlaces; ++k) {
                below += term;
                term = term * x / k;
                joint += data.positionWeight[k] * (1 - below);
            }
            const double error = static_cast<double>(std::fabs(c.joint[i] - joint));
            EXPECT_LE(error, c.jointBound[i] + kClosedFormTol) << cs.values << " at t = " << cs.moments[i];
            worstExcess = std::max(worstExcess, error - c.jointBound[i]);
        }
    }
    testsupport::reportWorstError("exact against the Erlang C closed form, beyond the certified bound",
                                  testsupport::ErrorKind::Absolute, worstExcess, kClosedFormTol);
}

// Euler with M = 20 .. 24 terms is off by 1e-11 to 1e-9, and by 1e-7 on the
// overloaded example at M = 20 (its discretization error); from M = 32 on it
// loses a digit every few terms. Every fourth moment of each grid.
TEST(ExactWaitingTime, AgreesWithEulerAtTwentyToTwentyFourTermsOnTheExamples) {
    constexpr double kEulerTol = 2e-7;
    const std::string root = QUEUECALC_SOURCE_DIR;
    const char* const folders[] = {"/examples/typical", "/examples/large", "/examples/lognormal",
                                   "/examples/overloaded", "/tests/data/examples/erlang3-comments",
                                   "/tests/data/examples/lognormal"};
    for (const char* folder : folders) {
        const QueueModel model = testsupport::queueModelOfFile(root + folder + "/INPUT.DAT");
        std::vector<double> grid;
        for (std::size_t i = 0; i < gridOf(model).size(); i += 4) grid.push_back(gridOf(model)[i]);
        const ExactWaitingCurves exact = evaluateExactWaitingTime(model, grid);
        double widest = 0;
        for (double b : exact.jointBound) widest = std::max(widest, b);
        EXPECT_LE(widest, kLargestAcceptedBound) << folder;
        for (int terms = 20; terms <= 24; terms += 2) {
            const WaitingTimeCurves euler =
                evaluateWaitingTime(model, InversionAlgorithm::Euler, terms, grid, exactBinomialRow(terms));
            double worst = 0;
            for (std::size_t i = 0; i < grid.size(); ++i)
                worst = std::max(worst, std::fabs(euler.joint[i] - exact.joint[i]));
            EXPECT_LE(worst, kEulerTol) << folder << ", M = " << terms;
            testsupport::reportWorstError(std::string("Euler M = ") + std::to_string(terms) + " against exact, " +
                                              folder,
                                          testsupport::ErrorKind::Absolute, worst, kEulerTol);
        }
    }
}

TEST(ExactWaitingTime, GivesTheSameBitsOnAnyThreadsAndForAMomentAlone) {
    const std::string root = QUEUECALC_SOURCE_DIR;
    for (const char* folder : {"/examples/large", "/examples/lognormal"}) {
        const QueueModel model = testsupport::queueModelOfFile(root + folder + "/INPUT.DAT");
        const std::vector<double> grid = gridOf(model);
        ExactWaitingOptions threads;
        threads.engine = TransformEngine::Fast;
        ExactWaitingOptions one;
        one.engine = TransformEngine::FastOneThread;
        const ExactWaitingCurves all = evaluateExactWaitingTime(model, grid, threads);
        const ExactWaitingCurves single = evaluateExactWaitingTime(model, grid, one);
        for (std::size_t i = 0; i < grid.size(); i += 7) {
            const ExactWaitingCurves alone = evaluateExactWaitingTime(model, {grid[i]}, one);
            EXPECT_TRUE(testsupport::sameBits(alone.joint[0], all.joint[i])) << folder << " t = " << grid[i];
            EXPECT_TRUE(testsupport::sameBits(alone.jointBound[0], all.jointBound[i])) << folder;
        }
        for (std::size_t i = 0; i < grid.size(); ++i) {
            EXPECT_TRUE(testsupport::sameBits(single.joint[i], all.joint[i])) << folder << " t = " << grid[i];
            EXPECT_TRUE(testsupport::sameBits(single.conditionalBound[i], all.conditionalBound[i])) << folder;
        }
    }
}

// sum_k w_k sum_j |(C_k - C_{j-1}) - C_{k-j+1}| / (e s mu), term by term; the
// differences are exact in long double for these data (C within [0.1, 400]).
double deviationByDefinition(const ExactWaitingModel& m) {
    long double total = 0;
    const std::vector<double>& C = m.cumulativeAbandonRate;
    for (int k = 1; k <= m.waitingPlaces; ++k) {
        long double row = 0;
        for (int j = 1; j <= k; ++j)
            row += std::fabs((static_cast<long double>(C[k]) - C[j - 1]) - static_cast<long double>(C[k - j + 1]));
        total += m.positionWeight[k] * row;
    }
    return static_cast<double>(total / (std::exp(1.0L) * m.servers * m.serviceRate));
}

TEST(ExactWaitingTime, BoundsHowFarItsRowsAreFromOneDeathChain) {
    struct Case {
        const char* values;
        bool zero;  // C_k = k C_1 exactly
    };
    const Case cases[] = {
        {"1 0 0.5 -1 -1 10 20 1.0 9.5 0.1 32 5 0", true},
        {"1 0 0.1 -1 -1 10 60 1.0 9.5 0.1 32 5 0", false},
        {"1 0 0.2 -1 -1 400 1500 1.0 480 0.02 32 2 0", false},
        {"1 0 0.3 -1 -1 5 200 1.0 6 0.1 32 5 0", false},
    };
    for (const Case& cs : cases) {
        const ExactWaitingModel m = exactWaitingModel(queueModelOf(cs.values));
        const double stated = deathChainDeviation(m);
        const double actual = deviationByDefinition(m);
        EXPECT_GE(stated, actual) << cs.values;
        EXPECT_EQ(stated == 0, cs.zero) << cs.values << ": " << stated;
    }
    // A running sum bent by a few units of 2^-40 on every third place.
    ExactWaitingModel bent = exactWaitingModel(queueModelOf("1 0 0.25 -1 -1 10 40 1.0 9.5 0.1 32 5 0"));
    for (int i = 1; i <= bent.waitingPlaces; ++i) bent.cumulativeAbandonRate[i] = 0.25 * i + (i % 3) * 0x1p-40;
    EXPECT_GE(deathChainDeviation(bent), deviationByDefinition(bent));
    EXPECT_GT(deviationByDefinition(bent), 0.0);
    ExactWaitingOptions options;
    options.tolerance = 1e-6;  // lets the bent chain run
    const ExactWaitingCurves chain = exactWaitingTime(bent, {0.3, 1.0}, options);
    options.allowDeathChain = false;
    const ExactWaitingCurves rows = exactWaitingTime(bent, {0.3, 1.0}, options);
    EXPECT_EQ(chain.method, ExactMethod::DeathChain);
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_LE(std::fabs(chain.joint[i] - rows.joint[i]), chain.jointBound[i] + rows.jointBound[i]);
}

std::vector<double> everyStep(double from, double to, double step) {
    std::vector<double> moments;
    for (double t = from; t <= to; t += step) moments.push_back(t);
    return moments;
}

// Moments near zero, in the window, past the chain's settling, surely
// complete, and so far out (Lambda t >= 2^26) that the rows take them; and
// windows ending at every event count around where the typical chain
// settles (the moments that may and may not use it); and a long queue
// seldom used.
TEST(ExactWaitingTime, TakesEveryMomentAloneOnTheDeathChainAndAgreesWithTheRows) {
    struct Case {
        const char* values;
        std::vector<double> moments;
    };
    const Case cases[] = {
        {"1 0 0.5 -1 -1 10 20 1.0 9.5 0.1 32 5 0", {0, 1e-9, 0.2, 1, 5, 40}},
        {"1 0 0.5 -1 -1 10 20 1.0 9.5 0.1 32 5 0", everyStep(1, 4, 0.01)},
        {"1 0 1.0 -1 -1 1 30 0.01 0.02 0.1 32 5 0", {1e-3, 3, 50, 400, 2000, 1e5, 1e7}},
        {"1 0 0.5 -1 -1 500 1000 1.0 495 0.001 32 0.1 0", {0.001, 0.05, 0.1, 0.5, 3}},
        {"1 0 0 -1 -1 5 40 1.0 4.8 0.1 32 5 0", {0.05, 1, 6, 30}},
        // Most of the 13376 places have a negligible weight: the chain leaves them out.
        {"1 0 0.5 -1 -1 500 13376 1.0 495 0.001 32 0.1 0", {0.05, 1, 10}},
    };
    double worstShare = 0;  // the largest gap as a share of the two bounds summed
    for (const Case& cs : cases) {
        const ExactWaitingModel m = exactWaitingModel(queueModelOf(cs.values));
        const ExactWaitingCurves all = exactWaitingTime(m, cs.moments);
        ExactWaitingOptions rowsOnly;
        rowsOnly.allowDeathChain = false;
        const ExactWaitingCurves rows = exactWaitingTime(m, cs.moments, rowsOnly);
        ASSERT_TRUE(all.applicable && rows.applicable) << cs.values;
        EXPECT_EQ(all.method, ExactMethod::DeathChain) << cs.values;
        for (std::size_t i = 0; i < cs.moments.size(); ++i) {
            const ExactWaitingCurves alone = exactWaitingTime(m, {cs.moments[i]});
            EXPECT_TRUE(testsupport::sameBits(alone.joint[0], all.joint[i])) << cs.values << " t = " << cs.moments[i];
            EXPECT_TRUE(testsupport::sameBits(alone.jointBound[0], all.jointBound[i])) << cs.values;
            const double gap = std::fabs(all.joint[i] - rows.joint[i]);
            const double bounds = all.jointBound[i] + rows.jointBound[i];
            EXPECT_LE(gap, bounds) << cs.values << " t = " << cs.moments[i];
            EXPECT_LE(all.jointBound[i], kLargestAcceptedBound) << cs.values << " t = " << cs.moments[i];
            const double share = bounds > 0 ? gap / bounds : (gap > 0 ? HUGE_VAL : 0.0);
            worstShare = std::max(worstShare, share);
        }
    }
    testsupport::reportWorstError("death chain against the rows, gap over the two bounds summed",
                                  testsupport::ErrorKind::Relative, worstShare, 1.0);
}

TEST(ExactWaitingTime, IsExactlyZeroAtTimeZeroAndWithoutWaitingPlacesAndRefusesANegativeHazard) {
    const QueueModel typical = queueModelOf("1 0 0.5 -1 -1 10 20 1.0 9.5 0.1 32 5 0");
    const ExactWaitingCurves atZero = evaluateExactWaitingTime(typical, {0.0});
    EXPECT_EQ(atZero.joint[0], 0.0);
    EXPECT_EQ(atZero.jointBound[0], 0.0);
    EXPECT_EQ(atZero.conditional[0], typical.measures.noWaitProb / typical.measures.servedProb);

    const ExactWaitingCurves noQueue = evaluateExactWaitingTime(queueModelOf("1 0 0.5 -1 -1 10 0 1.0 9.5 0.1 32 5 0"), {1.0});
    EXPECT_EQ(noQueue.joint[0], 0.0);

    ExactWaitingModel rising = exactWaitingModel(typical);
    rising.cumulativeAbandonRate[5] = rising.cumulativeAbandonRate[4] - 0.1;
    const ExactWaitingCurves refused = exactWaitingTime(rising, {1.0});
    EXPECT_FALSE(refused.applicable);
    EXPECT_TRUE(std::isnan(refused.joint[0]));
    EXPECT_THROW(exactWaitingTime(rising, {-1.0}), std::invalid_argument);
}

}  // namespace
}  // namespace queuecalc
