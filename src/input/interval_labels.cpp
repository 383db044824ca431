#include "input/interval_labels.h"

#include <algorithm>

namespace queuecalc {

namespace {

constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerDay = 86400;

bool digit(char c) { return c >= '0' && c <= '9'; }

// `count` digits at `at` as a number, or -1.
int digits(const std::string& text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return -1;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!digit(text[i])) return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (the
// civil-date algorithm of H. Hinnant, "chrono-Compatible Low-Level Date
// Algorithms", days_from_civil).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

// "H:MM" or "HH:MM", optionally ":SS", at `at`; the seconds into the day and
// where the time ends, or false.
bool readTime(const std::string& text, std::size_t at, int& seconds, std::size_t& end, std::string& form,
              int& padding) {
    std::size_t hourDigits = 0;
    while (hourDigits < 2 && at + hourDigits < text.size() && digit(text[at + hourDigits])) ++hourDigits;
    if (hourDigits == 0 || at + hourDigits >= text.size() || text[at + hourDigits] != ':') return false;
    const int hour = digits(text, at, hourDigits);
    const int minute = digits(text, at + hourDigits + 1, 2);
    if (hour > 24 || minute < 0 || minute > 59) return false;
    end = at + hourDigits + 3;
    int second = 0;
    padding = hour < 10 ? static_cast<int>(hourDigits) : 0;
    if (end < text.size() && text[end] == ':') {
        second = digits(text, end + 1, 2);
        if (second < 0 || second > 59) return false;
        end += 3;
        form += " seconds";
    }
    seconds = (hour * 60 + minute) * kSecondsPerMinute + second;
    return seconds <= kSecondsPerDay;
}

}  // namespace

std::optional<LabelTime> readLabelTime(const std::string& raw) {
    std::size_t first = 0, last = raw.size();
    while (first < last && (raw[first] == ' ' || raw[first] == '\t')) ++first;
    while (last > first && (raw[last - 1] == ' ' || raw[last - 1] == '\t')) --last;
    const std::string text = raw.substr(first, last - first);
    LabelTime time;
    std::size_t at = 0;
    // A date "YYYY-MM-DD" followed by a blank or a T.
    if (text.size() > 10 && text[4] == '-' && text[7] == '-' && (text[10] == ' ' || text[10] == 'T')) {
        const int y = digits(text, 0, 4), m = digits(text, 5, 2), d = digits(text, 8, 2);
        if (y < 0 || m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
        time.day = daysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d));
        time.dated = true;
        at = 11;
    }
    std::size_t end = 0;
    std::string form;
    if (!readTime(text, at, time.seconds, end, form, time.padding)) return std::nullopt;
    // What follows is nothing or the end of a range ("08:00-08:15", "08:00 - 08:15").
    std::size_t rest = end;
    while (rest < text.size() && text[rest] == ' ') ++rest;
    if (rest < text.size()) {
        if (text[rest] != '-') return std::nullopt;
        ++rest;
        while (rest < text.size() && text[rest] == ' ') ++rest;
        int endSeconds = 0;
        std::size_t rangeEnd = 0;
        std::string endForm;
        int endPadding = 0;
        if (!readTime(text, rest, endSeconds, rangeEnd, endForm, endPadding) || rangeEnd != text.size())
            return std::nullopt;
        form += " range";
    }
    time.form = (time.dated ? "date" : "") + form;
    return time;
}

LabelStep labelStep(const std::vector<IntervalLabel>& labels) {
    LabelStep result;
    std::vector<LabelTime> times;
    std::optional<std::size_t> padded, unpadded;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const std::optional<LabelTime> time = readLabelTime(labels[i].text);
        if (!time) {
            result.notTime = i;
            return result;
        }
        times.push_back(*time);
        if (!result.mixedForms && time->form != times.front().form) result.mixedForms = std::make_pair(std::size_t{0}, i);
        if (time->padding == 1 && !unpadded) unpadded = i;
        if (time->padding == 2 && !padded) padded = i;
    }
    if (!result.mixedForms && padded && unpadded)
        result.mixedForms = std::make_pair(std::min(*padded, *unpadded), std::max(*padded, *unpadded));
    const auto sameDay = [&](std::size_t a, std::size_t b) {
        return times[a].day == times[b].day && labels[a].dayKey == labels[b].dayKey;
    };
    const auto moment = [&](std::size_t i) { return times[i].day * kSecondsPerDay + times[i].seconds; };
    long long step = 0;
    for (std::size_t i = 1; i < times.size(); ++i) {
        if (!sameDay(i - 1, i)) continue;
        const long long difference = moment(i) - moment(i - 1);
        if (difference > 0 && (step == 0 || difference < step)) {
            step = difference;
            result.stepFrom = i - 1;
            result.stepTo = i;
        }
    }
    if (step == 0) return result;
    result.minutes = static_cast<double>(step) / kSecondsPerMinute;
    for (std::size_t i = 1; i < times.size(); ++i) {
        if (!sameDay(i - 1, i)) continue;
        const long long difference = moment(i) - moment(i - 1);
        if (difference == step) continue;
        if (difference > 0 && difference % step == 0) result.gaps.push_back(i);
        else result.uneven.push_back(i);
    }
    return result;
}

}  // namespace queuecalc
