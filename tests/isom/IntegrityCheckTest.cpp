// The keyed per-packet check and the statuses it gives the packet reads.
#include "isom/IntegrityCheck.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include "ReaderFixture.h"

using namespace writer;
using ZENT::SDK::Pelagor2::ExpectedCheckValue;
using ZENT::SDK::Pelagor2::FindCheckValue;
using ZENT::SDK::Pelagor2::TestPacketIntegrity;

namespace {

uint32_t ZlibCrc(const Bytes& bytes) { return uint32_t(crc32(0, bytes.data(), uInt(bytes.size()))); }

// The expected value worked out independently: the CRC of the frame bytes in
// start-code form, in lower-case hex, followed by the key, then its CRC.
uint32_t Expected(const Bytes& frame, const std::string& key) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", ZlibCrc(frame));
    std::string text = std::string(hex) + key;
    return ZlibCrc(Bytes(text.begin(), text.end()));
}

// A packet over caller-held bytes: header, payload and user-data block.
struct FakePacket {
    Bytes frame;
    Bytes userData;
    TMediaPacket packet{};
    FakePacket(const Bytes& header, const Bytes& payload, const Bytes& block, uint32_t codec = kCodecH264)
        : frame(Concat({header, payload})), userData(block) {
        packet.frameData = frame.data();
        packet.headerSize = uint32_t(header.size());
        packet.payloadSize = uint32_t(payload.size());
        packet.codecType = codec;
        packet.userData = userData.empty() ? nullptr : userData.data();
        packet.userDataSize = uint32_t(userData.size());
    }
};

const Bytes kHeader = Hex("00 00 00 20 68 32 36 34 00 00 20 13 04 00 00 00 01 00 00 01 00 00 00 00");
const Bytes kStartCodes = Hex("00 00 00 01 65 88 84 00 00 00 00 01 06 05");
const Bytes kPrefixed = Hex("00 00 00 04 65 88 84 00 00 00 00 02 06 05");

}  // namespace

TEST(IntegrityCheck, StructuralCodesComeFirst) {
    EXPECT_EQ(TestPacketIntegrity(nullptr, "key"), kPacketMissing);
    FakePacket noFrame(Bytes(), Bytes(), UserData().block());
    noFrame.packet.frameData = nullptr;
    EXPECT_EQ(TestPacketIntegrity(&noFrame.packet, ""), kPacketNoFrameData);
    FakePacket empty(Bytes(), Bytes(), UserData().block());
    EXPECT_EQ(TestPacketIntegrity(&empty.packet, ""), kPacketNoFrameData);
    FakePacket noUserData(kHeader, kStartCodes, Bytes());
    EXPECT_EQ(TestPacketIntegrity(&noUserData.packet, ""), kPacketNoUserData);
    FakePacket shortBlock(kHeader, kStartCodes, Hex("00 00 00"));
    EXPECT_EQ(TestPacketIntegrity(&shortBlock.packet, "key"), kPacketNoUserData);
}

TEST(IntegrityCheck, EmptyKeyPassesWhateverTheUserDataHolds) {
    FakePacket packet(kHeader, kStartCodes, UserData().integrity(0x12345678).block());
    EXPECT_EQ(TestPacketIntegrity(&packet.packet, ""), 0);
}

TEST(IntegrityCheck, CorrectWrongZeroAndMissingValues) {
    const std::string key = "secret";
    uint32_t expected = Expected(Concat({kHeader, kStartCodes}), key);
    FakePacket correct(kHeader, kStartCodes, UserData().recordTime(1, 2).integrity(expected).block());
    EXPECT_EQ(TestPacketIntegrity(&correct.packet, key), 0);
    FakePacket wrong(kHeader, kStartCodes, UserData().integrity(expected ^ 1).block());
    EXPECT_EQ(TestPacketIntegrity(&wrong.packet, key), kCheckMismatch);
    FakePacket zero(kHeader, kStartCodes, UserData().integrity(0).block());
    EXPECT_EQ(TestPacketIntegrity(&zero.packet, key), kNoCheckValue);
    FakePacket missing(kHeader, kStartCodes, UserData().streamTime(1, 2).block());
    EXPECT_EQ(TestPacketIntegrity(&missing.packet, key), kNoCheckValue);
}

TEST(IntegrityCheck, LengthPrefixedAndStartCodeFramesExpectTheSameValue) {
    FakePacket prefixed(kHeader, kPrefixed, UserData().block());
    FakePacket startCodes(kHeader, kStartCodes, UserData().block());
    EXPECT_EQ(ExpectedCheckValue(prefixed.packet, "k"), ExpectedCheckValue(startCodes.packet, "k"));
    EXPECT_EQ(ExpectedCheckValue(startCodes.packet, "k"), Expected(Concat({kHeader, kStartCodes}), "k"));
    // Other codecs are taken as stored.
    FakePacket audio(kHeader, kPrefixed, UserData().block(), kCodecAac);
    EXPECT_EQ(ExpectedCheckValue(audio.packet, "k"), Expected(Concat({kHeader, kPrefixed}), "k"));
}

TEST(IntegrityCheck, UnitRunningPastThePayloadCountsOnlyItsStartCode) {
    // A 4-byte length of 100 with 3 bytes after it: start code counted, bytes not.
    Bytes payload = Hex("00 00 00 64 65 01 02");
    FakePacket packet(kHeader, payload, UserData().block());
    EXPECT_EQ(ExpectedCheckValue(packet.packet, "k"), Expected(Concat({kHeader, Hex("00 00 00 01")}), "k"));
    // Fewer than 4 bytes left end the walk.
    FakePacket tail(kHeader, Hex("00 00 00 01 65 AB CD"), UserData().block());
    EXPECT_EQ(ExpectedCheckValue(tail.packet, "k"), Expected(Concat({kHeader, Hex("00 00 00 01 65 AB CD")}), "k"));
}

TEST(IntegrityCheck, HexTextHasNoLeadingZeros) {
    // Find a frame whose CRC has its top 16 bits zero, and check the text.
    for (uint32_t n = 0; n < 2000000; ++n) {
        Bytes frame = Concat({kHeader, ByteWriter().u32(n).take()});
        uint32_t crc = ZlibCrc(frame);
        if (crc >> 16) continue;
        FakePacket packet(kHeader, ByteWriter().u32(n).take(), UserData().block(), kCodecAac);
        char hex[8];
        std::snprintf(hex, sizeof hex, "%x", crc);
        std::string text = std::string(hex) + "K";
        EXPECT_LE(text.size(), 5u);
        EXPECT_EQ(ExpectedCheckValue(packet.packet, "K"), ZlibCrc(Bytes(text.begin(), text.end())));
        return;
    }
    FAIL() << "no small CRC found";
}

TEST(IntegrityCheck, CheckValueLookup) {
    // Least significant byte first.
    Bytes block = UserData().integrity(0x0A0B0C0D).block();
    EXPECT_EQ(FindCheckValue(block.data(), uint32_t(block.size())), 0x0A0B0C0Du);
    // A tag-110 item whose length byte is 0x81 holds no value, even announcing 4.
    Bytes longForm = UserData().raw(Hex("6E 81 04 01 02 03 04")).block();
    EXPECT_EQ(FindCheckValue(longForm.data(), uint32_t(longForm.size())), 0u);
    // Items before it are stepped over by every length form.
    Bytes after = UserData().item(0x20, Bytes(200, 1), LengthForm::Long2).integrity(7).block();
    EXPECT_EQ(FindCheckValue(after.data(), uint32_t(after.size())), 7u);
    // An item whose value runs past the block: none, and nothing read past it.
    Bytes cut = UserData().raw(Hex("20 84 7F FF FF FF 00")).block();
    EXPECT_EQ(FindCheckValue(cut.data(), uint32_t(cut.size())), 0u);
    Bytes cutValue = UserData().raw(Hex("6E 04 01 02")).block();
    EXPECT_EQ(FindCheckValue(cutValue.data(), uint32_t(cutValue.size())), 0u);
    // A malformed length byte before the value is an error.
    Bytes malformed = UserData().raw(Hex("20 85 00 00 00 00 00 6E 04 01 02 03 04")).block();
    EXPECT_THROW(FindCheckValue(malformed.data(), uint32_t(malformed.size())), std::runtime_error);
    Bytes eighty = UserData().raw(Hex("20 80 6E 04 01 02 03 04")).block();
    EXPECT_THROW(FindCheckValue(eighty.data(), uint32_t(eighty.size())), std::runtime_error);
}

namespace {

// A video track whose companion records carry the given user data.
OpenedFile OpenWithUserData(const std::vector<UserData>& userData) {
    Recording recording;
    Track video = SmallVideoTrack(uint32_t(userData.size()));
    recording.addTrack(video);
    std::vector<Bytes> records;
    MediaHeader header;
    header.extension = Hex("00");
    for (const UserData& u : userData) records.push_back(FrameInfoRecord(header, u).bytes());
    recording.addCompanion(records);
    return OpenBytes(recording.bytes());
}

}  // namespace

TEST(IntegrityCheck, ReadPacketReportsEachPacketsStatusAndHandsItOutAnyway) {
    const std::string key = "camera-key";
    // The expected values need the packets' frame bytes: read them once
    // with the test off, then build the file with the values in place.
    OpenedFile probe = OpenWithUserData(std::vector<UserData>(4, UserData().integrity(1)));
    probe.reader->SeekTime(0, 0);
    std::vector<uint32_t> expected;
    TMediaPacket* packet = nullptr;
    while (probe.reader->ReadPacket(&packet) == 0)
        expected.push_back(
            Expected(Bytes(packet->frameData, packet->frameData + packet->headerSize + packet->payloadSize), key));
    ASSERT_EQ(expected.size(), 4u);

    OpenedFile opened = OpenWithUserData({UserData().integrity(expected[0]), UserData().integrity(expected[1] + 1),
                                          UserData().integrity(0), UserData().recordTime(5, 6)});
    opened.reader->SetIntegrityKey(key.c_str());
    opened.reader->SeekTime(0, 0);
    std::vector<int32_t> statuses;
    for (int k = 0; k < 5; ++k) {
        packet = nullptr;
        statuses.push_back(opened.reader->ReadPacket(&packet));
        if (statuses.back() != kEndOfStream) {
            EXPECT_NE(packet, nullptr) << "the packet is handed out";
        }
    }
    EXPECT_EQ(statuses, (std::vector<int32_t>{0, kCheckMismatch, kNoCheckValue, kNoCheckValue, kEndOfStream}));

    opened.reader->SetIntegrityKey("");
    opened.reader->SeekTime(0, 0);
    EXPECT_EQ(opened.reader->ReadPacket(&packet), 0);
    EXPECT_EQ(opened.reader->ReadPacket(&packet), 0) << "an empty key switches the test off";
}

TEST(IntegrityCheck, MalformedUserDataFailsTheReadButHandsThePacketOut) {
    OpenedFile opened = OpenWithUserData({UserData().raw(Hex("20 85 00 00 00 00 00"))});
    opened.reader->SetIntegrityKey("k");
    opened.reader->SeekTime(0, 0);
    TMediaPacket* packet = nullptr;
    EXPECT_EQ(opened.reader->ReadPacket(&packet), -1);
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(packet->codecType, kCodecH264);
}
