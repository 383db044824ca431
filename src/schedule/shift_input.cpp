// Reading the requirements and the templates of a schedule (see shifts.h).
#include <algorithm>
#include <cctype>
#include <map>

#include "core/echo_text.h"
#include "io/read_file.h"
#include "core/number_text.h"
#include "input/forecast.h"
#include "schedule/shifts.h"

namespace queuecalc {
namespace schedule {

namespace {

// Whole counts beyond this are typing errors (no centre staffs a million).
constexpr long long kMostAgents = 1000000;

[[noreturn]] void fail(const std::string& name, int line, int column, const std::string& what) {
    throw ScheduleInputError(locatedMessage(name, line, column, what), line, column);
}

// A record with as many fields as the header, or the failure naming its line.
void checkFieldCount(const std::string& name, const CsvRecord& header, const CsvRecord& record) {
    if (record.fields.size() != header.fields.size())
        fail(name, record.line, 0,
             std::to_string(record.fields.size()) + " fields where the header has " + std::to_string(header.fields.size()));
}


std::vector<CsvRecord> records(const std::string& text, const std::string& name) {
    try {
        return readCsvRecords(text, name);
    } catch (const ForecastError& error) {
        throw ScheduleInputError(error.what(), error.line(), error.column());
    }
}

// The header's columns by lower-case name; a column named twice or without a
// name is an error.
std::map<std::string, int> headerColumns(const CsvRecord& header, const std::string& name) {
    std::map<std::string, int> columns;
    for (std::size_t i = 0; i < header.fields.size(); ++i) {
        const std::string key = lowered(trimmed(header.fields[i]));
        const int column = static_cast<int>(i) + 1;
        if (key.empty()) fail(name, header.line, column, "a column without a name in the header");
        if (!columns.emplace(key, static_cast<int>(i)).second)
            fail(name, header.line, column, "a second column named '" + echoText(key) + "'");
    }
    return columns;
}

// Reads the fields of one record by column name.
struct RecordReader {
    const CsvRecord& record;
    const std::map<std::string, int>& columns;
    const std::string& name;

    bool has(const std::string& column) const { return columns.count(column) != 0; }
    int column(const std::string& key) const { return columns.at(key) + 1; }
    std::string field(const std::string& key) const {
        return trimmed(record.fields[static_cast<std::size_t>(columns.at(key))]);
    }
    [[noreturn]] void bad(const std::string& key, const std::string& what) const {
        fail(name, record.line, column(key), key + ": " + what);
    }
    int clock(const std::string& key) const {
        const int minute = parseClock(field(key));
        if (minute < 0) bad(key, "'" + echoText(field(key)) + "' is not a time of day HH:MM");
        return minute;
    }
    int whole(const std::string& key, long long low, long long high, const char* what) const {
        const WholeNumber read = readWholeNumber(field(key), low, high);
        if (!read.ok())
            bad(key, "'" + echoText(field(key)) + "' is not " + what + " (a whole number from " + std::to_string(low) +
                         " to " + std::to_string(high) + ")");
        return static_cast<int>(read.value);
    }
    // A whole number, or `otherwise` where the column is missing or the field empty.
    std::optional<int> optionalWhole(const std::string& key, long long low, long long high, const char* what) const {
        if (!has(key) || field(key).empty()) return std::nullopt;
        return whole(key, low, high, what);
    }
};

}  // namespace

int parseClock(const std::string& text) {
    const std::string t = trimmed(text);
    const std::size_t colon = t.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2 || t.size() != colon + 3) return -1;
    for (std::size_t i = 0; i < t.size(); ++i)
        if (i != colon && !(t[i] >= '0' && t[i] <= '9')) return -1;
    const int hours = std::stoi(t.substr(0, colon));
    const int minutes = std::stoi(t.substr(colon + 1));
    if (hours > 23 || minutes > 59) return -1;
    return hours * 60 + minutes;
}

std::string clockText(int minute, int day) {
    const int days = minute / kMinutesPerDay - day;
    const int within = minute % kMinutesPerDay;
    std::string text;
    text += static_cast<char>('0' + within / 600);
    text += static_cast<char>('0' + within / 60 % 10);
    text += ':';
    text += static_cast<char>('0' + within % 60 / 10);
    text += static_cast<char>('0' + within % 10);
    if (days > 0) text += "+" + std::to_string(days);
    return text;
}

std::string readFileText(const std::string& path) {
    FileText read = readWholeFile(path);
    if (!read.text) fail(path, 0, 0, read.problem);
    return std::move(*read.text);
}

Requirements readRequirements(const std::string& text, const std::string& name, int intervalMinutes,
                              const std::string& requiredColumn) {
    if (intervalMinutes <= 0 || kMinutesPerDay % intervalMinutes != 0)
        throw ScheduleInputError("the interval length must divide a day (" + std::to_string(intervalMinutes) +
                                     " minutes given)",
                                 0, 0);
    const std::vector<CsvRecord> rows = records(text, name);
    if (rows.empty()) fail(name, 0, 0, "the file is empty (expected a header: day,interval,required)");
    const std::map<std::string, int> columns = headerColumns(rows[0], name);
    if (!columns.count("interval")) fail(name, rows[0].line, 0, "the header has no column 'interval'");
    std::string valueColumn = requiredColumn;
    if (valueColumn.empty()) valueColumn = columns.count("required") ? "required" : "scheduled";
    if (!columns.count(valueColumn))
        fail(name, rows[0].line, 0,
             "the header has no column '" + valueColumn + "' (needed: interval and required, or a plan's scheduled or agents)");
    const bool plan = valueColumn != "required";
    const std::string dayColumn = columns.count("day") ? "day" : columns.count("date") ? "date" : "";

    Requirements r;
    r.intervalMinutes = intervalMinutes;
    const int perDay = r.intervalsPerDay();
    std::map<std::string, int> dayIndex;
    std::map<std::pair<int, int>, int> seen;  // (day, slot) -> line
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const CsvRecord& record = rows[i];
        checkFieldCount(name, rows[0], record);
        const RecordReader read{record, columns, name};
        if (plan && lowered(read.field("interval")) == "total") continue;  // the plan's totals
        const std::string day = dayColumn.empty() ? std::string() : read.field(dayColumn);
        const int minute = read.clock("interval");
        if (minute % intervalMinutes != 0)
            read.bad("interval", "'" + read.field("interval") + "' does not start a " + std::to_string(intervalMinutes) +
                                     "-minute interval (see --interval-minutes)");
        double value = 0;
        if (!readFiniteNumber(read.field(valueColumn), value) || value < 0 || value > kMostAgents)
            read.bad(valueColumn, "'" + echoText(read.field(valueColumn)) + "' is not a number of agents from 0 to " +
                                      std::to_string(kMostAgents));
        const auto known = dayIndex.emplace(day, static_cast<int>(r.days.size()));
        if (known.second) {
            r.days.push_back(day);
            r.required.resize(r.days.size() * static_cast<std::size_t>(perDay), 0.0);
            r.listed.resize(r.days.size() * static_cast<std::size_t>(perDay), false);
        }
        const int slot = minute / intervalMinutes;
        const auto before = seen.emplace(std::make_pair(known.first->second, slot), record.line);
        if (!before.second)
            read.bad("interval", "'" + read.field("interval") + "' is listed twice" + (day.empty() ? "" : " for " + echoText(day)) +
                                     " (first on line " + std::to_string(before.first->second) + ")");
        const std::size_t at = static_cast<std::size_t>(known.first->second * perDay + slot);
        r.required[at] = value;
        r.listed[at] = true;
    }
    if (r.days.empty()) fail(name, 0, 0, "the header is followed by no interval");
    return r;
}

std::vector<ShiftTemplate> readTemplates(const std::string& text, const std::string& name,
                                         const Requirements& requirements) {
    static const char* const kKnown[] = {"name", "days", "earliest_start", "latest_start", "start_step_min",
                                         "length_min", "break_min", "break_earliest_min", "break_latest_min",
                                         "break_step_min", "cost", "min_per_day", "max_per_day", "max_total"};
    static const char* const kNeeded[] = {"name", "days", "earliest_start", "latest_start", "start_step_min",
                                          "length_min", "cost"};
    const std::vector<CsvRecord> rows = records(text, name);
    if (rows.empty()) fail(name, 0, 0, "the file is empty (expected a header: name,days,earliest_start,...)");
    const std::map<std::string, int> columns = headerColumns(rows[0], name);
    for (const auto& column : columns)
        if (std::find_if(std::begin(kKnown), std::end(kKnown), [&](const char* k) { return column.first == k; }) ==
            std::end(kKnown))
            fail(name, rows[0].line, column.second + 1, "unknown column '" + echoText(column.first) + "'");
    for (const char* needed : kNeeded)
        if (!columns.count(needed)) fail(name, rows[0].line, 0, std::string("the header has no column '") + needed + "'");

    const int horizonEnd = static_cast<int>(requirements.days.size()) * kMinutesPerDay;
    std::vector<ShiftTemplate> shifts;
    std::map<std::string, int> names;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const CsvRecord& record = rows[i];
        checkFieldCount(name, rows[0], record);
        const RecordReader read{record, columns, name};
        ShiftTemplate t;
        t.line = record.line;
        t.name = read.field("name");
        if (t.name.empty()) read.bad("name", "the template has no name");
        const auto before = names.emplace(t.name, record.line);
        if (!before.second)
            read.bad("name", "'" + echoText(t.name) + "' is named twice (first on line " + std::to_string(before.first->second) + ")");

        // Days: "all" or labels separated by spaces.
        t.onDay.assign(requirements.days.size(), false);
        const std::string days = read.field("days");
        if (lowered(days) == "all") {
            t.onDay.assign(requirements.days.size(), true);
        } else {
            std::size_t pos = 0;
            bool any = false;
            while (pos < days.size()) {
                const std::size_t end = std::min(days.find(' ', pos), days.size());
                const std::string label = days.substr(pos, end - pos);
                pos = end + 1;
                if (label.empty()) continue;
                const auto at = std::find(requirements.days.begin(), requirements.days.end(), label);
                if (at == requirements.days.end())
                    read.bad("days", "'" + echoText(label) + "' is not a day of the requirements");
                t.onDay[static_cast<std::size_t>(at - requirements.days.begin())] = true;
                any = true;
            }
            if (!any) read.bad("days", "no day given (write 'all' or day labels separated by spaces)");
        }

        t.earliestStart = read.clock("earliest_start");
        t.latestStart = read.clock("latest_start");
        if (t.latestStart < t.earliestStart) read.bad("latest_start", "before earliest_start");
        t.startStep = read.whole("start_step_min", 1, kMinutesPerDay, "a step in minutes");
        t.length = read.whole("length_min", 1, kMinutesPerDay, "a shift length in minutes");
        t.breakLength = read.optionalWhole("break_min", 0, kMinutesPerDay, "a break length in minutes").value_or(0);
        if (t.breakLength > 0) {
            for (const char* key : {"break_earliest_min", "break_latest_min"})
                if (!read.has(key) || read.field(key).empty()) read.bad("break_min", std::string("a break needs ") + key);
            t.breakEarliest = read.whole("break_earliest_min", 0, kMinutesPerDay, "minutes after the start");
            t.breakLatest = read.whole("break_latest_min", 0, kMinutesPerDay, "minutes after the start");
            if (t.breakLatest < t.breakEarliest) read.bad("break_latest_min", "before break_earliest_min");
            if (t.breakLatest + t.breakLength > t.length)
                read.bad("break_latest_min", "a break starting " + std::to_string(t.breakLatest) + " minutes after the start ends after the shift (" +
                                                 std::to_string(t.length) + " minutes)");
            t.breakStep = read.optionalWhole("break_step_min", 1, kMinutesPerDay, "a step in minutes")
                              .value_or(requirements.intervalMinutes);
        }
        if (!readFiniteNumber(read.field("cost"), t.cost) || t.cost < 0)
            read.bad("cost", "'" + echoText(read.field("cost")) + "' is not a cost of 0 or more");
        t.minPerDay = read.optionalWhole("min_per_day", 0, kMostAgents, "a number of agents").value_or(0);
        t.maxPerDay = read.optionalWhole("max_per_day", 0, kMostAgents, "a number of agents");
        t.maxTotal = read.optionalWhole("max_total", 0, kMostAgents, "a number of agents");
        if (t.maxPerDay && *t.maxPerDay < t.minPerDay) read.bad("max_per_day", "below min_per_day");

        // The last start on the last day the template works must end within the horizon.
        for (std::size_t d = t.onDay.size(); d-- > 0;) {
            if (!t.onDay[d]) continue;
            const int lastStart = static_cast<int>(d) * kMinutesPerDay + t.latestStart;
            const int lastEnd = lastStart + t.length;
            if (lastEnd > horizonEnd)
                read.bad("latest_start", "a shift starting " + clockText(lastStart % kMinutesPerDay, 0) +
                                             (requirements.days[d].empty() ? "" : " on " + echoText(requirements.days[d])) +
                                             " ends at " + clockText(lastEnd, static_cast<int>(d)) +
                                             ", past the end of the requirements");
            break;
        }
        shifts.push_back(std::move(t));
    }
    if (shifts.empty()) fail(name, 0, 0, "the header is followed by no template");
    return shifts;
}

}  // namespace schedule
}  // namespace queuecalc
