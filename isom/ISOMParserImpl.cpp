#include "isom/ISOMParserImpl.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "common/CodecTables.h"
#include "common/PacketBlock.h"
#include "format/ByteOrder.h"
#include "format/FourCC.h"
#include "format/MetadataEntry.h"
#include "isom/BoxParser.h"
#include "isom/EmbeddedFile.h"
#include "isom/FrameInfoSynthesis.h"
#include "isom/IntegrityCheck.h"

namespace ZENT::SDK::Pelagor2 {

using Format::FourCC;
using Format::MetadataForm;
using ZENT::SDK::Utility::CodecKind;
using ZENT::SDK::Utility::DecoderConfig;

namespace {

// Seconds as a 32-bit count: saturated at the top, and 0 for NaN or negatives.
uint32_t SaturatedSeconds(double seconds) {
    if (!(seconds > 0)) return 0;
    if (seconds >= 4294967295.0) return 0xFFFFFFFF;
    return uint32_t(seconds);
}

// The largest sample of a timeline that lies wholly inside the file: a sample
// that does not is refused when it is read, so it never sizes a buffer.
uint64_t LargestSampleInFile(const TrackTimeline& timeline, uint64_t fileSize) {
    uint64_t largest = 0;
    const IndexEntry* entries = timeline.entries.get();
    for (uint32_t j = 0; j < timeline.entryCount; ++j) {
        const IndexEntry& e = entries[j];
        if (e.size > largest && e.offset <= fileSize && e.size <= fileSize - e.offset) largest = e.size;
    }
    return largest;
}

}  // namespace

// The dictionary of a compressed metadata entry, when it has one.
void LoadMetadataDictionary(ZENT::SDK::Utility::DictionaryInflateStream& inflater, const std::vector<uint8_t>& config) {
    if (Format::HasDeflatedDictionary(config.data(), config.size()))
        inflater.LoadDictionary(config.data() + Format::kDictionaryOffset,
                                uint32_t(config.size() - Format::kDictionaryOffset));
}

// Converts a UTF-32 path to the UTF-8 bytes the file system takes.
std::string WideToUtf8(const wchar_t* path) {
    std::string out;
    for (; *path; ++path) {
        const auto c = static_cast<uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(*path));
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | ((c >> 18) & 0x07));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

ISOMParserImpl::ISOMParserImpl(const FileDescriptor& device, int flags) : baseOffset_(device.baseOffset()) {
    buffer_.open(device);
    input_.reset(new ParserInput(buffer_));
    MP4Parser::Parse(*input_, movie_);
    PrepareDecoderConfigs(movie_);
    timelines_ = BuildTimelines(movie_, input_->streamSize());
    BuildTrackList(flags);
    SizeBuffers();
    sampleInput_.reset(new SampleInput(device, input_->streamSize()));
    payloadReader_.reset(new PayloadReader(*sampleInput_, sampleBuffer_));
    recordReader_.reset(new PayloadReader(*sampleInput_, recordScratch_));
}

ISOMParserImpl::~ISOMParserImpl() {
    if (currentPacket_) currentPacket_->releaseOps->release(currentPacket_);
}

void ISOMParserImpl::BuildTrackList(int flags) {
    const std::vector<TrackRecord>& tracks = movie_.tracks;
    for (size_t t = 0; t < tracks.size(); ++t) {
        const SampleDescription* d = tracks[t].firstDescription();
        if (!d || !d->codec) continue;
        TrackState state;
        state.codec = d->codec;
        state.trackIndex = int32_t(t);
        state.trackNumber = int32_t(tracks[t].header.trackId - 1);
        state.sampleCount = int32_t(timelines_.tracks[t].entryCount);
        if (d->metadataForm == MetadataForm::kCompressed) {
            state.inflater.reset(new ZStream);
            LoadMetadataDictionary(*state.inflater, d->genericConfig);
        }
        // A frame-information track directly after a playable track belongs
        // to it and is never listed itself.
        if (t + 1 < tracks.size() && tracks[t + 1].handler.handlerType == FourCC("norv")) {
            if (flags == kOpenPairCompanionTracks &&
                timelines_.tracks[t + 1].entryCount == timelines_.tracks[t].entryCount)
                state.companionIndex = int32_t(t + 1);
            ++t;
        }
        trackList_.push_back(state);
    }
}

void ISOMParserImpl::SizeBuffers() {
    const uint64_t fileSize = input_->streamSize();
    uint64_t sampleBufferSize = 0;
    uint64_t infoBufferSize = 44;
    for (const TrackState& state : trackList_) {
        const TrackRecord& track = movie_.tracks[state.trackIndex];
        uint64_t size = LargestSampleInFile(timelines_.tracks[state.trackIndex], fileSize);
        const SampleDescription* d = track.firstDescription();
        // Room for the inserted parameter sets and for short length prefixes
        // growing into start codes.
        if (state.codec->decoderConfig == DecoderConfig::kAvc)
            size += d->avcConfig.size() + 15 - 5 * uint64_t(d->avcLengthSizeMinusOne);
        else if (state.codec->decoderConfig == DecoderConfig::kHevc)
            size += uint64_t(d->hevcParameterSetLength) + 6 - 2 * uint64_t(d->hevcLengthSizeMinusOne);
        if (size > sampleBufferSize) sampleBufferSize = size;
        if (state.companionIndex >= 0) {
            uint64_t record = LargestSampleInFile(timelines_.tracks[state.companionIndex], fileSize);
            if (record > infoBufferSize) infoBufferSize = record;
        }
    }
    sampleBuffer_.resize(sampleBufferSize);
    infoBuffer_.resize(infoBufferSize);
}

// Track indexes are checked: an index past the list reads as a track with
// nothing in it, and the status operations refuse it.
const TrackState* ISOMParserImpl::Listed(uint32_t i) const { return i < trackList_.size() ? &trackList_[i] : nullptr; }

const TrackRecord* ISOMParserImpl::Track(uint32_t i) const {
    const TrackState* state = Listed(i);
    return state ? &movie_.tracks[state->trackIndex] : nullptr;
}

const SampleDescription* ISOMParserImpl::Description(uint32_t i) const {
    const TrackRecord* track = Track(i);
    return track ? track->firstDescription() : nullptr;
}

void ISOMParserImpl::Release() { delete this; }

uint32_t ISOMParserImpl::GetMediaType() {
    uint32_t type = 0;
    for (const TrackState& state : trackList_) {
        const TrackRecord& track = movie_.tracks[state.trackIndex];
        if (track.isAudio) type |= kMediaAudio;
        if (track.isVideo) type |= kMediaVideo;
        if (!track.isAudio && !track.isVideo && state.codec->kind == CodecKind::kMetadata) type |= kMediaMetadata;
    }
    return type;
}

uint32_t ISOMParserImpl::GetCreationTime() {
    uint64_t created = movie_.header.creationTime;
    return created < kSecondsFrom1904To1970 ? 0 : uint32_t(created - kSecondsFrom1904To1970);
}

uint32_t ISOMParserImpl::GetDuration() {
    if (movie_.header.timescale == 0) return 0;
    const double seconds = double(movie_.header.duration) / movie_.header.timescale;
    if (!movie_.extends.present) return SaturatedSeconds(seconds);
    // A fragmented movie's header counts the samples of the movie box only:
    // the movie extends header, or else the longest track, may know more.
    double longest = std::max(seconds, double(movie_.extends.fragmentDuration) / movie_.header.timescale);
    for (const TrackTimeline& timeline : timelines_.tracks) longest = std::max(longest, timeline.duration);
    return SaturatedSeconds(longest);
}

uint32_t ISOMParserImpl::GetTrackCount() { return uint32_t(trackList_.size()); }

uint32_t ISOMParserImpl::GetTrackFourCC(uint32_t i) {
    const TrackState* state = Listed(i);
    return state ? state->codec->trackFourCC : 0;
}

uint32_t ISOMParserImpl::GetTrackCodecType(uint32_t i) {
    const TrackState* state = Listed(i);
    return state ? state->codec->codecType : 0;
}

uint32_t ISOMParserImpl::GetTrackNumber(uint32_t i) {
    const TrackState* state = Listed(i);
    return state ? uint32_t(state->trackNumber) : 0;
}

uint32_t ISOMParserImpl::GetTrackSampleCount(uint32_t i) {
    const TrackState* state = Listed(i);
    return state ? timelines_.tracks[state->trackIndex].entryCount : 0;
}

uint32_t ISOMParserImpl::GetTrackDuration(uint32_t i) {
    const TrackState* state = Listed(i);
    return state ? SaturatedSeconds(timelines_.tracks[state->trackIndex].duration) : 0;
}

uint16_t ISOMParserImpl::GetTrackWidth(uint32_t i) {
    const SampleDescription* d = Description(i);
    return d ? d->width : 0;
}

uint16_t ISOMParserImpl::GetTrackHeight(uint32_t i) {
    const SampleDescription* d = Description(i);
    return d ? d->height : 0;
}

int32_t ISOMParserImpl::GetTrackDecoderConfig(uint32_t i, const uint8_t** data, uint32_t* size) {
    if (!data || !size) return kInvalidArgument;
    const SampleDescription* d = Description(i);
    if (!d) return kInvalidArgument;
    const std::vector<uint8_t>* config = &d->genericConfig;
    switch (d->codec->decoderConfig) {
        case DecoderConfig::kAvc: config = &d->avcConfig; break;
        case DecoderConfig::kHevc: config = &d->hevcConfig; break;
        case DecoderConfig::kAmr: config = &d->amrConfig; break;
        case DecoderConfig::kGeneric: break;
    }
    *data = config->empty() ? nullptr : config->data();
    *size = uint32_t(config->size());
    return kReaderOk;
}

int32_t ISOMParserImpl::GetVendorBox(uint32_t fourcc, const uint8_t** data, uint32_t* size) {
    if (!data || !size) return kInvalidArgument;
    // The interface's codes have their first character in the lowest byte.
    uint32_t type = __builtin_bswap32(fourcc);
    const VendorBox* box = MP4Parser::FindVendorBox(movie_, type);
    *data = box && !box->payload.empty() ? box->payload.data() : nullptr;
    *size = box ? uint32_t(box->payload.size()) : 0;
    return kReaderOk;
}

double ISOMParserImpl::TimelinePosition(const TrackState& state, int32_t sample) const {
    const TrackTimeline& timeline = timelines_.tracks[state.trackIndex];
    return timeline.startOffset + timeline.entries[sample].time();
}

// The listed track whose current sample comes first (last, backward) on the
// timeline; on equal places the track earlier in the list.
TrackState* ISOMParserImpl::ChooseNext(bool forward) {
    TrackState* chosen = nullptr;
    double chosenPosition = 0;
    for (TrackState& state : trackList_) {
        if (state.cursor < 0 || state.cursor >= state.sampleCount) continue;
        double position = TimelinePosition(state, state.cursor);
        if (!chosen || (forward ? position < chosenPosition : position > chosenPosition)) {
            chosen = &state;
            chosenPosition = position;
        }
    }
    return chosen;
}

bool ISOMParserImpl::SkipsSample(const TrackState& state) const {
    if (!state.enabled) return true;
    const bool sync = timelines_.tracks[state.trackIndex].entries[state.cursor].syncFlag == 1;
    if (stepMode_ >= 4 && stepMode_ <= 6 && (!movie_.tracks[state.trackIndex].isVideo || !sync)) return true;
    return keyFramesOnly_ && !sync;
}

// One sample on, or in the key-frame modes a step of 1, 2 or 4 seconds for
// every listed track.
void ISOMParserImpl::Advance(TrackState& state, bool forward) {
    if (stepMode_ < 4 || stepMode_ > 6) {
        state.cursor += forward ? 1 : -1;
        return;
    }
    const double step = stepMode_ == 4 ? 1.0 : stepMode_ == 5 ? 2.0 : 4.0;
    const int32_t handedOut = state.cursor;
    double target = TimelinePosition(state, handedOut) + (forward ? step : -step);
    if (forward && handedOut + 1 < state.sampleCount) {
        double next = TimelinePosition(state, handedOut + 1);
        if (next > target) target = next;
    } else if (!forward && handedOut - 1 >= 0) {
        double previous = TimelinePosition(state, handedOut - 1);
        if (previous < target) target = previous;
    }
    // The lookup measures time from the earliest start offset.
    const double lookup = target - timelines_.earliestStartOffset;
    for (TrackState& other : trackList_) other.cursor = SampleAtTime(timelines_.tracks[other.trackIndex], lookup);
    // The handed-out track always moves on, whatever the times of samples
    // without a place on the timeline say.
    if (forward && state.cursor <= handedOut) state.cursor = handedOut + 1;
    if (!forward && state.cursor >= handedOut) state.cursor = handedOut - 1;
}

TMediaPacket* ISOMParserImpl::MakePacket(TrackState& state, bool forward) {
    const TrackRecord& track = movie_.tracks[state.trackIndex];
    const TrackTimeline& timeline = timelines_.tracks[state.trackIndex];
    const uint32_t sample = uint32_t(state.cursor);
    uint32_t payloadLength;
    size_t recordLength;
    try {
        if (uint32_t(state.companionIndex) < movie_.tracks.size()) {
            recordLength =
                recordReader_->ReadSample(movie_.tracks[state.companionIndex], unsigned(state.companionIndex),
                                          timelines_.tracks[state.companionIndex], sample, infoBuffer_);
            payloadLength =
                payloadReader_->Prepare(track, unsigned(state.trackIndex), timeline, sample, state.inflater.get());
        } else {
            payloadLength =
                payloadReader_->Prepare(track, unsigned(state.trackIndex), timeline, sample, state.inflater.get());
            uint8_t first = state.codec->codecType == kCodecSamr ? payloadReader_->FirstPayloadByte() : 0;
            recordLength =
                SynthesizeFrameInfo(*state.codec, track, timeline, sample, first, payloadLength, infoBuffer_.data());
        }
    } catch (...) {
        // The failed sample is passed, not retried.
        Advance(state, forward);
        throw;
    }
    NoteOrigin(state, sample);
    Advance(state, forward);

    TMediaPacket* packet = ZENT::SDK::Utility::BuildPacket(infoBuffer_.data(), recordLength, payloadLength);
    try {
        payloadReader_->Emit(packet->frameData + Format::LoadU32(infoBuffer_.data() + 8));
    } catch (...) {
        packet->releaseOps->release(packet);
        throw;
    }
    if (currentPacket_) currentPacket_->releaseOps->release(currentPacket_);
    currentPacket_ = packet;
    const SampleDescription* d = track.firstDescription();
    packet->width = d->width;
    packet->height = d->height;
    return packet;
}

void ISOMParserImpl::NoteOrigin(const TrackState& state, uint32_t sample) {
    const TrackRecord& track = movie_.tracks[state.trackIndex];
    const TrackTimeline& timeline = timelines_.tracks[state.trackIndex];
    const IndexEntry& entry = timeline.entries[sample];
    TPacketOrigin origin{};
    origin.track = uint32_t(&state - trackList_.data());
    origin.sample = sample;
    origin.sync = entry.syncFlag == 1 ? 1 : 0;
    const uint32_t timescale = track.media.timescale;
    if (timescale != 0 && sample < timeline.timedSampleCount) {
        // The index keeps seconds; the ticks they came from are whole numbers
        // far below 2^53, so rounding gives them back exactly.
        const auto ticks = [timescale](double seconds) { return int64_t(std::llround(seconds * timescale)); };
        origin.timed = 1;
        origin.timescale = timescale;
        origin.decodeTime = ticks(entry.time());
        origin.presentationTime = ticks(entry.compositionTime);
        const uint32_t tableCount = track.sampleTable.sizes.sampleCount;
        if (sample + 1 < timeline.timedSampleCount) {
            origin.duration = ticks(timeline.entries[sample + 1].time()) - origin.decodeTime;
        } else if (sample >= tableCount) {
            origin.duration = track.fragments.samples[sample - tableCount].duration;
        } else if (!track.sampleTable.timeToSample.empty()) {
            origin.duration = track.sampleTable.timeToSample.back().sampleDelta;
        }
    }
    lastOrigin_ = origin;
    hasOrigin_ = true;
}

void ISOMParserImpl::GetFragmentProgress(TFragmentProgress& progress) const {
    progress = TFragmentProgress{};
    if (!movie_.extends.present) return;
    const FragmentWalk& walk = movie_.fragmentWalk;
    const uint64_t streamSize = input_->streamSize();
    progress.fragmented = 1;
    progress.completeFragments = walk.completeFragments;
    progress.endOffset = baseOffset_ + walk.endOffset;
    progress.bytesAfter = walk.endOffset < streamSize ? streamSize - walk.endOffset : 0;
}

bool ISOMParserImpl::LastOrigin(TPacketOrigin& origin) const {
    if (!hasOrigin_) return false;
    origin = lastOrigin_;
    return true;
}

int32_t ISOMParserImpl::ReadNext(TMediaPacket** out, bool forward) {
    if (!out) return kInvalidArgument;
    try {
        for (;;) {
            TrackState* state = ChooseNext(forward);
            if (!state) {
                *out = nullptr;
                return kEndOfStream;
            }
            if (SkipsSample(*state)) {
                state->cursor += forward ? 1 : -1;
                continue;
            }
            TMediaPacket* packet = MakePacket(*state, forward);
            *out = packet;
            return TestPacketIntegrity(packet, integrityKey_);
        }
    } catch (const std::exception&) {
        return kReaderException;
    }
}

int32_t ISOMParserImpl::ReadPacket(TMediaPacket** out) { return ReadNext(out, true); }

int32_t ISOMParserImpl::ReadPacketBackward(TMediaPacket** out) { return ReadNext(out, false); }

void ISOMParserImpl::RemoveTrack(uint32_t i) {
    if (i < trackList_.size()) trackList_.erase(trackList_.begin() + i);
}

int32_t ISOMParserImpl::SampleAtTime(const TrackTimeline& timeline, double x) const {
    const uint32_t n = timeline.timedSampleCount;
    // A track without times has no place on the timeline: it is read from its
    // start, and any later time puts it at its end.
    if (n == 0) return x <= 0 ? 0 : int32_t(timeline.entryCount);
    const IndexEntry* e = timeline.entries.get();
    const double shifted = x - (timeline.startOffset - timelines_.earliestStartOffset);
    const double first = e[0].time();
    const double last = e[n - 1].time();
    const double g = (shifted - first) * n / (last + 2.2250738585072014e-308 - first);
    if (std::isnan(g) || g < 0) return -1;
    if (g >= n) return int32_t(n);
    uint32_t i = uint32_t(g);
    if (shifted > e[i].time()) {
        while (i + 1 < n && shifted >= e[i + 1].time()) ++i;
        return int32_t(i);
    }
    while (i > 0 && e[i].time() > shifted) --i;
    return e[i].time() <= shifted ? int32_t(i) : 0;
}

void ISOMParserImpl::SeekCursors(double seconds, bool exact) {
    sampleInput_->StartPass();
    payloadReader_->StartPass();
    for (TrackState& state : trackList_) {
        const TrackTimeline& timeline = timelines_.tracks[state.trackIndex];
        int32_t cursor = SampleAtTime(timeline, seconds);
        if (exact) {
            if (cursor > state.sampleCount - 1) cursor = state.sampleCount - 1;
        } else if (cursor < 0) {
            cursor = 0;
        } else if (cursor > 0 && cursor < state.sampleCount) {
            // Back to the nearest sync sample at or before it, stopping at 0.
            const IndexEntry* e = timeline.entries.get();
            while (cursor > 0 && e[cursor].syncFlag != 1) --cursor;
        }
        state.cursor = cursor;
    }
}

void ISOMParserImpl::SeekTime(uint32_t seconds, uint32_t milliseconds) {
    SeekCursors(double(seconds) + double(milliseconds) / 1000.0, false);
}

void ISOMParserImpl::SeekTimeExact(uint32_t seconds, uint32_t milliseconds) {
    SeekCursors(double(seconds) + double(milliseconds) / 1000.0, true);
}

int32_t ISOMParserImpl::SeekPercent(uint32_t percent) {
    if (percent > 99) return kInvalidArgument;
    uint64_t target = uint64_t(percent) * GetDuration() * 10;
    SeekTime(uint32_t(target / 1000), uint32_t(target % 1000));
    return kReaderOk;
}

int32_t ISOMParserImpl::SeekPercentExact(uint32_t percent) {
    if (percent > 99) return kInvalidArgument;
    uint64_t target = uint64_t(percent) * GetDuration() * 10;
    SeekTimeExact(uint32_t(target / 1000), uint32_t(target % 1000));
    return kReaderOk;
}

void ISOMParserImpl::SetStepMode(int32_t mode) { stepMode_ = mode; }

void ISOMParserImpl::SetKeyFramesOnly(int32_t flag) { keyFramesOnly_ = flag != 0; }

void ISOMParserImpl::SetIntegrityKey(const char* text) { integrityKey_ = text ? text : ""; }

void ISOMParserImpl::DisableTrack(uint32_t i) {
    if (i < trackList_.size()) trackList_[i].enabled = 0;
}

void ISOMParserImpl::EnableTrack(uint32_t i) {
    if (i < trackList_.size()) trackList_[i].enabled = 1;
}

uint32_t ISOMParserImpl::IsTrackProtected(uint32_t i) {
    const SampleDescription* d = Description(i);
    return d && d->encryption.defaultIsProtected != 0 ? 1 : 0;
}

int32_t ISOMParserImpl::GetTrackKeyId(uint32_t i, const uint8_t** kid, uint32_t* size) {
    if (!kid || !size) return kInvalidArgument;
    const SampleDescription* d = Description(i);
    if (!d) return kInvalidArgument;
    *kid = d->encryption.defaultKid;
    *size = 16;
    return kReaderOk;
}

int32_t ISOMParserImpl::SetTrackKey(uint32_t i, const uint8_t* key, uint32_t size) {
    if (!key || size != 16 || !Listed(i)) return kInvalidArgument;
    try {
        timelines_.tracks[trackList_[i].trackIndex].aesContext.reset(new ZENT::SDK::Utility::OpenSSLAESctr128(key));
        return kReaderOk;
    } catch (const std::exception&) {
        return kReaderException;
    }
}

}  // namespace ZENT::SDK::Pelagor2

using ZENT::SDK::Pelagor2::FileDescriptor;
using ZENT::SDK::Pelagor2::FilePath;
using ZENT::SDK::Pelagor2::ISOMParserImpl;

namespace {
int32_t OpenReader(AVReader** out, const FilePath& path, int flags) {
    try {
        FileDescriptor device = ZENT::SDK::Pelagor2::OpenWithEmbeddedCheck(path);
        *out = new ISOMParserImpl(device, flags);
        return kReaderOk;
    } catch (const std::exception&) {
        return kReaderException;
    }
}
}  // namespace

extern "C" int32_t AVReaderOpen(AVReader** out, const char* path, int flags) {
    if (!out) return kInvalidArgument;
    if (!path) return kReaderException;
    return OpenReader(out, FilePath{path}, flags);
}

extern "C" int32_t AVReaderOpenW(AVReader** out, const wchar_t* path, int flags) {
    if (!out) return kInvalidArgument;
    if (!path) return kReaderException;
    try {
        return OpenReader(out, FilePath{ZENT::SDK::Pelagor2::WideToUtf8(path)}, flags);
    } catch (const std::exception&) {
        return kReaderException;
    }
}

int32_t AVReaderGetPacketOrigin(AVReader* reader, TPacketOrigin* origin) {
    auto* parser = dynamic_cast<ZENT::SDK::Pelagor2::ISOMParserImpl*>(reader);
    if (parser == nullptr || origin == nullptr) return kInvalidArgument;
    return parser->LastOrigin(*origin) ? kReaderOk : kInvalidArgument;
}

int32_t AVReaderGetFragmentProgress(AVReader* reader, TFragmentProgress* progress) {
    auto* parser = dynamic_cast<ZENT::SDK::Pelagor2::ISOMParserImpl*>(reader);
    if (parser == nullptr || progress == nullptr) return kInvalidArgument;
    parser->GetFragmentProgress(*progress);
    return kReaderOk;
}
