#include "isom/FileDescriptor.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

namespace ZENT::SDK::Pelagor2 {

namespace {
constexpr int kInvalidHandle = -1;
constexpr uint32_t kCloseOnDestroy = 1;
constexpr uint32_t kCloseOnClose = 2;

[[noreturn]] void Fail(const char* what) { throw std::ios_base::failure(what); }
}  // namespace

FileDescriptor::Impl::~Impl() {
    if (handle != kInvalidHandle && (flags & kCloseOnDestroy)) ::close(handle);
}

FileDescriptor::FileDescriptor() : impl_(new Impl) {}

void FileDescriptor::open(const FilePath& path, uint64_t baseOffset) {
    if (impl_->handle != kInvalidHandle && (impl_->flags & kCloseOnDestroy)) {
        if (::close(impl_->handle) != 0) Fail("failed closing file");
    }
    impl_->handle = kInvalidHandle;
    impl_->flags = 0;

    // A read-only open never blocks a writer: another process may still be
    // appending to the file.
    int handle;
    do {
        handle = ::open(path.narrow.c_str(), O_RDONLY | O_CLOEXEC);
    } while (handle < 0 && errno == EINTR);
    if (handle < 0) Fail("failed opening file");
    impl_->handle = handle;
    impl_->flags = kCloseOnDestroy | kCloseOnClose;

    if (baseOffset > uint64_t(INT64_MAX) || ::lseek(handle, off_t(baseOffset), SEEK_SET) < 0) Fail("failed seeking");
    impl_->baseOffset = baseOffset;
}

std::streamsize FileDescriptor::read(char* buffer, std::streamsize n) {
    for (;;) {
        ssize_t got = ::read(impl_->handle, buffer, size_t(n));
        if (got > 0) return got;
        if (got == 0) return -1;
        if (errno == EINTR) continue;
        if (errno == EPIPE) return -1;
        Fail("failed reading");
    }
}

std::streampos FileDescriptor::seek(boost::iostreams::stream_offset off, std::ios_base::seekdir way) {
    off_t result;
    if (way == std::ios_base::beg) {
        if (off < 0 || uint64_t(off) > uint64_t(INT64_MAX) - impl_->baseOffset) Fail("failed seeking");
        result = ::lseek(impl_->handle, off_t(uint64_t(off) + impl_->baseOffset), SEEK_SET);
    } else if (way == std::ios_base::cur) {
        result = ::lseek(impl_->handle, off_t(off), SEEK_CUR);
    } else {
        result = ::lseek(impl_->handle, off_t(off), SEEK_END);
    }
    if (result < 0) Fail("failed seeking");
    return boost::iostreams::offset_to_position(boost::iostreams::stream_offset(result) -
                                                boost::iostreams::stream_offset(impl_->baseOffset));
}

std::streamsize FileDescriptor::readAt(char* buffer, std::streamsize n, uint64_t position) {
    if (position > uint64_t(INT64_MAX) - impl_->baseOffset) Fail("failed seeking");
    for (;;) {
        ssize_t got = ::pread(impl_->handle, buffer, size_t(n), off_t(position + impl_->baseOffset));
        if (got >= 0) return got;
        if (errno == EINTR) continue;
        Fail("failed reading");
    }
}

uint64_t FileDescriptor::nextDataAt(uint64_t position) {
    if (position > uint64_t(INT64_MAX) - impl_->baseOffset) return position;
    const off_t current = ::lseek(impl_->handle, 0, SEEK_CUR);
    if (current < 0) return position;
    const off_t data = ::lseek(impl_->handle, off_t(position + impl_->baseOffset), SEEK_DATA);
    const int error = errno;
    if (::lseek(impl_->handle, current, SEEK_SET) < 0) Fail("failed seeking");
    if (data < 0) return error == ENXIO ? UINT64_MAX : position;
    if (uint64_t(data) < position + impl_->baseOffset) return position;
    return uint64_t(data) - impl_->baseOffset;
}

void FileDescriptor::close() {
    if (impl_->handle == kInvalidHandle) return;
    if (impl_->flags & kCloseOnClose) {
        int handle = impl_->handle;
        impl_->handle = kInvalidHandle;
        impl_->flags = 0;
        if (::close(handle) != 0) Fail("failed closing file");
    }
    impl_->handle = kInvalidHandle;
    impl_->flags = 0;
}

bool FileDescriptor::is_open() const { return impl_->handle != kInvalidHandle; }

uint64_t FileDescriptor::baseOffset() const { return impl_->baseOffset; }

}  // namespace ZENT::SDK::Pelagor2
