// The floor of the frame-report benchmark: the least any tool can do that
// reports a CRC of every byte, one pass of large reads with a CRC-32 over
// each, and nothing else.
//
//   read_and_crc FILE     prints "CRC32:XXXXXXXX Size:N"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/Crc32.h"
#include "tools/HelpOption.h"

const char kUsage[] =
    "usage: read_and_crc FILE\n"
    "  Reads FILE once and prints the CRC-32 of its bytes.\n";

int main(int argc, char** argv) {
    const bool help = helpoption::AsksForHelp(argc, argv);
    if (help || argc != 2) return helpoption::Usage(kUsage, help);
    int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "read_and_crc: %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    // 1 MiB: few system calls, and each block is still in the cache when the CRC reads it.
    std::vector<uint8_t> buffer(1 << 20);
    uint32_t crc = 0;
    uint64_t total = 0;
    for (;;) {
        ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "read_and_crc: %s: %s\n", argv[1], std::strerror(errno));
            ::close(fd);
            return 1;
        }
        if (got == 0) break;
        crc = ZENT::SDK::Utility::Crc32Update(crc, buffer.data(), size_t(got));
        total += uint64_t(got);
    }
    ::close(fd);
    std::printf("CRC32:%08X Size:%llu\n", crc, static_cast<unsigned long long>(total));
    return 0;
}
