#!/usr/bin/env bash
# Measures how long opening and walking the large recording takes, and how
# much memory it needs: stampwalk against ffprobe, several runs each.
#
#   bench/open_summary.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR defaults to build/ beside this script's directory and must hold
# bench/make_large_recording (the recording is made once, if missing) and
# bench/open_and_summarize. RUNS defaults to 3. The recording is kept in
# $STAMPWALK_BENCH_DIR (default ${TMPDIR:-/tmp}/stampwalk-bench). Nothing is built here.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
runs="${2:-3}"
bench_dir="${STAMPWALK_BENCH_DIR:-${TMPDIR:-/tmp}/stampwalk-bench}"
recording="$bench_dir/large_recording.mp4"
maker="$build/bench/make_large_recording"
summarize="$build/bench/open_and_summarize"

if [[ ! -x /usr/bin/time ]]; then
    echo "open_summary: /usr/bin/time is needed (Debian package 'time')" >&2
    exit 1
fi

mkdir -p "$bench_dir"
if [[ ! -s "$recording" ]]; then
    if [[ ! -x "$maker" ]]; then
        echo "open_summary: $maker is not built (cmake --build $build --target make_large_recording)" >&2
        exit 1
    fi
    echo "making $recording ..."
    "$maker" "$recording"
fi
size_mb=$(( $(stat -c %s "$recording") / 1048576 ))
echo "recording: $recording (${size_mb} MiB)"
echo

# One measured run: prints "wall_seconds peak_rss_kib exit_code".
measure() {
    local report
    report="$(mktemp "$bench_dir/time.XXXXXX")"
    local status=0
    /usr/bin/time -v -o "$report" "$@" >/dev/null 2>&1 || status=$?
    local wall rss
    # "Elapsed (wall clock) time (h:mm:ss or m:ss): 0:01.23"
    wall="$(awk -F': ' '/Elapsed \(wall clock\)/ {
                n = split($2, p, ":"); s = 0
                for (i = 1; i <= n; i++) s = s * 60 + p[i]
                printf "%.2f", s }' "$report")"
    rss="$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$report")"
    rm -f "$report"
    echo "${wall:-?} ${rss:-?} $status"
}

printf '%-13s %4s %10s %12s %6s\n' tool run "wall (s)" "peak RSS MiB" exit
print_runs() {
    local name="$1"
    shift
    local run result wall rss status
    for ((run = 1; run <= runs; run++)); do
        result="$(measure "$@")"
        read -r wall rss status <<<"$result"
        if [[ "$rss" =~ ^[0-9]+$ ]]; then
            rss="$(awk -v k="$rss" 'BEGIN { printf "%.1f", k / 1024 }')"
        fi
        printf '%-13s %4d %10s %12s %6s\n' "$name" "$run" "$wall" "$rss" "$status"
    done
}

# The reader's open and the tool's summary, without the frame loop.
if [[ -x "$summarize" ]]; then
    print_runs open+summary "$summarize" "$recording"
else
    echo "open+summary: $summarize is not built; skipped"
fi

if command -v ffprobe >/dev/null 2>&1; then
    print_runs ffprobe ffprobe -v error -show_streams "$recording"
else
    echo "ffprobe: not installed; skipped"
fi
