#include "analysis/CompareSection.h"

#include <optional>
#include <string>

#include "analysis/Checks.h"

namespace ZENT::SDK::Analysis {

namespace {

std::string Plural(uint64_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

template <class Value>
void WriteSide(std::ostream& out, const Value& value) {
    if (value) {
        out << *value;
    } else {
        out << '-';
    }
}

void WriteTime(std::ostream& out, const std::optional<double>& seconds) {
    out << (seconds ? FormatSeconds(*seconds, TimeBasis::kDecodeTime) : "-");
}

std::optional<uint32_t> Track(uint32_t track) { return track != 0 ? std::optional<uint32_t>(track) : std::nullopt; }

bool Belongs(const Difference& difference, const TrackComparison& track) {
    return difference.kind != "unpaired-track" && difference.trackA == track.trackA &&
           difference.trackB == track.trackB;
}

}  // namespace

void WriteDifference(std::ostream& out, const Difference& difference) {
    out << "difference: " << difference.kind << " track ";
    WriteSide(out, Track(difference.trackA));
    out << '/';
    WriteSide(out, Track(difference.trackB));
    out << " frame ";
    WriteSide(out, difference.indexA);
    out << '/';
    WriteSide(out, difference.indexB);
    out << " time ";
    WriteTime(out, difference.timeA);
    out << '/';
    WriteTime(out, difference.timeB);
    out << " s: " << difference.message << "\n";
}

void WriteTrackComparison(std::ostream& out, const TrackComparison& track) {
    out << "compare track " << track.trackA << '/' << track.trackB << ' ' << (track.codec.empty() ? "?" : track.codec)
        << ": frames " << track.framesA << '/' << track.framesB << ", paired " << track.paired << ", only in A "
        << track.onlyA << ", only in B " << track.onlyB << ", shifted " << track.shifted << ", payload "
        << track.payload << ", key " << track.key << ", alert " << track.alert << ", motion " << track.motion
        << ", gop " << track.gop << (track.byTime ? ", re-encoded" : "");
    if (track.unlisted > 0)
        out << ", " << track.unlisted << " not listed (at most " << kListedPerCheck << " of a kind)";
    out << "\n";
}

void WriteCompareSection(std::ostream& out, const ComparisonResult& result) {
    out << "Compare:\n";
    // The differences come track pair by track pair, unpaired tracks last.
    size_t next = 0;
    for (const TrackComparison& track : result.tracks) {
        for (; next < result.differences.size() && Belongs(result.differences[next], track); ++next) {
            WriteDifference(out, result.differences[next]);
        }
        WriteTrackComparison(out, track);
    }
    for (; next < result.differences.size(); ++next) WriteDifference(out, result.differences[next]);
    out << "compare: " << Plural(result.differences.size(), "difference") << " in "
        << Plural(result.tracks.size(), "track pair") << "\n";
}

}  // namespace ZENT::SDK::Analysis
