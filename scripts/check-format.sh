#!/usr/bin/env bash
# Fails when a C or C++ file of the tree differs from what clang-format makes
# of it with the committed .clang-format; prints the files that differ.
# `scripts/check-format.sh --fix` rewrites them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(find analysis app common format isom viewwhilerecording writer tests tools bench fuzz examples \
    -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name DataReader \) 2>/dev/null | sort)
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
differ=()
for file in "${files[@]}"; do
    clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || differ+=("$file")
done
if [ ${#differ[@]} -gt 0 ]; then
    printf 'not formatted (scripts/check-format.sh --fix): %s\n' "${differ[@]}"
    exit 1
fi
echo "${#files[@]} files formatted"
