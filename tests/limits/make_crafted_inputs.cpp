// Writes the crafted inputs of the limit run into a directory: small files
// that once made the readers stall or balloon, each under 1 MiB.
//
//   make_crafted_inputs DIRECTORY
#include <cstdio>
#include <string>

#include "tools/HelpOption.h"
#include "writer/CraftedInputs.h"
#include "writer/FileBytes.h"

using namespace writer;

const char kUsage[] =
    "usage: make_crafted_inputs DIRECTORY\n"
    "  Writes the crafted inputs of the limit run into DIRECTORY.\n";

int main(int argc, char** argv) {
    const bool help = helpoption::AsksForHelp(argc, argv);
    if (help || argc != 2) return helpoption::Usage(kUsage, help);
    const std::string directory = argv[1];
    const auto write = [&](const char* name, const Bytes& bytes) { WriteFile(directory + "/" + name, bytes); };
    // Sixteen tracks that each list every byte of the file: 512 bytes of
    // index per byte of file.
    write("shared-media-data-16-tracks.mp4", SharedMediaData(16, 1000000));
    // One compressed sample of 64 MiB, pointed at 1024 times (74 KB), and
    // 120,000 times (1 MiB).
    write("repeated-compressed-sample-1024.mp4", RepeatedCompressedSample(1024, 64u << 20));
    write("repeated-compressed-sample-120000.mp4", RepeatedCompressedSample(120000, 64u << 20));
    // One video sample of 480 KB pointed at 64,000 times.
    write("repeated-video-sample.mp4", RepeatedVideoSample(64000, 480000));
    // A recording in progress whose 32,000 chunks each carry a new codec tag.
    write("chunk-per-tag.mp4", ChunkPerTagRecording(32000));
    return 0;
}
