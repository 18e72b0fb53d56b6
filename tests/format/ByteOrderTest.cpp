#include <gtest/gtest.h>

#include "format/ByteOrder.h"
#include "writer/ByteWriter.h"

namespace {

using namespace writer;
using namespace ZENT::SDK::Format;

TEST(ByteOrder, StoresWriteTheMostSignificantByteFirstAndNothingBeyond) {
    Bytes bytes(10, 0xEE);
    StoreU16(bytes.data(), 0xFF0102);
    StoreU24(bytes.data() + 2, 0xFF030405);
    StoreU32(bytes.data() + 5, 0x06070809);
    EXPECT_EQ(bytes, Hex("0102 030405 06070809 EE"));
}

}  // namespace
