#include "TempFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>

namespace testsupport {

namespace {

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void WriteBytes(const std::string& path, const Bytes& content, const char* mode) {
    std::FILE* file = std::fopen(path.c_str(), mode);
    if (!file) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    size_t written = content.empty() ? 0 : std::fwrite(content.data(), 1, content.size(), file);
    bool closed = std::fclose(file) == 0;
    if (written != content.size() || !closed) throw std::runtime_error("cannot write " + path);
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

void TempFile::append(const Bytes& content) const { WriteBytes(path_, content, "ab"); }

Bytes TempFile::read() const { return ReadFile(path_); }

void WriteFile(const std::string& path, const Bytes& content) { WriteBytes(path, content, "wb"); }

Bytes ReadFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    Bytes content;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) content.insert(content.end(), chunk, chunk + got);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) throw std::runtime_error("cannot read " + path);
    return content;
}

}  // namespace testsupport
