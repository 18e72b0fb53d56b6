#include "common/AesCtr.h"

#include <gtest/gtest.h>

#include <openssl/aes.h>
#include <openssl/modes.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using ZENT::SDK::Utility::OpenSSLAESctr128;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

Bytes RandomBytes(size_t length, uint32_t seed) {
    std::mt19937 generator(seed);
    Bytes bytes(length);
    for (auto& byte : bytes) byte = uint8_t(generator());
    return bytes;
}

// The classic routine the decryptor must match byte for byte: AES_encrypt as
// the block function of OpenSSL's generic 128-bit counter mode.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
Bytes ReferenceCtr(const Bytes& key, const Bytes& counter16, const Bytes& input) {
    AES_KEY schedule;
    AES_set_encrypt_key(key.data(), 128, &schedule);
    uint8_t counter[16];
    std::memcpy(counter, counter16.data(), 16);
    uint8_t keystream[16] = {};
    unsigned int num = 0;
    Bytes output(input.size());
    CRYPTO_ctr128_encrypt(input.data(), output.data(), input.size(), &schedule, counter, keystream, &num,
                          reinterpret_cast<block128_f>(AES_encrypt));
    return output;
}

Bytes AesBlock(const Bytes& key, const Bytes& block) {
    AES_KEY schedule;
    AES_set_encrypt_key(key.data(), 128, &schedule);
    Bytes output(16);
    AES_encrypt(block.data(), output.data(), &schedule);
    return output;
}
#pragma GCC diagnostic pop

Bytes WithZeroCounter(const Bytes& iv8) {
    Bytes counter(iv8);
    counter.resize(16, 0);
    return counter;
}

// Decrypts input after SetIV(iv) in pieces of the given lengths (the last one
// taking the rest), out of place.
Bytes DecryptInPieces(OpenSSLAESctr128& aes, const Bytes& iv, const Bytes& input, const std::vector<size_t>& pieces) {
    aes.SetIV(iv.data());
    Bytes output(input.size());
    size_t at = 0;
    for (size_t piece : pieces) {
        aes.Decrypt(input.data() + at, output.data() + at, uint32_t(piece));
        at += piece;
    }
    aes.Decrypt(input.data() + at, output.data() + at, uint32_t(input.size() - at));
    return output;
}

const Bytes kZeroKey(16, 0);
const Bytes kSpKey = FromHex("2b7e151628aed2a6abf7158809cf4f3c");
const Bytes kIv = FromHex("0123456789abcdef");

}  // namespace

TEST(AesCtrKnownAnswers, FirstBlockOfZeroIvIsTheCipherOfTheZeroBlock) {
    // AES-128 of the all-zero block under the all-zero key, the first entry
    // of the standard's variable-text known-answer tables.
    OpenSSLAESctr128 aes(kZeroKey.data());
    aes.SetIV(Bytes(8, 0).data());
    Bytes zeros(32, 0);
    Bytes out(32);
    aes.Decrypt(zeros.data(), out.data(), 32);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 16), FromHex("66e94bd4ef8a2c3b884cfa59ca342b2e"));
    // The second block uses counter value 1 in the last byte.
    Bytes one(16, 0);
    one[15] = 1;
    EXPECT_EQ(Bytes(out.begin() + 16, out.end()), AesBlock(kZeroKey, one));
}

TEST(AesCtrKnownAnswers, Fips197AppendixC1) {
    // Key 00..0f, block 00112233..ff encrypts to 69c4e0d8..c55a; in counter
    // mode that is the key stream when the counter starts at that block.
    const Bytes key = FromHex("000102030405060708090a0b0c0d0e0f");
    OpenSSLAESctr128 aes(key.data());
    aes.SetCounterBlock(FromHex("00112233445566778899aabbccddeeff").data());
    Bytes zeros(16, 0);
    aes.Decrypt(zeros.data(), zeros.data(), 16);
    EXPECT_EQ(zeros, FromHex("69c4e0d86a7b0430d8cdb78070b4c55a"));
}

TEST(AesCtrKnownAnswers, Sp80038aF51CtrAes128) {
    const Bytes counter = FromHex("f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff");
    const Bytes plain = FromHex(
        "6bc1bee22e409f96e93d7e117393172a"
        "ae2d8a571e03ac9c9eb76fac45af8e51"
        "30c81c46a35ce411e5fbc1191a0a52ef"
        "f69f2445df4f9b17ad2b417be66c3710");
    const Bytes cipher = FromHex(
        "874d6191b620e3261bef6864990db6ce"
        "9806f66b7970fdff8617187bb9fffdff"
        "5ae4df3edbd5d35e5b4f09020db03eab"
        "1e031dda2fbe03d1792170a0f3009cee");
    ASSERT_EQ(ReferenceCtr(kSpKey, counter, plain), cipher);

    OpenSSLAESctr128 aes(kSpKey.data());
    aes.SetCounterBlock(counter.data());
    Bytes out(plain.size());
    aes.Decrypt(plain.data(), out.data(), uint32_t(plain.size()));
    EXPECT_EQ(out, cipher);
    // Counter mode is its own inverse (F.5.2).
    aes.SetCounterBlock(counter.data());
    aes.Decrypt(cipher.data(), out.data(), uint32_t(cipher.size()));
    EXPECT_EQ(out, plain);
}

TEST(AesCtrKeyStream, SplitCallsContinueOneKeyStream) {
    const Bytes input = RandomBytes(32, 1);
    const Bytes expected = ReferenceCtr(kSpKey, WithZeroCounter(kIv), input);
    OpenSSLAESctr128 aes(kSpKey.data());
    EXPECT_EQ(DecryptInPieces(aes, kIv, input, {}), expected);
    EXPECT_EQ(DecryptInPieces(aes, kIv, input, {10}), expected);

    // 10 bytes in: the first block is in use and the counter has moved on.
    aes.SetIV(kIv.data());
    Bytes out(32);
    aes.Decrypt(input.data(), out.data(), 10);
    EXPECT_EQ(aes.KeystreamPosition(), 10u);
    EXPECT_EQ(Bytes(aes.CounterBlock(), aes.CounterBlock() + 16), FromHex("0123456789abcdef0000000000000001"));
    aes.Decrypt(input.data() + 10, out.data() + 10, 22);
    EXPECT_EQ(aes.KeystreamPosition(), 0u);
    EXPECT_EQ(Bytes(aes.CounterBlock(), aes.CounterBlock() + 16), FromHex("0123456789abcdef0000000000000002"));
    EXPECT_EQ(out, expected);
}

TEST(AesCtrKeyStream, RandomSplitsEqualOneCall) {
    const Bytes input = RandomBytes(5000, 2);
    const Bytes expected = ReferenceCtr(kSpKey, WithZeroCounter(kIv), input);
    OpenSSLAESctr128 aes(kSpKey.data());
    std::mt19937 generator(3);
    for (int round = 0; round < 200; ++round) {
        std::vector<size_t> pieces;
        size_t total = 0;
        while (true) {
            // Mostly short pieces, some long ones, and empty ones.
            size_t piece = (generator() % 4 == 0) ? generator() % 700 : generator() % 40;
            if (total + piece > input.size()) break;
            pieces.push_back(piece);
            total += piece;
        }
        ASSERT_EQ(DecryptInPieces(aes, kIv, input, pieces), expected) << "round " << round;
    }
}

TEST(AesCtrKeyStream, LargeBufferMatchesReference) {
    const Bytes input = RandomBytes((1 << 20) + 7, 4);
    OpenSSLAESctr128 aes(kSpKey.data());
    EXPECT_EQ(DecryptInPieces(aes, kIv, input, {3, 100000}), ReferenceCtr(kSpKey, WithZeroCounter(kIv), input));
}

TEST(AesCtrKeyStream, InPlaceEqualsOutOfPlace) {
    const Bytes input = RandomBytes(1000, 5);
    const Bytes expected = ReferenceCtr(kSpKey, WithZeroCounter(kIv), input);
    OpenSSLAESctr128 aes(kSpKey.data());
    aes.SetIV(kIv.data());
    Bytes buffer(input);
    aes.Decrypt(buffer.data(), buffer.data(), 7);
    aes.Decrypt(buffer.data() + 7, buffer.data() + 7, 500);
    aes.Decrypt(buffer.data() + 507, buffer.data() + 507, 493);
    EXPECT_EQ(buffer, expected);
}

TEST(AesCtrKeyStream, CountZeroChangesNothing) {
    const Bytes input = RandomBytes(40, 6);
    const Bytes expected = ReferenceCtr(kSpKey, WithZeroCounter(kIv), input);
    OpenSSLAESctr128 aes(kSpKey.data());
    aes.SetIV(kIv.data());
    Bytes out(40);
    aes.Decrypt(input.data(), out.data(), 5);
    const Bytes counterBefore(aes.CounterBlock(), aes.CounterBlock() + 16);
    aes.Decrypt(nullptr, nullptr, 0);
    aes.Decrypt(input.data() + 5, out.data() + 5, 0);
    EXPECT_EQ(Bytes(aes.CounterBlock(), aes.CounterBlock() + 16), counterBefore);
    EXPECT_EQ(aes.KeystreamPosition(), 5u);
    aes.Decrypt(input.data() + 5, out.data() + 5, 35);
    EXPECT_EQ(out, expected);
}

TEST(AesCtrCounter, SetIvRestartsTheKeyStream) {
    const Bytes input = RandomBytes(48, 7);
    const Bytes otherIv = FromHex("fedcba9876543210");
    OpenSSLAESctr128 aes(kSpKey.data());
    aes.SetIV(kIv.data());
    Bytes out(48);
    aes.Decrypt(input.data(), out.data(), 21);
    // A new IV in the middle of a key-stream block starts afresh.
    aes.SetIV(otherIv.data());
    EXPECT_EQ(aes.KeystreamPosition(), 0u);
    aes.Decrypt(input.data(), out.data(), 48);
    EXPECT_EQ(out, ReferenceCtr(kSpKey, WithZeroCounter(otherIv), input));
}

TEST(AesCtrCounter, NullIvKeepsTheIvBytesAndRestartsTheCounter) {
    const Bytes input = RandomBytes(40, 8);
    OpenSSLAESctr128 aes(kSpKey.data());
    aes.SetIV(kIv.data());
    Bytes out(40);
    aes.Decrypt(input.data(), out.data(), 37);
    aes.SetIV(nullptr);
    EXPECT_EQ(Bytes(aes.CounterBlock(), aes.CounterBlock() + 16), WithZeroCounter(kIv));
    EXPECT_EQ(aes.KeystreamPosition(), 0u);
    aes.Decrypt(input.data(), out.data(), 40);
    EXPECT_EQ(out, ReferenceCtr(kSpKey, WithZeroCounter(kIv), input));
}

TEST(AesCtrCounter, BlockCounterCarriesIntoTheIvBytes) {
    // Bytes 8..15 all FF: the second block's counter is (IV + 1) || 0, which
    // is the first counter of the stream that SetIV(IV + 1) starts.
    const Bytes iv = FromHex("00010203040506ff");
    const Bytes nextIv = FromHex("0001020304050700");
    Bytes counter(iv);
    counter.resize(16, 0xFF);
    const Bytes input = RandomBytes(45, 9);
    OpenSSLAESctr128 aes(kSpKey.data());
    aes.SetCounterBlock(counter.data());
    Bytes out(45);
    aes.Decrypt(input.data(), out.data(), 45);
    EXPECT_EQ(out, ReferenceCtr(kSpKey, counter, input));
    EXPECT_EQ(Bytes(aes.CounterBlock(), aes.CounterBlock() + 16), FromHex("00010203040507000000000000000002"));

    Bytes fromNextIv(16);
    aes.SetIV(nextIv.data());
    aes.Decrypt(input.data() + 16, fromNextIv.data(), 16);
    EXPECT_EQ(fromNextIv, Bytes(out.begin() + 16, out.begin() + 32));
}

TEST(AesCtrCounter, CarryThroughThe32BitWord) {
    // Hardware paths count in the low 32 bits; the carry into byte 11 must
    // still happen, also inside one long call.
    const Bytes counter = FromHex("0123456789abcdef00000011fffffffe");
    const Bytes input = RandomBytes(16 * 5 + 3, 10);
    OpenSSLAESctr128 aes(kSpKey.data());
    aes.SetCounterBlock(counter.data());
    Bytes out(input.size());
    aes.Decrypt(input.data(), out.data(), uint32_t(input.size()));
    EXPECT_EQ(out, ReferenceCtr(kSpKey, counter, input));
    EXPECT_EQ(Bytes(aes.CounterBlock(), aes.CounterBlock() + 16), FromHex("0123456789abcdef0000001200000004"));
}

TEST(AesCtrCounter, CarryOutOfByteZeroIsLost) {
    // All FF wraps to all zero: the second key-stream block is the cipher of
    // the zero block.
    OpenSSLAESctr128 aes(kZeroKey.data());
    aes.SetCounterBlock(Bytes(16, 0xFF).data());
    Bytes zeros(32, 0);
    aes.Decrypt(zeros.data(), zeros.data(), 20);
    aes.Decrypt(zeros.data() + 20, zeros.data() + 20, 12);
    EXPECT_EQ(Bytes(zeros.begin(), zeros.begin() + 16), AesBlock(kZeroKey, Bytes(16, 0xFF)));
    EXPECT_EQ(Bytes(zeros.begin() + 16, zeros.end()), FromHex("66e94bd4ef8a2c3b884cfa59ca342b2e"));
}

TEST(AesCtrKeys, EachObjectUsesItsOwnKey) {
    const Bytes input = RandomBytes(64, 11);
    OpenSSLAESctr128 first(kSpKey.data());
    OpenSSLAESctr128 second(kZeroKey.data());
    first.SetIV(kIv.data());
    second.SetIV(kIv.data());
    Bytes outFirst(64), outSecond(64);
    first.Decrypt(input.data(), outFirst.data(), 30);
    second.Decrypt(input.data(), outSecond.data(), 64);
    first.Decrypt(input.data() + 30, outFirst.data() + 30, 34);
    EXPECT_EQ(outFirst, ReferenceCtr(kSpKey, WithZeroCounter(kIv), input));
    EXPECT_EQ(outSecond, ReferenceCtr(kZeroKey, WithZeroCounter(kIv), input));
}

TEST(AesCtrKeys, NullKeyActsAsZeroKey) {
    OpenSSLAESctr128 aes(nullptr);
    aes.SetIV(Bytes(8, 0).data());
    Bytes zeros(16, 0);
    aes.Decrypt(zeros.data(), zeros.data(), 16);
    EXPECT_EQ(zeros, FromHex("66e94bd4ef8a2c3b884cfa59ca342b2e"));
}
