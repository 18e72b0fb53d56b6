#include "app/MediaReaderRun.h"

#include <cstdio>
#include <iostream>

#include "app/FrameCollector.h"
#include "app/FrameLoop.h"
#include "app/MediaSummary.h"
#include "isom/FragmentProgress.h"

namespace {

void ReleaseReader(AVReader* reader) {
    if (reader != nullptr) reader->Release();
}

void SetKeys(AVReader& reader, const std::vector<TrackKey>& keys) {
    if (keys.empty()) return;
    const uint32_t count = reader.GetTrackCount();
    for (uint32_t i = 0; i < count; ++i) {
        if (!reader.IsTrackProtected(i)) continue;
        const uint8_t* kid = nullptr;
        uint32_t kidSize = 0;
        if (reader.GetTrackKeyId(i, &kid, &kidSize) != kReaderOk) kid = nullptr;
        const TrackKey* key = KeyFor(keys, kid, kid != nullptr ? kidSize : 0);
        if (key != nullptr) reader.SetTrackKey(i, key->key.data(), uint32_t(key->key.size()));
    }
}

// A fragmented recording that ends in an unfinished fragment is in progress:
// its complete fragments were read, the rest waits for a new open.
void ReportFragmentProgress(AVReader& reader, RunSink& report) {
    TFragmentProgress fragments{};
    if (AVReaderGetFragmentProgress(&reader, &fragments) != kReaderOk || !fragments.fragmented ||
        fragments.bytesAfter == 0) {
        return;
    }
    ZENT::SDK::Analysis::RecordingProgress progress;
    progress.unit = "fragment";
    progress.completeChunks = fragments.completeFragments;
    for (uint32_t i = 0; i < reader.GetTrackCount(); ++i) progress.samples += reader.GetTrackSampleCount(i);
    progress.pendingBytes = fragments.bytesAfter;
    report.Progress(progress);
}

}  // namespace

// The two open-failure lines are printed with printf; std::cout stays
// synchronised with C stdio, so both keep their order with the lines around them.
boost::shared_ptr<AVReader> OpenAVReader(const std::string& pathname, bool text) {
    AVReader* reader = nullptr;
    const int32_t status = AVReaderOpen(&reader, pathname.c_str(), kOpenPairCompanionTracks);
    if (status < 0 && text)
        std::printf("%s - AVReader open file: %s failed: %x\n", "OpenAVReader", pathname.c_str(),
                    static_cast<unsigned>(status));
    return boost::shared_ptr<AVReader>(reader, ReleaseReader);
}

int32_t ParseWithAVReader(const RunOptions& options, RunSink& report) {
    const bool text = options.Text();
    const boost::shared_ptr<AVReader> reader = OpenAVReader(options.pathname, text);
    if (!reader) {
        if (text) {
            std::printf("%s - OpenAVReader with mediafile: %s failed will try to use ViewWhileRec", "StampProbe",
                        options.pathname.c_str());
        }
        return -1;
    }
    SetKeys(*reader, options.keys);
    if (options.integrityKey) reader->SetIntegrityKey(options.integrityKey->c_str());

    std::ostream* lines = text ? &std::cout : nullptr;
    const bool integrity = options.integrityKey.has_value();
    if (!options.Collects()) {
        RunFrameLoop(*reader, options.timeType, lines, PacketObserver(), integrity);
    } else {
        report.Tracks(FrameCollector::MediaReaderTracks(*reader));
        FrameCollector collector([&report](const ZENT::SDK::Analysis::FrameRecord& frame) { report.Frame(frame); },
                                 !options.Text());
        collector.BeginTracks(*reader);
        RunFrameLoop(
            *reader, options.timeType, lines,
            [&](const TMediaPacket& packet, int32_t status) {
                collector.AddMediaReaderPacket(*reader, packet, status, integrity);
            },
            integrity);
    }
    if (text) PrintMediaSummary(*reader, std::cout);
    if (options.Collects()) ReportFragmentProgress(*reader, report);
    return 0;
}
