#include "viewwhilerecording/DataReader"

#include <cerrno>
#include <limits>

#include <boost/throw_exception.hpp>

namespace ZENT::SDK::ViewWhileRecording {

namespace {

[[noreturn]] void ThrowIOException(const char* function, int error) {
    BOOST_THROW_EXCEPTION(IOException() << boost::errinfo_api_function(function) << boost::errinfo_errno(error));
}

constexpr uint64_t kLargestOffset = uint64_t(std::numeric_limits<off_t>::max());

}  // namespace

DataReader::DataReader(const boost::filesystem::path& path) {
    // The plain open shares the file, so the camera software goes on writing it.
    readHandle = std::fopen(path.c_str(), "rb");
    if (!readHandle) ThrowIOException("fopen", errno);
    sizeHandle = std::fopen(path.c_str(), "rb");
    if (!sizeHandle) {
        const int error = errno;
        std::fclose(readHandle);
        readHandle = nullptr;
        ThrowIOException("fopen", error);
    }
    // The size handle only ever seeks to the end; buffered, every such seek
    // would read the file's last partial block.
    std::setvbuf(sizeHandle, nullptr, _IONBF, 0);
}

DataReader::~DataReader() {
    if (sizeHandle) std::fclose(sizeHandle);
    if (readHandle) std::fclose(readHandle);
}

void DataReader::GetData(void* buffer, uint32_t count) {
    if (count == 0) return;
    errno = 0;
    const size_t got = std::fread(buffer, 1, count, readHandle);
    if (got == count) {
        position += count;
        return;
    }
    const int error = errno;
    // A short read has moved the handle on; bring it back (this also clears
    // the end-of-file mark) so that the handle and position agree again.
    handleAtPosition = fseeko(readHandle, off_t(position), SEEK_SET) == 0;
    ThrowIOException("fread", error);
}

void DataReader::SetPosition(uint64_t offset) {
    if (offset > kLargestOffset) ThrowIOException("fseek", EOVERFLOW);
    if (offset == position && handleAtPosition) return;
    int result;
    if (offset > position && handleAtPosition)
        result = fseeko(readHandle, off_t(offset - position), SEEK_CUR);
    else
        result = fseeko(readHandle, off_t(offset), SEEK_SET);
    if (result != 0) ThrowIOException("fseek", errno);
    position = offset;
    handleAtPosition = true;
}

uint64_t DataReader::Available() {
    if (fseeko(sizeHandle, 0, SEEK_END) != 0) ThrowIOException("fseek", errno);
    const off_t end = ftello(sizeHandle);
    if (end < 0) ThrowIOException("ftell", errno);
    return uint64_t(end) > position ? uint64_t(end) - position : 0;
}

}  // namespace ZENT::SDK::ViewWhileRecording
