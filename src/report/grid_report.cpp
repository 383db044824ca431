#include "report/grid_report.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "core/number_text.h"
#include "report/svg_chart.h"

namespace queuecalc {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double numberIn(const std::string& cell) {
    double value = kNaN;
    return readFiniteNumber(cell, value) ? value : kNaN;
}

}  // namespace

std::string gridChartsHtml(const std::string& title, const std::vector<std::string>& lines, const GridTable& table) {
    const std::size_t columns = table.header.size();
    const std::size_t varied = std::min(std::max<std::size_t>(table.varied, 1), columns);
    // The x values and the series keys (the other varied fields' cells).
    std::vector<double> xs;
    std::vector<std::string> keys;
    std::map<std::string, std::size_t> keyIndex;
    std::vector<std::size_t> rowX(table.rows.size()), rowKey(table.rows.size());
    std::vector<bool> rowShown(table.rows.size(), false);
    std::size_t leftOut = 0;
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        const std::vector<std::string>& row = table.rows[r];
        if (row.size() < columns) continue;
        const double x = numberIn(row[0]);
        if (!std::isfinite(x)) continue;
        std::string key;
        for (std::size_t c = 1; c < varied; ++c) key += (c > 1 ? ", " : "") + table.header[c] + " = " + row[c];
        auto known = keyIndex.find(key);
        if (known == keyIndex.end()) {
            if (keys.size() == kMostGridSeries) {
                ++leftOut;
                continue;
            }
            known = keyIndex.emplace(key, keys.size()).first;
            keys.push_back(key);
        }
        const auto at = std::find(xs.begin(), xs.end(), x);
        rowX[r] = static_cast<std::size_t>(at - xs.begin());
        if (at == xs.end()) xs.push_back(x);
        rowKey[r] = known->second;
        rowShown[r] = true;
    }
    // The x values in order.
    std::vector<std::size_t> order(xs.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return xs[a] < xs[b]; });
    std::vector<std::size_t> position(xs.size());
    for (std::size_t i = 0; i < order.size(); ++i) position[order[i]] = i;
    std::vector<double> sortedX(xs.size());
    for (std::size_t i = 0; i < xs.size(); ++i) sortedX[position[i]] = xs[i];

    std::string body;
    for (std::size_t c = varied; c < columns; ++c) {
        LineChart chart;
        chart.id = "column-" + std::to_string(c);
        chart.title = table.header[c] + " against " + table.header[0];
        chart.xLabel = table.header[0];
        chart.yLabel = table.header[c];
        chart.x = sortedX;
        chart.series.resize(keys.size());
        for (std::size_t k = 0; k < keys.size(); ++k) {
            chart.series[k].name = keys[k].empty() ? table.header[c] : keys[k];
            chart.series[k].y.assign(sortedX.size(), kNaN);
        }
        bool any = false;
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            if (!rowShown[r]) continue;
            const double y = numberIn(table.rows[r][c]);
            chart.series[rowKey[r]].y[position[rowX[r]]] = y;
            any = any || std::isfinite(y);
        }
        if (any) body += "<figure>" + svgLineChart(chart) + "</figure>\n";
    }
    std::string head;
    for (const std::string& line : lines) head += "<p>" + xmlEscaped(line) + "</p>\n";
    if (leftOut > 0)
        head += "<p>Only the first " + std::to_string(kMostGridSeries) + " combinations of the other varied fields are drawn; " +
                std::to_string(leftOut) + " rows of further combinations are left out of the charts.</p>\n";
    return htmlPage(title,
                    "h1 { font-size: 1.5em; } figure { margin: 0.8em 0; break-inside: avoid; }\n"
                    "svg.chart { max-width: 100%; height: auto; }\n",
                    head + body);
}

}  // namespace queuecalc
