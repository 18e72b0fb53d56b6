// A file with a unique name that is removed when the object goes.
#ifndef STAMPWALK_TESTSUPPORT_TEMPFILE_H
#define STAMPWALK_TESTSUPPORT_TEMPFILE_H

#include <string>
#include <string_view>

#include "writer/FileBytes.h"

namespace testsupport {

using writer::Bytes;

// The directory temporary files go to: the build tree's Testing/tmp when it
// exists, else $TMPDIR, else /tmp.
std::string TempDirectory();

class TempFile {
public:
    // Creates an empty file named like "stampwalk-XXXXXX.mp4".
    explicit TempFile(std::string_view suffix = ".mp4");
    // A file holding these bytes.
    explicit TempFile(const Bytes& content, std::string_view suffix = ".mp4");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    TempFile(TempFile&& other) noexcept;
    TempFile& operator=(TempFile&& other) noexcept;

    const std::string& path() const { return path_; }
    const char* c_str() const { return path_.c_str(); }
    // Replaces the content; throws std::runtime_error on failure.
    void write(const Bytes& content) const;
    void append(const Bytes& content) const;
    Bytes read() const;

private:
    std::string path_;
};

}  // namespace testsupport

#endif
