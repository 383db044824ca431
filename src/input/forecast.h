#pragma once
// A forecast of a day (or a week): one record per interval with its label,
// the offered calls and the average handle time, read from CSV as RFC 4180
// writes it (a header record, fields separated by commas, a field in double
// quotes when it holds a comma, a quote or a line end, its quotes doubled).
//
// Columns, in any order, named in the header (letter case and surrounding
// blanks ignored):
//   interval  a label, kept as written;
//   calls     offered calls in the interval, a number >= 0;
//   aht       average handle time in seconds, a number > 0;
//   patience  (optional) mean patience in seconds, a number > 0;
//   staffed   (optional) agents on hand, a whole number >= 0;
//   scheduled (optional, not with staffed) agents on the roster before
//             shrinkage, a number >= 0;
//   date or day  (optional) the day of the interval, any label: with it the
//             forecast holds many days, each interval keyed by its day and
//             its label (the same times on every day); "date" where both are.
// Any other column is carried through, unchanged, to the plan's output.
//
// Accepted beside the strict form: a UTF-8 byte order mark, records ended by
// LF alone (CR LF is the form), no line end after the last record, and
// records with no character at all (skipped). Every other departure is an
// error that names the line and the column.
//
// Spreadsheet habits read as meant:
//  - a header with semicolons and no comma is the European form: fields
//    separated by semicolons, numbers with a decimal comma ("4,5"), where a
//    point would be a thousands separator and is refused (ForecastFormat
//    states either instead);
//  - a last record whose label (or day) is "total" or "sum" (any case, a
//    colon after it allowed) is a spreadsheet's sum, left out with a note;
//  - an interval with 0 calls may have any handle time, 0 or none (and any
//    patience): it needs no agent.

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "core/failure.h"
#include "input/located_failure.h"

namespace queuecalc {

struct ForecastInterval {
    std::string label;
    double calls = 0;
    double aht = 0;                   // seconds
    std::optional<double> patience;   // seconds; only with a patience column
    std::optional<int> staffed;       // only with a staffed column
    std::optional<double> scheduled;  // only with a scheduled column
    std::string day;                  // the date or day column's field as written ("" without one)
    std::vector<std::string> fields;  // every field as written, in the header's order
    int line = 0;                     // where the record starts, from 1
};

// How the fields and numbers of a forecast are written; none: from the
// header (see above).
struct ForecastFormat {
    std::optional<char> separator;  // ',' or ';'
    std::optional<char> decimal;    // '.' or ','
};

struct Forecast {
    std::vector<std::string> header;  // every column's name as written
    char separator = ',';
    char decimal = '.';
    // What the reader assumed or left out, in words (the European form read
    // from the header, a totals record left out), for the program to show.
    std::vector<std::string> notes;
    bool hasPatience = false;
    bool hasStaffed = false;
    bool hasScheduled = false;
    int dayColumn = -1;               // the date or day column, from 0; -1 without one
    std::vector<ForecastInterval> intervals;
};

// A forecast that cannot be read. line and column (from 1; 0 where the
// whole file or record is meant) are also in the message.
class ForecastError : public LocatedFailure {
public:
    using LocatedFailure::LocatedFailure;
};

// Reads a whole forecast; `name` (the file's name) starts every message.
// Throws ForecastError.
Forecast readForecast(std::istream& in, const std::string& name, const ForecastFormat& format = {});
Forecast readForecastText(const std::string& text, const std::string& name, const ForecastFormat& format = {});

// Opens and reads the named file; a file that cannot be opened or read (a
// folder) is a ForecastError too.
Forecast readForecastFile(const std::string& path, const ForecastFormat& format = {});

// The records of RFC 4180 CSV text, each with the line it starts on: the
// reader above without the meaning of the columns. Throws ForecastError.
struct CsvRecord {
    std::vector<std::string> fields;
    int line = 0;
};
std::vector<CsvRecord> readCsvRecords(const std::string& text, const std::string& name, char separator = ',');

}  // namespace queuecalc
