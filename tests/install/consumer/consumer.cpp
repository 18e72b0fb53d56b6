// A program outside the stampwalk tree that links both installed readers:
// counts the packets that one of them hands out for a recording.
//
//   consumer isom FILE                 "isom: N packets" or "isom: open failed S"
//   consumer viewwhilerecording FILE   "viewwhilerecording: N packets, then S" or
//                                      "viewwhilerecording: open failed S"
// (S in hexadecimal).
#include <cstdio>
#include <cstring>

#include <AVReader.h>
#include <ViewWhileRec.h>

namespace {

int CountWithIsom(const char* path) {
    AVReader* reader = nullptr;
    const int32_t status = AVReaderOpen(&reader, path, kOpenPairCompanionTracks);
    if (status != kReaderOk) {
        std::printf("isom: open failed %x\n", unsigned(status));
        return 0;
    }
    unsigned count = 0;
    TMediaPacket* packet = nullptr;
    while (reader->ReadPacket(&packet) == kReaderOk) ++count;
    reader->Release();
    std::printf("isom: %u packets\n", count);
    return 0;
}

int CountWithViewWhileRec(const char* path) {
    VIEWWHILEREC_HANDLE parser = nullptr;
    int32_t status = VIEWWHILEREC_InitParser(&parser, path);
    if (status != kOk) {
        std::printf("viewwhilerecording: open failed %x\n", unsigned(status));
        return 0;
    }
    unsigned count = 0;
    TMediaPacket* packet = nullptr;
    while ((status = VIEWWHILEREC_OutputRawPacket(parser, &packet)) == kOk) ++count;
    VIEWWHILEREC_ReleaseParser(&parser);
    std::printf("viewwhilerecording: %u packets, then %x\n", count, unsigned(status));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "isom") == 0) return CountWithIsom(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "viewwhilerecording") == 0) return CountWithViewWhileRec(argv[2]);
    std::fprintf(stderr, "usage: consumer isom|viewwhilerecording FILE\n");
    return 2;
}
