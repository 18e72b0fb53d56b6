#include "app/FallbackReport.h"

#include <algorithm>
#include <iostream>
#include <vector>

#include "app/FrameCollector.h"
#include "common/CodecTables.h"
#include "viewwhilerecording/ViewWhileRec.h"

FallbackFrameReport::FallbackFrameReport(int32_t timeType)
    : FrameLineReport(timeType, "Stream:%s Frame:%c %u.%03u %02u %u CRC32:%08X Size:%u",
                      "Stream:%s Frame:%c NO StreamingTime CRC32:%08X Size:%u") {}

// The words go in as unsigned 16-bit values: -3600 prints as 61936.
std::string FallbackFrameReport::BuildLine(const TMediaPacket& packet) {
    return LineUpToSize<uint16_t>(packet, uint32_t(packet.localSeconds)).str();
}

namespace {

namespace Analysis = ZENT::SDK::Analysis;

void SetKey(VIEWWHILEREC_HANDLE parser, const std::vector<TrackKey>& keys) {
    // Set before anything is scanned, so whether the recording is protected is
    // not known yet; samples without a nonce stay as they are.
    if (keys.empty()) return;
    const TrackKey* key = KeyFor(keys, nullptr, 0);
    if (key == nullptr) key = &keys.front();
    VIEWWHILEREC_SetKey(parser, key->key.data(), uint32_t(key->key.size()));
}

// The tracks as the collector numbered them (one per tag), with the samples the reader indexed for each.
void ReportTracksAndProgress(VIEWWHILEREC_HANDLE parser, const FrameCollector& collector, RunSink& report) {
    std::vector<Analysis::TrackRecord> tracks;
    const auto& seen = collector.FallbackTracks();
    for (size_t i = 0; i < seen.size(); ++i) {
        const auto [tag, codecType] = seen[i];
        Analysis::TrackRecord& track = tracks.emplace_back(TrackRecordOf(uint32_t(i + 1), codecType));
        uint64_t count = 0;
        if (VIEWWHILEREC_GetSampleCount(parser, tag, &count) == kOk) track.sampleCount = count;
    }
    // Tracks with samples in complete chunks that handed out no packet (a
    // read error ended the run first) follow, so that their count shows.
    uint32_t tagCount = 0;
    if (VIEWWHILEREC_GetTrackTags(parser, nullptr, 0, &tagCount) == kOk && tagCount > 0) {
        std::vector<uint32_t> tags(tagCount);
        VIEWWHILEREC_GetTrackTags(parser, tags.data(), tagCount, &tagCount);
        for (const uint32_t tag : tags) {
            const bool seenTag =
                std::any_of(seen.begin(), seen.end(), [tag](const auto& track) { return track.first == tag; });
            uint64_t count = 0;
            if (seenTag || VIEWWHILEREC_GetSampleCount(parser, tag, &count) != kOk || count == 0) continue;
            const ZENT::SDK::Utility::CodecEntry* entry = ZENT::SDK::Utility::FindCodecByTag(tag);
            Analysis::TrackRecord& track = tracks.emplace_back(
                TrackRecordOf(uint32_t(tracks.size() + 1), entry != nullptr ? entry->codecType : 0));
            track.sampleCount = count;
        }
    }
    report.Tracks(tracks);

    VIEWWHILEREC_PROGRESS read{};
    if (VIEWWHILEREC_GetProgress(parser, &read) != kOk) return;
    Analysis::RecordingProgress progress;
    progress.completeChunks = read.completeChunks;
    progress.samples = read.samples;
    if (read.samples > 0) progress.reachedTime = int64_t(read.reachedMilliseconds);
    progress.pendingBytes = read.pendingBytes;
    report.Progress(progress);
}

}  // namespace

void ViewWhileRec(const RunOptions& options, RunSink& report) {
    const bool text = options.Text();
    VIEWWHILEREC_HANDLE parser = nullptr;
    int32_t status = VIEWWHILEREC_InitParser(&parser, options.pathname.c_str());
    // Statuses print as their 32-bit pattern in lower-case hexadecimal; the
    // stream stays in that mode, which nothing printed later depends on.
    if (text)
        std::cout << "ViewWhileRec - VIEWWHILEREC_InitParser scRet: " << std::hex << uint32_t(status) << std::endl;
    if (status != kOk) return;
    SetKey(parser, options.keys);

    FallbackFrameReport lines(options.timeType);
    FrameCollector collector([&report](const Analysis::FrameRecord& frame) { report.Frame(frame); }, !options.Text());
    const bool collects = options.Collects();
    for (;;) {
        TMediaPacket* packet = nullptr;
        status = VIEWWHILEREC_OutputRawPacket(parser, &packet);
        if (status != kOk) {
            if (text) {
                std::cout << "ViewWhileRec - VIEWWHILEREC_OutputRawPacket scRet: " << std::hex << uint32_t(status)
                          << std::endl;
            }
            break;
        }
        if (!packet || !lines.Report(*packet, text ? &std::cout : nullptr)) break;
        uint32_t tag = 0;
        if (collects && VIEWWHILEREC_GetPacketTag(parser, &tag) == kOk) collector.AddFallbackPacket(*packet, tag);
    }
    if (collects) ReportTracksAndProgress(parser, collector, report);
    // Nothing is printed for it, but the parser is not left to the process's end.
    VIEWWHILEREC_ReleaseParser(&parser);
}
