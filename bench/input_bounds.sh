#!/usr/bin/env bash
# What hostile and pre-allocated inputs cost the tool: wall time and peak
# memory of stampwalk on
#   - 5 GB files of zeros, as cameras pre-allocate them on cards: sparse
#     (holes), allocated but unwritten (fallocate), and 1 GB written;
#   - the crafted inputs of the limit run (each under 2 MB);
#   - the recording that makes an open hold the most index per byte of file,
#     at 1 MiB and 16 MiB, with the peak memory per byte of file;
# with ffprobe beside it on the zero files.
#
#   bench/input_bounds.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build/ and must hold app/stampwalk,
# tests/limits/make_crafted_inputs, tests/limits/run_limited and
# bench/make_index_heavy. Files go to $STAMPWALK_BENCH_DIR (default
# ${TMPDIR:-/tmp}/stampwalk-bench)/bounds and are removed at the end.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
bench_dir="${STAMPWALK_BENCH_DIR:-${TMPDIR:-/tmp}/stampwalk-bench}/bounds"
stampwalk="$build/app/stampwalk"
run_limited="$build/tests/limits/run_limited"
for tool in "$stampwalk" "$run_limited" "$build/tests/limits/make_crafted_inputs" "$build/bench/make_index_heavy"; do
    [[ -x "$tool" ]] || { echo "input_bounds: $tool is not built" >&2; exit 1; }
done
mkdir -p "$bench_dir"
trap 'rm -rf "$bench_dir"' EXIT

# "seconds peak_MiB exit_code" of one run, limited to 10 minutes and 8 GiB.
measure() { "$run_limited" 600 8192 "$@" || true; }

row() {  # name, size in bytes, the measured figures
    local name="$1" size="$2" seconds rss status
    read -r seconds rss status <<<"$3"
    printf '%-44s %12s %9s %10s %5s\n' "$name" "$size" "$seconds" "$rss" "$status"
}

printf '%-44s %12s %9s %10s %5s\n' input bytes "wall (s)" "peak MiB" exit

sync
zeros="$bench_dir/zeros.bin"
truncate -s 5G "$zeros"
row "stampwalk, 5 GB sparse zeros (cold)" "$(stat -c %s "$zeros")" "$(measure "$stampwalk" -p "$zeros" -t 1)"
if command -v ffprobe >/dev/null 2>&1; then
    row "ffprobe, 5 GB sparse zeros" "$(stat -c %s "$zeros")" "$(measure "$(command -v ffprobe)" -v error "$zeros")"
fi
rm -f "$zeros"
if fallocate -l 5G "$zeros" 2>/dev/null; then
    row "stampwalk, 5 GB fallocated zeros (cold)" "$(stat -c %s "$zeros")" "$(measure "$stampwalk" -p "$zeros" -t 1)"
    row "stampwalk, 5 GB fallocated zeros (warm)" "$(stat -c %s "$zeros")" "$(measure "$stampwalk" -p "$zeros" -t 1)"
    if command -v ffprobe >/dev/null 2>&1; then
        row "ffprobe, 5 GB fallocated zeros" "$(stat -c %s "$zeros")" "$(measure "$(command -v ffprobe)" -v error "$zeros")"
    fi
    rm -f "$zeros"
fi
dd if=/dev/zero of="$zeros" bs=1M count=1024 status=none
row "stampwalk, 1 GB written zeros" "$(stat -c %s "$zeros")" "$(measure "$stampwalk" -p "$zeros" -t 1)"
rm -f "$zeros"

mkdir -p "$bench_dir/crafted"
"$build/tests/limits/make_crafted_inputs" "$bench_dir/crafted"
for file in "$bench_dir/crafted"/*; do
    row "stampwalk, $(basename "$file")" "$(stat -c %s "$file")" "$(measure "$stampwalk" -p "$file" -t 1)"
done

for entries in 1000000 16000000; do
    file="$bench_dir/index-heavy.mp4"
    "$build/bench/make_index_heavy" "$file" "$entries"
    size="$(stat -c %s "$file")"
    figures="$(measure "$stampwalk" -p "$file" -t 1)"
    row "stampwalk, index-heavy" "$size" "$figures"
    read -r _ rss _ <<<"$figures"
    awk -v m="$rss" -v s="$size" 'BEGIN { printf "    peak memory per byte of file: %.1f\n", m * 1048576 / s }'
done
