#include "analysis/ChartAxes.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "analysis/DecimalText.h"

namespace ZENT::SDK::Analysis {

// A number with at most one decimal, as the coordinates of the charts take it.
void AppendCoordinate(std::string& out, double value) {
    auto tenths = std::llround(std::clamp(value, -1e7, 1e7) * 10);
    if (tenths < 0) {
        out += '-';
        tenths = -tenths;
    }
    AppendUnsigned(out, static_cast<uint64_t>(tenths / 10));
    if (tenths % 10 != 0) {
        out += '.';
        out += static_cast<char>('0' + tenths % 10);
    }
}

void AppendFormatted(std::string& out, const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    out += text;
}

void AppendSecondsText(std::string& out, double seconds) { AppendFormatted(out, "%.3f", seconds); }

// The step of 1, 2 or 5 times a power of ten nearest above span / count.
double NiceStep(double span, double count) {
    const double rough = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= rough) return factor * power;
    }
    return 10 * power;
}

// The step of the time axis: whole seconds, minutes and hours where they fit.
double TimeStep(double span) {
    if (span / 8 < 1) return NiceStep(span, 8);
    for (const double step : {1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 900.0, 1800.0, 3600.0, 7200.0,
                              10800.0, 21600.0, 43200.0, 86400.0}) {
        if (span / step <= 8) return step;
    }
    return NiceStep(span / 86400, 8) * 86400;
}

void AppendTimeLabel(std::string& out, double seconds, double step) {
    if (step < 1 || std::fabs(seconds) < 60) {
        const int places = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step)));
        char text[64];
        std::snprintf(text, sizeof text, "%.*f s", places, seconds);
        out += text;
        return;
    }
    const auto whole = std::llround(seconds);
    const auto magnitude = whole < 0 ? -whole : whole;
    char text[64];
    std::snprintf(text, sizeof text, "%s%lld:%02lld:%02lld", whole < 0 ? "-" : "", magnitude / 3600,
                  magnitude / 60 % 60, magnitude % 60);
    out += text;
}

void AppendValueLabel(std::string& out, double value, double step) {
    const char* suffix = "";
    if (step >= 1e6) {
        value /= 1e6;
        step /= 1e6;
        suffix = "M";
    } else if (step >= 1e3) {
        value /= 1e3;
        step /= 1e3;
        suffix = "k";
    }
    const int places = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    char text[64];
    if (std::fabs(value) < step / 2) {
        value = 0;
        suffix = "";
    }
    std::snprintf(text, sizeof text, "%.*f%s", places, value, suffix);
    out += text;
}

// The least and greatest value of the lines, or none.
std::optional<std::pair<double, double>> Extent(const std::vector<Line>& lines) {
    std::optional<std::pair<double, double>> extent;
    for (const Line& line : lines) {
        for (const auto& point : line.points) {
            if (!extent) extent.emplace(point.second, point.second);
            extent->first = std::min(extent->first, point.second);
            extent->second = std::max(extent->second, point.second);
        }
    }
    return extent;
}

}  // namespace ZENT::SDK::Analysis
