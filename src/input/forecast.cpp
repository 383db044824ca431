#include "input/forecast.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <sstream>

#include "core/number_text.h"
#include "core/echo_text.h"
#include "io/read_file.h"

namespace queuecalc {

namespace {

// Staffed agents beyond this are a typing error, not a plan (the model holds
// at most a few ten thousand places in all).
constexpr long long kMostStaffed = 1000000;

[[noreturn]] void fail(const std::string& name, int line, int column, const std::string& what) {
    throw ForecastError(locatedMessage(name, line, column, what), line, column);
}


// The field as a finite number (blanks around it allowed) with `decimal` as
// its decimal mark, or false.
bool number(const std::string& field, double& value, char decimal) {
    std::string text = trimmed(field);
    if (decimal == ',') {
        if (text.find('.') != std::string::npos) return false;
        for (char& c : text)
            if (c == ',') c = '.';
    }
    return readFiniteNumber(text, value);
}

struct Columns {
    int interval = -1, calls = -1, aht = -1, patience = -1, staffed = -1, scheduled = -1, date = -1, day = -1;
};

Columns findColumns(const CsvRecord& header, const std::string& name, Forecast& forecast) {
    Columns columns;
    std::map<std::string, int> seen;
    for (std::size_t i = 0; i < header.fields.size(); ++i) {
        const int index = static_cast<int>(i);
        const std::string key = lowered(trimmed(header.fields[i]));
        if (key.empty()) fail(name, header.line, index + 1, "a column without a name in the header");
        const auto before = seen.emplace(key, index);
        if (!before.second)
            fail(name, header.line, index + 1,
                 "a second column named '" + echoText(key) + "' (the first is column " + std::to_string(before.first->second + 1) +
                     ")");
        int* known = key == "interval" ? &columns.interval
                     : key == "calls"  ? &columns.calls
                     : key == "aht"    ? &columns.aht
                     : key == "patience" ? &columns.patience
                     : key == "staffed"  ? &columns.staffed
                     : key == "scheduled" ? &columns.scheduled
                     : key == "date"     ? &columns.date
                     : key == "day"      ? &columns.day
                                         : nullptr;
        if (known != nullptr) *known = index;
        forecast.header.push_back(header.fields[i]);
    }
    for (const char* required : {"interval", "calls", "aht"})
        if (seen.count(required) == 0)
            fail(name, header.line, 0,
                 std::string("the header has no column '") + required +
                     "' (needed: interval, calls, aht; optional: patience, staffed or scheduled, date or day)");
    forecast.hasPatience = columns.patience >= 0;
    forecast.hasStaffed = columns.staffed >= 0;
    forecast.hasScheduled = columns.scheduled >= 0;
    if (forecast.hasStaffed && forecast.hasScheduled)
        fail(name, header.line, columns.scheduled + 1,
             "give the agents on hand once: staffed (net, on the phones) or scheduled (on the roster, before "
             "shrinkage), not both");
    forecast.dayColumn = columns.date >= 0 ? columns.date : columns.day;
    return columns;
}

ForecastInterval readInterval(const CsvRecord& record, const Columns& columns, const Forecast& forecast,
                              const std::string& name) {
    ForecastInterval interval;
    const auto field = [&](int index) -> const std::string& { return record.fields[static_cast<std::size_t>(index)]; };
    const auto where = [&](int index, const std::string& what) {
        fail(name, record.line, index + 1, echoText(forecast.header[static_cast<std::size_t>(index)]) + ": " + what);
    };
    const auto value = [&](int index) {
        double v = 0;
        if (!number(field(index), v, forecast.decimal))
            where(index, "'" + echoText(field(index)) + "' is not a number" +
                             (forecast.decimal == ',' && field(index).find('.') != std::string::npos
                                  ? std::string(" (with decimal commas a point is no decimal mark; write the number "
                                                "without thousands separators, or give --decimal .)")
                                  : std::string()));
        return v;
    };
    // With no calls the handle time and patience do not matter: 0 or none is taken as given.
    const auto idle = [&](int index) { return interval.calls == 0 && trimmed(field(index)).empty(); };
    interval.line = record.line;
    interval.label = field(columns.interval);
    if (trimmed(interval.label).empty()) where(columns.interval, "the interval has no label");
    interval.calls = value(columns.calls);
    if (interval.calls < 0) where(columns.calls, "offered calls cannot be negative");
    interval.aht = idle(columns.aht) ? 0 : value(columns.aht);
    if (!(interval.aht > 0) && interval.calls > 0) where(columns.aht, "the average handle time must be above 0 seconds");
    if (columns.patience >= 0 && !idle(columns.patience)) {
        interval.patience = value(columns.patience);
        if (!(*interval.patience > 0) && interval.calls > 0)
            where(columns.patience, "the mean patience must be above 0 seconds");
    }
    if (columns.staffed >= 0) {
        const WholeNumber staffed = readWholeNumber(trimmed(field(columns.staffed)), 0, kMostStaffed);
        if (!staffed.ok())
            where(columns.staffed, "'" + echoText(field(columns.staffed)) + "' is not a whole number of agents from 0 to " +
                                       std::to_string(kMostStaffed));
        interval.staffed = static_cast<int>(staffed.value);
    }
    if (columns.scheduled >= 0) {
        interval.scheduled = value(columns.scheduled);
        if (*interval.scheduled < 0 || *interval.scheduled > kMostStaffed)
            where(columns.scheduled, "agents on the roster must be from 0 to " + std::to_string(kMostStaffed));
    }
    if (forecast.dayColumn >= 0) {
        interval.day = trimmed(field(forecast.dayColumn));
        if (interval.day.empty()) where(forecast.dayColumn, "the interval has no day");
    }
    interval.fields = record.fields;
    return interval;
}

}  // namespace

std::vector<CsvRecord> readCsvRecords(const std::string& text, const std::string& name, char separator) {
    std::vector<CsvRecord> records;
    std::size_t pos = 0;
    const std::size_t n = text.size();
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;  // a UTF-8 byte order mark
    int line = 1;
    while (pos < n) {
        CsvRecord record;
        record.line = line;
        bool quotedAny = false;
        for (;;) {
            const int column = static_cast<int>(record.fields.size()) + 1;
            std::string field;
            if (pos < n && text[pos] == '"') {
                quotedAny = true;
                const int opened = line;
                ++pos;
                for (;;) {
                    if (pos >= n) fail(name, opened, column, "the quote opened here is never closed");
                    const char c = text[pos];
                    if (c == '"') {
                        if (pos + 1 < n && text[pos + 1] == '"') {
                            field += '"';
                            pos += 2;
                            continue;
                        }
                        ++pos;
                        break;
                    }
                    if (c == '\n') ++line;
                    field += c;
                    ++pos;
                }
                if (pos < n && text[pos] != separator && text[pos] != '\r' && text[pos] != '\n')
                    fail(name, line, column, "characters after the closing quote of a field");
            } else {
                while (pos < n && text[pos] != separator && text[pos] != '\r' && text[pos] != '\n') {
                    if (text[pos] == '"')
                        fail(name, line, column, "a quote inside a field that does not start with one");
                    field += text[pos++];
                }
            }
            record.fields.push_back(std::move(field));
            if (pos >= n) break;
            if (text[pos] == separator) {
                ++pos;
                continue;
            }
            if (text[pos] == '\r') {
                if (pos + 1 >= n || text[pos + 1] != '\n')
                    fail(name, line, column, "a carriage return that is not followed by a line feed");
                ++pos;
            }
            ++pos;  // the line feed
            ++line;
            break;
        }
        const bool empty = record.fields.size() == 1 && record.fields[0].empty() && !quotedAny;
        if (!empty) records.push_back(std::move(record));
    }
    return records;
}

Forecast readForecast(std::istream& in, const std::string& name, const ForecastFormat& format) {
    std::string text;
    if (!readWholeStream(in, text)) fail(name, 0, 0, "cannot be read");
    return readForecastText(text, name, format);
}

Forecast readForecastText(const std::string& text, const std::string& name, const ForecastFormat& format) {
    Forecast forecast;
    // The European form where the header has semicolons and no comma.
    const std::string headerLine = text.substr(0, text.find('\n'));
    const bool european = headerLine.find(';') != std::string::npos && headerLine.find(',') == std::string::npos;
    forecast.separator = format.separator.value_or(european ? ';' : ',');
    forecast.decimal = format.decimal.value_or(forecast.separator == ';' ? ',' : '.');
    if (!format.separator && european)
        forecast.notes.push_back(std::string("fields separated by semicolons") +
                                 (format.decimal ? "" : ", numbers with a decimal comma") +
                                 ", as the header is written (--separator and --decimal say otherwise)");
    std::vector<CsvRecord> records = readCsvRecords(text, name, forecast.separator);
    if (records.empty()) fail(name, 0, 0, "the file is empty (expected a header: interval,calls,aht)");
    const Columns columns = findColumns(records[0], name, forecast);
    // A spreadsheet's sum in the last record.
    if (records.size() > 2) {
        const CsvRecord& last = records.back();
        const auto isTotal = [&](int index) {
            if (index < 0 || static_cast<std::size_t>(index) >= last.fields.size()) return false;
            std::string word = lowered(trimmed(last.fields[static_cast<std::size_t>(index)]));
            if (!word.empty() && word.back() == ':') word.pop_back();
            return word == "total" || word == "totals" || word == "sum" || word == "grand total";
        };
        if (isTotal(columns.interval) || isTotal(forecast.dayColumn)) {
            forecast.notes.push_back("line " + std::to_string(last.line) + ", '" +
                                     echoText(last.fields[static_cast<std::size_t>(
                                         isTotal(columns.interval) ? columns.interval : forecast.dayColumn)]) +
                                     "', is a total of the intervals above it: left out, not planned");
            records.pop_back();
        }
    }
    if (records.size() == 1) fail(name, 0, 0, "the header is followed by no interval");
    std::map<std::pair<std::string, std::string>, int> labels;  // (day, label) -> line
    for (std::size_t i = 1; i < records.size(); ++i) {
        const CsvRecord& record = records[i];
        if (record.fields.size() != forecast.header.size())
            fail(name, record.line, 0,
                 std::to_string(record.fields.size()) + " fields where the header has " +
                     std::to_string(forecast.header.size()));
        ForecastInterval interval = readInterval(record, columns, forecast, name);
        const auto before = labels.emplace(std::make_pair(interval.day, interval.label), interval.line);
        if (!before.second)
            fail(name, record.line, columns.interval + 1,
                 "interval '" + echoText(interval.label) + "'" +
                     (interval.day.empty() ? std::string() : " of day '" + echoText(interval.day) + "'") +
                     " is listed twice (first on line " + std::to_string(before.first->second) + ")" +
                     (forecast.dayColumn < 0 ? std::string("; for many days add a date or day column") : std::string()));
        forecast.intervals.push_back(std::move(interval));
    }
    return forecast;
}

Forecast readForecastFile(const std::string& path, const ForecastFormat& format) {
    const FileText read = readWholeFile(path);
    if (!read.text) fail(path, 0, 0, read.problem);
    return readForecastText(*read.text, path, format);
}

}  // namespace queuecalc
