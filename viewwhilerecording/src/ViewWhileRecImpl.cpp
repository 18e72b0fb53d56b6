#include "viewwhilerecording/ViewWhileRecImpl.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include <boost/make_shared.hpp>

#include "viewwhilerecording/CodecTags.h"
#include "viewwhilerecording/IndexScan.h"
#include "viewwhilerecording/ViewWhileRec.h"
#include "viewwhilerecording/ViewWhileRecException.h"

namespace ZENT::SDK::ViewWhileRecording {

namespace {

constexpr uint32_t kKeyLength = 16;
// A missing audio track is looked for this many scans, then given up.
constexpr int kAudioScanAttempts = 20;
constexpr size_t kG711TagBytes = 4;

// The one place where the reader's exceptions become statuses.
template <class Operation>
int32_t Translated(Operation operation, int32_t formatErrorStatus = kFormatError) {
    try {
        return operation();
    } catch (const IOException&) {
        return kIOError;
    } catch (const ViewWhileRecException&) {
        return formatErrorStatus;
    } catch (const std::exception&) {
        return kUnexpectedError;
    } catch (...) {
        return kUnexpectedError;
    }
}

ViewWhileRecImpl* Instance(VIEWWHILEREC_HANDLE handle) { return static_cast<ViewWhileRecImpl*>(handle); }

// The rescan's verdict when the known packets are used up: 0 to go on.
int32_t RescanStatus(int64_t found) {
    if (found < 0) return kReachedSkipBox;
    if (found == 0) return kNoNewData;
    return kOk;
}

template <class Path>
int32_t InitParser(VIEWWHILEREC_HANDLE* parser, const Path& path) {
    // No ViewWhileRecException leaves the constructor but for a recording
    // without a reachable "mdat" yet: that is no data, not a format error.
    return Translated(
        [&] {
            ViewWhileRecImpl* instance = new ViewWhileRecImpl(boost::filesystem::path(path));
            *parser = instance;
            return int32_t(kOk);
        },
        kNoNewData);
}

}  // namespace

ViewWhileRecImpl::ViewWhileRecImpl(const boost::filesystem::path& path)
    : indexReader(path), trailerReader(path), sampleReader(path) {
    LocateMediaData(indexReader);
}

ViewWhileRecImpl::~ViewWhileRecImpl() {
    decryptor.reset();
    trackTable.clear();
    // The readers close with the members, the codec table after them.
    ReplaceCurrentPacket(nullptr);
}

int32_t ViewWhileRecImpl::OutputRawPacket(TMediaPacket** out) {
    for (;;) {
        const PacketSelector::Choice choice = selector.TakeNext();
        if (choice.status == kAtBeginning) return choice.status;
        if (choice.status == kOk) {
            ReplaceCurrentPacket(builder.Build(*choice.packet));
            lastTag = choice.packet->tag;
            handedOut = true;
            *out = currentPacket;
            return kOk;
        }
        if (int32_t rescan = RescanStatus(ScanNewData())) return rescan;
    }
}

void ViewWhileRecImpl::ReplaceCurrentPacket(TMediaPacket* packet) {
    TMediaPacket* previous = std::exchange(currentPacket, packet);
    if (previous) previous->releaseOps->release(previous);
}

int32_t ViewWhileRecImpl::Seek(uint64_t milliseconds) {
    for (;;) {
        // A track with packets is positioned whatever its search found (past
        // the end, or before the start); later chunks rejoin it at seekTarget.
        bool positioned = false;
        for (const auto& entry : trackTable) {
            TrackInfo& track = *entry.second;
            track.pending.reset();
            SeekTrack(track, milliseconds, direction);
            positioned = positioned || !track.packets.empty();
        }
        selector.InvalidateAll();
        if (positioned) {
            seekTarget = milliseconds;
            return kOk;
        }
        if (int32_t rescan = RescanStatus(ScanNewData())) return rescan;
    }
}

int32_t ViewWhileRecImpl::SetPlayMode(uint32_t mode) {
    switch (mode) {
        case 1:
        case 2:
        case 4:
        case 8: skipSeconds = 0; return kOk;
        case 16: skipSeconds = 1; return kOk;
        case 32: skipSeconds = 2; return kOk;
        case 64: skipSeconds = 4; return kOk;
        default: return kInvalidArgument;
    }
}

int32_t ViewWhileRecImpl::GetMediaInfo(const uint8_t** videoConfig, uint32_t* videoConfigLength,
                                       uint32_t* videoCodecTag, uint16_t* width, uint16_t* height,
                                       const uint8_t** audioConfig, uint32_t* audioConfigLength,
                                       uint32_t* audioCodecTag) {
    while (!videoSeen)
        if (int32_t rescan = RescanStatus(ScanNewData())) return rescan;
    for (int attempt = 0; !audioSeen && attempt < kAudioScanAttempts; ++attempt)
        if (ScanNewData() <= 0) break;

    for (const auto& entry : codecTable) {
        const uint32_t tag = entry.first;
        const CodecInfo& info = entry.second;
        const Utility::CodecKind kind = info.codec ? info.codec->kind : Utility::CodecKind::kOther;
        if (kind == Utility::CodecKind::kVideo) {
            *videoCodecTag = tag;
            *videoConfig = info.config.get();
            *videoConfigLength = info.configLength;
            *width = info.width;
            *height = info.height;
        } else if (kind == Utility::CodecKind::kAudio) {
            *audioCodecTag = tag;
            *audioConfig = info.config.get();
            *audioConfigLength = info.configLength;
        } else if (tag == kTagG711) {
            // Its configuration names the actual audio codec.
            if (info.config)
                std::memcpy(audioCodecTag, info.config.get(), std::min<size_t>(info.configLength, kG711TagBytes));
        }
    }
    return kOk;
}

void ViewWhileRecImpl::SetKey(const uint8_t* key) {
    // The counter block's first half is set from each sample's nonce.
    decryptor = boost::make_shared<Utility::OpenSSLAESctr128>(key);
}

VIEWWHILEREC_PROGRESS ViewWhileRecImpl::Progress() {
    VIEWWHILEREC_PROGRESS progress{};
    progress.completeChunks = scanner.CompleteChunks();
    for (const auto& entry : trackTable) {
        const TrackInfo& track = *entry.second;
        progress.samples += track.packets.size();
        for (const auto& packet : track.packets) {
            progress.reachedMilliseconds = std::max(progress.reachedMilliseconds, packet->timestamp);
        }
    }
    progress.completeEnd = indexReader.GetPosition();
    progress.pendingBytes = indexReader.Available();
    return progress;
}

uint64_t ViewWhileRecImpl::SampleCount(uint32_t tag) const {
    const auto found = trackTable.find(tag);
    return found != trackTable.end() ? found->second->packets.size() : 0;
}

}  // namespace ZENT::SDK::ViewWhileRecording

// ---- the C entry points ----------------------------------------------------------

using ZENT::SDK::ViewWhileRecording::ViewWhileRecImpl;

extern "C" {

int32_t VIEWWHILEREC_InitParser(VIEWWHILEREC_HANDLE* parser, const char* path) {
    if (!parser || !path) return kInvalidArgument;
    return ZENT::SDK::ViewWhileRecording::InitParser(parser, std::string(path));
}

int32_t VIEWWHILEREC_InitParserW(VIEWWHILEREC_HANDLE* parser, const wchar_t* path) {
    if (!parser || !path) return kInvalidArgument;
    return ZENT::SDK::ViewWhileRecording::InitParser(parser, std::wstring(path));
}

int32_t VIEWWHILEREC_ReleaseParser(VIEWWHILEREC_HANDLE* parser) {
    if (!parser || !*parser) return kInvalidArgument;
    delete ZENT::SDK::ViewWhileRecording::Instance(*parser);
    *parser = nullptr;
    return kOk;
}

int32_t VIEWWHILEREC_OutputRawPacket(VIEWWHILEREC_HANDLE parser, TMediaPacket** packet) {
    if (!parser || !packet) return kInvalidArgument;
    return ZENT::SDK::ViewWhileRecording::Translated(
        [&] { return ZENT::SDK::ViewWhileRecording::Instance(parser)->OutputRawPacket(packet); });
}

int32_t VIEWWHILEREC_SetPlayMode(VIEWWHILEREC_HANDLE parser, uint32_t mode) {
    if (!parser) return kInvalidArgument;
    return ZENT::SDK::ViewWhileRecording::Instance(parser)->SetPlayMode(mode);
}

int32_t VIEWWHILEREC_Seek(VIEWWHILEREC_HANDLE parser, uint64_t milliseconds) {
    if (!parser) return kInvalidArgument;
    return ZENT::SDK::ViewWhileRecording::Translated(
        [&] { return ZENT::SDK::ViewWhileRecording::Instance(parser)->Seek(milliseconds); });
}

int32_t VIEWWHILEREC_SetBackward(VIEWWHILEREC_HANDLE parser, int32_t flag) {
    if (!parser) return kInvalidArgument;
    ZENT::SDK::ViewWhileRecording::Instance(parser)->direction = flag ? -1 : 1;
    return kOk;
}

int32_t VIEWWHILEREC_SetKeyFramesOnly(VIEWWHILEREC_HANDLE parser, int32_t flag) {
    if (!parser) return kInvalidArgument;
    ZENT::SDK::ViewWhileRecording::Instance(parser)->keyFramesOnly = flag != 0;
    return kOk;
}

int32_t VIEWWHILEREC_SetVideoOnly(VIEWWHILEREC_HANDLE parser, int32_t flag) {
    if (!parser) return kInvalidArgument;
    ZENT::SDK::ViewWhileRecording::Instance(parser)->videoOnly = flag != 0;
    return kOk;
}

int32_t VIEWWHILEREC_GetMediaInfo(VIEWWHILEREC_HANDLE parser, const uint8_t** videoConfig, uint32_t* videoConfigLength,
                                  uint32_t* videoCodecTag, uint16_t* width, uint16_t* height,
                                  const uint8_t** audioConfig, uint32_t* audioConfigLength, uint32_t* audioCodecTag) {
    if (!parser || !videoConfig || !audioConfig) return kInvalidArgument;
    return ZENT::SDK::ViewWhileRecording::Translated([&] {
        return ZENT::SDK::ViewWhileRecording::Instance(parser)->GetMediaInfo(videoConfig, videoConfigLength,
                                                                             videoCodecTag, width, height, audioConfig,
                                                                             audioConfigLength, audioCodecTag);
    });
}

int32_t VIEWWHILEREC_IsEncrypted(VIEWWHILEREC_HANDLE parser) {
    return parser && ZENT::SDK::ViewWhileRecording::Instance(parser)->encrypted ? 1 : 0;
}

int32_t VIEWWHILEREC_SetKey(VIEWWHILEREC_HANDLE parser, const uint8_t* key, uint32_t length) {
    if (!parser || !key || length != ZENT::SDK::ViewWhileRecording::kKeyLength) return kInvalidArgument;
    return ZENT::SDK::ViewWhileRecording::Translated([&] {
        ZENT::SDK::ViewWhileRecording::Instance(parser)->SetKey(key);
        return int32_t(kOk);
    });
}

int32_t VIEWWHILEREC_GetProgress(VIEWWHILEREC_HANDLE parser, VIEWWHILEREC_PROGRESS* progress) {
    if (!parser || !progress) return kInvalidArgument;
    return ZENT::SDK::ViewWhileRecording::Translated([&] {
        *progress = ZENT::SDK::ViewWhileRecording::Instance(parser)->Progress();
        return int32_t(kOk);
    });
}

int32_t VIEWWHILEREC_GetPacketTag(VIEWWHILEREC_HANDLE parser, uint32_t* tag) {
    if (!parser || !tag || !ZENT::SDK::ViewWhileRecording::Instance(parser)->handedOut) return kInvalidArgument;
    *tag = ZENT::SDK::ViewWhileRecording::Instance(parser)->lastTag;
    return kOk;
}

int32_t VIEWWHILEREC_GetTrackTags(VIEWWHILEREC_HANDLE parser, uint32_t* tags, uint32_t capacity, uint32_t* count) {
    if (!parser || !count || (!tags && capacity > 0)) return kInvalidArgument;
    const auto& table = ZENT::SDK::ViewWhileRecording::Instance(parser)->trackTable;
    uint32_t written = 0;
    for (const auto& entry : table) {
        if (written < capacity) tags[written] = entry.first;
        ++written;
    }
    *count = written;
    return kOk;
}

int32_t VIEWWHILEREC_GetSampleCount(VIEWWHILEREC_HANDLE parser, uint32_t tag, uint64_t* count) {
    if (!parser || !count) return kInvalidArgument;
    *count = ZENT::SDK::ViewWhileRecording::Instance(parser)->SampleCount(tag);
    return kOk;
}

}  // extern "C"
