#include "app/FrameCollector.h"

#include "app/FrameReport.h"
#include "app/FrameTime.h"
#include "common/CodecTables.h"
#include "common/Crc32.h"

namespace {

namespace Analysis = ZENT::SDK::Analysis;
namespace Utility = ZENT::SDK::Utility;

bool ReadsSliceHeaders(uint32_t codecType) { return codecType == kCodecH264 || codecType == kCodecHevc; }

std::optional<int64_t> UserDataMilliseconds(const TMediaPacket& packet, int32_t timeType,
                                            std::vector<FrameTime>& scratch) {
    scratch.clear();
    ExtractFrameTime(packet, timeType, scratch);
    if (scratch.empty()) return std::nullopt;
    return int64_t(scratch.front().seconds) * 1000 + int64_t(scratch.front().milliseconds);
}

Analysis::Integrity IntegrityOf(int32_t status) {
    switch (status) {
        case kReaderOk: return Analysis::Integrity::kMatch;
        case kCheckMismatch: return Analysis::Integrity::kMismatch;
        default: return Analysis::Integrity::kNoValue;
    }
}

}  // namespace

Analysis::TrackRecord TrackRecordOf(uint32_t number, uint32_t codecType) {
    Analysis::TrackRecord track;
    track.track = number;
    track.codecType = codecType;
    track.codec = Utility::CodecName(codecType);
    const Utility::CodecEntry* entry = Utility::FindCodec(codecType);
    track.video = entry != nullptr && entry->kind == Utility::CodecKind::kVideo;
    return track;
}

void FrameCollector::BeginTracks(AVReader& reader) {
    tracks_.clear();
    const uint32_t count = reader.GetTrackCount();
    tracks_.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t codecType = reader.GetTrackCodecType(i);
        if (!ReadsSliceHeaders(codecType)) continue;
        tracks_[i].parser = std::make_unique<Utility::CodedFrameParser>(codecType);
        const uint8_t* config = nullptr;
        uint32_t size = 0;
        if (reader.GetTrackDecoderConfig(i, &config, &size) == kReaderOk && config != nullptr) {
            tracks_[i].parser->Configure(config, size);
        }
    }
}

void FrameCollector::AddMediaReaderPacket(AVReader& reader, const TMediaPacket& packet, int32_t status,
                                          bool integrityRan) {
    TPacketOrigin origin{};
    if (AVReaderGetPacketOrigin(&reader, &origin) != kReaderOk || origin.track >= tracks_.size()) return;
    record_.track = origin.track + 1;
    record_.key = origin.sync != 0;
    if (origin.timed) {
        record_.decodeTime = Analysis::ContainerTime{origin.decodeTime, origin.timescale};
        record_.presentationTime = Analysis::ContainerTime{origin.presentationTime, origin.timescale};
        record_.duration = Analysis::ContainerTime{origin.duration, origin.timescale};
    } else {
        record_.decodeTime.reset();
        record_.presentationTime.reset();
        record_.duration.reset();
    }
    record_.integrity = integrityRan ? IntegrityOf(status) : Analysis::Integrity::kNotRun;
    Fill(packet, packet.seconds, tracks_[origin.track]);
}

std::vector<Analysis::TrackRecord> FrameCollector::MediaReaderTracks(AVReader& reader) {
    std::vector<Analysis::TrackRecord> tracks;
    const uint32_t count = reader.GetTrackCount();
    for (uint32_t i = 0; i < count; ++i) {
        Analysis::TrackRecord& track = tracks.emplace_back(TrackRecordOf(i + 1, reader.GetTrackCodecType(i)));
        track.sampleCount = reader.GetTrackSampleCount(i);
        track.durationSeconds = reader.GetTrackDuration(i);
    }
    return tracks;
}

FrameCollector::Track& FrameCollector::FallbackTrack(uint32_t tag, uint32_t codecType, uint32_t& number) {
    for (size_t i = 0; i < fallbackTracks_.size(); ++i) {
        if (fallbackTracks_[i].first == tag) {
            number = uint32_t(i + 1);
            return tracks_[i];
        }
    }
    fallbackTracks_.emplace_back(tag, codecType);
    Track& track = tracks_.emplace_back();
    if (ReadsSliceHeaders(codecType)) track.parser = std::make_unique<Utility::CodedFrameParser>(codecType);
    number = uint32_t(fallbackTracks_.size());
    return track;
}

void FrameCollector::AddFallbackPacket(const TMediaPacket& packet, uint32_t tag) {
    uint32_t number = 0;
    Track& track = FallbackTrack(tag, packet.codecType, number);
    record_.track = number;
    record_.key = packet.frameType == kFrameIntra;
    record_.decodeTime.reset();
    record_.presentationTime.reset();
    record_.duration.reset();
    record_.integrity = Analysis::Integrity::kNotRun;
    Fill(packet, uint32_t(packet.localSeconds), track);
}

void FrameCollector::Fill(const TMediaPacket& packet, uint32_t cameraSeconds, Track& track) {
    Analysis::FrameRecord& record = record_;
    record.index = track.nextIndex++;
    const CodecAndFrameType codec = GetCodecAndFrameType(packet);
    record.codec = codec.codecName;
    record.frameType = codec.frameLetter;
    if (packet.codecType != track.codecType) {
        track.codecType = packet.codecType;
        track.video = TrackRecordOf(0, packet.codecType).video;
    }
    record.video = track.video;

    const uint8_t* payload = packet.frameData != nullptr ? packet.frameData + packet.headerSize : nullptr;
    const size_t payloadSize = payload != nullptr ? packet.payloadSize : 0;
    record.codedType = 0;
    record.randomAccess = false;
    if (track.parser && payload != nullptr) {
        const Utility::CodedFrame coded = track.parser->Parse(payload, payloadSize);
        record.codedType = coded.codedType;
        record.randomAccess = coded.randomAccess;
    }

    std::vector<FrameTime>& scratch = times_;
    record.recordTime = UserDataMilliseconds(packet, kRecordTime, scratch);
    record.streamTime = UserDataMilliseconds(packet, kStreamTime, scratch);
    record.cameraTime = int64_t(cameraSeconds) * 1000 + int64_t(packet.milliseconds);
    record.timeZone.reset();
    if (packet.hasTimeZone) record.timeZone = std::make_pair(packet.timeZoneOffset, packet.daylightSaving);

    record.size = packet.payloadSize;
    record.crc32 = withCrcs_ ? PacketCrc32(packet) : 0;
    const Utility::PayloadCrc stored =
        withCrcs_ ? Utility::PayloadCrcWithoutParameterSets(payload, payloadSize, packet.codecType)
                  : Utility::PayloadCrc{};
    record.payloadCrc32 = stored.crc;
    record.payloadBytes = uint32_t(stored.bytes);
    record.diAlert = packet.diAlert;
    for (int window = 0; window < 3; ++window) record.motion[size_t(window)] = uint8_t(MotionValue(packet, window));
    ++frames_;
    sink_(record);
}
