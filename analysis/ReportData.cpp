#include "analysis/ReportData.h"

namespace ZENT::SDK::Analysis {

static_assert(sizeof(ReportPoint) == 24, "a frame of the report costs 24 bytes");

namespace {

int32_t ClampedMs(int64_t milliseconds) {
    constexpr int64_t kLeast = std::numeric_limits<int32_t>::min();
    constexpr int64_t kGreatest = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(milliseconds, kLeast, kGreatest));
}

}  // namespace

const ReportTrack* ReportSeries::Find(uint32_t track) const {
    const auto place = places_.find(track);
    return place == places_.end() ? nullptr : &tracks_[place->second];
}

std::optional<double> ReportSeries::TimeOf(uint32_t track, uint64_t index) const {
    const ReportTrack* found = Find(track);
    if (found == nullptr || index >= found->points.size()) return std::nullopt;
    return found->points[index].time;
}

void ReportSeries::AddFrame(const FrameRecord& frame) {
    const auto [place, added] = places_.try_emplace(frame.track, tracks_.size());
    if (added) {
        ReportTrack& track = tracks_.emplace_back();
        track.track = frame.track;
        track.video = frame.video;
        track.codec = frame.codec;
        clocks_.emplace_back();
    }
    ReportTrack& track = tracks_[place->second];
    TrackClock& clock = clocks_[place->second];

    std::optional<std::pair<Kind, double>> best;
    if (frame.decodeTime && frame.decodeTime->timescale != 0) {
        best.emplace(kDecode, static_cast<double>(frame.decodeTime->value) / frame.decodeTime->timescale);
    } else if (frame.streamTime) {
        best.emplace(kStream, static_cast<double>(*frame.streamTime) / 1000);
    } else if (frame.recordTime) {
        best.emplace(kRecord, static_cast<double>(*frame.recordTime) / 1000);
    } else if (frame.cameraTime) {
        best.emplace(kCamera, static_cast<double>(*frame.cameraTime) / 1000);
    }

    ReportPoint point;
    double time = previous_;
    if (best) {
        auto& origin = origins_[best->first];
        if (!origin) origin = best->second - previous_;
        time = best->second - *origin;
        point.flags |= ReportPoint::kTimed;
        if (clock.timed) point.interval = static_cast<float>(time - clock.last);
        clock.timed = true;
        clock.last = time;
    }
    point.time = static_cast<float>(time);
    point.size = frame.size;
    if (frame.streamTime && frame.recordTime) {
        point.recordOffsetMs = ClampedMs(*frame.recordTime - *frame.streamTime);
        point.flags |= ReportPoint::kRecordOffset;
    }
    if (frame.streamTime && frame.cameraTime) {
        point.cameraOffsetMs = ClampedMs(*frame.cameraTime - *frame.streamTime);
        point.flags |= ReportPoint::kCameraOffset;
    }
    point.motion = frame.motion;
    if (frame.key) point.flags |= ReportPoint::kKey;
    if (frame.diAlert != 0) point.flags |= ReportPoint::kAlert;
    track.points.push_back(point);

    if (frames_ == 0) {
        first_ = last_ = time;
    } else {
        first_ = std::min(first_, time);
        last_ = std::max(last_, time);
    }
    previous_ = time;
    ++frames_;
}

}  // namespace ZENT::SDK::Analysis
