#include "analysis/CheckSection.h"

#include <cstdio>
#include <string>

namespace ZENT::SDK::Analysis {

namespace {

const char* BasisName(TimeBasis basis) {
    switch (basis) {
        case TimeBasis::kDecodeTime: return "decode time";
        case TimeBasis::kStreamTime: return "stream time";
        case TimeBasis::kRecordTime: return "record time";
        case TimeBasis::kNone: break;
    }
    return "none";
}

std::string Plural(uint64_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

void WriteMilliseconds(std::ostream& out, const std::string& prefix, const char* kind,
                       const std::optional<TimeRange<int64_t>>& range) {
    if (!range) return;
    out << prefix << kind << ": " << range->first << " ms to " << range->last << " ms\n";
}

double Seconds(const ContainerTime& time) {
    return static_cast<double>(time.value) / (time.timescale == 0 ? 1.0 : time.timescale);
}

// "coded types: I 3 (4.0 %), P 72 (96.0 %), B 0 (0.0 %)", when any frame's slices were read.
void WriteCodedTypes(std::ostream& out, const std::string& prefix, const std::array<uint64_t, 3>& counts) {
    const uint64_t total = counts[0] + counts[1] + counts[2];
    if (total == 0) return;
    static constexpr char kNames[] = {'I', 'P', 'B'};
    out << prefix << "coded types:";
    for (size_t type = 0; type < counts.size(); ++type) {
        char share[32];
        std::snprintf(share, sizeof share, "%.1f",
                      100.0 * static_cast<double>(counts[type]) / static_cast<double>(total));
        out << (type == 0 ? " " : ", ") << kNames[type] << ' ' << counts[type] << " (" << share << " %)";
    }
    out << "\n";
}

}  // namespace

void WriteFinding(std::ostream& out, const Finding& finding, TimeBasis basis) {
    out << "finding: " << finding.check << " track " << finding.track << " frame " << finding.index;
    if (finding.timeSeconds) out << " time " << FormatSeconds(*finding.timeSeconds, basis) << " s";
    out << ": " << finding.message << "\n";
}

void WriteCheckSection(std::ostream& out, const std::vector<TrackCheck>& tracks) {
    out << "Check:\n";
    uint64_t total = 0;
    for (const TrackCheck& track : tracks) {
        const std::string prefix = "check track " + std::to_string(track.track) + " ";
        out << prefix << (track.codec.empty() ? "?" : track.codec) << (track.video ? " video" : "") << ": frames read "
            << track.framesRead;
        if (track.sampleCount) out << ", samples in the index " << *track.sampleCount;
        out << "\n";
        if (track.decodeTime) {
            out << prefix << "decode time: " << FormatSeconds(Seconds(track.decodeTime->first), TimeBasis::kDecodeTime)
                << " s to " << FormatSeconds(Seconds(track.decodeTime->last), TimeBasis::kDecodeTime)
                << " s, timescale " << track.decodeTime->first.timescale << "\n";
        }
        WriteMilliseconds(out, prefix, "record time", track.recordTime);
        WriteMilliseconds(out, prefix, "stream time", track.streamTime);
        WriteMilliseconds(out, prefix, "camera time", track.cameraTime);
        out << prefix << "interval: ";
        if (track.nominalIntervalSeconds && track.frameRate) {
            char rate[32];
            std::snprintf(rate, sizeof rate, "%.3f", *track.frameRate);
            out << FormatSeconds(*track.nominalIntervalSeconds, TimeBasis::kDecodeTime) << " s, " << rate
                << " fps, on the " << BasisName(track.basis) << "\n";
        } else if (track.basis != TimeBasis::kNone) {
            out << "none, no forward step on the " << BasisName(track.basis) << "\n";
        } else {
            out << "none, no time on every frame\n";
        }
        out << prefix << "key frames: " << track.keyFrames;
        if (track.gop)
            out << ", GOP min " << track.gop->min << " usual " << track.gop->usual << " max " << track.gop->max;
        out << "\n";
        WriteCodedTypes(out, prefix, track.codedTypes);
        if (track.integrity[0] + track.integrity[1] + track.integrity[2] > 0) {
            out << prefix << "integrity: " << track.integrity[0] << " match, " << track.integrity[1] << " mismatch, "
                << track.integrity[2] << " no value\n";
        }
        for (const Finding& finding : track.findings) WriteFinding(out, finding, track.basis);
        const uint64_t count = track.findings.size() + track.unlistedFindings;
        out << prefix.substr(0, prefix.size() - 1) << ": " << Plural(count, "finding");
        if (track.unlistedFindings > 0) {
            out << ", " << track.unlistedFindings << " not listed (at most " << kListedPerCheck << " of a check)";
        }
        out << "\n";
        total += count;
    }
    out << "check: " << Plural(total, "finding") << " in " << Plural(tracks.size(), "track") << "\n";
}

void WriteProgressLine(std::ostream& out, const RecordingProgress& progress) {
    out << "check: in progress, " << Plural(progress.completeChunks, ("complete " + std::string(progress.unit)).c_str())
        << ", " << Plural(progress.samples, "sample");
    if (progress.reachedTime) out << " up to " << *progress.reachedTime << " ms";
    out << ", " << progress.pendingBytes << " bytes not complete yet\n";
}

}  // namespace ZENT::SDK::Analysis
