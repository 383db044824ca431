#pragma once
// Line charts as inline SVG, for reports that must open anywhere without a
// network or a script: plain <svg> with paths and text, sized in CSS pixels.
//
// Series stay apart when printed in grey: each style pairs a colour with its
// own dash pattern and marker shape, so that no series is told apart by its
// colour alone. Targets are grey dashed horizontal lines with their name,
// marks are vertical lines (the answer in a chart against agents).

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace queuecalc {

struct ChartSeries {
    std::string name;
    std::vector<double> y;  // one per x; a value that is not finite leaves a gap
};

struct ChartReference {
    double value = 0;  // y of a target, x of a mark
    std::string name;
};

// The area where one series runs above another (the required agents above
// those on hand: a shortfall), shaded with a hatch that prints in grey.
struct ChartBand {
    std::size_t over = 0;   // the series that is above where the band shows
    std::size_t under = 1;  // the series it is above
    std::string name;       // in the legend
};

struct LineChart {
    std::string id = "chart";  // unique within the page (names the chart's clip path)
    std::string title;
    std::string xLabel;  // with the unit: "agents", "waiting time (s)"
    std::string yLabel;
    // The x positions; with `categories`, x is 0 .. n-1 and the axis shows
    // the labels (at most about a dozen, evenly spaced).
    std::vector<double> x;
    std::vector<std::string> categories;
    std::vector<ChartSeries> series;  // drawn in the order of the styles
    std::vector<ChartReference> targets;
    std::vector<ChartReference> marks;
    std::vector<ChartBand> bands;
    std::optional<double> yMin, yMax;  // else from the data (and the targets), from 0 when none is below
    bool yPercent = false;             // y values are shares, shown as per cent on the axis
};

// The chart as one <svg> element of the given size in CSS pixels.
std::string svgLineChart(const LineChart& chart, int width = 760, int height = 300);

// Text made safe for XML and HTML content and attribute values.
std::string xmlEscaped(const std::string& text);

// A self-contained HTML page: the head with `meta` (whole <meta> lines, after
// the charset) and `title`, the reports' common body style followed by
// `css`, then `title` as the heading and `body`. `title` is escaped here.
std::string htmlPage(const std::string& title, const std::string& css, const std::string& body,
                     const std::string& meta = "");

// The number of series styles that stay apart; further series repeat them.
constexpr int kChartStyles = 5;

}  // namespace queuecalc
