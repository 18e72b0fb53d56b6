// Runs a fuzz target over the files of corpus directories, outside
// libFuzzer: the suite replays the committed corpora this way, under the
// sanitizers of whatever build it is part of.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int RunFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return 1;
}

int RunPath(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        std::fprintf(stderr, "replay: %s: not found\n", path.c_str());
        return -1;
    }
    if (!S_ISDIR(info.st_mode)) return RunFile(path);
    int count = 0;
    DIR* dir = opendir(path.c_str());
    if (!dir) return -1;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        int n = RunPath(path + "/" + name);
        if (n < 0) {
            closedir(dir);
            return -1;
        }
        count += n;
    }
    closedir(dir);
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    int total = 0;
    for (int i = 1; i < argc; ++i) {
        int n = RunPath(argv[i]);
        if (n < 0) return 1;
        total += n;
    }
    std::printf("replayed %d inputs\n", total);
    return total > 0 ? 0 : 1;
}
