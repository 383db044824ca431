#pragma once
// A page of charts for a table of scenarios (the sweep's output): one line
// chart per numeric column against the first varied field, one series per
// combination of the other varied fields. One self-contained HTML file, the
// charts of report/svg_chart.h.

#include <cstddef>
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

// `title` heads the page; `lines` follow it as paragraphs (the command, say).
std::string gridChartsHtml(const std::string& title, const std::vector<std::string>& lines, const GridTable& table);

}  // namespace queuecalc
