#include "writer/FileBytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace writer {

namespace {

void WriteBytes(const std::string& path, const Bytes& content, const char* mode) {
    std::FILE* file = std::fopen(path.c_str(), mode);
    if (!file) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    size_t written = content.empty() ? 0 : std::fwrite(content.data(), 1, content.size(), file);
    bool closed = std::fclose(file) == 0;
    if (written != content.size() || !closed) throw std::runtime_error("cannot write " + path);
}

}  // namespace

void WriteFile(const std::string& path, const Bytes& content) { WriteBytes(path, content, "wb"); }

void AppendFile(const std::string& path, const Bytes& content) { WriteBytes(path, content, "ab"); }

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

}  // namespace writer
