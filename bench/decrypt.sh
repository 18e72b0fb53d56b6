#!/usr/bin/env bash
# Measures the ISO reader's decryption: opening a protected recording of
# about 300 MB (H.264-like video by sub-samples, AAC-like audio whole,
# AES-128 in counter mode), setting the key and reading every packet, in MB
# of sample data per second (target: at least 2 GB/s). decrypt_throughput
# first checks a few decrypted payloads against the clear bytes it made, and
# prints beside the timing the same reading without a key and libcrypto's
# AES-128-CTR alone.
#
#   bench/decrypt.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR defaults to build/ beside this script's directory and must hold
# bench/decrypt_throughput. RUNS (default 5) timed runs of each reading, after
# the untimed check that also fills the page cache. The recording is made
# once, if missing, in $STAMPWALK_BENCH_DIR (default
# ${TMPDIR:-/tmp}/stampwalk-bench). Nothing is built here.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
runs="${2:-5}"
bench_dir="${STAMPWALK_BENCH_DIR:-${TMPDIR:-/tmp}/stampwalk-bench}"
program="$build/bench/decrypt_throughput"

fail() {
    echo "decrypt: $*" >&2
    exit 1
}

[[ "$runs" =~ ^[1-9][0-9]*$ ]] || fail "RUNS must be a positive number, not '$runs'"
[[ -x "$program" ]] || fail "$program is not built (cmake --build $build --target decrypt_throughput)"

mkdir -p "$bench_dir"
recording="$bench_dir/decrypt_300mb.mp4"
if [[ ! -s "$recording" ]]; then
    echo "making $recording ..."
    "$program" make "$recording" --megabytes 300
fi
size_mib="$(awk -v b="$(stat -c %s "$recording")" 'BEGIN { printf "%.1f", b / 1048576 }')"
echo "decryption benchmark: $recording, $size_mib MiB; wall-clock times of open, keys and every ReadPacket"
"$program" read "$recording" --runs "$runs"
