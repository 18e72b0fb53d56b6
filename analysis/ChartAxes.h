// The axes of the report's charts: their geometry in viewBox units, the
// steps and labels of the time and value axes, the scale that maps a time and
// a value to a point, and the reduced lines drawn on them.
#ifndef STAMPWALK_ANALYSIS_CHARTAXES_H
#define STAMPWALK_ANALYSIS_CHARTAXES_H

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ZENT::SDK::Analysis {

// The geometry of a chart in its viewBox units: the plot and the margins of the labels.
constexpr double kChartWidth = 1100;
constexpr double kChartHeight = 190;
constexpr double kChartLeft = 74;
constexpr double kChartRight = 10;
constexpr double kChartTop = 10;
constexpr double kChartBottom = 24;
constexpr double kChartPlotWidth = kChartWidth - kChartLeft - kChartRight;
constexpr double kChartPlotHeight = kChartHeight - kChartTop - kChartBottom;

// A number with at most one decimal, as the coordinates of the charts take it.
void AppendCoordinate(std::string& out, double value);
void AppendFormatted(std::string& out, const char* format, double value);
void AppendSecondsText(std::string& out, double seconds);
// The step of 1, 2 or 5 times a power of ten nearest above span / count.
double NiceStep(double span, double count);
// The step of the time axis: whole seconds, minutes and hours where they fit.
double TimeStep(double span);
void AppendTimeLabel(std::string& out, double seconds, double step);
void AppendValueLabel(std::string& out, double value, double step);

struct Scale {
    double t0 = 0;
    double t1 = 1;
    double v0 = 0;
    double v1 = 1;

    double X(double time) const { return kChartLeft + (time - t0) / (t1 - t0) * kChartPlotWidth; }
    // Values beyond the range are drawn at its edge.
    double Y(double value) const { return kChartTop + (v1 - std::clamp(value, v0, v1)) / (v1 - v0) * kChartPlotHeight; }
};

// A line of a chart, reduced: times and values.
struct Line {
    std::vector<std::pair<double, double>> points;
    std::string classes;    // its colour and dash
    double breakAfter = 0;  // a longer time without points breaks the line; 0: never
};

// The least and greatest value of the lines, or none.
std::optional<std::pair<double, double>> Extent(const std::vector<Line>& lines);

}  // namespace ZENT::SDK::Analysis

#endif
