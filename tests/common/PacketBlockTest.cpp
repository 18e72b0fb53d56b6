#include "common/PacketBlock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "MediaHeaderBytes.h"
#include "isom/AVReader.h"

using namespace testbytes;
using ZENT::SDK::Utility::BuildPacket;
using ZENT::SDK::Utility::kPacketFixedSize;
using ZENT::SDK::Utility::LivePacketBlockCount;
using ZENT::SDK::Utility::PacketBlockSize;
using ZENT::SDK::Utility::PacketReferenceCount;

namespace {

// The header a reader builds for a plain H.264 sample: 24 bytes, UTC.
const Bytes kPlainHeader = MediaHeader("h264", 0x10, 0x00201304, 1600000000, 500, {0, 0, 0, 0});

uintptr_t Address(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

const uint8_t* BlockStart(const TMediaPacket* packet) { return reinterpret_cast<const uint8_t*>(packet) - 8; }

// The last byte used by the frame bytes and the zero trailer lies inside the block.
void ExpectTrailerInsideBlock(const TMediaPacket* packet, uint64_t frameLength) {
    const uint8_t* trailerEnd = packet->frameData + (frameLength & ~uint64_t(3)) + 32;
    EXPECT_LE(Address(trailerEnd), Address(BlockStart(packet)) + PacketBlockSize(packet));
}

bool AllZero(const uint8_t* begin, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (begin[i] != 0) return false;
    return true;
}

// Builds a packet from the record, fills its block (past the two words) with
// 0xFF and frees it, so that the allocator is likely to hand the same memory
// to the next packet of that size: zero bytes found there were written.
void DirtyNextBlock(const Bytes& record, uint32_t payloadLength) {
    TMediaPacket* p = BuildPacket(record.data(), record.size(), payloadLength);
    auto release = p->releaseOps->release;
    std::memset(p, 0xFF, PacketBlockSize(p) - 8);
    release(p);
}

// Releases on scope exit so that a failed assertion leaks nothing.
struct PacketRef {
    TMediaPacket* packet;
    ~PacketRef() {
        if (packet) packet->releaseOps->release(packet);
    }
};

TEST(PacketBlock, LayoutOfTheBlock) {
    Bytes userData = {0x0A, 0x02, 0x11, 0x22};
    Bytes record = FrameRecord(kPlainHeader, userData);
    const uint32_t payloadLength = 37;
    PacketRef ref{BuildPacket(record.data(), record.size(), payloadLength)};
    TMediaPacket* p = ref.packet;
    ASSERT_NE(p, nullptr);

    EXPECT_EQ(Address(p) % 8, 0u);
    if (sizeof(void*) == 8) {
        EXPECT_EQ(p->userDataOffset, 232);  // the record's size on LP64
    }
    EXPECT_EQ(size_t(p->userDataOffset), kPacketFixedSize);
    EXPECT_EQ(p->userData, reinterpret_cast<uint8_t*>(p) + p->userDataOffset);
    EXPECT_EQ(p->userDataSize, 8u);
    const Bytes expectedUserData = {0, 0, 0, 4, 0x0A, 0x02, 0x11, 0x22};
    EXPECT_EQ(Bytes(p->userData, p->userData + 8), expectedUserData);

    const uint8_t* userDataEnd = p->userData + p->userDataSize;
    ASSERT_GE(Address(p->frameData), Address(userDataEnd));
    EXPECT_LE(Address(p->frameData) - Address(userDataEnd), 15u);
    EXPECT_EQ(Address(p->frameData + 24) % 16, 0u);

    // the length word is rewritten as H + L - 4 = 57; the rest is the record's header
    const Bytes lengthWord = {0, 0, 0, 57};
    EXPECT_EQ(Bytes(p->frameData, p->frameData + 4), lengthWord);
    EXPECT_EQ(Bytes(p->frameData + 4, p->frameData + 24), Bytes(kPlainHeader.begin() + 4, kPlainHeader.end()));
    EXPECT_EQ(p->headerSize, 24u);
    EXPECT_EQ(p->payloadSize, 37u);

    // H + L = 61, so the zero bytes start at 60
    EXPECT_TRUE(AllZero(p->frameData + 60, 32));
    // 37 + 275 + 8 (record of 232) + 24 + 4 + 15 = 363, down to a multiple of 8
    EXPECT_EQ(PacketBlockSize(p), 360u);
    ExpectTrailerInsideBlock(p, 61);

    EXPECT_EQ(p->codecType, 8u);
    EXPECT_EQ(p->frameType, 1);
    EXPECT_EQ(p->seconds, 1600000000u);
    EXPECT_EQ(p->hasFrameInfo, 1u);
    EXPECT_EQ(p->triggerInfoCount, 0u);
    EXPECT_EQ(p->triggerInfo, nullptr);
    EXPECT_EQ(p->width, 0u);

    std::memset(p->frameData + p->headerSize, 0x5A, payloadLength);  // the caller's copy fits
}

class PacketGap : public ::testing::TestWithParam<std::tuple<int, int, uint32_t>> {};

TEST_P(PacketGap, PayloadStartsOnA16ByteBoundary) {
    auto [userDataLength, extensionWords, payloadLength] = GetParam();
    Bytes header = MediaHeader("h264", 0, kUtcZone0, 0, 0, Bytes(4 * extensionWords, 0));
    Bytes userData(userDataLength, 0x77);
    Bytes record = FrameRecord(header, userData);
    PacketRef ref{BuildPacket(record.data(), record.size(), payloadLength)};
    TMediaPacket* p = ref.packet;
    const size_t headerLength = header.size();
    EXPECT_EQ(Address(p->frameData + headerLength) % 16, 0u);
    const uint8_t* userDataEnd = p->userData + 4 + userDataLength;
    EXPECT_LE(Address(p->frameData) - Address(userDataEnd), 15u);
    EXPECT_EQ(p->userDataSize, uint32_t(userDataLength + 4));
    EXPECT_EQ(Bytes(p->userData + 4, p->userData + 4 + userDataLength), userData);
    EXPECT_EQ(p->payloadSize, payloadLength);
    EXPECT_TRUE(AllZero(p->frameData + ((headerLength + payloadLength) & ~size_t(3)), 32));
    ExpectTrailerInsideBlock(p, headerLength + payloadLength);
    EXPECT_EQ(PacketBlockSize(p) % 8, 0u);
    std::memset(p->frameData + p->headerSize, 0x5A, payloadLength);
}

INSTANTIATE_TEST_SUITE_P(UserDataHeaderAndPayloadLengths, PacketGap,
                         ::testing::Combine(::testing::Range(0, 17), ::testing::Values(1, 2),
                                            ::testing::Values(0u, 1u, 3u, 4u, 100u)));

TEST(PacketBlock, ZeroBytesAreWrittenNotInherited) {
    // H + L = 29: the zero bytes start at 28, inside the payload room
    Bytes record = FrameRecord(kPlainHeader, {1});
    DirtyNextBlock(record, 5);
    PacketRef ref{BuildPacket(record.data(), record.size(), 5)};
    EXPECT_TRUE(AllZero(ref.packet->frameData + 28, 32));
    EXPECT_EQ(Bytes(ref.packet->frameData + 4, ref.packet->frameData + 24),
              Bytes(kPlainHeader.begin() + 4, kPlainHeader.end()));
    EXPECT_EQ(ref.packet->tag16Values[0], 0u);  // the record starts zero-filled
    EXPECT_EQ(ref.packet->localSeconds, 1600000000);
}

TEST(PacketBlock, EmptyUserDataKeepsItsLengthWord) {
    Bytes record = FrameRecord(kPlainHeader, {});
    PacketRef ref{BuildPacket(record.data(), record.size(), 0)};
    EXPECT_EQ(ref.packet->userDataSize, 4u);
    EXPECT_TRUE(AllZero(ref.packet->userData, 4));
    EXPECT_EQ(ref.packet->payloadSize, 0u);
    EXPECT_TRUE(AllZero(ref.packet->frameData + 24, 32));  // H + L = 24
}

TEST(PacketBlock, StoredLengthWordIsReplaced) {
    Bytes header = kPlainHeader;
    header[0] = header[1] = header[2] = header[3] = 0xFF;
    Bytes record = FrameRecord(header, {});
    PacketRef ref{BuildPacket(record.data(), record.size(), 1000)};
    const Bytes lengthWord = {0x00, 0x00, 0x03, 0xFC};  // 24 + 1000 - 4 = 1020
    EXPECT_EQ(Bytes(ref.packet->frameData, ref.packet->frameData + 4), lengthWord);
    EXPECT_EQ(ref.packet->payloadSize, 1000u);
}

TEST(PacketBlock, RecordHeaderLongerThanTheParsedHeader) {
    // H = 32 but E = 1: the header proper is 24 bytes, 8 more bytes follow it
    Bytes header = Concat({kPlainHeader, Bytes(8, 0xEE)});
    Bytes record = FrameRecord(header, {});
    const uint32_t payloadLength = 16;
    DirtyNextBlock(record, payloadLength);
    PacketRef ref{BuildPacket(record.data(), record.size(), payloadLength)};
    TMediaPacket* p = ref.packet;
    EXPECT_EQ(Address(p->frameData + 32) % 16, 0u);
    EXPECT_EQ(p->headerSize, 24u);
    EXPECT_EQ(p->payloadSize, 24u);  // length word 32 + 16 - 4 = 44, minus 24, plus 4
    const Bytes lengthWord = {0, 0, 0, 44};
    EXPECT_EQ(Bytes(p->frameData, p->frameData + 4), lengthWord);
    EXPECT_EQ(Bytes(p->frameData + 24, p->frameData + 32), Bytes(8, 0xEE));
    // a payload copied to frameData + 24 ends at 40; the bytes up to 48 are zero
    EXPECT_TRUE(AllZero(p->frameData + 40, 8));
    EXPECT_TRUE(AllZero(p->frameData + 48, 32));
}

// Tag 20 with two records: identifier 1 and 2, flag/value byte 0x83 and 0x04.
Bytes TriggerHeader() {
    Bytes items = {0x14, 0x25, 0x02};
    for (uint8_t id = 1; id <= 2; ++id) {
        items.push_back(id);
        items.push_back(id == 1 ? 0x83 : 0x04);
        for (int v = 0; v < 8; ++v) PutBigEndian(items, 0x100 * id + v, 2);
    }
    return MediaHeader("h264", 0, kUtcZone0 | kTaggedItems, 0, 0, VideoExtension(kNoWindows, items));
}

TEST(PacketBlock, TriggerRecordsFollowTheZeroBytes) {
    Bytes header = TriggerHeader();
    ASSERT_EQ(header.size(), 60u);
    Bytes record = FrameRecord(header, {1, 2, 3});
    PacketRef ref{BuildPacket(record.data(), record.size(), 10)};
    TMediaPacket* p = ref.packet;
    ASSERT_EQ(p->triggerInfoCount, 2u);
    // H + L = 70: zero bytes at 68 to 100, the records right after them
    EXPECT_EQ(reinterpret_cast<uint8_t*>(p->triggerInfo), p->frameData + 100);
    EXPECT_TRUE(AllZero(p->frameData + 68, 32));
    EXPECT_EQ(p->triggerInfo[0].identifier, 1u);
    EXPECT_EQ(p->triggerInfo[0].valid, 1u);
    EXPECT_EQ(p->triggerInfo[0].flag, 1u);
    EXPECT_EQ(p->triggerInfo[0].value, 3u);
    EXPECT_EQ(p->triggerInfo[0].values[7], 0x107u);
    EXPECT_EQ(p->triggerInfo[1].identifier, 2u);
    EXPECT_EQ(p->triggerInfo[1].flag, 0u);
    EXPECT_EQ(p->triggerInfo[1].value, 4u);
    EXPECT_EQ(p->triggerInfo[1].values[0], 0x200u);
    EXPECT_LE(Address(p->triggerInfo + 2), Address(BlockStart(p)) + PacketBlockSize(p));
}

TEST(PacketBlock, TriggerRecordsAreAlignedAfterAnOddHeader) {
    // H = 61: the payload boundary puts frameData at 3 modulo 4, so the records
    // after the zero bytes (60 to 92) move up by one byte
    Bytes header = Concat({TriggerHeader(), {0xEE}});
    Bytes record = FrameRecord(header, {});
    PacketRef ref{BuildPacket(record.data(), record.size(), 2)};
    TMediaPacket* p = ref.packet;
    ASSERT_EQ(p->triggerInfoCount, 2u);
    EXPECT_EQ(Address(p->frameData) % 4, 3u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(p->triggerInfo), p->frameData + 93);
    EXPECT_EQ(p->triggerInfo[1].values[7], 0x207u);
    EXPECT_LE(Address(p->triggerInfo + 2), Address(BlockStart(p)) + PacketBlockSize(p));
}

struct MalformedCase {
    const char* name;
    const char* message;  // part of the error text
    Bytes record;
    size_t recordLength;  // 0: the record's own size
    uint32_t payloadLength;
};

Bytes WithWord(Bytes record, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) record[offset + i] = uint8_t(value >> (24 - 8 * i));
    return record;
}

Bytes WithByte(Bytes record, size_t offset, uint8_t value) {
    record[offset] = value;
    return record;
}

const Bytes kGoodRecord = FrameRecord(kPlainHeader, {9, 9, 9, 9});

class MalformedRecord : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedRecord, RefusedBeforeAnythingIsAllocated) {
    const MalformedCase& c = GetParam();
    size_t before = LivePacketBlockCount();
    size_t length = c.recordLength ? c.recordLength : c.record.size();
    try {
        BuildPacket(c.record.data(), length, c.payloadLength);
        ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
    }
    EXPECT_EQ(LivePacketBlockCount(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Records, MalformedRecord,
    ::testing::Values(
        MalformedCase{"ShorterThan16", "shorter than 16", kGoodRecord, 15, 0},
        MalformedCase{"HeaderBelow20", "below 20",
                      FrameRecord(Bytes(kPlainHeader.begin(), kPlainHeader.begin() + 19), {}), 0, 0},
        MalformedCase{"ExtensionLongerThanHeader", "extension longer", WithByte(kGoodRecord, 16 + 19, 2), 0, 0},
        MalformedCase{"Extension255In24Bytes", "extension longer", WithByte(kGoodRecord, 16 + 19, 255), 0, 0},
        MalformedCase{"UserDataPastRecord", "shorter than its header and user data", WithWord(kGoodRecord, 12, 5), 0,
                      0},
        MalformedCase{"RecordCutShort", "shorter than its header and user data", kGoodRecord, 16 + 24 + 3, 0},
        MalformedCase{"HeaderPastRecord", "shorter than its header and user data", WithWord(kGoodRecord, 8, 0x10000000),
                      0, 0},
        MalformedCase{"HugeUserData", "shorter than its header and user data", WithWord(kGoodRecord, 12, 0xFFFFFF00), 0,
                      0},
        MalformedCase{"LengthsWrapIn32Bits", "shorter than its header and user data",
                      WithWord(WithWord(kGoodRecord, 8, 0x80000000), 12, 0x80000000), 0, 0},
        MalformedCase{"PayloadTooLarge", "too large", kGoodRecord, 0, 0xFFFFFFFF},
        // the trigger collection, which runs first, finds too few records
        MalformedCase{"TriggerRecordsCutOff", "end of stream",
                      FrameRecord(MediaHeader("h264", 0, kUtcZone0 | kTaggedItems, 0, 0,
                                              VideoExtension(kNoWindows, {0x14, 0x13, 0x01, 0x07})),
                                  {}),
                      0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

class ParserFailure : public ::testing::TestWithParam<Bytes> {};

TEST_P(ParserFailure, BlockIsReleasedAndTheErrorPassedOn) {
    Bytes record = FrameRecord(GetParam(), {1, 2});
    size_t before = LivePacketBlockCount();
    try {
        BuildPacket(record.data(), record.size(), 64);
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "end of stream");
    }
    EXPECT_EQ(LivePacketBlockCount(), before);
}

INSTANTIATE_TEST_SUITE_P(Headers, ParserFailure,
                         ::testing::Values(
                             // three listed audio frame sizes, only one present
                             MediaHeader("aac ", 0, kUtcZone0, 0, 0, {0x40, 0x03, 0x00, 0x10}),
                             // tag 16 declared empty: the collection skips it, the parser reads six values
                             MediaHeader("h264", 0, kUtcZone0 | kTaggedItems, 0, 0, {0x00, 0x00, 0x10, 0x00})));

TEST(PacketBlock, ReferenceCountFreesTheBlockWithTheLastReference) {
    size_t before = LivePacketBlockCount();
    Bytes record = FrameRecord(kPlainHeader, {});
    TMediaPacket* p = BuildPacket(record.data(), record.size(), 8);
    ASSERT_NE(p->releaseOps, nullptr);
    EXPECT_EQ(PacketReferenceCount(p), 1u);
    EXPECT_EQ(LivePacketBlockCount(), before + 1);
    p->releaseOps->addRef(p);
    EXPECT_EQ(PacketReferenceCount(p), 2u);
    p->releaseOps->release(p);
    EXPECT_EQ(PacketReferenceCount(p), 1u);
    EXPECT_EQ(LivePacketBlockCount(), before + 1);
    p->releaseOps->release(p);
    EXPECT_EQ(LivePacketBlockCount(), before);
}

TEST(PacketBlock, ReferencesTakenAndDroppedOnSeveralThreads) {
    size_t before = LivePacketBlockCount();
    Bytes record = FrameRecord(kPlainHeader, {});
    TMediaPacket* p = BuildPacket(record.data(), record.size(), 8);
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t)
        workers.emplace_back([p] {
            for (int i = 0; i < 20000; ++i) {
                p->releaseOps->addRef(p);
                p->releaseOps->release(p);
            }
        });
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(PacketReferenceCount(p), 1u);
    // four references, the caller's among them, dropped on four threads at once
    for (int t = 0; t < 3; ++t) p->releaseOps->addRef(p);
    std::vector<std::thread> droppers;
    for (int t = 0; t < 4; ++t) droppers.emplace_back([p] { p->releaseOps->release(p); });
    for (auto& dropper : droppers) dropper.join();
    EXPECT_EQ(LivePacketBlockCount(), before);
}

TEST(PacketBlock, PacketsShareOneReleaseTable) {
    Bytes record = FrameRecord(kPlainHeader, {});
    PacketRef a{BuildPacket(record.data(), record.size(), 1)};
    PacketRef b{BuildPacket(record.data(), record.size(), 2)};
    EXPECT_EQ(a.packet->releaseOps, b.packet->releaseOps);
    EXPECT_NE(a.packet->releaseOps->addRef, nullptr);
    EXPECT_NE(a.packet->releaseOps->release, nullptr);
}

}  // namespace
