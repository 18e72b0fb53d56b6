// Writes the recording that makes one open hold the most index per byte of
// file: one track listing every byte as a sample, and a "saiz" table of
// SAIZ_ENTRIES one-byte sizes.
//
//   make_index_heavy FILE SAIZ_ENTRIES
#include <cstdio>
#include <cstdlib>

#include "writer/CraftedInputs.h"
#include "writer/FileBytes.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_index_heavy FILE SAIZ_ENTRIES\n");
        return 2;
    }
    testsupport::WriteFile(argv[1], testsupport::WholeFileIndexed(uint32_t(std::strtoul(argv[2], nullptr, 10))));
    return 0;
}
