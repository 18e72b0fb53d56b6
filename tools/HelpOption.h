// What the helper programs of tools/, bench/ and tests/limits/ do with their
// usage text: print it on standard output with exit code 0 when asked with
// --help or -h, on standard error with exit code 2 after a wrong command line.
#ifndef STAMPWALK_TOOLS_HELPOPTION_H
#define STAMPWALK_TOOLS_HELPOPTION_H

#include <cstdio>
#include <cstring>

namespace helpoption {

// True when an argument is --help or -h. A program that runs another passes
// an argc that ends before the other program's arguments.
inline bool AsksForHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
    return false;
}

// Prints the usage text and returns the exit code.
inline int Usage(const char* text, bool asked) {
    std::fputs(text, asked ? stdout : stderr);
    return asked ? 0 : 2;
}

}  // namespace helpoption

#endif
