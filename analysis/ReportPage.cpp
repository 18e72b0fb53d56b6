#include "analysis/ReportPage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>

#include "analysis/ChartAxes.h"
#include "analysis/DecimalText.h"
#include "analysis/Utf8.h"

namespace ZENT::SDK::Analysis {

namespace {

// All the lines of a page together hold about this many points; a recording of
// many tracks gets fewer per line, but never below kLeastPointsPerLine.
constexpr size_t kPagePoints = 200000;
constexpr size_t kLeastPointsPerLine = 64;
constexpr size_t kLinesPerTrack = 8;

// An interval above this many usual intervals is drawn at the chart's edge.
constexpr double kIntervalClip = 10;
// An interval above this many usual ones, or below zero, gets a gap square.
constexpr double kGapFactor = 1.5;

const char kStyle[] = R"(body{font:14px/1.4 system-ui,sans-serif;margin:16px 24px;color:#222;background:#fff}
h1{font-size:20px;margin:0 0 8px}h2{font-size:16px;margin:24px 0 4px;border-bottom:1px solid #ccc}
figure{margin:6px 0 10px}figcaption{font-size:13px;color:#444}
svg.chart{display:block;width:100%;max-width:1100px;height:auto}
.axis{stroke:#888;stroke-width:1;fill:none}.grid{stroke:#e4e4e4;stroke-width:1}
text{font:11px sans-serif;fill:#555}text.note{font-size:13px;fill:#888}
polyline{fill:none;stroke-width:1.3;stroke-linejoin:round}
.a{stroke:#1f5fbf}.b{stroke:#e07000}.fa{fill:#1f5fbf}.fb{fill:#e07000}
.d1{stroke-dasharray:6 3}.d2{stroke-dasharray:2 2}
.usual{stroke-width:1;stroke-dasharray:3 4;fill:none}
.gap{fill:#c00}.alerta{fill:#1f5fbf;opacity:.16}.alertb{fill:#e07000;opacity:.16}
.mark path{stroke:#c00;fill:#c00;stroke-width:1.2}.mark.diff path{stroke:#7a2bbf;fill:#7a2bbf}
.mark:target path{stroke-width:3}.mark line{stroke:inherit}
.swatch{display:inline-block;width:14px;height:4px;vertical-align:middle;margin:0 4px 0 12px}
table{border-collapse:collapse;font-size:13px;margin-top:6px}
td,th{border:1px solid #ddd;padding:2px 6px;text-align:left;vertical-align:top}th{background:#f3f3f3}
#readout{position:absolute;background:#fffbe6;border:1px solid #cc9;padding:1px 4px;font-size:12px;pointer-events:none}
)";

// The read-out of the time and value under the pointer; the last thing it does
// is mark the body, so a page whose script failed has no data-ready.
const char kScript[] = R"((function(){var r=document.getElementById('readout');
document.querySelectorAll('svg.chart').forEach(function(s){
s.addEventListener('mousemove',function(e){var b=s.getBoundingClientRect(),k=1100/b.width;
var x=(e.clientX-b.left)*k,y=(e.clientY-b.top)*k,d=s.dataset;
if(x<74||x>1090||y<10||y>166){r.hidden=true;return}
var t=+d.t0+(x-74)/1016*(d.t1-d.t0),v=+d.v1-(y-10)/156*(d.v1-d.v0);
r.textContent=t.toFixed(3)+' s, '+v.toPrecision(4)+' '+d.unit;
r.style.left=(e.pageX+12)+'px';r.style.top=(e.pageY+12)+'px';r.hidden=false});
s.addEventListener('mouseleave',function(){r.hidden=true})});
document.body.setAttribute('data-ready','1')})();
)";

template <class ValueOf>
Line Reduce(const ReportTrack& track, ValueOf&& valueOf, size_t maxPoints, const std::vector<uint32_t>& keep,
            std::string classes, double breakAfter) {
    const auto timeOf = [&track](uint32_t position) { return static_cast<double>(track.points[position].time); };
    const auto count = static_cast<uint32_t>(std::min<size_t>(track.points.size(), UINT32_MAX));
    Line line;
    line.classes = std::move(classes);
    line.breakAfter = breakAfter;
    for (const uint32_t position : ReduceForDrawing(count, timeOf, valueOf, maxPoints, keep)) {
        line.points.emplace_back(timeOf(position), valueOf(position));
    }
    return line;
}

// The median of the positive intervals of a track, in milliseconds.
std::optional<double> UsualInterval(const ReportTrack& track) {
    std::vector<float> intervals;
    intervals.reserve(track.points.size());
    for (const ReportPoint& point : track.points) {
        if (point.interval > 0) intervals.push_back(point.interval);
    }
    if (intervals.empty()) return std::nullopt;
    const auto middle = intervals.begin() + static_cast<std::ptrdiff_t>(intervals.size() / 2);
    std::nth_element(intervals.begin(), middle, intervals.end());
    return static_cast<double>(*middle) * 1000;
}

// A finding of the checks or a mark, as the page lists and draws it.
struct Entry {
    size_t number = 0;
    bool fromB = false;
    bool finding = true;
    uint32_t track = 0;
    std::optional<uint64_t> index;
    std::optional<double> time;      // on the axis, where it has one
    std::optional<uint32_t> anchor;  // the point it is drawn at, where it names a frame
    std::string kind;
    std::string message;
    ReportChart chart = ReportChart::kInterval;
    bool drawn = false;
};

ReportChart ChartOfCheck(const std::string& check) {
    if (check == "first-not-key" || check == "key-mismatch" || check == "gop" || check == "integrity") {
        return ReportChart::kSize;
    }
    if (check == "clock") return ReportChart::kOffsets;
    return ReportChart::kInterval;
}

// Places an entry on its recording's axis: at its frame (the last one for an
// index past the end, as the count check gives), else at its time.
void Place(Entry& entry, const ReportSeries* series) {
    const ReportTrack* track = series == nullptr ? nullptr : series->Find(entry.track);
    if (entry.index && track != nullptr && !track->points.empty()) {
        const uint64_t last = track->points.size() - 1;
        entry.anchor = static_cast<uint32_t>(std::min<uint64_t>({*entry.index, last, UINT32_MAX}));
        entry.time = track->points[*entry.anchor].time;
    }
}

// What one track's section draws.
struct TrackView {
    uint32_t number = 0;
    std::array<const ReportTrack*, 2> series{};                // of A and B
    std::array<std::array<std::vector<uint32_t>, 4>, 2> keep;  // per recording and chart: the points of marks
    std::array<std::optional<double>, 2> usualMs;              // the usual interval of each recording's frames
    std::array<double, 2> breakAfter{};                        // seconds without frames that break a line
    std::vector<const Entry*> marks;
};

class PageWriter {
public:
    PageWriter(std::string& html, const ReportInput& input) : html_(html), input_(input) {}

    void Write();

private:
    void Text(std::string_view text) { AppendHtmlEscaped(html_, text); }
    void Number(uint64_t value) { AppendUnsigned(html_, value); }
    void Coordinate(double value) { AppendCoordinate(html_, value); }
    const ReportSeries* Series(bool fromB) const { return fromB ? &*input_.b : &input_.a; }
    bool Comparing() const { return input_.b.has_value(); }

    void CollectEntries();
    void Summary();
    void TrackSection(const TrackView& view);
    void OpenChart(const char* caption, const char* unit, const Scale& scale);
    void Axes(const Scale& scale, double valueStep);
    void Lines(const Scale& scale, const std::vector<Line>& lines);
    void Squares(const Scale& scale, const Line& line, const char* cssClass, double size);
    void Marks(const Scale& scale, const TrackView& view, ReportChart chart);
    void CloseChart() { html_ += "</svg></figure>\n"; }
    void EmptyChart(const char* caption, const char* note);
    void IntervalChart(const TrackView& view);
    void SizeChart(const TrackView& view);
    void OffsetChart(const TrackView& view);
    void ActivityChart(const TrackView& view);
    void AlertBands(const Scale& scale, const ReportTrack& track, const char* cssClass);
    void FindingTable();
    Scale TimeScale(double v0, double v1) const;

    std::string& html_;
    const ReportInput& input_;
    std::vector<Entry> entries_;
    uint64_t unlisted_ = 0;   // findings and marks past kReportListed
    uint64_t uncounted_ = 0;  // findings the checks counted without listing them
    double t0_ = 0;
    double t1_ = 1;
    size_t pointsPerLine_ = kReportPointsPerLine;
};

void PageWriter::CollectEntries() {
    const auto add = [this](Entry entry) {
        if (entries_.size() >= kReportListed) {
            ++unlisted_;
            return;
        }
        entry.number = entries_.size();
        Place(entry, Series(entry.fromB));
        entries_.push_back(std::move(entry));
    };
    // The differences first: a comparison is about them, and they keep their
    // place when the findings are many.
    for (const ReportMark& mark : input_.marks) {
        if (mark.fromB && !Comparing()) continue;
        Entry entry;
        entry.fromB = mark.fromB;
        entry.finding = false;
        entry.track = mark.track;
        entry.index = mark.index;
        entry.time = mark.time;
        entry.kind = mark.kind;
        entry.message = mark.message;
        entry.chart = mark.chart;
        add(std::move(entry));
    }
    for (const bool fromB : {false, true}) {
        if (fromB && !Comparing()) break;
        for (const TrackCheck& check : fromB ? input_.checksB : input_.checks) {
            uncounted_ += check.unlistedFindings;
            for (const Finding& finding : check.findings) {
                Entry entry;
                entry.fromB = fromB;
                entry.track = finding.track;
                entry.index = finding.index;
                entry.kind = finding.check;
                entry.message = finding.message;
                entry.chart = ChartOfCheck(finding.check);
                add(std::move(entry));
            }
        }
    }
}

Scale PageWriter::TimeScale(double v0, double v1) const {
    Scale scale;
    scale.t0 = t0_;
    scale.t1 = t1_;
    scale.v0 = v0;
    scale.v1 = v1 > v0 ? v1 : v0 + 1;
    return scale;
}

void PageWriter::Write() {
    html_ += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>";
    Text(input_.title.empty() ? "Frame report" : input_.title);
    html_ += "</title>\n<style>\n";
    html_ += kStyle;
    html_ += "</style></head>\n<body>\n<h1>";
    Text(input_.title.empty() ? "Frame report" : input_.title);
    html_ += "</h1>\n";

    CollectEntries();
    const ReportSeries* b = Comparing() ? &*input_.b : nullptr;
    const uint64_t frames = input_.a.frames() + (b != nullptr ? b->frames() : 0);
    if (frames > 0) {
        bool any = false;
        for (const ReportSeries* series : {&input_.a, b}) {
            if (series == nullptr || series->frames() == 0) continue;
            t0_ = any ? std::min(t0_, series->firstTime()) : series->firstTime();
            t1_ = any ? std::max(t1_, series->lastTime()) : series->lastTime();
            any = true;
        }
        if (t1_ <= t0_) t1_ = t0_ + 1;
    }
    Summary();

    // The tracks in the order A's frames gave them, then those only the summaries or B name.
    std::vector<TrackView> views;
    std::map<uint32_t, size_t> places;
    const auto view = [&](uint32_t number) -> TrackView& {
        const auto [place, added] = places.try_emplace(number, views.size());
        if (added) views.emplace_back().number = number;
        return views[place->second];
    };
    for (const ReportTrack& track : input_.a.tracks()) view(track.track).series[0] = &track;
    for (const TrackRecord& track : input_.tracks) view(track.track);
    if (b != nullptr) {
        for (const ReportTrack& track : b->tracks()) view(track.track).series[1] = &track;
        for (const TrackRecord& track : input_.tracksB) view(track.track);
    }
    for (Entry& entry : entries_) {
        const auto place = places.find(entry.track);
        if (place == places.end() || !entry.time) continue;
        TrackView& owner = views[place->second];
        if (owner.series[entry.fromB ? 1 : 0] == nullptr) continue;
        entry.drawn = true;
        owner.marks.push_back(&entry);
        if (entry.anchor) owner.keep[entry.fromB ? 1 : 0][static_cast<size_t>(entry.chart)].push_back(*entry.anchor);
    }
    // A line breaks where the track has no frame for at least three units of
    // the plot and four usual intervals: a hole the eye can see, and one the
    // frame rate does not explain.
    for (TrackView& each : views) {
        for (size_t side = 0; side < 2; ++side) {
            if (each.series[side] == nullptr) continue;
            each.usualMs[side] = UsualInterval(*each.series[side]);
            if (each.usualMs[side]) {
                each.breakAfter[side] = std::max(3 * (t1_ - t0_) / kChartPlotWidth, 4 * *each.usualMs[side] / 1000);
            }
        }
    }
    size_t lines = 0;
    for (const TrackView& each : views) {
        lines += kLinesPerTrack * static_cast<size_t>((each.series[0] != nullptr) + (each.series[1] != nullptr));
    }
    if (lines > 0) pointsPerLine_ = std::clamp(kPagePoints / lines, kLeastPointsPerLine, kReportPointsPerLine);

    if (frames == 0) html_ += "<p class=\"empty\">No frames were read: there is nothing to draw.</p>\n";
    for (const TrackView& each : views) TrackSection(each);
    FindingTable();
    html_ += "<div id=\"readout\" hidden></div>\n<script>\n";
    html_ += kScript;
    html_ += "</script>\n</body></html>\n";
}

void PageWriter::Summary() {
    html_ += "<p>";
    for (const bool fromB : {false, true}) {
        if (fromB && !Comparing()) break;
        const ReportSeries& series = *Series(fromB);
        if (Comparing()) {
            html_ += fromB ? "<br><span class=\"swatch fb\"></span>" : "<span class=\"swatch fa\"></span>";
            Text(fromB ? input_.nameB : input_.nameA);
            html_ += ": ";
        }
        Number(series.frames());
        html_ += series.frames() == 1 ? " frame in " : " frames in ";
        Number(series.tracks().size());
        html_ += series.tracks().size() == 1 ? " track" : " tracks";
        if (series.frames() > 0) {
            html_ += ", from ";
            AppendSecondsText(html_, series.firstTime());
            html_ += " s to ";
            AppendSecondsText(html_, series.lastTime());
            html_ += " s of the recording";
        }
        html_ += '.';
    }
    html_ +=
        "</p>\n<p>Times are seconds from the first frame of each recording, on the container's decode time "
        "where frames have one, else on the stream, record or camera time.</p>\n";
}

void PageWriter::TrackSection(const TrackView& view) {
    html_ += "<section id=\"track-";
    Number(view.number);
    html_ += "\"><h2>Track ";
    Number(view.number);
    const TrackRecord* record = nullptr;
    for (const auto* list : {&input_.tracks, &input_.tracksB}) {
        for (const TrackRecord& track : *list) {
            if (record == nullptr && track.track == view.number) record = &track;
        }
    }
    const ReportTrack* first = view.series[0] != nullptr ? view.series[0] : view.series[1];
    const std::string& codec = record != nullptr ? record->codec : first != nullptr ? first->codec : std::string();
    const bool video = record != nullptr ? record->video : first != nullptr && first->video;
    if (!codec.empty()) {
        html_ += ": ";
        Text(codec);
    }
    html_ += video ? ", video" : ", audio";
    for (size_t side = 0; side < 2; ++side) {
        if (side == 1 && !Comparing()) break;
        html_ += side == 0 ? " &middot; " : ", ";
        if (Comparing()) {
            Text(side == 0 ? input_.nameA : input_.nameB);
            html_ += ' ';
        }
        Number(view.series[side] != nullptr ? view.series[side]->points.size() : 0);
        html_ += " frames";
    }
    html_ += "</h2>\n";
    if (first == nullptr) {
        html_ += "<p>No frames on this track.</p></section>\n";
        return;
    }
    IntervalChart(view);
    SizeChart(view);
    OffsetChart(view);
    ActivityChart(view);
    html_ += "</section>\n";
}

void PageWriter::OpenChart(const char* caption, const char* unit, const Scale& scale) {
    html_ += "<figure><figcaption>";
    html_ += caption;
    html_ += "</figcaption><svg class=\"chart\" viewBox=\"0 0 1100 190\" role=\"img\" data-unit=\"";
    html_ += unit;
    html_ += "\" data-t0=\"";
    AppendFormatted(html_, "%.6g", scale.t0);
    html_ += "\" data-t1=\"";
    AppendFormatted(html_, "%.6g", scale.t1);
    html_ += "\" data-v0=\"";
    AppendFormatted(html_, "%.6g", scale.v0);
    html_ += "\" data-v1=\"";
    AppendFormatted(html_, "%.6g", scale.v1);
    html_ += "\">";
}

void PageWriter::EmptyChart(const char* caption, const char* note) {
    OpenChart(caption, "", TimeScale(0, 1));
    html_ += "<text class=\"note\" x=\"550\" y=\"95\" text-anchor=\"middle\">";
    html_ += note;
    html_ += "</text>";
    CloseChart();
}

void PageWriter::Axes(const Scale& scale, double valueStep) {
    html_ += "<g>";
    const double timeStep = TimeStep(scale.t1 - scale.t0);
    for (double time = std::ceil(scale.t0 / timeStep) * timeStep; time <= scale.t1 + timeStep * 1e-9;
         time += timeStep) {
        const double x = scale.X(time);
        html_ += "<line class=\"grid\" x1=\"";
        Coordinate(x);
        html_ += "\" x2=\"";
        Coordinate(x);
        html_ += "\" y1=\"10\" y2=\"166\"/><text x=\"";
        Coordinate(x);
        html_ += "\" y=\"180\" text-anchor=\"middle\">";
        AppendTimeLabel(html_, time, timeStep);
        html_ += "</text>";
    }
    for (double value = std::ceil(scale.v0 / valueStep) * valueStep; value <= scale.v1 + valueStep * 1e-9;
         value += valueStep) {
        const double y = scale.Y(value);
        html_ += "<line class=\"grid\" x1=\"74\" x2=\"1090\" y1=\"";
        Coordinate(y);
        html_ += "\" y2=\"";
        Coordinate(y);
        html_ += "\"/><text x=\"70\" y=\"";
        Coordinate(y + 4);
        html_ += "\" text-anchor=\"end\">";
        AppendValueLabel(html_, value, valueStep);
        html_ += "</text>";
    }
    html_ += "<path class=\"axis\" d=\"M74 10V166H1090\"/></g>";
}

void PageWriter::Lines(const Scale& scale, const std::vector<Line>& lines) {
    for (const Line& line : lines) {
        const auto& points = line.points;
        for (size_t start = 0, end = 0; start < points.size(); start = end) {
            end = start + 1;
            while (end < points.size() &&
                   (line.breakAfter <= 0 || points[end].first - points[end - 1].first <= line.breakAfter)) {
                ++end;
            }
            html_ += "<polyline class=\"";
            html_ += line.classes;
            html_ += "\" points=\"";
            for (size_t at = start; at < end; ++at) {
                Coordinate(scale.X(points[at].first));
                html_ += ',';
                Coordinate(scale.Y(points[at].second));
                html_ += ' ';
            }
            if (end == start + 1) {  // a point alone: a dash of one unit
                Coordinate(scale.X(points[start].first) + 1);
                html_ += ',';
                Coordinate(scale.Y(points[start].second));
                html_ += ' ';
            }
            html_.back() = '"';
            html_ += "/>";
        }
    }
}

void PageWriter::Squares(const Scale& scale, const Line& line, const char* cssClass, double size) {
    if (line.points.empty()) return;
    html_ += "<path class=\"";
    html_ += cssClass;
    html_ += "\" d=\"";
    for (const auto& [time, value] : line.points) {
        html_ += 'M';
        Coordinate(scale.X(time) - size / 2);
        html_ += ' ';
        Coordinate(scale.Y(value) - size / 2);
        html_ += 'h';
        Coordinate(size);
        html_ += 'v';
        Coordinate(size);
        html_ += 'h';
        Coordinate(-size);
        html_ += 'z';
    }
    html_ += "\"/>";
}

void PageWriter::Marks(const Scale& scale, const TrackView& view, ReportChart chart) {
    for (const Entry* entry : view.marks) {
        if (entry->chart != chart) continue;
        // A mark given by a time alone may lie off the axis: it stands at the nearer end.
        const double x = std::clamp(scale.X(*entry->time), kChartLeft, kChartWidth - kChartRight);
        html_ += "<g id=\"finding-";
        Number(entry->number);
        html_ += entry->finding ? "\" class=\"mark\"><title>" : "\" class=\"mark diff\"><title>";
        if (Comparing()) {
            Text(entry->fromB ? input_.nameB : input_.nameA);
            html_ += ": ";
        }
        Text(entry->kind);
        html_ += " at ";
        AppendSecondsText(html_, *entry->time);
        html_ += " s: ";
        Text(entry->message);
        html_ += "</title><path d=\"M";
        Coordinate(x);
        html_ += " 10V166M";
        Coordinate(x - 5);
        html_ += " 10h10l-5 8z\"/></g>";
    }
}

void PageWriter::IntervalChart(const TrackView& view) {
    const auto kind = static_cast<size_t>(ReportChart::kInterval);
    std::vector<Line> lines;
    const auto& usual = view.usualMs;
    for (size_t side = 0; side < 2; ++side) {
        const ReportTrack* track = view.series[side];
        if (track == nullptr) continue;
        lines.push_back(Reduce(
            *track, [track](uint32_t at) { return static_cast<double>(track->points[at].interval) * 1000; },
            pointsPerLine_, view.keep[side][kind], side == 0 ? "a" : "b", view.breakAfter[side]));
    }
    const auto extent = Extent(lines);
    if (!extent) {
        EmptyChart("Interval between frames", "no two frames of this track have times");
        return;
    }
    const double reference = usual[0] ? *usual[0] : usual[1] ? *usual[1] : 0;
    double low = std::min(0.0, extent->first);
    double high = extent->second;
    bool clipped = false;
    if (reference > 0) {
        clipped = high > kIntervalClip * reference || low < -kIntervalClip * reference;
        high = std::min(high, kIntervalClip * reference);
        low = std::max(low, -kIntervalClip * reference);
    }
    const double step = NiceStep(std::max(high - low, 1e-3), 4);
    const Scale scale = TimeScale(std::floor(low / step) * step, std::ceil(high / step) * step);

    std::string caption = "Interval between frames (ms)";
    if (reference > 0) {
        caption += ", usual ";
        AppendFormatted(caption, "%.3f", reference);
        caption += " ms (dotted); red squares: longer than 1.5 usual intervals, or back in time";
    }
    if (clipped) {
        caption += "; drawn at the edge beyond ";
        AppendFormatted(caption, "%.3f", kIntervalClip * reference);
        caption += " ms, least ";
        AppendFormatted(caption, "%.3f", extent->first);
        caption += " ms, greatest ";
        AppendFormatted(caption, "%.3f", extent->second);
        caption += " ms";
    }
    std::string escaped;
    AppendHtmlEscaped(escaped, caption);
    OpenChart(escaped.c_str(), "ms", scale);
    Axes(scale, step);
    for (size_t side = 0; side < 2; ++side) {
        if (!usual[side]) continue;
        const double y = scale.Y(*usual[side]);
        html_ += side == 0 ? "<path class=\"usual a\" d=\"M74 " : "<path class=\"usual b\" d=\"M74 ";
        Coordinate(y);
        html_ += "H1090\"/>";
    }
    Lines(scale, lines);
    size_t line = 0;
    for (size_t side = 0; side < 2; ++side) {
        if (view.series[side] == nullptr) continue;
        Line gaps;
        for (const auto& point : lines[line++].points) {
            if (point.second < 0 || (usual[side] && point.second > kGapFactor * *usual[side])) {
                gaps.points.push_back(point);
            }
        }
        Squares(scale, gaps, "gap", 5);
    }
    Marks(scale, view, ReportChart::kInterval);
    CloseChart();
}

void PageWriter::SizeChart(const TrackView& view) {
    const auto kind = static_cast<size_t>(ReportChart::kSize);
    std::vector<Line> lines;
    std::vector<Line> keys;
    for (size_t side = 0; side < 2; ++side) {
        const ReportTrack* track = view.series[side];
        if (track == nullptr) continue;
        lines.push_back(Reduce(
            *track, [track](uint32_t at) { return static_cast<double>(track->points[at].size); }, pointsPerLine_,
            view.keep[side][kind], side == 0 ? "a" : "b", view.breakAfter[side]));
        keys.push_back(Reduce(
            *track,
            [track](uint32_t at) {
                const ReportPoint& point = track->points[at];
                return point.Has(ReportPoint::kKey) ? static_cast<double>(point.size) : std::nan("");
            },
            pointsPerLine_, {}, side == 0 ? "fa" : "fb", 0));
    }
    const auto extent = Extent(lines);
    if (!extent) {
        EmptyChart("Frame size", "no frame of this track");
        return;
    }
    const double step = NiceStep(std::max(extent->second, 1.0), 4);
    const Scale scale = TimeScale(0, std::ceil(extent->second / step) * step);
    OpenChart("Frame size (bytes); squares: key frames", "bytes", scale);
    Axes(scale, step);
    Lines(scale, lines);
    for (const Line& line : keys) Squares(scale, line, line.classes.c_str(), 4);
    Marks(scale, view, ReportChart::kSize);
    CloseChart();
}

void PageWriter::OffsetChart(const TrackView& view) {
    const auto kind = static_cast<size_t>(ReportChart::kOffsets);
    std::vector<Line> lines;
    for (size_t side = 0; side < 2; ++side) {
        const ReportTrack* track = view.series[side];
        if (track == nullptr) continue;
        const std::string colour = side == 0 ? "a" : "b";
        lines.push_back(Reduce(
            *track,
            [track](uint32_t at) {
                const ReportPoint& point = track->points[at];
                return point.Has(ReportPoint::kRecordOffset) ? point.recordOffsetMs : std::nan("");
            },
            pointsPerLine_, view.keep[side][kind], colour, view.breakAfter[side]));
        lines.push_back(Reduce(
            *track,
            [track](uint32_t at) {
                const ReportPoint& point = track->points[at];
                return point.Has(ReportPoint::kCameraOffset) ? point.cameraOffsetMs : std::nan("");
            },
            pointsPerLine_, view.keep[side][kind], colour + " d1", view.breakAfter[side]));
    }
    const auto extent = Extent(lines);
    if (!extent) {
        EmptyChart("Clock offsets", "no frame of this track has a stream time with a record or camera time");
        return;
    }
    const double span = std::max(extent->second - extent->first, 1.0);
    const double step = NiceStep(span, 4);
    const Scale scale = TimeScale(std::floor(extent->first / step) * step, std::ceil(extent->second / step) * step);
    OpenChart("Clock offsets (ms): record minus stream time (solid), camera minus stream time (dashed)", "ms", scale);
    Axes(scale, step);
    Lines(scale, lines);
    Marks(scale, view, ReportChart::kOffsets);
    CloseChart();
}

void PageWriter::AlertBands(const Scale& scale, const ReportTrack& track, const char* cssClass) {
    // Periods from the first frame of an alert to the next frame without one;
    // periods less than a unit apart are drawn as one.
    std::vector<std::pair<double, double>> periods;
    const auto& points = track.points;
    for (size_t at = 0; at < points.size();) {
        if (!points[at].Has(ReportPoint::kAlert)) {
            ++at;
            continue;
        }
        const double start = points[at].time;
        while (at < points.size() && points[at].Has(ReportPoint::kAlert)) ++at;
        periods.emplace_back(start, points[at < points.size() ? at : at - 1].time);
    }
    if (periods.empty()) return;
    std::sort(periods.begin(), periods.end());
    const double unit = (scale.t1 - scale.t0) / kChartPlotWidth;
    std::vector<std::pair<double, double>> merged{periods.front()};
    for (const auto& period : periods) {
        if (period.first - merged.back().second < unit) {
            merged.back().second = std::max(merged.back().second, period.second);
        } else {
            merged.push_back(period);
        }
    }
    html_ += "<path class=\"";
    html_ += cssClass;
    html_ += "\" d=\"";
    for (const auto& [start, end] : merged) {
        html_ += 'M';
        Coordinate(scale.X(start));
        html_ += " 10h";
        Coordinate(std::max(1.0, (end - start) / unit));
        html_ += "V166H";
        Coordinate(scale.X(start));
        html_ += 'z';
    }
    html_ += "\"/>";
}

void PageWriter::ActivityChart(const TrackView& view) {
    const auto kind = static_cast<size_t>(ReportChart::kActivity);
    std::vector<Line> lines;
    static constexpr const char* kDashes[] = {"", " d1", " d2"};
    for (size_t side = 0; side < 2; ++side) {
        const ReportTrack* track = view.series[side];
        if (track == nullptr) continue;
        for (size_t level = 0; level < 3; ++level) {
            lines.push_back(Reduce(
                *track, [track, level](uint32_t at) { return static_cast<double>(track->points[at].motion[level]); },
                pointsPerLine_, view.keep[side][kind], std::string(side == 0 ? "a" : "b") + kDashes[level],
                view.breakAfter[side]));
        }
    }
    const Scale scale = TimeScale(0, 255);
    OpenChart("DI alert periods (shaded) and motion levels 1 (solid), 2 (dashed), 3 (dotted), 0 to 255", "", scale);
    Axes(scale, 50);
    for (size_t side = 0; side < 2; ++side) {
        if (view.series[side] != nullptr) AlertBands(scale, *view.series[side], side == 0 ? "alerta" : "alertb");
    }
    Lines(scale, lines);
    Marks(scale, view, ReportChart::kActivity);
    CloseChart();
}

void PageWriter::FindingTable() {
    html_ += "<h2 id=\"findings\">Findings";
    if (Comparing()) html_ += " and differences";
    html_ += "</h2>\n";
    if (entries_.empty() && uncounted_ == 0) {
        html_ += "<p>None.</p>\n";
        return;
    }
    if (!entries_.empty()) {
        html_ += "<table><tr><th>#</th>";
        if (Comparing()) html_ += "<th>Recording</th>";
        html_ += "<th>Track</th><th>Frame</th><th>Time (s)</th><th>Check</th><th>What</th></tr>\n";
        for (const Entry& entry : entries_) {
            html_ += "<tr><td>";
            if (entry.drawn) {
                html_ += "<a href=\"#finding-";
                Number(entry.number);
                html_ += "\">";
                Number(entry.number + 1);
                html_ += "</a>";
            } else {
                Number(entry.number + 1);
            }
            if (Comparing()) {
                html_ += "</td><td>";
                Text(entry.fromB ? input_.nameB : input_.nameA);
            }
            html_ += "</td><td>";
            Number(entry.track);
            html_ += "</td><td>";
            if (entry.index) Number(*entry.index);
            html_ += "</td><td>";
            if (entry.time) AppendSecondsText(html_, *entry.time);
            html_ += "</td><td>";
            Text(entry.kind);
            html_ += "</td><td>";
            Text(entry.message);
            html_ += "</td></tr>\n";
        }
        html_ += "</table>\n";
    }
    if (unlisted_ + uncounted_ > 0) {
        html_ += "<p>";
        Number(unlisted_ + uncounted_);
        html_ += " more not listed here.</p>\n";
    }
}

}  // namespace

void AppendHtmlEscaped(std::string& out, std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        size_t length = 1;
        unsigned code = byte;  // the character to write as a reference, when not 0
        switch (byte) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default:
                if (byte >= 0x80 && (length = Utf8SequenceLength(text, at)) != 0) {
                    out.append(text, at, length);
                    break;
                }
                length = 1;
                if (byte < 0x20 || byte == 0x7F) {
                    code = byte == 0x7F ? 0x2421 : 0x2400 + byte;
                } else if (byte < 0x80) {
                    out += static_cast<char>(byte);
                    break;
                }
                char reference[16];
                std::snprintf(reference, sizeof reference, "&#x%X;", code);
                out += reference;
        }
        at += length;
    }
}

void WriteReportPage(std::ostream& out, const ReportInput& input) {
    std::string html;
    html.reserve(1 << 20);
    PageWriter(html, input).Write();
    out.write(html.data(), static_cast<std::streamsize>(html.size()));
}

}  // namespace ZENT::SDK::Analysis
