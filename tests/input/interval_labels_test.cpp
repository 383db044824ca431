// The interval length read from a forecast's labels: times, date-times and
// ranges step alike; gaps, uneven steps and mixed forms are found.
#include "input/interval_labels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace queuecalc;

namespace {

std::vector<IntervalLabel> labelsOf(const std::vector<std::string>& texts, const std::vector<std::string>& days = {}) {
    std::vector<IntervalLabel> labels;
    for (std::size_t i = 0; i < texts.size(); ++i)
        labels.push_back({texts[i], i < days.size() ? days[i] : "", static_cast<int>(i) + 2});
    return labels;
}

TEST(IntervalLabels, StepByTheSmallestDifferenceWithinADayAndNameGapsUnevenStepsAndMixedForms) {
    const struct {
        const char* what;
        std::vector<std::string> labels;
        std::vector<std::string> days;
        double minutes;  // 0: none
        std::vector<std::size_t> gaps, uneven;
        bool mixed;
    } cases[] = {
        {"quarter-hours", {"08:00", "08:15", "08:30"}, {}, 15, {}, {}, false},
        {"a missing quarter", {"12:00", "12:15", "12:45", "13:00"}, {}, 15, {2}, {}, false},
        {"an uneven step", {"08:00", "08:15", "08:35"}, {}, 15, {}, {2}, false},
        {"7:45 beside 08:00", {"7:45", "08:00", "08:15"}, {}, 15, {}, {}, true},
        {"unpadded hours alone", {"9:30", "9:45", "10:00"}, {}, 15, {}, {}, false},
        {"seconds", {"08:00:00", "08:30:00"}, {}, 30, {}, {}, false},
        {"ranges by their start", {"08:00-08:15", "08:15 - 08:30"}, {}, 15, {}, {}, false},
        {"date-times over midnight", {"2026-12-07 23:30", "2026-12-07T23:45", "2026-12-08 00:00"}, {}, 15, {}, {}, false},
        {"two days of a day column", {"08:00", "08:30", "08:00", "08:30"}, {"mon", "mon", "tue", "tue"}, 30, {}, {}, false},
        {"one interval a day", {"08:00", "08:00"}, {"mon", "tue"}, 0, {}, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const LabelStep step = labelStep(labelsOf(c.labels, c.days));
        EXPECT_FALSE(step.notTime);
        EXPECT_EQ(step.minutes.value_or(0), c.minutes);
        EXPECT_EQ(step.gaps, c.gaps);
        EXPECT_EQ(step.uneven, c.uneven);
        EXPECT_EQ(step.mixedForms.has_value(), c.mixed);
    }
}

TEST(IntervalLabels, AreNoTimesWhereAnyLabelIsNone) {
    for (const std::vector<std::string>& labels : std::vector<std::vector<std::string>>{
             {"morning", "noon"}, {"08:00", "8h30"}, {"25:00"}, {"08:60"}, {"2026-13-01 08:00"}, {"08:00 total"}}) {
        const LabelStep step = labelStep(labelsOf(labels));
        EXPECT_TRUE(step.notTime) << labels.back();
        EXPECT_FALSE(step.minutes) << labels.back();
    }
}

}  // namespace
