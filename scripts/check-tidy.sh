#!/usr/bin/env bash
# Runs clang-tidy with the committed .clang-tidy over the product sources,
# using the compile commands of BUILD_DIR (default build/). Any finding fails;
# compiler warnings are left to the compiler (clang warns of more than g++).
#
#   scripts/check-tidy.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
[ -f "$build/compile_commands.json" ] || { echo "check-tidy: no $build/compile_commands.json" >&2; exit 1; }
find analysis app common format isom viewwhilerecording -type f -name '*.cpp' | sort |
    xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet --extra-arg=-Wno-error 2>/dev/null
echo "clang-tidy: no finding"
