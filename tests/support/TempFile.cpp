#include "support/TempFile.h"

#include <unistd.h>

#include <sys/stat.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace testsupport {

using writer::AppendFile;
using writer::ReadFile;
using writer::WriteFile;

namespace {

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string TempDirectory() {
#ifdef STAMPWALK_TEST_TMPDIR
    if (IsDirectory(STAMPWALK_TEST_TMPDIR)) return STAMPWALK_TEST_TMPDIR;
#endif
    const char* fromEnvironment = std::getenv("TMPDIR");
    if (fromEnvironment && IsDirectory(fromEnvironment)) return fromEnvironment;
    return "/tmp";
}

TempFile::TempFile(std::string_view suffix) {
    std::string pattern = TempDirectory() + "/stampwalk-XXXXXX" + std::string(suffix);
    int descriptor = ::mkstemps(pattern.data(), int(suffix.size()));
    if (descriptor < 0) throw std::runtime_error("cannot create a file like " + pattern + ": " + std::strerror(errno));
    ::close(descriptor);
    path_ = pattern;
}

TempFile::TempFile(const Bytes& content, std::string_view suffix) : TempFile(suffix) { write(content); }

TempFile::~TempFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
}

TempFile::TempFile(TempFile&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }

TempFile& TempFile::operator=(TempFile&& other) noexcept {
    if (this != &other) {
        if (!path_.empty()) ::unlink(path_.c_str());
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

void TempFile::write(const Bytes& content) const { WriteFile(path_, content); }

void TempFile::append(const Bytes& content) const { AppendFile(path_, content); }

Bytes TempFile::read() const { return ReadFile(path_); }

}  // namespace testsupport
