#include <gtest/gtest.h>

#include "support/TempFile.h"
#include "viewwhilerecording/IndexScan.h"
#include "viewwhilerecording/ViewWhileRecException.h"
#include "writer/BoxBuilder.h"
#include "writer/InProgressRecording.h"
#include "writer/IsoBoxes.h"

namespace {

using namespace writer;
using namespace testsupport;
using ZENT::SDK::ViewWhileRecording::DataReader;
using ZENT::SDK::ViewWhileRecording::LocateMediaData;
using ZENT::SDK::ViewWhileRecording::ViewWhileRecException;

// Where the reader stands after finding "mdat" in these bytes.
uint64_t MediaDataPosition(const Bytes& bytes) {
    TempFile file(bytes);
    DataReader reader(file.path());
    LocateMediaData(reader);
    return reader.GetPosition();
}

void ExpectNoMediaData(const Bytes& bytes) {
    TempFile file(bytes);
    DataReader reader(file.path());
    EXPECT_THROW(LocateMediaData(reader), ViewWhileRecException);
}

TEST(LocateMediaDataTest, StopsAtTheFirstByteOfTheMdatPayload) {
    const RecordingLayout layout = InProgressRecording().boxBefore(Free(12)).bytes(Hex("AA BB")).layout();
    // ftyp, then the 20-byte free box, then the 8-byte mdat header.
    EXPECT_EQ(layout.mdatPayloadStart, layout.mdatStart + 8);
    EXPECT_EQ(MediaDataPosition(layout.bytes), layout.mdatPayloadStart);
}

TEST(LocateMediaDataTest, PassesBoxesWithLargeSizesAndUserTypes) {
    Box large("free");
    large.largeSize().zeros(4);
    const Box uuid = Box::Uuid(Bytes(16, 0x11)).zeros(3);
    const RecordingLayout layout = InProgressRecording().boxBefore(large).boxBefore(uuid).mdatLargeSize(16).layout();
    EXPECT_EQ(layout.mdatPayloadStart, layout.mdatStart + 16);
    EXPECT_EQ(MediaDataPosition(layout.bytes), layout.mdatPayloadStart);
}

TEST(LocateMediaDataTest, FileOfSevenBytes) { ExpectNoMediaData(Hex("00 00 00 08 66 72 65")); }

TEST(LocateMediaDataTest, BoxesEndBeforeAnMdat) {
    ExpectNoMediaData(Concat({Ftyp().bytes(), Free(4).bytes()}));
    // Fewer than 8 bytes after the last box.
    ExpectNoMediaData(Concat({Ftyp().bytes(), Hex("00 00 00 10 6D 64")}));
}

TEST(LocateMediaDataTest, BoxSmallerThanItsHeader) {
    ExpectNoMediaData(Concat({Hex("00 00 00 04 66 72 65 65"), Bytes(16, 0)}));
    ExpectNoMediaData(Concat({Hex("00 00 00 00 66 72 65 65"), Bytes(16, 0)}));
    // A 64-bit size of 8 is below the 16-byte header that carries it.
    ExpectNoMediaData(Concat({Hex("00 00 00 01 66 72 65 65 00 00 00 00 00 00 00 08"), Bytes(16, 0)}));
}

TEST(LocateMediaDataTest, SizeThatWrapsDoesNotWalkBackwards) {
    // At offset 32, start + size wraps to 24: the walk would go back and loop.
    ByteWriter bytes;
    bytes.bytes(Free(24).bytes());
    bytes.u32(1).fourcc("free").u64(0xFFFFFFFFFFFFFFF8);
    bytes.bytes(Box("mdat").bytes());
    ExpectNoMediaData(bytes.take());
}

TEST(LocateMediaDataTest, BoxReachingPastTheEndIsNoMdatYet) {
    // A reserved box that is not written yet: the next candidate lies past
    // the end of the file, where nothing is available.
    ExpectNoMediaData(Concat({Ftyp().bytes(), Hex("00 00 10 00 66 72 65 65"), Bytes(8, 0)}));
}

TEST(LocateMediaDataTest, LargeSizeNotWrittenYet) {
    ExpectNoMediaData(Concat({Ftyp().bytes(), Hex("00 00 00 01 66 72 65 65 00 00")}));
}

}  // namespace
