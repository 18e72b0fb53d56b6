// A scripted media reader: fixed track facts and a list of ReadPacket results.
#ifndef STAMPWALK_TESTS_APP_FAKEAVREADER_H
#define STAMPWALK_TESTS_APP_FAKEAVREADER_H

#include <cstdint>
#include <utility>
#include <vector>

#include "isom/AVReader.h"

struct FakeTrack {
    uint32_t codecType;
    uint32_t sampleCount;
    uint32_t duration;
};

class FakeAVReader : public AVReader {
public:
    uint32_t mediaType = 0;
    std::vector<FakeTrack> tracks;
    // Each ReadPacket call hands out the next (status, packet); kEndOfStream afterwards.
    std::vector<std::pair<int32_t, TMediaPacket*>> reads;
    size_t readCalls = 0;
    std::vector<std::pair<uint32_t, uint32_t>> seeks;

    void Release() override {}
    uint32_t GetMediaType() override { return mediaType; }
    uint32_t GetCreationTime() override { return 0; }
    uint32_t GetDuration() override { return 0; }
    uint32_t GetTrackCount() override { return uint32_t(tracks.size()); }
    uint32_t GetTrackFourCC(uint32_t) override { return 0; }
    uint32_t GetTrackCodecType(uint32_t i) override { return tracks.at(i).codecType; }
    uint32_t GetTrackNumber(uint32_t i) override { return i; }
    uint32_t GetTrackSampleCount(uint32_t i) override { return tracks.at(i).sampleCount; }
    uint32_t GetTrackDuration(uint32_t i) override { return tracks.at(i).duration; }
    uint16_t GetTrackWidth(uint32_t) override { return 0; }
    uint16_t GetTrackHeight(uint32_t) override { return 0; }
    int32_t GetTrackDecoderConfig(uint32_t, const uint8_t**, uint32_t*) override { return kInvalidArgument; }
    int32_t GetVendorBox(uint32_t, const uint8_t**, uint32_t*) override { return kInvalidArgument; }
    int32_t ReadPacket(TMediaPacket** out) override {
        if (readCalls >= reads.size()) {
            ++readCalls;
            *out = nullptr;
            return kEndOfStream;
        }
        const auto& read = reads[readCalls++];
        *out = read.second;
        return read.first;
    }
    int32_t ReadPacketBackward(TMediaPacket** out) override {
        *out = nullptr;
        return kEndOfStream;
    }
    void RemoveTrack(uint32_t) override {}
    int32_t SeekPercent(uint32_t) override { return 0; }
    int32_t SeekPercentExact(uint32_t) override { return 0; }
    void SeekTime(uint32_t seconds, uint32_t milliseconds) override { seeks.emplace_back(seconds, milliseconds); }
    void SeekTimeExact(uint32_t, uint32_t) override {}
    void SetStepMode(int32_t) override {}
    void SetKeyFramesOnly(int32_t) override {}
    void SetIntegrityKey(const char*) override {}
    void DisableTrack(uint32_t) override {}
    void EnableTrack(uint32_t) override {}
    uint32_t IsTrackProtected(uint32_t) override { return 0; }
    int32_t GetTrackKeyId(uint32_t, const uint8_t**, uint32_t*) override { return kInvalidArgument; }
    int32_t SetTrackKey(uint32_t, const uint8_t*, uint32_t) override { return kInvalidArgument; }
};

#endif
