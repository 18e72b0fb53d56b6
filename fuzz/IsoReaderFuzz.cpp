// The ISO reader on arbitrary bytes: open, every packet forward, then
// backward, with a key and an integrity text on half the inputs.
#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "isom/AVReader.h"

namespace {

// Enough reads for any file a fuzzer makes; the reader must end far sooner.
constexpr int kReadLimit = 1 << 20;

void Drain(AVReader& reader, bool forward) {
    for (int k = 0; k < kReadLimit; ++k) {
        TMediaPacket* packet = nullptr;
        int32_t status = forward ? reader.ReadPacket(&packet) : reader.ReadPacketBackward(&packet);
        if (status == kEndOfStream) return;
        if (packet && status != -1) {
            TouchPacket(*packet);
        }
    }
    __builtin_trap();  // the reader did not come to an end
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzFile file(data, size);
    if (!file.ok()) return 0;
    const bool extras = size % 2 == 1;
    AVReader* reader = nullptr;
    if (AVReaderOpen(&reader, file.path(), size % 3 == 0 ? 1 : 0) != 0) return 0;
    const uint32_t tracks = reader->GetTrackCount();
    for (uint32_t i = 0; i < tracks; ++i) {
        const uint8_t* bytes = nullptr;
        uint32_t length = 0;
        reader->GetTrackDecoderConfig(i, &bytes, &length);
        for (uint32_t k = 0; k < length; ++k) (void)*(volatile const uint8_t*)(bytes + k);
        reader->GetTrackDuration(i);
        reader->GetTrackFourCC(i);
    }
    reader->GetDuration();
    reader->GetMediaType();
    if (extras) {
        static const uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        for (uint32_t i = 0; i < tracks; ++i) reader->SetTrackKey(i, key, 16);
        reader->SetIntegrityKey("fuzz");
    }
    reader->SeekTime(0, 0);
    Drain(*reader, true);
    if (size % 5 == 0) reader->SetStepMode(4 + int32_t(size % 3));
    reader->SeekTimeExact(0xFFFFFFFF, 999);
    Drain(*reader, false);
    reader->SeekPercent(50);
    Drain(*reader, true);
    reader->Release();
    return 0;
}
