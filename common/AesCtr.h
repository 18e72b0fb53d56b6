// AES-128 in counter mode for protected samples. Every protected sample
// restarts the key stream with SetIV; the protected ranges of one sample are
// then decrypted by successive Decrypt calls as one continuous key stream.
#ifndef STAMPWALK_COMMON_AESCTR_H
#define STAMPWALK_COMMON_AESCTR_H

#include <openssl/aes.h>
#include <openssl/evp.h>

#include <cstdint>

namespace ZENT::SDK::Utility {

class OpenSSLAESctr128 {
public:
    // key points at 16 key bytes. A null key stands for 16 zero bytes, so that
    // the object is always usable; the readers never pass one.
    explicit OpenSSLAESctr128(const uint8_t* key);
    ~OpenSSLAESctr128();

    OpenSSLAESctr128(const OpenSSLAESctr128&) = delete;
    OpenSSLAESctr128& operator=(const OpenSSLAESctr128&) = delete;

    // Counter block = the 8 bytes at iv8 followed by 8 zero bytes, and the
    // next byte takes a fresh key-stream block. A null iv8 keeps the previous
    // 8 bytes and restarts the block counter only.
    void SetIV(const uint8_t* iv8);

    // Starts the key stream at an arbitrary 16-byte counter value. Streams
    // whose initial counter is not "IV || 0" (and the tests of the carry
    // between the two halves) need it.
    void SetCounterBlock(const uint8_t* block16);

    // XORs count bytes with the key stream, continuing where the previous call
    // stopped. in and out may be the same buffer (not partially overlapping).
    // The 16-byte counter is one big-endian number: the carry out of the block
    // counter runs into the IV bytes, a carry out of byte 0 is lost.
    void Decrypt(const uint8_t* in, uint8_t* out, uint32_t count);

    // The counter value the next fresh key-stream block will use, and how many
    // bytes of the current key-stream block are used (0 to 15).
    const uint8_t* CounterBlock() const { return counterBlock; }
    uint32_t KeystreamPosition() const { return num; }

private:
    void RestartKeyStream();
    void EncryptWholeBlocks(const uint8_t* in, uint8_t* out, uint64_t length);

    AES_KEY keySchedule;
    uint8_t counterBlock[16];
    uint32_t num;
    uint8_t keystreamBlock[16];
    // Runs the whole blocks. Its own counter always equals counterBlock and it
    // never holds a partial block: the tail of a call is taken from
    // keystreamBlock, which this context fills one block at a time.
    EVP_CIPHER_CTX* cipher;
};

}  // namespace ZENT::SDK::Utility

#endif
