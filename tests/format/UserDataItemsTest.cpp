#include <gtest/gtest.h>

#include "format/UserDataItems.h"
#include "writer/ByteWriter.h"

namespace {

using namespace writer;
using ZENT::SDK::Format::FindUserDataItem;
using ZENT::SDK::Format::ItemSearch;
using ZENT::SDK::Format::UserDataItem;

struct ItemRow {
    const char* name;
    const char* block;  // the length word, then the items
    ItemSearch result;
    uint64_t tagOffset;
};

constexpr uint8_t kSought = 0x60;

class FindUserDataItemTest : public testing::TestWithParam<ItemRow> {};

TEST_P(FindUserDataItemTest, ResultAndPlace) {
    const ItemRow& row = GetParam();
    const Bytes block = Hex(row.block);
    const UserDataItem item = FindUserDataItem(block.data(), block.size(), kSought);
    EXPECT_EQ(item.result, row.result);
    if (row.result == ItemSearch::kFound) {
        EXPECT_EQ(item.tagOffset, row.tagOffset);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FindUserDataItemTest,
    testing::Values(ItemRow{"first", "00000000 60 0C", ItemSearch::kFound, 4},
                    // Only the tag of the item found is read.
                    ItemRow{"tagAsTheLastByte", "00000000 10 02 AABB 60", ItemSearch::kFound, 8},
                    ItemRow{"itsOwnLengthIsNotRead", "00000000 60 80", ItemSearch::kFound, 4},
                    ItemRow{"afterTwoLengthBytes", "00000000 10 82 0002 AABB 60", ItemSearch::kFound, 10},
                    ItemRow{"afterFourLengthBytes", "00000000 10 84 00000001 AA 60", ItemSearch::kFound, 11},
                    ItemRow{"tagInsideAValueIsPassedOver", "00000000 10 01 60 60", ItemSearch::kFound, 7},
                    ItemRow{"indefiniteLength", "00000000 10 80 60", ItemSearch::kMalformed, 0},
                    ItemRow{"fiveLengthBytes", "00000000 10 85 0000000000 60", ItemSearch::kMalformed, 0},
                    ItemRow{"itemsEndExactly", "00000000 10 02 AABB", ItemSearch::kAbsent, 0},
                    ItemRow{"valuePastTheEnd", "00000000 10 05 AA 60", ItemSearch::kAbsent, 0},
                    ItemRow{"lengthBytesCutOff", "00000000 10 82 00", ItemSearch::kAbsent, 0},
                    ItemRow{"noLengthByte", "00000000 10", ItemSearch::kAbsent, 0},
                    ItemRow{"shorterThanItsLengthWord", "000060", ItemSearch::kAbsent, 0}),
    [](const testing::TestParamInfo<ItemRow>& info) { return std::string(info.param.name); });

}  // namespace
