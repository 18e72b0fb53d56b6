#include "analysis/Checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>

namespace ZENT::SDK::Analysis {

namespace {

template <class Time>
void Extend(std::optional<TimeRange<Time>>& range, const std::optional<Time>& time) {
    if (!time) return;
    if (!range) {
        range = TimeRange<Time>{*time, *time};
    } else {
        range->last = *time;
    }
}

constexpr size_t kDistinctStepsKept = 4096;

int64_t Magnitude(int64_t value) { return value < 0 ? -value : value; }

std::string Signed(int64_t value) { return (value >= 0 ? "+" : "") + std::to_string(value); }

// The most frequent value; ties go to the smaller one. With neighbours, a value
// and the one above it count together (a 30 fps camera clock alternates 33 and
// 34 ms) and the result is their weighted mean.
std::optional<double> Mode(const std::map<int64_t, uint64_t>& counts, bool neighbours) {
    uint64_t bestCount = 0;
    double best = 0;
    for (const auto& [value, count] : counts) {
        uint64_t total = count;
        double weighted = static_cast<double>(value) * static_cast<double>(count);
        if (neighbours) {
            const auto above = counts.find(value + 1);
            if (above != counts.end()) {
                total += above->second;
                weighted += static_cast<double>(value + 1) * static_cast<double>(above->second);
            }
        }
        if (total > bestCount) {
            bestCount = total;
            best = weighted / static_cast<double>(total);
        }
    }
    if (bestCount == 0) return std::nullopt;
    return best;
}

Finding Found(const char* check, uint32_t track, uint64_t index, std::string message) {
    Finding finding;
    finding.check = check;
    finding.track = track;
    finding.index = index;
    finding.message = std::move(message);
    return finding;
}

// Calls visit(start, length) for every complete GOP: a key frame up to the next one.
template <class Visit>
void ForEachGop(const std::vector<bool>& keys, Visit&& visit) {
    bool seenKey = false;
    uint64_t lastKey = 0;
    for (uint64_t index = 0; index < keys.size(); ++index) {
        if (!keys[index]) continue;
        if (seenKey) visit(lastKey, index - lastKey);
        seenKey = true;
        lastKey = index;
    }
}

void JudgeGops(const std::vector<bool>& keys, TrackCheck& result, FindingCounts& counts) {
    std::map<uint64_t, uint64_t> lengths;
    ForEachGop(keys, [&lengths](uint64_t, uint64_t length) { ++lengths[length]; });
    if (lengths.empty()) return;
    const auto most = std::max_element(lengths.begin(), lengths.end(),
                                       [](const auto& left, const auto& right) { return left.second < right.second; });
    const uint64_t usual = most->first;
    result.gop = GopLengths{lengths.begin()->first, usual, lengths.rbegin()->first};
    // A length is usual only when more GOPs have it than any other, and at
    // least two: two GOPs of 21 and 25 frames show no rhythm to depart from.
    const bool clear = most->second >= 2 && std::none_of(lengths.begin(), lengths.end(), [&](const auto& entry) {
                           return entry.first != usual && entry.second == most->second;
                       });
    if (!clear) return;
    ForEachGop(keys, [&result, &counts, usual](uint64_t start, uint64_t length) {
        if (length == usual || !counts.Admit("gop")) return;
        result.findings.push_back(
            Found("gop", result.track, start,
                  "GOP of " + std::to_string(length) + " frames, usual " + std::to_string(usual)));
    });
}

}  // namespace

// A file with a fault in every frame lists the first findings of each check
// and counts the rest instead of holding them all.
bool FindingCounts::Admit(const char* check) {
    if (++counts[check] <= kListedPerCheck) return true;
    ++unlisted;
    return false;
}

std::string FormatSeconds(double seconds, TimeBasis basis) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", basis == TimeBasis::kDecodeTime ? 6 : 3, seconds);
    return text;
}

Checker::Checker(CheckOptions options) : options_(options) {}

Checker::TrackState& Checker::StateOf(uint32_t track, bool video) {
    const auto [place, added] = places_.try_emplace(track, tracks_.size());
    if (!added) return tracks_[place->second];
    TrackState& state = tracks_.emplace_back();
    state.figures.track = track;
    state.figures.video = video;
    return state;
}

void Checker::AddTrack(const TrackRecord& track) {
    TrackState& state = StateOf(track.track, track.video);
    state.figures.codec = track.codec;
    state.figures.video = track.video;
    state.figures.sampleCount = track.sampleCount;
}

void Checker::AddFrame(const FrameRecord& frame) {
    TrackState& state = StateOf(frame.track, frame.video);
    TrackCheck& figures = state.figures;
    const uint64_t index = figures.framesRead++;
    if (figures.codec.empty()) figures.codec = frame.codec;

    Extend(figures.decodeTime, frame.decodeTime);
    Extend(figures.recordTime, frame.recordTime);
    Extend(figures.streamTime, frame.streamTime);
    Extend(figures.cameraTime, frame.cameraTime);

    // Ticks compare only within one timescale; a frame in another ends the column.
    std::optional<int64_t> decodeTicks;
    if (frame.decodeTime) {
        if (index == 0) state.timescale = frame.decodeTime->timescale;
        if (state.timescale != 0 && frame.decodeTime->timescale == state.timescale) {
            decodeTicks = frame.decodeTime->value;
        }
    }
    state.decodeTimes.Add(decodeTicks);
    state.streamTimes.Add(frame.streamTime);
    state.recordTimes.Add(frame.recordTime);

    if (frame.key) ++figures.keyFrames;
    if (figures.video) state.keys.push_back(frame.key);
    CheckCoding(state, frame);
    CheckClock(state, frame);
}

void Checker::CheckCoding(TrackState& state, const FrameRecord& frame) {
    TrackCheck& figures = state.figures;
    const uint64_t index = figures.framesRead - 1;
    static constexpr char kCodedTypes[] = {'I', 'P', 'B'};
    for (size_t type = 0; type < figures.codedTypes.size(); ++type) {
        if (frame.codedType == kCodedTypes[type]) ++figures.codedTypes[type];
    }
    if (frame.codedType != 0 && frame.randomAccess != frame.key && state.counts.Admit("key-mismatch")) {
        state.frameFindings.push_back(
            Found("key-mismatch", frame.track, index,
                  frame.key ? "marked key, but no IDR or IRAP unit" : "IDR or IRAP unit in a frame not marked key"));
    }
    switch (frame.integrity) {
        case Integrity::kNotRun: break;
        case Integrity::kMatch: ++figures.integrity[0]; break;
        case Integrity::kMismatch:
            ++figures.integrity[1];
            if (state.counts.Admit("integrity"))
                state.frameFindings.push_back(Found("integrity", frame.track, index, "check value mismatch"));
            break;
        case Integrity::kNoValue:
            ++figures.integrity[2];
            if (state.counts.Admit("integrity"))
                state.frameFindings.push_back(Found("integrity", frame.track, index, "no check value"));
            break;
    }
}

void Checker::CheckClock(TrackState& state, const FrameRecord& frame) const {
    ClockState& clock = state.clock;
    if (frame.timeZone) {
        if (clock.timeZone && *clock.timeZone != *frame.timeZone && state.counts.Admit("clock")) {
            state.frameFindings.push_back(Found("clock", frame.track, state.figures.framesRead - 1,
                                                "time zone " + std::to_string(frame.timeZone->first) +
                                                    " s, daylight saving " + std::to_string(frame.timeZone->second) +
                                                    " s, was " + std::to_string(clock.timeZone->first) + " s and " +
                                                    std::to_string(clock.timeZone->second) + " s"));
        }
        clock.timeZone = frame.timeZone;
    }
    if (!frame.recordTime || !frame.streamTime) return;
    const int64_t offset = *frame.recordTime - *frame.streamTime;
    if (!clock.firstOffset) {
        clock.firstOffset = offset;
        return;
    }
    const int64_t drift = offset - *clock.firstOffset;
    const int64_t tolerance = options_.clockToleranceMs;
    if (clock.reportedDrift) {
        if (Magnitude(drift) <= tolerance) {
            clock.reportedDrift.reset();
            return;
        }
        if (Magnitude(drift - *clock.reportedDrift) <= tolerance) return;
    } else if (Magnitude(drift) <= tolerance) {
        return;
    }
    clock.reportedDrift = drift;
    if (!state.counts.Admit("clock")) return;
    state.frameFindings.push_back(Found("clock", frame.track, state.figures.framesRead - 1,
                                        "record minus stream time " + std::to_string(offset) + " ms, " + Signed(drift) +
                                            " ms from " + std::to_string(*clock.firstOffset) +
                                            " ms at the first frame"));
}

std::vector<TrackCheck> Checker::Finish() const {
    std::vector<TrackCheck> results;
    results.reserve(tracks_.size());
    for (const TrackState& state : tracks_) results.push_back(Judge(state));
    return results;
}

TrackCheck Checker::Judge(const TrackState& state) const {
    TrackCheck result = state.figures;
    const uint64_t frames = result.framesRead;

    // The findings located by frame alone get their times in the walk over the basis below.
    if (result.video && frames > 0 && !state.keys.front()) {
        result.findings.push_back(Found("first-not-key", result.track, 0, "the first video frame is not a key frame"));
    }
    FindingCounts counts;
    if (result.video) JudgeGops(state.keys, result, counts);
    result.findings.insert(result.findings.end(), state.frameFindings.begin(), state.frameFindings.end());
    std::stable_sort(result.findings.begin(), result.findings.end(),
                     [](const Finding& left, const Finding& right) { return left.index < right.index; });

    const TimeColumn* column = nullptr;
    // Units per second; times divide by it, so that a tick count gives the
    // double nearest its decimal value (20992 / 12800 is 1.64 exactly as written).
    double unitsPerSecond = 1000.0;
    if (state.decodeTimes.Complete()) {
        column = &state.decodeTimes;
        result.basis = TimeBasis::kDecodeTime;
        result.timescale = state.timescale;
        unitsPerSecond = state.timescale;
    } else if (state.streamTimes.Complete()) {
        column = &state.streamTimes;
        result.basis = TimeBasis::kStreamTime;
    } else if (state.recordTimes.Complete()) {
        column = &state.recordTimes;
        result.basis = TimeBasis::kRecordTime;
    }

    if (column != nullptr) {
        std::map<int64_t, uint64_t> steps;
        // A clock has a handful of distinct steps; a hostile file may have one
        // per frame, and those beyond the first few thousand cannot be the usual one.
        column->ForEachStep([&steps](uint64_t, int64_t, int64_t step) {
            if (step <= 0) return;
            const auto found = steps.find(step);
            if (found != steps.end()) {
                ++found->second;
            } else if (steps.size() < kDistinctStepsKept) {
                steps.emplace(step, 1);
            }
        });
        const std::optional<double> nominal = Mode(steps, result.basis != TimeBasis::kDecodeTime);
        if (nominal) {
            result.nominalIntervalSeconds = *nominal / unitsPerSecond;
            result.frameRate = 1.0 / *result.nominalIntervalSeconds;
        }

        const TimeBasis basis = result.basis;
        const auto seconds = [unitsPerSecond](int64_t units) { return static_cast<double>(units) / unitsPerSecond; };
        std::vector<Finding> located = std::move(result.findings);
        std::vector<Finding> stepped;
        size_t next = 0;
        const auto place = [&](uint64_t index, int64_t time) {
            for (; next < located.size() && located[next].index == index; ++next) {
                located[next].timeSeconds = seconds(time);
            }
        };
        place(0, column->First());
        const double jumpUnits = options_.jumpSeconds * unitsPerSecond;
        column->ForEachStep([&](uint64_t index, int64_t time, int64_t step) {
            place(index, time);
            const auto add = [&](const char* check, std::string message) {
                if (!counts.Admit(check)) return;
                stepped.push_back(Found(check, result.track, index, std::move(message)));
                stepped.back().timeSeconds = seconds(time);
            };
            if (std::fabs(static_cast<double>(step)) > jumpUnits) {
                add("jump", "time jumps " + std::string(step < 0 ? "back " : "forward ") +
                                FormatSeconds(seconds(Magnitude(step)), basis) + " s");
            } else if (step < 0) {
                add("backward", "time goes back " + FormatSeconds(seconds(-step), basis) + " s");
            } else if (step == 0) {
                add("duplicate", "same time as frame " + std::to_string(index - 1));
            } else if (nominal && static_cast<double>(step) > options_.gapTolerance * *nominal) {
                const auto missing = std::llround(static_cast<double>(step) / *nominal) - 1;
                add("gap", "step " + FormatSeconds(seconds(step), basis) + " s, interval " +
                               FormatSeconds(*result.nominalIntervalSeconds, TimeBasis::kDecodeTime) + " s, " +
                               std::to_string(missing) + " missing frame" + (missing == 1 ? "" : "s"));
            }
        });
        result.findings = std::move(located);
        result.findings.insert(result.findings.end(), stepped.begin(), stepped.end());
        std::stable_sort(result.findings.begin(), result.findings.end(),
                         [](const Finding& left, const Finding& right) { return left.index < right.index; });
    }

    if (result.sampleCount && *result.sampleCount != frames) {
        result.findings.push_back(Found(
            "count", result.track, frames,
            "frames read " + std::to_string(frames) + ", samples in the index " + std::to_string(*result.sampleCount)));
    }
    result.unlistedFindings = state.counts.unlisted + counts.unlisted;
    return result;
}

std::vector<Finding> AllFindings(const std::vector<TrackCheck>& tracks) {
    std::vector<Finding> findings;
    for (const TrackCheck& track : tracks) {
        findings.insert(findings.end(), track.findings.begin(), track.findings.end());
    }
    return findings;
}

uint64_t FindingTotal(const std::vector<TrackCheck>& tracks) {
    uint64_t total = 0;
    for (const TrackCheck& track : tracks) total += track.findings.size() + track.unlistedFindings;
    return total;
}

}  // namespace ZENT::SDK::Analysis
