// Writes the recording that makes one open hold the most index per byte of
// file: one track listing every byte as a sample, and a "saiz" table of
// SAIZ_ENTRIES one-byte sizes.
//
//   make_index_heavy FILE SAIZ_ENTRIES
#include <cstdio>
#include <cstdlib>

#include "tools/HelpOption.h"
#include "writer/CraftedInputs.h"
#include "writer/FileBytes.h"

const char kUsage[] =
    "usage: make_index_heavy FILE SAIZ_ENTRIES\n"
    "  Writes the recording whose open holds the most index per byte of file.\n";

int main(int argc, char** argv) {
    const bool help = helpoption::AsksForHelp(argc, argv);
    if (help || argc != 3) return helpoption::Usage(kUsage, help);
    writer::WriteFile(argv[1], writer::WholeFileIndexed(uint32_t(std::strtoul(argv[2], nullptr, 10))));
    return 0;
}
