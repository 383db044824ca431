// The table of the plan's target kinds: for each kind alone, its check, its
// note, its settings' words and its fractional level agree, and its chart
// lines land on charts the report draws.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "analysis/plan_targets.h"
#include "report/plan_report.h"

using namespace queuecalc;

namespace {

// The settings with this kind's target alone, at `bound`.
DayPlanSettings onlyTarget(const PlanTargetKind& kind, double bound) {
    DayPlanSettings settings;
    settings.serviceShare.reset();
    targetSetting(kind, settings) = bound;
    return settings;
}

// The measures are lines between whole counts; a crossing found on the line
// and read back from it rounds apart by a few ulps (of values up to 60 s).
constexpr double kLineTolerance = 1e-12;

}  // namespace

TEST(PlanTargetKinds, EachKindsCheckNoteSettingsAndFractionalLevelAgree) {
    // The service of 11 and of 12 agents on a load of 10 Erlangs with
    // callers who hang up: every measure is better with 12.
    std::istringstream csv("interval,calls,aht,staffed\nA,100,180,11\nB,100,180,12\n");
    const Forecast forecast = readForecast(csv, "test.csv");
    DayPlanSettings measuring;
    measuring.serviceShare.reset();
    measuring.patience.meanSeconds = 60;
    const DayPlan measured = planDay(forecast, measuring);
    const IntervalService& below = measured.intervals[0].service;
    const IntervalService& at = measured.intervals[1].service;
    for (const PlanTargetKind& kind : planTargetKinds()) {
        SCOPED_TRACE(kind.name);
        // Halfway between the two: 12 agents meet it, 11 miss it.
        const double bound = (below.*kind.measure + at.*kind.measure) / 2;
        const DayPlanSettings settings = onlyTarget(kind, bound);
        ASSERT_TRUE(settings.hasTargets());
        EXPECT_TRUE(meetsTargets(at, settings));
        EXPECT_FALSE(meetsTargets(below, settings));

        const std::string note = targetWords(kind.note, kind, bound, settings);
        EXPECT_EQ(missedTargets(settings, &below), note);
        EXPECT_EQ(missedTargets(settings, nullptr), note);
        EXPECT_EQ(missedTargets(settings, &at), "");
        EXPECT_EQ(describeSettings(settings)[1], "Targets: " + targetWords(kind.settingWords, kind, bound, settings));
        EXPECT_EQ(planTargets(settings).size(), 1u);

        // The line from 11 to 12 crosses the bound halfway, and the
        // service drawn there is at the bound.
        const double level = fractionalAgents(&below, at, settings);
        EXPECT_NEAR(level, 11.5, kLineTolerance);
        EXPECT_NEAR(serviceBetween(&below, at, level - 11).*kind.measure, bound, kLineTolerance);

        // From 0 agents (12's service taken as 1 agent's): the level found
        // meets the bound as the service between 0 and 1 agent is drawn.
        IntervalService one = at;
        one.agents = 1;
        const double fromNone = fractionalAgents(nullptr, one, settings);
        EXPECT_GT(fromNone, 0);
        EXPECT_LE(fromNone, 1);
        IntervalService there = serviceBetween(nullptr, one, fromNone);
        there.*kind.measure += kind.atLeast ? kLineTolerance : -kLineTolerance;
        EXPECT_TRUE(meetsTargets(there, settings)) << "at " << fromNone << " agents";
    }
}

TEST(PlanTargetKinds, EachChartLineIsDrawnOnTheChartItNames) {
    std::istringstream csv("interval,calls,aht\n08:00,100,300\n08:30,160,300\n");
    const Forecast forecast = readForecast(csv, "test.csv");
    DayPlanSettings settings;
    settings.patience.meanSeconds = 120;
    for (const PlanTargetKind& kind : planTargetKinds())
        if (!targetBound(kind, settings)) targetSetting(kind, settings) = kind.unit == TargetUnit::Share ? 0.9 : 30;
    const std::string page = planHtml("test.csv", forecast, settings, planDay(forecast, settings, true));
    for (const PlanTargetKind& kind : planTargetKinds()) {
        for (const PlanTargetKind::ChartLine& line : kind.chartLines) {
            SCOPED_TRACE(std::string(kind.name) + " on " + line.chart);
            // The chart's SVG, around the clip path named after its id.
            const std::size_t id = page.find("id=\"" + std::string(line.chart) + "-plot\"");
            ASSERT_NE(id, std::string::npos);
            const std::size_t from = page.rfind("<svg", id), to = page.find("</svg>", id);
            const std::string name = targetWords(line.name, kind, *targetBound(kind, settings), settings);
            EXPECT_NE(page.substr(from, to - from).find(">" + name + "<"), std::string::npos) << name;
        }
    }
}
