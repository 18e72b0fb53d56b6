// Reader of the figure files beside the recorded data: ffprobe's compact
// output (NAME.ffprobe.txt) and the box figures (NAME.boxes.txt), both made
// of lines "section|key=value|key=value". Lines starting with '#' are notes.
#ifndef STAMPWALK_TESTS_DATA_FIGUREFILE_H
#define STAMPWALK_TESTS_DATA_FIGUREFILE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace datatest {

struct FigureLine {
    std::string section;  // "format", "stream", "packet", "file", "movie", "track"
    std::map<std::string, std::string> fields;

    // Each throws std::runtime_error naming the key when it is missing or
    // its value is not of the asked kind.
    const std::string& Text(const std::string& key) const;
    uint64_t Unsigned(const std::string& key) const;  // decimal, or hexadecimal with 0x
    int64_t Signed(const std::string& key) const;
    // The whole-seconds part of a decimal text such as "2.950000", taken
    // from the digits so that no rounding can move it.
    uint32_t TruncatedSeconds(const std::string& key) const;
};

struct FigureFile {
    std::vector<FigureLine> lines;

    std::vector<const FigureLine*> Section(const std::string& section) const;
    // The one line of a section that occurs once; throws otherwise.
    const FigureLine& Single(const std::string& section) const;
};

// Throws std::runtime_error when the file cannot be read or a line has a
// field without '='.
FigureFile ReadFigureFile(const std::string& path);

}  // namespace datatest

#endif
