#!/usr/bin/env bash
# Sets up and builds, then runs the whole test suite twice: in the Release
# build, and in a second build with AddressSanitizer and
# UndefinedBehaviorSanitizer, where the committed fuzz corpora are replayed
# too (they are tests of both builds).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs="$(nproc)"
(cd build && ctest --output-on-failure -j "$jobs")

sanitize="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
# Under the sanitizers g++ 12 warns of uninitialised members inside the
# standard library's <regex>, where there are none; every other warning
# stays an error.
warnings="-Wno-maybe-uninitialized"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTAMPWALK_BUILD_BENCH=OFF -DSTAMPWALK_STYLE_CHECKS=OFF \
      -DCMAKE_CXX_FLAGS="$sanitize $warnings" -DCMAKE_C_FLAGS="$sanitize $warnings" \
      -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" > /dev/null
cmake --build build-sanitize -j "$jobs"
cd build-sanitize
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j "$jobs"
