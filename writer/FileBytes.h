// Whole files to and from byte vectors; each throws std::runtime_error on
// failure.
#ifndef STAMPWALK_WRITER_FILEBYTES_H
#define STAMPWALK_WRITER_FILEBYTES_H

#include <string>

#include "writer/ByteWriter.h"

namespace writer {

void WriteFile(const std::string& path, const Bytes& content);
void AppendFile(const std::string& path, const Bytes& content);
Bytes ReadFile(const std::string& path);

}  // namespace writer

#endif
