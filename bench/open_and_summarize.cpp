// Opens a recording with the ISO reader and prints its media summary, the
// way the tool does after its frame loop: the cost of the open alone.
#include <cstdio>
#include <iostream>

#include "app/MediaSummary.h"
#include "isom/AVReader.h"
#include "tools/HelpOption.h"

const char kUsage[] =
    "usage: open_and_summarize RECORDING\n"
    "  Opens a finished recording and prints its summary, without the frame loop.\n";

int main(int argc, char** argv) {
    const bool help = helpoption::AsksForHelp(argc, argv);
    if (help || argc != 2) return helpoption::Usage(kUsage, help);
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
