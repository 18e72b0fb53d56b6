// The file device and the parser's exact reads over it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "isom/FileDescriptor.h"
#include "isom/ParserInput.h"
#include "isom/SampleInput.h"
#include "support/TestSupport.h"

using namespace ZENT::SDK::Pelagor2;
using testsupport::TempFile;
using writer::Bytes;

namespace {

Bytes Counting(size_t n) {
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = uint8_t(i);
    return bytes;
}

std::string FailureText(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::ios_base::failure& failure) {
        return failure.what();
    }
    return "no failure";
}

}  // namespace

TEST(FileDevice, MissingFileFailsToOpen) {
    FileDescriptor device;
    EXPECT_NE(FailureText([&] { device.open(FilePath{"/nonexistent/file.mp4"}, 0); }).find("failed opening file"),
              std::string::npos);
    EXPECT_FALSE(device.is_open());
}

TEST(FileDevice, BaseOffsetIsStreamPositionZero) {
    TempFile file(Counting(100));
    FileDescriptor device;
    device.open(FilePath{file.path()}, 10);
    char byte = 0;
    ASSERT_EQ(device.read(&byte, 1), 1);
    EXPECT_EQ(byte, 10);
    EXPECT_EQ(std::streamoff(device.seek(0, std::ios_base::beg)), 0);
    EXPECT_EQ(std::streamoff(device.seek(-4, std::ios_base::end)), 86) << "positions count from the base";
    ASSERT_EQ(device.read(&byte, 1), 1);
    EXPECT_EQ(byte, 96);
    EXPECT_EQ(std::streamoff(device.seek(2, std::ios_base::cur)), 89);
}

TEST(FileDevice, EndOfFileIsAMinusOneRead) {
    TempFile file(Counting(3));
    FileDescriptor device;
    device.open(FilePath{file.path()}, 0);
    char bytes[8];
    EXPECT_EQ(device.read(bytes, 8), 3);
    EXPECT_EQ(device.read(bytes, 8), -1);
}

TEST(FileDevice, OpensAFileAnotherProcessIsWriting) {
    TempFile file(Counting(10));
    int writer = ::open(file.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(writer, 0);
    FileDescriptor device;
    device.open(FilePath{file.path()}, 0);
    ASSERT_EQ(::write(writer, "ab", 2), 2);
    char bytes[16];
    EXPECT_EQ(device.read(bytes, 16), 12) << "appended bytes are seen";
    ::close(writer);
}

TEST(FileDevice, StreamBufferOpenedTwiceFails) {
    TempFile file(Counting(10));
    FileDescriptor device;
    device.open(FilePath{file.path()}, 0);
    FileStreamBuffer buffer(device);
    EXPECT_NE(FailureText([&] { buffer.open(device); }).find("already open"), std::string::npos);
}

TEST(ParserInput, ExactReadsAtTheEndOfTheFile) {
    TempFile file(Counting(10));
    FileDescriptor device;
    device.open(FilePath{file.path()}, 0);
    FileStreamBuffer buffer(device);
    ParserInput input(buffer);
    EXPECT_EQ(input.streamSize(), 10u);
    EXPECT_EQ(input.U32(), 0x00010203u);
    EXPECT_EQ(input.position(), 4u);
    input.Skip(2);
    EXPECT_EQ(input.U16(), 0x0607u);
    EXPECT_NE(FailureText([&] { input.U32(); }).find("bad read"), std::string::npos) << "2 of 4 bytes";
    input.SeekTo(10);
    EXPECT_NE(FailureText([&] { input.U8(); }).find("end of file"), std::string::npos);
    EXPECT_NE(FailureText([&] { input.ReadBytes(uint64_t(1) << 40); }).find("end of file"), std::string::npos)
        << "a length the file cannot hold is refused before allocating";
}

TEST(SampleInput, ReadsSmallAndLargeRangesExactly) {
    Bytes content = Counting(300000);
    TempFile file(content);
    FileDescriptor device;
    device.open(FilePath{file.path()}, 0);
    SampleInput input(device, content.size());
    Bytes out(200000);
    input.Position(5);
    input.ReadExact(out.data(), 3);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 3), Bytes(content.begin() + 5, content.begin() + 8));
    input.ReadExact(out.data(), 200000);  // large: past the window, straight into the destination
    EXPECT_EQ(out, Bytes(content.begin() + 8, content.begin() + 200008));
    input.Position(100);  // far back
    input.ReadExact(out.data(), 10);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 10), Bytes(content.begin() + 100, content.begin() + 110));
    input.Position(299995);
    EXPECT_NE(FailureText([&] { input.ReadExact(out.data(), 10); }).find("bad read"), std::string::npos);
    // After the failure the next read is where it is asked for.
    input.Position(7);
    input.ReadExact(out.data(), 2);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(out[1], 8);
    input.Position(300000);
    EXPECT_NE(FailureText([&] { input.ReadExact(out.data(), 1); }).find("end of file"), std::string::npos);
}

TEST(SampleInput, ConsecutiveReadsDoNotSeek) {
    Bytes content = Counting(5000);
    TempFile file(content);
    FileDescriptor device;
    device.open(FilePath{file.path()}, 0);
    SampleInput input(device, content.size());
    uint8_t out[100];
    for (uint64_t at = 0; at < 4900; at += 100) {
        input.Position(at);
        input.ReadExact(out, 100);
        ASSERT_EQ(out[0], uint8_t(at));
    }
    EXPECT_EQ(input.deviceReads(), 1u);
}
