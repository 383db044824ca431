// Staffing: the search against a plain upward scan on random scenarios,
// against an independent Erlang-A (M/M/s+M) computation, and on targets that
// break its monotonicity assumption.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <random>
#include <vector>

#include "input/model_fields.h"
#include "analysis/evaluation.h"
#include "analysis/staffing.h"
#include "core/failure.h"
#include "core/stop_request.h"
#include "cli/target_option.h"
#include "report/measure_labels.h"
#include "support/erlang_a.h"
#include "support/measured_error.h"
#include "sweep/sweep_support.h"

using namespace queuecalc;
using testsupport::ErlangA;
using testsupport::erlangA;

namespace {

StaffingProblem problemFor(StaffedField field, const ModelInput& input, const std::vector<std::string>& targets) {
    std::vector<Target> parsed;
    for (const std::string& text : targets) parsed.push_back(parseTarget(text));
    return makeStaffingProblem(field, parsed, 0, input);
}

TEST(Staffing, AgreesWithAFullScanOnRandomScenarios) {
    std::mt19937 random(20261207);  // fixed seed: the same scenarios every run
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const char* targetSets[][2] = {
        {"SL(0.3)>=0.8", "P(A)<=0.05"},
        {"ASA<=0.1", "P(Loss)<=0.01"},
        {"P(W<=0.5|S)>=0.9", "occupancy<=0.9"},
        {"abandonRate<=0.2", "meanQueueLength<=1"},
    };
    int disagreements = 0, scans = 0, searched = 0;
    for (int trial = 0; trial < 24; ++trial) {
        ModelInput input = sweeptest::smallCentre();
        input.setAbandonType(trial % 3);
        input.abandonParam1 = 0.2 + 2 * unit(random);
        input.abandonParam2 = trial % 3 == 1 ? 1 + std::floor(4 * unit(random)) : 0.5 + unit(random);
        input.waitingPlaces = 2 + static_cast<int>(18 * unit(random));
        input.arrivalRate = 0.5 + 15 * unit(random);
        input.inversionTerms = 12;
        input.setInversionMethod(trial % 4 == 0 ? 1 : -1);
        const auto& targets = targetSets[trial % 4];
        const StaffedField field = trial % 5 == 4 ? StaffedField::WaitingPlaces : StaffedField::Servers;
        EvaluationRequest settings;
        settings.thresholds = {0.3, 0.5};
        BinomialRows rows;
        StaffingProblem problem = problemFor(field, input, {targets[0], targets[1]});
        problem.largest = std::min(problem.largest, 60);  // keeps the scans of misses short
        const StaffingEvaluator evaluate = scenarioEvaluator(field, input, settings, rows);
        const StaffingResult search = findStaffing(problem, input, evaluate);
        const StaffingResult scan = scanStaffing(problem, evaluate);
        ++searched;
        scans += search.scanned ? 1 : 0;
        if (search.found != scan.found || (search.found && search.value != scan.value)) {
            ++disagreements;
            ADD_FAILURE() << "trial " << trial << ": search " << search.value << " (found " << search.found
                          << "), scan " << scan.value << " (found " << scan.found << ")";
        }
        if (search.found && scan.found) {
            const std::vector<double> bySearch = columnValues(*search.evaluation), byScan = columnValues(*scan.evaluation);
            for (std::size_t c = 0; c < byScan.size(); ++c)
                EXPECT_TRUE(sweeptest::sameBits(bySearch[c], byScan[c])) << "trial " << trial << " column " << c;
        }
    }
    EXPECT_EQ(disagreements, 0);
    std::cout << "[ staffing ] " << searched << " searches, " << scans << " fell back to the scan\n";
}

// The margin of one synthetic target at each value: misses everywhere but at
// 5 and from 20 on, and falls from 0 to 1, where the search must notice it.
Evaluation withRho(double rho) {
    Evaluation e;
    e.measures.rho = rho;
    return e;
}

Evaluation spikyColumns(int value, bool) {
    return withRho(value == 5 || value >= 20 ? 1.0 : value == 0 ? -1.0 : -10.0 + value);
}

// One target, RHO >= 0, on synthetic columns where column 0 is its margin.
StaffingProblem syntheticProblem(int largest) {
    StaffingProblem problem;
    problem.field = StaffedField::WaitingPlaces;
    problem.smallest = 0;
    problem.largest = largest;
    problem.targets.push_back(parseTarget("RHO>=0"));
    return problem;
}

TEST(Staffing, FallsBackToTheScanWhenAMarginIsNotMonotone) {
    const StaffingResult result = findStaffing(syntheticProblem(100), ModelInput(), spikyColumns);
    EXPECT_TRUE(result.found);
    EXPECT_EQ(result.value, 5);
    EXPECT_TRUE(result.scanned);
}

TEST(Staffing, ReportsNoAnswerWithinTheLimit) {
    int evaluations = 0;
    const StaffingResult result = findStaffing(syntheticProblem(40), ModelInput(), [&](int value, bool) {
        ++evaluations;
        return withRho(-100.0 + value);  // rising, never reaching 0
    });
    EXPECT_FALSE(result.found);
    EXPECT_FALSE(result.scanned);
    EXPECT_LT(evaluations, 10) << "galloping needs only a few values to reach the limit";
}

TEST(Staffing, AStopRequestEndsTheSearchBeforeTheNextValueIsEvaluated) {
    for (const int requestAt : {1, 3, 6}) {  // the evaluation that makes the request
        StopRequest stop;
        StaffingProblem problem = syntheticProblem(1000);
        problem.stop = &stop;
        int evaluations = 0;
        const auto evaluate = [&](int value, bool) {
            if (++evaluations == requestAt) stop.request();
            return withRho(-500.0 + value);  // met from 500 on: some ten values to find it
        };
        EXPECT_THROW(findStaffing(problem, ModelInput(), evaluate), Stopped) << requestAt;
        EXPECT_EQ(evaluations, requestAt);
    }
}

TEST(Staffing, AnOfferedLoadBeyondTheLimitIsRefusedBeforeAnyValueIsEvaluated) {
    const struct {
        double arrivalRate, serviceRate;
        bool refused;
    } cases[] = {{1e9, 1, true}, {2e8, 0.5, true}, {1.0000001e7, 1, true}, {1e7, 1, false}, {9.5, 1, false}};
    for (const auto& c : cases) {
        ModelInput input = sweeptest::smallCentre();
        input.arrivalRate = c.arrivalRate;
        input.serviceRate = c.serviceRate;
        int evaluations = 0;
        const auto evaluate = [&](int, bool) {
            ++evaluations;
            return withRho(1);  // met at once
        };
        StaffingProblem problem = syntheticProblem(10);
        problem.field = StaffedField::Servers;
        problem.smallest = 1;
        try {
            findStaffing(problem, input, evaluate);
            EXPECT_FALSE(c.refused) << c.arrivalRate << " / " << c.serviceRate;
        } catch (const RunFailure& refused) {
            EXPECT_TRUE(c.refused) << refused.what();
            EXPECT_NE(std::string(refused.what()).find("more than the 10000000 Erlangs a staffing search takes"),
                      std::string::npos)
                << refused.what();
            EXPECT_EQ(evaluations, 0);
        }
    }
    // A sweep's row says so in its note, at once.
    const testsupport::TempFolder folder;
    testsupport::writeBytes(folder / "INPUT.DAT", sweeptest::smallCentreFile().text());
    const testsupport::ToolRun run = sweeptest::runSweepIn(
        folder.path(), "--staff --target 'SL(2)>=0.8' --set serviceRate=1 --vary arrivalRate=9.5,2e9 --no-header");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("an offered load of 2e+09 Erlangs (arrivalRate 2e+09 / serviceRate 1) is more than the "
                           "10000000 Erlangs a staffing search takes"),
              std::string::npos)
        << run.out;
}

// ---------------------------------------------------------------------------
// Erlang-A (tests/support/erlang_a.h): M/M/s+M with an unlimited waiting room.

// A waiting room this large holds the chain's whole mass: at 5 waiting
// callers per unit of lambda / theta the tail is far below a double's reach.
constexpr int kLargeWaitingRoom = 150;
// Differences allowed between the calculator and Erlang-A: roundings of two
// different summation orders over about 160 states.
constexpr double kErlangATolerance = 1e-12;

TEST(Staffing, AgreesWithAnIndependentErlangAComputation) {
    struct Case {
        double lambda, mu, theta;
        const char* targets[3];
        double noWaitAtLeast, abandonAtMost, queueAtMost;
    };
    const Case cases[] = {
        {9.5, 1.0, 0.5, {"P(NoWait)>=0.6", "P(A)<=0.05", "meanQueueLength<=1"}, 0.6, 0.05, 1.0},
        {40.0, 0.5, 0.2, {"P(NoWait)>=0.5", "P(A)<=0.01", "meanQueueLength<=2"}, 0.5, 0.01, 2.0},
        {3.0, 1.0, 2.0, {"P(NoWait)>=0.9", "P(A)<=0.2", "meanQueueLength<=5"}, 0.9, 0.2, 5.0},
    };
    double worst = 0;
    std::string worstAt;
    for (const Case& c : cases) {
        ModelInput input = sweeptest::smallCentre();
        input.arrivalRate = c.lambda;
        input.serviceRate = c.mu;
        input.abandonParam1 = c.theta;
        input.waitingPlaces = kLargeWaitingRoom;
        EvaluationRequest settings;  // no thresholds: measures only
        BinomialRows rows;
        const StaffingProblem problem = problemFor(StaffedField::Servers, input,
                                                   {c.targets[0], c.targets[1], c.targets[2]});
        const StaffingResult search =
            findStaffing(problem, input, scenarioEvaluator(StaffedField::Servers, input, settings, rows));

        int expected = 1;
        for (;; ++expected) {
            const ErlangA a = erlangA(expected, c.lambda, c.mu, c.theta);
            if (a.noWait >= c.noWaitAtLeast && a.abandonment <= c.abandonAtMost && a.queueLength <= c.queueAtMost) break;
        }
        ASSERT_TRUE(search.found);
        EXPECT_EQ(search.value, expected) << "lambda " << c.lambda;
        const ErlangA a = erlangA(search.value, c.lambda, c.mu, c.theta);
        const std::vector<double> values = columnValues(*search.evaluation);
        const double errors[] = {std::fabs(values[2] - a.noWait) / a.noWait,
                                 std::fabs(values[4] - a.abandonment) / a.abandonment,
                                 std::fabs(values[17] - a.queueLength) / a.queueLength};
        const char* names[] = {"P(NoWait)", "P(A)", "meanQueueLength"};
        for (int i = 0; i < 3; ++i)
            if (errors[i] > worst) {
                worst = errors[i];
                worstAt = std::string(names[i]) + ", lambda " + std::to_string(c.lambda);
            }
    }
    EXPECT_LE(worst, kErlangATolerance);
    testsupport::reportWorstError("staffed centres against Erlang-A", testsupport::ErrorKind::Relative, worst,
                                  kErlangATolerance, worstAt);
}

}  // namespace
