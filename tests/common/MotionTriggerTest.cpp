#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>

#include "MediaHeaderBytes.h"
#include "common/FrameInfoParser.h"
#include "isom/AVReader.h"

using namespace testbytes;
using ZENT::SDK::Utility::CollectMotionTriggers;

namespace {

constexpr uint32_t kItems = kUtcZone0 | kTaggedItems;

const std::vector<TMotionTriggerInfoEx>& Collect(const Bytes& header) {
    return CollectMotionTriggers(header.data(), header.size());
}

// Tag 20, length 19, one record: identifier 7, flag 1, value 5, values 1 to 8.
const Bytes kOneTriggerItem = {0x14, 0x13, 0x01, 0x07, 0x85, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03,
                               0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00, 0x07, 0x00, 0x08};

// Windows 1 and 3 enabled (49 bits each), window 2 disabled, extra flag: 13 bytes.
Bytes TwoWindows() {
    BitWriter bits;
    bits.Put(1, 1).Put(0, 1).Put(0, 7).Put(0, 10).Put(0, 10).Put(0, 10).Put(0, 10);
    bits.Put(0, 1);
    bits.Put(1, 1).Put(1, 1).Put(127, 7).Put(1023, 10).Put(1023, 10).Put(1023, 10).Put(1023, 10);
    bits.Put(1, 1).Put(0, 4);
    return bits.bytes();
}

void ExpectRecord(const TMotionTriggerInfoEx& record, uint8_t identifier, uint32_t flag, uint8_t value,
                  const uint16_t (&values)[8]) {
    EXPECT_EQ(record.identifier, identifier);
    EXPECT_EQ(record.valid, 1u);
    EXPECT_EQ(record.flag, flag);
    EXPECT_EQ(record.value, value);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(record.values[i], values[i]) << "value " << i;
}

TEST(MotionTriggers, RecordIsThirtyTwoBytes) { EXPECT_EQ(sizeof(TMotionTriggerInfoEx), 32u); }

TEST(MotionTriggers, RecordsOfAllTag20ItemsInOrder) {
    Bytes items = Concat(
        {kOneTriggerItem,
         {0x10, 0x0C, 0x14, 0x01, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0},  // tag 16, skipped whole
         {0x81, 0x14, 0x25, 0x02,                                    // tag 20 in long form
          0x09, 0x7F, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00, 0x07, 0x00, 0x08, 0x00,
          0x0A, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         {0xE3}});
    Bytes header = MediaHeader("h264", 0, kItems, 0, 0, VideoExtension(TwoWindows(), items));
    const auto& triggers = Collect(header);
    ASSERT_EQ(triggers.size(), 3u);
    ExpectRecord(triggers[0], 7, 1, 5, {1, 2, 3, 4, 5, 6, 7, 8});
    ExpectRecord(triggers[1], 9, 0, 127, {0x100, 0x200, 0x300, 0x400, 0x500, 0x600, 0x700, 0x800});
    ExpectRecord(triggers[2], 10, 1, 0, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF});
}

TEST(MotionTriggers, Tag20IgnoresItsLengthOtherItemsUseTheirs) {
    // tag 16 with length 0 takes no bytes here; tag 20 with length 0 still has its record
    Bytes items = Concat({{0x10, 0x00}, {0x14, 0x00}, Bytes(kOneTriggerItem.begin() + 2, kOneTriggerItem.end())});
    const auto& triggers = Collect(MediaHeader("jpeg", 0, kItems, 0, 0, VideoExtension(kNoWindows, items)));
    ASSERT_EQ(triggers.size(), 1u);
    EXPECT_EQ(triggers[0].identifier, 7u);
}

TEST(MotionTriggers, NoneWithoutTaggedItemsFlag) {
    Bytes extension = VideoExtension(kNoWindows, kOneTriggerItem);
    EXPECT_TRUE(Collect(MediaHeader("h264", 0, kUtcZone0, 0, 0, extension)).empty());
}

TEST(MotionTriggers, NoneForOtherCodes) {
    Bytes extension = VideoExtension(kNoWindows, kOneTriggerItem);
    EXPECT_TRUE(Collect(MediaHeader("aac ", 0, kItems, 0, 0, extension)).empty());
    EXPECT_TRUE(Collect(MediaHeader("metx", 0, kItems, 0, 0, extension)).empty());
    EXPECT_TRUE(Collect(MediaHeader("abcd", 0, kItems, 0, 0, extension)).empty());
    EXPECT_EQ(Collect(MediaHeader("DMYV", 0, kItems, 0, 0, extension)).size(), 1u);
}

TEST(MotionTriggers, ListIsEmptiedAndReusedByEveryCall) {
    const auto& first = Collect(MediaHeader("h264", 0, kItems, 0, 0, VideoExtension(kNoWindows, kOneTriggerItem)));
    ASSERT_EQ(first.size(), 1u);
    const auto* firstList = &first;
    const auto& second = Collect(MediaHeader("h264", 0, kItems, 0, 0, {0x00, 0x00, 0x00, 0xE3}));
    EXPECT_EQ(&second, firstList);
    EXPECT_TRUE(second.empty());
}

TEST(MotionTriggers, EachThreadHasItsOwnList) {
    Bytes one = MediaHeader("h264", 0, kItems, 0, 0, VideoExtension(kNoWindows, kOneTriggerItem));
    Bytes two =
        MediaHeader("h264", 0, kItems, 0, 0, VideoExtension(kNoWindows, Concat({kOneTriggerItem, kOneTriggerItem})));
    const auto& mine = Collect(one);
    ASSERT_EQ(mine.size(), 1u);
    uintptr_t otherList = 0;
    size_t otherSize = 0;
    std::thread worker([&] {
        const auto& theirs = Collect(two);
        otherList = reinterpret_cast<uintptr_t>(&theirs);
        otherSize = theirs.size();
    });
    worker.join();
    EXPECT_EQ(otherSize, 2u);
    EXPECT_NE(otherList, reinterpret_cast<uintptr_t>(&mine));
    EXPECT_EQ(mine.size(), 1u);
}

void ExpectEndOfStream(const Bytes& items) {
    Bytes header = MediaHeader("h264", 0, kItems, 0, 0, VideoExtension(kNoWindows, items));
    try {
        Collect(header);
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "end of stream");
    }
}

TEST(MotionTriggers, RecordsCutOffEndTheStream) {
    Bytes items = kOneTriggerItem;
    items[2] = 2;  // two records announced, one present
    ExpectEndOfStream(items);
}

TEST(MotionTriggers, ItemPastTheExtensionEndsTheStream) { ExpectEndOfStream({0x33, 0x05, 0xE1}); }

TEST(MotionTriggers, HeaderMustHoldItsExtension) {
    Bytes header = MediaHeader("h264", 0, kItems, 0, 0, VideoExtension(kNoWindows, kOneTriggerItem));
    EXPECT_THROW(CollectMotionTriggers(header.data(), header.size() - 1), std::runtime_error);
    EXPECT_THROW(CollectMotionTriggers(header.data(), 19), std::runtime_error);
}

}  // namespace
