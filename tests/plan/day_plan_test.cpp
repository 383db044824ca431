// The day plan: the planner's units, shrinkage and totals by hand-worked
// cases, and the service of exponential patience against an Erlang-A
// computation written here from its definition.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/day_plan.h"
#include "core/failure.h"
#include "core/stop_request.h"
#include "plan/options.h"
#include "support/erlang_a.h"
#include "support/measured_error.h"

using namespace queuecalc;
using testsupport::ErlangA;
using testsupport::erlangA;

namespace {

Forecast forecastOf(const std::string& text) {
    std::istringstream in(text);
    return readForecast(in, "test.csv");
}

}  // namespace

TEST(DayPlanUnits, ConvertCallsHandleTimeAndShrinkageAsWorkedByHand) {
    EXPECT_DOUBLE_EQ(arrivalRatePerSecond(180, 30), 0.1);  // 180 calls in 1800 s
    EXPECT_DOUBLE_EQ(arrivalRatePerSecond(90, 15), 0.1);
    EXPECT_DOUBLE_EQ(loadErlangs(180, 300, 30), 30);        // 180 * 300 s of work in 1800 s
    EXPECT_DOUBLE_EQ(loadErlangs(20, 450, 15), 10);
    struct Case {
        double agents, shrinkage;
        bool fractional;
        double scheduled;
    };
    const Case cases[] = {
        {7, 0.3, false, 10},   // 7 / 0.7 = 10 exactly, not 11 for a rounding residue
        {8, 0.3, false, 12},   // 11.43 rounds up
        {0, 0.3, false, 0},
        {31, 0, false, 31},
        {7.5, 0.25, true, 10}, // fractional: not rounded
        {21, 0.35, false, 33}, // 32.3 rounds up
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(scheduledAgents(c.agents, c.shrinkage, c.fractional), c.scheduled)
            << c.agents << " agents, shrinkage " << c.shrinkage;
}

TEST(DayPlanUnits, OptionsAcceptPercentagesWithOrWithoutTheSign) {
    const plan::PlanOptions o = plan::parsePlanOptions(
        {"day.csv", "--sl", "90%/15s", "--max-abandon", "5", "--max-occupancy=85%", "--shrinkage", "32.5 %",
         "--patience", "lognormal:0.8", "--patience-mean", "90", "--interval-minutes", "15", "--lines", "40"},
        2);
    EXPECT_DOUBLE_EQ(*o.settings.serviceShare, 0.9);
    EXPECT_DOUBLE_EQ(o.settings.serviceSeconds, 15);
    EXPECT_DOUBLE_EQ(*o.settings.maxAbandon, 0.05);
    EXPECT_DOUBLE_EQ(*o.settings.maxOccupancy, 0.85);
    EXPECT_DOUBLE_EQ(o.settings.shrinkage, 0.325);
    EXPECT_EQ(o.settings.patience.shape, PatienceShape::Lognormal);
    EXPECT_DOUBLE_EQ(o.settings.patience.cv, 0.8);
    EXPECT_EQ(o.settings.room.kind, WaitingRoom::Kind::Lines);
    EXPECT_EQ(o.settings.room.count, 40);
    const plan::PlanOptions defaults = plan::parsePlanOptions({"day.csv"}, 2);
    EXPECT_DOUBLE_EQ(defaults.settings.intervalMinutes, 30);
    EXPECT_DOUBLE_EQ(*defaults.settings.serviceShare, 0.8);
    EXPECT_DOUBLE_EQ(defaults.settings.serviceSeconds, 20);
    EXPECT_DOUBLE_EQ(defaults.settings.shrinkage, 0.3);
    EXPECT_FALSE(defaults.settings.maxAbandon || defaults.settings.maxAsa || defaults.settings.maxOccupancy);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"day.csv", "--sl", "80"}, {"day.csv", "--max-abandon", "120%"},
          {"day.csv", "--shrinkage", "100"}, {"day.csv", "--patience", "erlang:13"},
          {"day.csv", "--lines", "5", "--waiting-places", "3"}, {}, {"a.csv", "b.csv"}})
        EXPECT_THROW(plan::parsePlanOptions(bad, 2), UsageError);
}

TEST(DayPlan, TotalsAgentHoursAndCallWeightedServiceAsWorkedByHand) {
    // The reverse question: agents on hand, no targets.
    const Forecast f = forecastOf(
        "interval,calls,aht,staffed\n"
        "08:00,100,180,10\n"   // load 10 Erlangs
        "08:30,0,180,0\n"      // nothing to answer
        "09:00,300,180,35\n"); // load 30
    DayPlanSettings settings;
    settings.serviceShare.reset();
    settings.shrinkage = 0.2;
    settings.patience.meanSeconds = 120;
    const DayPlan plan = planDay(f, settings);
    ASSERT_EQ(plan.intervals.size(), 3u);
    EXPECT_TRUE(plan.allMet);
    EXPECT_DOUBLE_EQ(plan.intervals[0].load, 10);
    EXPECT_DOUBLE_EQ(plan.intervals[2].load, 30);
    EXPECT_EQ(plan.intervals[1].agents, 0);
    EXPECT_FALSE(plan.intervals[1].measured);
    // Scheduled 10 / 0.8 = 12.5 -> 13 and 35 / 0.8 = 43.75 -> 44; half-hours.
    EXPECT_DOUBLE_EQ(plan.totals.agentHours, (10 + 0 + 35) * 0.5);
    EXPECT_DOUBLE_EQ(plan.totals.scheduledHours, (13 + 0 + 44) * 0.5);
    EXPECT_DOUBLE_EQ(plan.totals.calls, 400);
    const IntervalService& a = plan.intervals[0].service;
    const IntervalService& b = plan.intervals[2].service;
    // A call-weighted mean of shares in [0, 1]: the plan's sum and this one
    // may round apart by a few ulps of 1 (2.2e-16 each).
    constexpr double kWeightedMeanTol = 1e-15;
    EXPECT_NEAR(plan.totals.serviceLevel, (100 * a.serviceLevel + 300 * b.serviceLevel) / 400, kWeightedMeanTol);
    EXPECT_NEAR(plan.totals.abandonment, (100 * a.abandonment + 300 * b.abandonment) / 400, kWeightedMeanTol);
}

TEST(DayPlan, ZeroCallsNeedNoAgentsAndAnUnreachableTargetGivesANote) {
    const Forecast f = forecastOf("interval,calls,aht\nA,0,300\nB,50,300\n");
    DayPlanSettings settings;
    settings.maxOccupancy = 0.5;
    settings.agentLimit = 12;  // load 8.33: 50 % occupancy needs 17
    const DayPlan plan = planDay(f, settings);
    EXPECT_EQ(plan.intervals[0].agents, 0);
    EXPECT_EQ(plan.intervals[0].scheduled, 0);
    EXPECT_TRUE(plan.intervals[0].met);
    EXPECT_FALSE(plan.intervals[1].met);
    EXPECT_FALSE(plan.allMet);
    EXPECT_EQ(plan.unmet, 1u);
    EXPECT_EQ(plan.intervals[1].outcome, IntervalOutcome::NoStaffing);
    EXPECT_EQ(plan.intervals[1].limit, 12);
}

TEST(DayPlan, ExponentialPatienceAgreesWithAnIndependentErlangAComputation) {
    // Source of the reference: erlangA above (long double, from the
    // definition, unlimited room). Tolerances: the room's loss below 1e-9
    // moves every measure by about that much; the exact method's own error
    // is below 1e-14.
    constexpr double kServiceTolerance = 5e-9;
    constexpr double kRelativeTolerance = 5e-8;
    struct Case {
        double calls, aht, patience;
        int staffed;
    };
    const Case cases[] = {
        {100, 180, 120, 10}, {300, 180, 60, 30}, {600, 240, 200, 75}, {20, 400, 30, 3}, {1000, 300, 90, 150},
    };
    std::string text = "interval,calls,aht,patience,staffed\n";
    for (std::size_t i = 0; i < std::size(cases); ++i)
        text += std::to_string(i) + "," + std::to_string(cases[i].calls) + "," + std::to_string(cases[i].aht) + "," +
                std::to_string(cases[i].patience) + "," + std::to_string(cases[i].staffed) + "\n";
    DayPlanSettings settings;
    settings.serviceShare.reset();
    settings.serviceSeconds = 20;
    const DayPlan plan = planDay(forecastOf(text), settings);
    double worstSl = 0, worstRelative = 0;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const ErlangA ref = erlangA(c.staffed, c.calls / 1800, 1 / c.aht, 1 / c.patience, 20);
        const IntervalService& s = plan.intervals[i].service;
        ASSERT_TRUE(plan.intervals[i].measured);
        EXPECT_LT(s.lossProb, kAutomaticLoss);
        worstSl = std::max(worstSl, std::fabs(s.serviceLevel - ref.serviceLevel));
        worstRelative = std::max({worstRelative, std::fabs(s.abandonment / ref.abandonment - 1),
                                  std::fabs(s.asa / ref.asa - 1)});
        EXPECT_NEAR(s.serviceLevel, ref.serviceLevel, kServiceTolerance) << "case " << i;
        EXPECT_NEAR(s.abandonment / ref.abandonment, 1, kRelativeTolerance) << "case " << i;
        EXPECT_NEAR(s.asa / ref.asa, 1, kRelativeTolerance) << "case " << i;
    }
    testsupport::reportWorstError("day plan SL against Erlang A", testsupport::ErrorKind::Absolute, worstSl,
                                  kServiceTolerance);
    testsupport::reportWorstError("day plan abandonment and ASA against Erlang A", testsupport::ErrorKind::Relative,
                                  worstRelative, kRelativeTolerance);
}

TEST(DayPlan, FractionalAgentsMeetTheTargetWhereTheLineBetweenTheCountsCrossesIt) {
    // 150 calls of 300 s: 25 Erlangs; SL 80/20 only, exponential patience.
    DayPlanSettings settings;
    settings.patience.meanSeconds = 200;
    settings.fractional = true;
    settings.shrinkage = 0.25;
    const DayPlan fractional = planDay(forecastOf("interval,calls,aht\nA,150,300\n"), settings);
    const double x = fractional.intervals[0].agents;
    const int s = static_cast<int>(std::ceil(x));
    // The service at s - 1 and s, asked as the reverse question.
    DayPlanSettings measure = settings;
    measure.fractional = false;
    const DayPlan around = planDay(forecastOf("interval,calls,aht,staffed\nA,150,300," + std::to_string(s - 1) +
                                              "\nB,150,300," + std::to_string(s) + "\n"),
                                   measure);
    const double below = around.intervals[0].service.serviceLevel, at = around.intervals[1].service.serviceLevel;
    ASSERT_LT(below, 0.8);
    ASSERT_GE(at, 0.8);
    // x of about 27 holds a few ulps (3.6e-15 each), and any last-bit difference
    // between the search's service levels and the reverse question's is
    // divided by their step from s - 1 to s.
    constexpr double kCrossingTol = 1e-12;
    EXPECT_NEAR(x, (s - 1) + (0.8 - below) / (at - below), kCrossingTol);
    EXPECT_DOUBLE_EQ(fractional.intervals[0].scheduled, x / 0.75) << "not rounded";
    EXPECT_NEAR(fractional.intervals[0].service.serviceLevel, 0.8, kCrossingTol)
        << "the service shown is that of the level planned, where the binding target is just met";
}

TEST(DayPlan, CountsEveryIntervalAsDoneAndEndsWithStoppedOnceAStopIsRequested) {
    std::string text = "interval,calls,aht\n";
    for (int i = 0; i < 12; ++i) text += std::to_string(i) + "," + std::to_string(50 + 10 * i) + ",300\n";
    const Forecast f = forecastOf(text);
    DayPlanSettings settings;
    settings.jobs = 2;
    // requestAfter: intervals done when the progress makes the request.
    const std::size_t never = f.intervals.size() + 1;
    for (const std::size_t requestAfter : {never, std::size_t{1}, std::size_t{5}}) {
        StopRequest stop;
        std::vector<std::size_t> done;
        DayPlanControl control;
        control.stop = &stop;
        control.progress = [&](std::size_t intervals, std::size_t total) {
            EXPECT_EQ(total, f.intervals.size());
            EXPECT_TRUE(done.empty() || intervals >= done.back());
            done.push_back(intervals);
            if (intervals == requestAfter) stop.request();
        };
        if (requestAfter == never) {
            planDay(f, settings, false, control);
            ASSERT_FALSE(done.empty());
            EXPECT_EQ(done.back(), f.intervals.size());
        } else {
            EXPECT_THROW(planDay(f, settings, false, control), Stopped) << requestAfter;
            // Each thread finishes at most the interval in hand.
            EXPECT_LE(done.back(), requestAfter + settings.jobs) << requestAfter;
        }
    }
}

TEST(DayPlan, RefusesALoadBeyondTheStaffingLimitBeforeAnyIntervalIsPlanned) {
    const struct {
        const char* forecast;
        double intervalMinutes;
        const char* message;
    } cases[] = {
        {"interval,calls,aht\n08:00,100,300\n09:00,1000000000,300\n", 30,
         "interval 09:00 (line 3): an offered load of 166666667 Erlangs (1e+09 calls of 300 s in 30 minutes) is more "
         "than the 10000000 Erlangs a staffing search takes"},
        {"interval,calls,aht\n08:00,100,300\n", 1e-300,
         "interval 08:00 (line 2): an offered load of 5e+302 Erlangs (100 calls of 300 s in 1e-300 minutes) is more "
         "than the 10000000 Erlangs a staffing search takes"},
    };
    for (const auto& c : cases) {
        DayPlanSettings settings;
        settings.intervalMinutes = c.intervalMinutes;
        std::size_t progress = 0;
        DayPlanControl control;
        control.progress = [&](std::size_t, std::size_t) { ++progress; };
        try {
            planDay(forecastOf(c.forecast), settings, false, control);
            ADD_FAILURE() << "not refused: " << c.message;
        } catch (const RunFailure& refused) {
            EXPECT_STREQ(refused.what(), c.message);
        }
        EXPECT_EQ(progress, 0u) << "nothing evaluated before the refusal";
    }
}
