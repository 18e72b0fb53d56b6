// What a run is asked to do: the file and time type, and the options of the
// checker (checks, machine-readable output, keys).
#ifndef STAMPWALK_APP_RUNOPTIONS_H
#define STAMPWALK_APP_RUNOPTIONS_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/Checks.h"

enum class OutputFormat : uint8_t { kText, kJson, kCsv };

// An AES-128 key, for the protected tracks whose key identifier is kid, or
// for every protected track when there is none.
struct TrackKey {
    std::optional<std::array<uint8_t, 16>> kid;
    std::array<uint8_t, 16> key{};
};

struct RunOptions {
    std::string pathname;
    int timeType = 0;
    bool check = false;
    OutputFormat format = OutputFormat::kText;
    ZENT::SDK::Analysis::CheckOptions tolerances;
    std::vector<TrackKey> keys;
    std::optional<std::string> integrityKey;
    std::optional<std::string> compareWith;  // the second recording of a comparison
    std::optional<std::string> reportPath;   // the HTML report to write

    bool Text() const { return format == OutputFormat::kText; }
    // Frame records are needed: for the checks or for a machine-readable writer.
    bool Collects() const { return check || !Text() || compareWith.has_value() || reportPath.has_value(); }
};

// "HEX" or "KID:HEX", 32 hexadecimal digits each; nullopt for anything else.
std::optional<TrackKey> ParseTrackKey(const std::string& text);

// The key for a protected track with key identifier kid (empty when the track
// names none): the one given for that identifier, else the one for all tracks.
const TrackKey* KeyFor(const std::vector<TrackKey>& keys, const uint8_t* kid, size_t kidSize);

#endif
