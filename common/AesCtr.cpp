#include "common/AesCtr.h"

#include <cstring>
#include <new>
#include <stdexcept>

namespace ZENT::SDK::Utility {

namespace {

// EVP lengths are int; whole blocks go through in slices of this size.
constexpr uint64_t kMaxSlice = uint64_t(1) << 30;

// Adds blocks to the 128-bit big-endian counter; a carry out of byte 0 is lost.
void AddToCounter(uint8_t* counter, uint64_t blocks) {
    for (int i = 15; i >= 0 && blocks != 0; --i) {
        uint64_t sum = uint64_t(counter[i]) + (blocks & 0xFF);
        counter[i] = uint8_t(sum);
        blocks = (blocks >> 8) + (sum >> 8);
    }
}

}  // namespace

OpenSSLAESctr128::OpenSSLAESctr128(const uint8_t* key) : num(0), cipher(nullptr) {
    static const uint8_t kZeroKey[16] = {};
    const uint8_t* keyBytes = key != nullptr ? key : kZeroKey;
    std::memset(counterBlock, 0, sizeof counterBlock);
    std::memset(keystreamBlock, 0, sizeof keystreamBlock);

    // The key schedule is kept in its classic form beside the EVP context,
    // which is what actually runs (about 25 times faster with AES-NI).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    AES_set_encrypt_key(keyBytes, 128, &keySchedule);
#pragma GCC diagnostic pop

    cipher = EVP_CIPHER_CTX_new();
    if (cipher == nullptr) {
        throw std::bad_alloc();
    }
    if (EVP_EncryptInit_ex(cipher, EVP_aes_128_ctr(), nullptr, keyBytes, counterBlock) != 1) {
        EVP_CIPHER_CTX_free(cipher);
        throw std::runtime_error("AES-128-CTR initialisation failed");
    }
}

OpenSSLAESctr128::~OpenSSLAESctr128() { EVP_CIPHER_CTX_free(cipher); }

void OpenSSLAESctr128::SetIV(const uint8_t* iv8) {
    if (iv8 != nullptr) {
        std::memcpy(counterBlock, iv8, 8);
    }
    std::memset(counterBlock + 8, 0, 8);
    RestartKeyStream();
}

void OpenSSLAESctr128::SetCounterBlock(const uint8_t* block16) {
    std::memcpy(counterBlock, block16, 16);
    RestartKeyStream();
}

void OpenSSLAESctr128::RestartKeyStream() {
    num = 0;
    if (EVP_EncryptInit_ex(cipher, nullptr, nullptr, nullptr, counterBlock) != 1) {
        throw std::runtime_error("AES-128-CTR counter set-up failed");
    }
}

void OpenSSLAESctr128::EncryptWholeBlocks(const uint8_t* in, uint8_t* out, uint64_t length) {
    while (length != 0) {
        const uint64_t slice = length < kMaxSlice ? length : kMaxSlice;
        int written = 0;
        if (EVP_EncryptUpdate(cipher, out, &written, in, int(slice)) != 1 || uint64_t(written) != slice) {
            throw std::runtime_error("AES-128-CTR encryption failed");
        }
        AddToCounter(counterBlock, slice / 16);
        in += slice;
        out += slice;
        length -= slice;
    }
}

void OpenSSLAESctr128::Decrypt(const uint8_t* in, uint8_t* out, uint32_t count) {
    uint64_t done = 0;
    // The rest of a key-stream block a previous call began.
    while (num != 0 && done < count) {
        out[done] = in[done] ^ keystreamBlock[num];
        num = (num + 1) & 15;
        ++done;
    }

    const uint64_t whole = (count - done) & ~uint64_t(15);
    EncryptWholeBlocks(in + done, out + done, whole);
    done += whole;

    if (done < count) {
        // A partial block: keep its key stream for the next call. Encrypting
        // zeros yields the key-stream block and moves the EVP counter on by
        // one, as counterBlock is.
        static const uint8_t kZeros[16] = {};
        EncryptWholeBlocks(kZeros, keystreamBlock, 16);
        while (done < count) {
            out[done] = in[done] ^ keystreamBlock[num];
            ++num;
            ++done;
        }
    }
}

}  // namespace ZENT::SDK::Utility
