#include "report/grid_report.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

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

GridCharts::GridCharts(std::vector<std::string> header, std::size_t varied)
    : header_(std::move(header)), varied_(std::min(std::max<std::size_t>(varied, 1), header_.size())) {}

void GridCharts::addRow(const std::vector<std::string>& row) {
    const std::size_t columns = header_.size();
    if (row.size() < columns) return;
    const double x = numberIn(row[0]);
    if (!std::isfinite(x)) return;
    std::string key;
    for (std::size_t c = 1; c < varied_; ++c) key += (c > 1 ? ", " : "") + header_[c] + " = " + row[c];
    auto known = std::find(keys_.begin(), keys_.end(), key);
    if (known == keys_.end()) {
        if (keys_.size() == kMostGridSeries) {
            ++leftOut_;
            return;
        }
        known = keys_.insert(keys_.end(), key);
        for (Slot& slot : slots_)
            for (std::size_t c = 0; c + varied_ < columns; ++c)
                slot.values.insert(slot.values.begin() + static_cast<std::ptrdiff_t>(c * keys_.size() + keys_.size() - 1), kNaN);
    }
    const std::size_t series = static_cast<std::size_t>(known - keys_.begin());
    // The x value's slot: a value seen before keeps its place.
    const auto kept = slotOf_.find(x);
    std::size_t slot = kept == slotOf_.end() ? slots_.size() : kept->second;
    if (slot == slots_.size()) {
        const std::size_t ordinal = anyRow_ && x == lastX_ ? lastOrdinal_ : ordinals_++;
        anyRow_ = true;
        lastX_ = x;
        lastOrdinal_ = ordinal;
        if (ordinal % stride_ != 0) return;  // down-sampled away
        Slot fresh;
        fresh.x = x;
        fresh.ordinal = ordinal;
        fresh.values.assign((columns - varied_) * keys_.size(), kNaN);
        slots_.push_back(std::move(fresh));
        slotOf_.emplace(x, slot);
    }
    for (std::size_t c = varied_; c < columns; ++c)
        slots_[slot].values[(c - varied_) * keys_.size() + series] = numberIn(row[c]);
    if (slots_.size() > kMostChartPoints) thinOut();
}

void GridCharts::thinOut() {
    stride_ *= 2;
    slots_.erase(std::remove_if(slots_.begin(), slots_.end(), [&](const Slot& s) { return s.ordinal % stride_ != 0; }),
                 slots_.end());
    slotOf_.clear();
    for (std::size_t i = 0; i < slots_.size(); ++i) slotOf_.emplace(slots_[i].x, i);
}

std::string GridCharts::html(const std::string& title, const std::vector<std::string>& lines) const {
    const std::size_t columns = header_.size();
    // The x values in order.
    std::vector<std::size_t> order(slots_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return slots_[a].x < slots_[b].x; });
    std::vector<double> sortedX(slots_.size());
    for (std::size_t i = 0; i < order.size(); ++i) sortedX[i] = slots_[order[i]].x;

    std::string body;
    for (std::size_t c = varied_; c < columns; ++c) {
        LineChart chart;
        chart.id = "column-" + std::to_string(c);
        chart.title = header_[c] + " against " + header_[0];
        chart.xLabel = header_[0];
        chart.yLabel = header_[c];
        chart.x = sortedX;
        chart.series.resize(keys_.size());
        bool any = false;
        for (std::size_t k = 0; k < keys_.size(); ++k) {
            chart.series[k].name = keys_[k].empty() ? header_[c] : keys_[k];
            chart.series[k].y.resize(sortedX.size());
            for (std::size_t i = 0; i < order.size(); ++i) {
                const double y = slots_[order[i]].values[(c - varied_) * keys_.size() + k];
                chart.series[k].y[i] = y;
                any = any || std::isfinite(y);
            }
        }
        if (any) body += "<figure>" + svgLineChart(chart) + "</figure>\n";
    }
    std::string head;
    for (const std::string& line : lines) head += "<p>" + xmlEscaped(line) + "</p>\n";
    if (leftOut_ > 0)
        head += "<p>Only the first " + std::to_string(kMostGridSeries) + " combinations of the other varied fields are drawn; " +
                std::to_string(leftOut_) + " rows of further combinations are left out of the charts.</p>\n";
    if (stride_ > 1)
        head += "<p>Of the " + std::to_string(ordinals_) + " values of " + xmlEscaped(header_[0]) + ", every " +
                std::to_string(stride_) + "th (" + std::to_string(slots_.size()) + " in all) is drawn.</p>\n";
    return htmlPage(title,
                    "h1 { font-size: 1.5em; } figure { margin: 0.8em 0; break-inside: avoid; }\n"
                    "svg.chart { max-width: 100%; height: auto; }\n",
                    head + body);
}

std::string gridChartsHtml(const std::string& title, const std::vector<std::string>& lines, const GridTable& table) {
    GridCharts charts(table.header, table.varied);
    for (const std::vector<std::string>& row : table.rows) charts.addRow(row);
    return charts.html(title, lines);
}

}  // namespace queuecalc
