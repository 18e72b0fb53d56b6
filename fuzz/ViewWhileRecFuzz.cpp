// The view-while-recording reader on arbitrary bytes: open, every packet
// forward until no new data, then a seek and backward reading, in play modes
// on some inputs.
#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "viewwhilerecording/ViewWhileRec.h"

namespace {

constexpr int kReadLimit = 1 << 20;

void Drain(VIEWWHILEREC_HANDLE parser) {
    for (int k = 0; k < kReadLimit; ++k) {
        TMediaPacket* packet = nullptr;
        int32_t status = VIEWWHILEREC_OutputRawPacket(parser, &packet);
        if (status == kNoNewData || status == kReachedSkipBox || status == kAtBeginning) return;
        if (status == kOk && packet) {
            TouchPacket(*packet);
        }
    }
    __builtin_trap();  // the reader did not come to an end
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzFile file(data, size);
    if (!file.ok()) return 0;
    VIEWWHILEREC_HANDLE parser = nullptr;
    if (VIEWWHILEREC_InitParser(&parser, file.path()) != kOk) return 0;
    if (size % 2 == 1) {
        static const uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        VIEWWHILEREC_SetKey(parser, key, 16);
    }
    if (size % 3 == 0) VIEWWHILEREC_SetPlayMode(parser, 16u << (size % 3));
    if (size % 7 == 0) VIEWWHILEREC_SetKeyFramesOnly(parser, 1);
    Drain(parser);
    const uint8_t* video = nullptr;
    const uint8_t* audio = nullptr;
    uint32_t videoLength = 0, videoTag = 0, audioLength = 0, audioTag = 0;
    uint16_t width = 0, height = 0;
    VIEWWHILEREC_GetMediaInfo(parser, &video, &videoLength, &videoTag, &width, &height, &audio, &audioLength,
                              &audioTag);
    for (uint32_t i = 0; video && i < videoLength; ++i) (void)*(volatile const uint8_t*)(video + i);
    for (uint32_t i = 0; audio && i < audioLength; ++i) (void)*(volatile const uint8_t*)(audio + i);
    VIEWWHILEREC_SetBackward(parser, 1);
    VIEWWHILEREC_Seek(parser, 0xFFFFFFFFFFFull);
    Drain(parser);
    VIEWWHILEREC_SetBackward(parser, 0);
    VIEWWHILEREC_Seek(parser, 0);
    Drain(parser);
    VIEWWHILEREC_ReleaseParser(&parser);
    return 0;
}
