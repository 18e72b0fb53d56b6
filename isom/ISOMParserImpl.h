// The media reader of finished recordings: the box tree, the track list with
// its companion frame-information tracks, the sample indexes, and the 29
// operations of AVReader on top of them.
#ifndef STAMPWALK_ISOM_ISOMPARSERIMPL_H
#define STAMPWALK_ISOM_ISOMPARSERIMPL_H

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/InflateStream.h"
#include "isom/AVReader.h"
#include "isom/FileDescriptor.h"
#include "isom/FragmentProgress.h"
#include "isom/MovieRecord.h"
#include "isom/PacketOrigin.h"
#include "isom/ParserInput.h"
#include "isom/PayloadReader.h"
#include "isom/SampleIndex.h"
#include "isom/SampleInput.h"

namespace ZENT::SDK::Pelagor2 {

struct TrackState;

// The narrow form of a wide path, as the file system takes it.
std::string WideToUtf8(const wchar_t* path);

class ISOMParserImpl final : public AVReader {
public:
    // The inflate stream of a compressed metadata track, with the dictionary
    // of its sample description.
    struct ZStream;

    // Reads the whole structure of the file behind the device; throws on a
    // malformed or unreadable file. flags 0 pairs companion tracks.
    ISOMParserImpl(const FileDescriptor& device, int flags);
    ~ISOMParserImpl();

    void Release() override;
    uint32_t GetMediaType() override;
    uint32_t GetCreationTime() override;
    uint32_t GetDuration() override;
    uint32_t GetTrackCount() override;
    uint32_t GetTrackFourCC(uint32_t i) override;
    uint32_t GetTrackCodecType(uint32_t i) override;
    uint32_t GetTrackNumber(uint32_t i) override;
    uint32_t GetTrackSampleCount(uint32_t i) override;
    uint32_t GetTrackDuration(uint32_t i) override;
    uint16_t GetTrackWidth(uint32_t i) override;
    uint16_t GetTrackHeight(uint32_t i) override;
    int32_t GetTrackDecoderConfig(uint32_t i, const uint8_t** data, uint32_t* size) override;
    int32_t GetVendorBox(uint32_t fourcc, const uint8_t** data, uint32_t* size) override;
    int32_t ReadPacket(TMediaPacket** out) override;
    int32_t ReadPacketBackward(TMediaPacket** out) override;
    void RemoveTrack(uint32_t i) override;
    int32_t SeekPercent(uint32_t percent) override;
    int32_t SeekPercentExact(uint32_t percent) override;
    void SeekTime(uint32_t seconds, uint32_t milliseconds) override;
    void SeekTimeExact(uint32_t seconds, uint32_t milliseconds) override;
    void SetStepMode(int32_t mode) override;
    void SetKeyFramesOnly(int32_t flag) override;
    void SetIntegrityKey(const char* text) override;
    void DisableTrack(uint32_t i) override;
    void EnableTrack(uint32_t i) override;
    uint32_t IsTrackProtected(uint32_t i) override;
    int32_t GetTrackKeyId(uint32_t i, const uint8_t** kid, uint32_t* size) override;
    int32_t SetTrackKey(uint32_t i, const uint8_t* key, uint32_t size) override;

    // The last sample at or before time x (seconds from the earliest start
    // offset) of a timeline: -1 before its first sample, timedSampleCount
    // from about its last sample's time on.
    int32_t SampleAtTime(const TrackTimeline& timeline, double x) const;

    // Read-only views for tests and the payload reader.
    const MovieRecord& movie() const { return movie_; }
    const Timelines& timelines() const { return timelines_; }
    const std::vector<TrackState>& trackList() const { return trackList_; }
    size_t sampleBufferSize() const { return sampleBuffer_.size(); }
    size_t infoBufferSize() const { return infoBuffer_.size(); }
    // The origin of the packet handed out last; false before the first.
    bool LastOrigin(TPacketOrigin& origin) const;
    // How far the open read a fragmented movie; all zero for another movie.
    void GetFragmentProgress(TFragmentProgress& progress) const;
    const SampleInput& sampleInput() const { return *sampleInput_; }

private:
    void BuildTrackList(int flags);
    void SizeBuffers();
    const TrackState* Listed(uint32_t i) const;
    const TrackRecord* Track(uint32_t i) const;
    const SampleDescription* Description(uint32_t i) const;
    void SeekCursors(double seconds, bool exact);
    double TimelinePosition(const TrackState& state, int32_t sample) const;
    int32_t ReadNext(TMediaPacket** out, bool forward);
    TrackState* ChooseNext(bool forward);
    bool SkipsSample(const TrackState& state) const;
    void Advance(TrackState& state, bool forward);
    TMediaPacket* MakePacket(TrackState& state, bool forward);
    void NoteOrigin(const TrackState& state, uint32_t sample);

    uint64_t baseOffset_;  // of the ISO data in the file
    FileStreamBuffer buffer_;
    std::unique_ptr<ParserInput> input_;
    std::unique_ptr<SampleInput> sampleInput_;
    std::unique_ptr<PayloadReader> payloadReader_;
    std::unique_ptr<PayloadReader> recordReader_;  // companion records
    MovieRecord movie_;
    Timelines timelines_;
    std::vector<TrackState> trackList_;
    TMediaPacket* currentPacket_ = nullptr;
    std::vector<uint8_t> sampleBuffer_;
    std::vector<uint8_t> infoBuffer_;
    std::vector<uint8_t> recordScratch_;
    int32_t stepMode_ = 0;
    bool keyFramesOnly_ = false;
    std::string integrityKey_;
    TPacketOrigin lastOrigin_{};
    bool hasOrigin_ = false;
};

struct ISOMParserImpl::ZStream : ZENT::SDK::Utility::DictionaryInflateStream {};

// One playable track of the reader's track list.
struct TrackState {
    const Utility::CodecEntry* codec = nullptr;  // of the track's first sample description
    int32_t trackIndex = -1;                     // in the movie record
    int32_t companionIndex = -1;                 // the paired frame-information track, -1 when none
    int32_t trackNumber = 0;                     // track_ID - 1
    int32_t sampleCount = 0;
    boost::shared_ptr<ISOMParserImpl::ZStream> inflater;  // compressed metadata tracks only
    int32_t cursor = 0;                                   // next sample to hand out
    uint32_t enabled = 1;
};

}  // namespace ZENT::SDK::Pelagor2

#endif
