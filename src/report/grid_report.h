#pragma once
// A page of charts for a table of scenarios (the sweep's output): one line
// chart per numeric column against the first varied field, one series per
// combination of the other varied fields. One self-contained HTML file, the
// charts of report/svg_chart.h.

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "report/svg_chart.h"

namespace queuecalc {

struct GridTable {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;  // as written (numbers as text, empty cells allowed)
    std::size_t varied = 1;                      // the first `varied` columns are the varied fields
};

// The most series a chart shows: beyond it the styles would repeat and the
// lines could not be told apart in grey; the page says what was left out.
constexpr std::size_t kMostGridSeries = static_cast<std::size_t>(kChartStyles);

// The charts' data gathered row by row as the rows are formed, in bounded
// memory: per x value (the first column) and series, one number per column.
// At most kMostChartPoints x values are kept: beyond them every second kept
// value is dropped and only every 2^k-th new value (in the order the values
// first come) is taken, so that a grid of any size draws an even selection
// of its x values, and the page says so. Below the limit nothing is left
// out.
class GridCharts {
public:
    GridCharts(std::vector<std::string> header, std::size_t varied);

    // One row as written (numbers as text, empty cells allowed).
    void addRow(const std::vector<std::string>& cells);

    // `title` heads the page; `lines` follow it as paragraphs (the command, say).
    std::string html(const std::string& title, const std::vector<std::string>& lines) const;

private:
    struct Slot {
        double x = 0;
        std::size_t ordinal = 0;      // among the distinct x values, in the order they came
        std::vector<double> values;   // [column - varied][series]
    };
    void thinOut();

    std::vector<std::string> header_;
    std::size_t varied_;
    std::vector<std::string> keys_;   // the series: the other varied fields' cells
    std::size_t leftOut_ = 0;         // rows of series beyond kMostGridSeries
    std::vector<Slot> slots_;         // the kept x values, in the order they came
    std::map<double, std::size_t> slotOf_;  // x -> its place in slots_
    std::size_t stride_ = 1;          // the ordinals kept: multiples of this
    std::size_t ordinals_ = 0;        // distinct x values seen
    double lastX_ = 0;                // the last row's x, and its ordinal
    std::size_t lastOrdinal_ = 0;
    bool anyRow_ = false;
};

// The most x values a chart of GridCharts draws: far more than its 760
// pixels can tell apart.
constexpr std::size_t kMostChartPoints = 1000;

// The charts of a whole table at once.
std::string gridChartsHtml(const std::string& title, const std::vector<std::string>& lines, const GridTable& table);

}  // namespace queuecalc
