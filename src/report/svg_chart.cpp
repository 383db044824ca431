#include "report/svg_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/number_text.h"

namespace queuecalc {

namespace {

struct Style {
    const char* colour;
    const char* dash;  // stroke-dasharray, empty: solid
    char marker;       // o circle, s square, t triangle, d diamond, x cross
};

// Dark and light colours alternate, and every style has its own dash and
// marker, so that the series stay apart in grey print.
const Style kStyles[kChartStyles] = {
    {"#1f4e79", "", 'o'},
    {"#c55a11", "9 4", 's'},
    {"#2e7d32", "2 3", 't'},
    {"#7030a0", "12 3 2 3", 'd'},
    {"#000000", "5 2", 'x'},
};
const char* const kTargetColour = "#595959";
const char* const kTargetDash = "4 4";

// Room around the plot for the title and legend, the axes' numbers and names.
constexpr double kLeft = 70, kRight = 18, kTop = 52, kBottom = 62;
// At most this many markers along a series (a week of intervals would
// otherwise hide its line under them), and about this many axis labels.
constexpr int kMostMarkers = 36;
constexpr int kMostCategoryLabels = 12;
constexpr int kTargetTicks = 5;

std::string px(double v) { return formatFixed(v, 1); }

// A step of 1, 2 or 5 times a power of ten that cuts `range` into about
// kTargetTicks parts.
double niceStep(double range) {
    if (!(range > 0) || !std::isfinite(range)) return 1;
    const double raw = range / kTargetTicks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double m = raw / power;
    return (m < 1.5 ? 1 : m < 3.5 ? 2 : m < 7.5 ? 5 : 10) * power;
}

int decimalsOf(double step) { return std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9))); }

struct Axis {
    double lo = 0, hi = 1, step = 1;
    int decimals = 0;
};

// Round bounds that hold [lo, hi], stretched when the data are flat.
Axis niceAxis(double lo, double hi, bool fixedLo, bool fixedHi) {
    if (!(lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi)) lo = 0, hi = 1;
    if (hi - lo < 1e-12 * std::max(1.0, std::fabs(hi))) {
        if (!fixedHi) hi = lo + std::max(1.0, std::fabs(lo) * 0.1);
        else if (!fixedLo) lo = hi - std::max(1.0, std::fabs(hi) * 0.1);
    }
    Axis a;
    a.step = niceStep(hi - lo);
    a.lo = fixedLo ? lo : std::floor(lo / a.step + 1e-9) * a.step;
    a.hi = fixedHi ? hi : std::ceil(hi / a.step - 1e-9) * a.step;
    a.decimals = decimalsOf(a.step);
    return a;
}

std::string markerPath(char marker, double x, double y) {
    const double r = 3.5;
    switch (marker) {
        case 's':
            return "M" + px(x - r) + " " + px(y - r) + "h" + px(2 * r) + "v" + px(2 * r) + "h" + px(-2 * r) + "Z";
        case 't':
            return "M" + px(x) + " " + px(y - r - 0.5) + "L" + px(x + r + 0.5) + " " + px(y + r) + "L" + px(x - r - 0.5) +
                   " " + px(y + r) + "Z";
        case 'd':
            return "M" + px(x) + " " + px(y - r - 1) + "L" + px(x + r + 1) + " " + px(y) + "L" + px(x) + " " +
                   px(y + r + 1) + "L" + px(x - r - 1) + " " + px(y) + "Z";
        case 'x':
            return "M" + px(x - r) + " " + px(y - r) + "L" + px(x + r) + " " + px(y + r) + "M" + px(x - r) + " " +
                   px(y + r) + "L" + px(x + r) + " " + px(y - r);
        default:  // a circle as two arcs
            return "M" + px(x - r) + " " + px(y) + "a" + px(r) + " " + px(r) + " 0 1 0 " + px(2 * r) + " 0a" + px(r) +
                   " " + px(r) + " 0 1 0 " + px(-2 * r) + " 0Z";
    }
}

std::string markerElement(const Style& style, const std::string& d) {
    const bool open = style.marker == 'x';
    return std::string("<path d=\"") + d + "\" fill=\"" + (open ? "none" : "#ffffff") + "\" stroke=\"" + style.colour +
           "\" stroke-width=\"1.5\"/>";
}

std::string dashAttribute(const char* dash) {
    return *dash ? std::string(" stroke-dasharray=\"") + dash + "\"" : std::string();
}

std::string text(double x, double y, const std::string& content, const char* anchor, const char* extra = "") {
    return "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" text-anchor=\"" + anchor + "\"" + extra + ">" +
           xmlEscaped(content) + "</text>";
}

}  // namespace

std::string xmlEscaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string htmlPage(const std::string& title, const std::string& css, const std::string& body,
                     const std::string& meta) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n" + meta + "<title>" +
           xmlEscaped(title) +
           "</title>\n<style>\nbody { font-family: sans-serif; color: #000; background: #fff; max-width: 64em; "
           "margin: 1.5em auto; padding: 0 1em; }\n" +
           css + "</style>\n</head>\n<body>\n<h1>" + xmlEscaped(title) + "</h1>\n" + body + "</body>\n</html>\n";
}

std::string svgLineChart(const LineChart& chart, int width, int height) {
    const bool categorical = !chart.categories.empty();
    std::vector<double> xs = chart.x;
    if (categorical) {
        xs.resize(chart.categories.size());
        for (std::size_t i = 0; i < xs.size(); ++i) xs[i] = static_cast<double>(i);
    }
    // The ranges of the data.
    double xLo = std::numeric_limits<double>::infinity(), xHi = -xLo;
    for (double x : xs)
        if (std::isfinite(x)) xLo = std::min(xLo, x), xHi = std::max(xHi, x);
    for (const ChartReference& m : chart.marks) xLo = std::min(xLo, m.value), xHi = std::max(xHi, m.value);
    double yLo = std::numeric_limits<double>::infinity(), yHi = -yLo;
    for (const ChartSeries& s : chart.series)
        for (std::size_t i = 0; i < s.y.size() && i < xs.size(); ++i)
            if (std::isfinite(s.y[i])) yLo = std::min(yLo, s.y[i]), yHi = std::max(yHi, s.y[i]);
    for (const ChartReference& t : chart.targets) yLo = std::min(yLo, t.value), yHi = std::max(yHi, t.value);
    if (yLo >= 0) yLo = 0;
    if (chart.yMin) yLo = *chart.yMin;
    if (chart.yMax) yHi = *chart.yMax;
    Axis ax;
    if (categorical) {
        ax.lo = -0.5;
        ax.hi = std::max(0.5, static_cast<double>(xs.size()) - 0.5);
    } else {
        ax = niceAxis(xLo, xHi, false, false);
        if (std::isfinite(xLo) && std::isfinite(xHi) && xHi > xLo) ax.lo = xLo, ax.hi = xHi;  // data to the edges
    }
    const double yScale = chart.yPercent ? 100 : 1;
    Axis ay = niceAxis(yLo * yScale, yHi * yScale, chart.yMin.has_value(), chart.yMax.has_value());
    ay.lo /= yScale, ay.hi /= yScale;
    const double plotW = width - kLeft - kRight, plotH = height - kTop - kBottom;
    const auto X = [&](double x) { return kLeft + (x - ax.lo) / (ax.hi - ax.lo) * plotW; };
    const auto Y = [&](double y) { return kTop + (ay.hi - y) / (ay.hi - ay.lo) * plotH; };

    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" width=\"" + std::to_string(width) +
                      "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) + " " +
                      std::to_string(height) + "\" role=\"img\" aria-label=\"" + xmlEscaped(chart.title) +
                      "\" font-family=\"sans-serif\" font-size=\"12\">\n";
    svg += "<title>" + xmlEscaped(chart.title) + "</title>\n";
    svg += text(kLeft, 18, chart.title, "start", " font-size=\"14\" font-weight=\"bold\"") + "\n";

    // Grid and y axis numbers.
    svg += "<g stroke=\"#d9d9d9\" stroke-width=\"1\">";
    std::string yNumbers;
    for (int k = 0;; ++k) {
        const double v = ay.lo * yScale + k * ay.step;
        if (v > ay.hi * yScale + 1e-9 * ay.step) break;
        const double y = Y(v / yScale);
        svg += "<path d=\"M" + px(kLeft) + " " + px(y) + "H" + px(kLeft + plotW) + "\"/>";
        yNumbers += text(kLeft - 6, y + 4, formatFixed(v, ay.decimals), "end");
    }
    svg += "</g>\n" + yNumbers + "\n";
    // x axis numbers or labels.
    if (categorical) {
        const std::size_t n = xs.size();
        // Labels far enough apart not to touch (about 7 px a character).
        std::size_t longest = 1;
        for (const std::string& label : chart.categories) longest = std::max(longest, label.size());
        const double slot = plotW / static_cast<double>(std::max<std::size_t>(n, 1));
        const std::size_t apart = static_cast<std::size_t>(std::ceil((7.0 * static_cast<double>(longest) + 10) / slot));
        const std::size_t every =
            std::max<std::size_t>({1, apart, (n + kMostCategoryLabels - 1) / kMostCategoryLabels});
        for (std::size_t i = 0; i < n; i += every) {
            const double x = X(static_cast<double>(i));
            svg += "<path d=\"M" + px(x) + " " + px(kTop + plotH) + "v5\" stroke=\"#000\"/>";
            svg += text(x, kTop + plotH + 18, chart.categories[i], "middle");
        }
    } else {
        for (int k = 0;; ++k) {
            const double v = std::ceil(ax.lo / ax.step - 1e-9) * ax.step + k * ax.step;
            if (v > ax.hi + 1e-9 * ax.step) break;
            const double x = X(v);
            svg += "<path d=\"M" + px(x) + " " + px(kTop + plotH) + "v5\" stroke=\"#000\"/>";
            svg += text(x, kTop + plotH + 18, formatFixed(v, ax.decimals), "middle");
        }
    }
    svg += "\n<path d=\"M" + px(kLeft) + " " + px(kTop) + "V" + px(kTop + plotH) + "H" + px(kLeft + plotW) +
           "\" fill=\"none\" stroke=\"#000\"/>\n";
    svg += text(kLeft + plotW / 2, height - 12, chart.xLabel, "middle") + "\n";
    const std::string rotate = " transform=\"rotate(-90 16 " + px(kTop + plotH / 2) + ")\"";
    svg += text(16, kTop + plotH / 2, chart.yLabel + (chart.yPercent ? " (%)" : ""), "middle", rotate.c_str()) + "\n";

    // Targets and marks.
    for (const ChartReference& t : chart.targets) {
        const double y = Y(t.value);
        svg += "<path class=\"target\" d=\"M" + px(kLeft) + " " + px(y) + "H" + px(kLeft + plotW) + "\" stroke=\"" +
               kTargetColour + "\" stroke-width=\"1.5\" stroke-dasharray=\"" + kTargetDash + "\"/>";
        svg += text(kLeft + plotW - 4, y - 4, t.name, "end", " fill=\"#404040\"") + "\n";
    }
    for (const ChartReference& m : chart.marks) {
        const double x = X(m.value);
        svg += "<path class=\"mark\" d=\"M" + px(x) + " " + px(kTop) + "V" + px(kTop + plotH) + "\" stroke=\"" +
               kTargetColour + "\" stroke-width=\"1\" stroke-dasharray=\"1 3\"/>";
        svg += text(x + 4, kTop + plotH / 2, m.name, "start", " fill=\"#404040\"") + "\n";
    }

    // The series, clipped to the plot.
    const std::string clip = xmlEscaped(chart.id) + "-plot";
    svg += "<clipPath id=\"" + clip + "\"><rect x=\"" + px(kLeft) + "\" y=\"" + px(kTop - 6) + "\" width=\"" + px(plotW + 6) +
           "\" height=\"" + px(plotH + 12) + "\"/></clipPath>\n";
    // Bands under the series: along `over`, back along the lower of the two,
    // a polygon for each run of points where both have values.
    for (std::size_t b = 0; b < chart.bands.size(); ++b) {
        const ChartBand& band = chart.bands[b];
        if (band.over >= chart.series.size() || band.under >= chart.series.size()) continue;
        const std::vector<double>& top = chart.series[band.over].y;
        const std::vector<double>& low = chart.series[band.under].y;
        const std::size_t n = std::min({top.size(), low.size(), xs.size()});
        const std::string hatch = xmlEscaped(chart.id) + "-band" + std::to_string(b);
        svg += "<pattern id=\"" + hatch + "\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
               "patternTransform=\"rotate(45)\"><rect width=\"6\" height=\"6\" fill=\"#f4c7c3\"/>"
               "<path d=\"M0 0V6\" stroke=\"#c0392b\" stroke-width=\"2\"/></pattern>\n";
        std::string d;
        for (std::size_t i = 0; i < n;) {
            const auto finite = [&](std::size_t k) {
                return std::isfinite(top[k]) && std::isfinite(low[k]) && std::isfinite(xs[k]);
            };
            if (!finite(i)) {
                ++i;
                continue;
            }
            std::size_t end = i;
            while (end < n && finite(end)) ++end;
            bool any = false;
            for (std::size_t k = i; k < end; ++k) any = any || top[k] > low[k];
            if (any) {
                for (std::size_t k = i; k < end; ++k) d += (k == i ? "M" : "L") + px(X(xs[k])) + " " + px(Y(top[k]));
                for (std::size_t k = end; k-- > i;) d += "L" + px(X(xs[k])) + " " + px(Y(std::min(top[k], low[k])));
                d += "Z";
            }
            i = end;
        }
        if (!d.empty())
            svg += "<path class=\"band\" d=\"" + d + "\" fill=\"url(#" + hatch + ")\" stroke=\"none\" clip-path=\"url(#" +
                   clip + ")\"/>\n";
    }
    for (std::size_t s = 0; s < chart.series.size(); ++s) {
        const Style& style = kStyles[s % kChartStyles];
        const std::vector<double>& ys = chart.series[s].y;
        const std::size_t n = std::min(ys.size(), xs.size());
        std::string d;
        bool pen = false;
        for (std::size_t i = 0; i < n; ++i) {
            if (!std::isfinite(ys[i]) || !std::isfinite(xs[i])) {
                pen = false;
                continue;
            }
            d += (pen ? "L" : "M") + px(X(xs[i])) + " " + px(Y(ys[i]));
            pen = true;
        }
        svg += "<g class=\"series\" clip-path=\"url(#" + clip + ")\">";
        if (!d.empty())
            svg += std::string("<path class=\"line\" d=\"") + d + "\" fill=\"none\" stroke=\"" + style.colour +
                   "\" stroke-width=\"2\"" + dashAttribute(style.dash) + "/>";
        const std::size_t every = std::max<std::size_t>(1, (n + kMostMarkers - 1) / kMostMarkers);
        for (std::size_t i = 0; i < n; i += every)
            if (std::isfinite(ys[i]) && std::isfinite(xs[i]))
                svg += markerElement(style, markerPath(style.marker, X(xs[i]), Y(ys[i])));
        svg += "</g>\n";
    }

    // The legend, in one row under the title.
    double lx = kLeft;
    const double ly = 36;
    for (std::size_t s = 0; s < chart.series.size(); ++s) {
        const Style& style = kStyles[s % kChartStyles];
        svg += "<path d=\"M" + px(lx) + " " + px(ly) + "h28\" stroke=\"" + style.colour + "\" stroke-width=\"2\"" +
               dashAttribute(style.dash) + "/>";
        svg += markerElement(style, markerPath(style.marker, lx + 14, ly));
        svg += text(lx + 34, ly + 4, chart.series[s].name, "start");
        lx += 56 + 7.0 * static_cast<double>(chart.series[s].name.size());
    }
    for (std::size_t b = 0; b < chart.bands.size(); ++b) {
        svg += "<rect x=\"" + px(lx) + "\" y=\"" + px(ly - 6) + "\" width=\"28\" height=\"12\" fill=\"url(#" +
               xmlEscaped(chart.id) + "-band" + std::to_string(b) + ")\"/>";
        svg += text(lx + 34, ly + 4, chart.bands[b].name, "start");
        lx += 56 + 7.0 * static_cast<double>(chart.bands[b].name.size());
    }
    for (const ChartReference& t : chart.targets) {
        svg += "<path d=\"M" + px(lx) + " " + px(ly) + "h28\" stroke=\"" + kTargetColour +
               "\" stroke-width=\"1.5\" stroke-dasharray=\"" + kTargetDash + "\"/>";
        svg += text(lx + 34, ly + 4, t.name, "start");
        lx += 56 + 7.0 * static_cast<double>(t.name.size());
    }
    svg += "</svg>\n";
    return svg;
}

}  // namespace queuecalc
