// Opens a recording with the ISO reader and prints its media summary, the
// way the tool does after its frame loop: the cost of the open alone.
#include <cstdio>
#include <iostream>

#include "isom/AVReader.h"
#include "app/MediaSummary.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: open_and_summarize RECORDING\n");
        return 2;
    }
    AVReader* reader = nullptr;
    int32_t status = AVReaderOpen(&reader, argv[1], 0);
    if (status != 0) {
        std::printf("open failed: %x\n", unsigned(status));
        return 1;
    }
    PrintMediaSummary(*reader, std::cout);
    reader->Release();
    return 0;
}
