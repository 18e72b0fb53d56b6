#include "viewwhilerecording/DataReader"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <boost/exception/get_error_info.hpp>

#include "support/TempFile.h"
#include "writer/ByteWriter.h"

namespace {

using namespace writer;
using namespace testsupport;
using ZENT::SDK::ViewWhileRecording::DataReader;
using ZENT::SDK::ViewWhileRecording::IOException;

Bytes Counting(size_t n) {
    Bytes bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = uint8_t(i);
    return bytes;
}

Bytes Read(DataReader& reader, uint32_t count) {
    Bytes bytes(count);
    reader.GetData(bytes.data(), count);
    return bytes;
}

std::string ApiFunction(const IOException& error) {
    const char* const* name = boost::get_error_info<boost::errinfo_api_function>(error);
    return name ? *name : "";
}

int Errno(const IOException& error) {
    const int* value = boost::get_error_info<boost::errinfo_errno>(error);
    return value ? *value : -1;
}

TEST(DataReaderTest, MissingFileThrowsFopenWithNoSuchFile) {
    const std::string path = TempDirectory() + "/stampwalk-no-such-file.mp4";
    try {
        DataReader reader(path);
        FAIL() << "opened a missing file";
    } catch (const IOException& error) {
        EXPECT_EQ(ApiFunction(error), "fopen");
        EXPECT_EQ(Errno(error), ENOENT);
    }
}

TEST(DataReaderTest, AvailableFollowsReadsAndTheGrowingFile) {
    TempFile file(Counting(50));
    DataReader reader(file.path());
    EXPECT_EQ(reader.Available(), 50u);
    EXPECT_EQ(Read(reader, 8), Hex("00 01 02 03 04 05 06 07"));
    EXPECT_EQ(reader.GetPosition(), 8u);
    EXPECT_EQ(reader.Available(), 42u);
    file.append(Bytes(100, 0xEE));
    EXPECT_EQ(reader.Available(), 142u);
    // The measure does not move the read position.
    EXPECT_EQ(Read(reader, 2), Hex("08 09"));
}

TEST(DataReaderTest, SetPositionReadsWhereAsked) {
    TempFile file(Counting(64));
    DataReader reader(file.path());
    reader.SetPosition(20);
    reader.SetPosition(20);
    EXPECT_EQ(Read(reader, 1), Hex("14"));
    reader.SetPosition(31);  // forward by 10 from 21
    EXPECT_EQ(Read(reader, 2), Hex("1F 20"));
    reader.SetPosition(0);
    EXPECT_EQ(Read(reader, 1), Hex("00"));
    EXPECT_EQ(reader.GetPosition(), 1u);
}

TEST(DataReaderTest, ZeroByteReadChangesNothing) {
    TempFile file(Counting(4));
    DataReader reader(file.path());
    reader.GetData(nullptr, 0);
    EXPECT_EQ(reader.GetPosition(), 0u);
    EXPECT_EQ(Read(reader, 1), Hex("00"));
}

TEST(DataReaderTest, ShortReadThrowsFreadAndKeepsThePosition) {
    TempFile file(Counting(50));
    DataReader reader(file.path());
    reader.SetPosition(20);
    Bytes buffer(100);
    try {
        reader.GetData(buffer.data(), 100);
        FAIL() << "read past the end";
    } catch (const IOException& error) {
        EXPECT_EQ(ApiFunction(error), "fread");
    }
    EXPECT_EQ(reader.GetPosition(), 20u);
    // Relative to position 20, not to wherever the short read left the handle.
    reader.SetPosition(25);
    EXPECT_EQ(Read(reader, 2), Hex("19 1A"));
}

TEST(DataReaderTest, ReadAtTheEndSucceedsOnceTheFileHasGrown) {
    TempFile file(Counting(10));
    DataReader reader(file.path());
    reader.SetPosition(8);
    Bytes buffer(4);
    EXPECT_THROW(reader.GetData(buffer.data(), 4), IOException);
    file.append(Hex("AA BB"));
    EXPECT_EQ(Read(reader, 4), Hex("08 09 AA BB"));
}

TEST(DataReaderTest, AvailableIsZeroPastTheEnd) {
    TempFile file(Counting(10));
    DataReader reader(file.path());
    reader.SetPosition(10);
    EXPECT_EQ(reader.Available(), 0u);
    reader.SetPosition(1000);
    EXPECT_EQ(reader.Available(), 0u);
    Bytes buffer(1);
    EXPECT_THROW(reader.GetData(buffer.data(), 1), IOException);
    EXPECT_EQ(reader.GetPosition(), 1000u);
}

TEST(DataReaderTest, OffsetsAbove4GiBInASparseFile) {
    TempFile file;
    const uint64_t marker = (uint64_t(1) << 32) + 16;
    const uint64_t size = (uint64_t(5) << 30) + 3;
    const int descriptor = ::open(file.c_str(), O_WRONLY);
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(::ftruncate(descriptor, off_t(size)), 0);
    const Bytes bytes = Hex("DE AD BE EF 01 02 03 04");
    ASSERT_EQ(::pwrite(descriptor, bytes.data(), bytes.size(), off_t(marker)), ssize_t(bytes.size()));
    ::close(descriptor);

    DataReader reader(file.path());
    EXPECT_EQ(reader.Available(), size);
    reader.SetPosition(8);
    reader.SetPosition(marker);  // a relative step of more than 4 GiB
    EXPECT_EQ(reader.Available(), size - marker);
    EXPECT_EQ(Read(reader, 8), bytes);
    EXPECT_EQ(reader.GetPosition(), marker + 8);
    reader.SetPosition(marker + 2);  // absolute, back
    EXPECT_EQ(Read(reader, 2), Hex("BE EF"));
}

}  // namespace
