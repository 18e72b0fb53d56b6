// The reader's file device: a read-only, seekable input device over a POSIX
// file descriptor, presented from a base offset so that an ISO file embedded
// in a larger file starts at stream position 0.
#ifndef STAMPWALK_ISOM_FILEDESCRIPTOR_H
#define STAMPWALK_ISOM_FILEDESCRIPTOR_H

#include <boost/iostreams/categories.hpp>
#include <boost/iostreams/positioning.hpp>
#include <boost/iostreams/stream_buffer.hpp>
#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <ios>
#include <string>

namespace ZENT::SDK::Pelagor2 {

// The path as the device opens it: UTF-8 bytes, as the file system takes them.
struct FilePath {
    std::string narrow;
};

class FileDescriptor {
public:
    typedef char char_type;
    struct category : boost::iostreams::input_seekable, boost::iostreams::device_tag, boost::iostreams::closable_tag {};

    FileDescriptor();

    void open(const FilePath& path, uint64_t baseOffset);
    std::streamsize read(char* buffer, std::streamsize n);
    std::streampos seek(boost::iostreams::stream_offset off, std::ios_base::seekdir way);
    void close();

    // Reads up to n bytes at a stream position without moving the device's
    // own position: the bytes read (0 at the end of the file).
    std::streamsize readAt(char* buffer, std::streamsize n, uint64_t position);

    // The first stream position at or after position where the file may
    // hold bytes other than zeros: holes of a sparse file read as zeros and
    // need no reading. UINT64_MAX when only a hole is left; position itself
    // when the file system cannot tell. The device's own position stays.
    uint64_t nextDataAt(uint64_t position);

    bool is_open() const;
    uint64_t baseOffset() const;

private:
    struct Impl {
        int handle = -1;
        uint32_t flags = 0;  // bit 0: close when the last copy goes; bit 1: close on close()
        uint64_t baseOffset = 0;
        ~Impl();
    };
    boost::shared_ptr<Impl> impl_;
};

typedef boost::iostreams::stream_buffer<FileDescriptor, std::char_traits<char>, std::allocator<char>,
                                        boost::iostreams::input_seekable>
    FileStreamBuffer;

}  // namespace ZENT::SDK::Pelagor2

#endif
