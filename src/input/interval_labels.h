#pragma once
// The length of a forecast's intervals told from their labels, where the
// labels are times of day ("08:00", "8:15", "08:00:00", a range
// "08:00-08:15" by its start) or date-times ("2026-12-07 08:00",
// "2026-12-07T08:00").
//
// The step is the smallest positive difference between consecutive labels of
// one day (labels in the file's order; a day is the label's date, else the
// interval's day key, else the whole file). A larger difference that is a
// whole number of steps is a gap (intervals missing from the forecast); one
// that is not, or a label earlier than the one before it, is an uneven step.
// With every day holding one interval there is no difference, and so no step.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace queuecalc {

// A label read as a moment: the day (days from 1970-01-01, or 0 without a
// date) and the seconds into it, and how it is written: `form` tells apart
// a date or none, seconds or none, a range or none; `padding` an hour below
// 10 written with one digit ("7:00", 1) or two ("07:00", 2), 0 for later
// hours (which look alike either way).
struct LabelTime {
    long long day = 0;
    int seconds = 0;
    bool dated = false;
    std::string form;
    int padding = 0;
};

// The label as a moment, or nothing where it is not a time of day.
std::optional<LabelTime> readLabelTime(const std::string& label);

struct IntervalLabel {
    std::string text;
    std::string dayKey;  // the value of a date or day column ("" without one)
    int line = 0;        // in the forecast, for messages
};

struct LabelStep {
    // The step in minutes; none where a label is not a time or no two
    // labels of one day follow each other.
    std::optional<double> minutes;
    // The first label that is not a time of day (index into the labels).
    std::optional<std::size_t> notTime;
    // Two labels (indexes) that follow each other, first and second, whose
    // difference sets the step.
    std::size_t stepFrom = 0, stepTo = 0;
    // Consecutive labels (the index of the second) farther apart than a step:
    // gaps (a whole number of steps) and uneven steps (the rest, and labels
    // that go back in time within a day).
    std::vector<std::size_t> gaps;
    std::vector<std::size_t> uneven;
    // Two labels (indexes) of one moment's field written in different forms
    // ("7:00" and "07:00"), where there are such.
    std::optional<std::pair<std::size_t, std::size_t>> mixedForms;
};

LabelStep labelStep(const std::vector<IntervalLabel>& labels);

}  // namespace queuecalc
