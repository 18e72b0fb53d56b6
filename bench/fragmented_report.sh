#!/usr/bin/env bash
# Measures the ISO reader on a fragmented recording of about 300 MB: the
# frame report (stampwalk -p FILE -t 1) against ffprobe listing every packet
# with its CRC-32, and the open with the summary alone (open_and_summarize,
# no frame loop) against the 0.1 s it may take.
#
#   bench/fragmented_report.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR defaults to build/ beside this script's directory and must hold
# bench/make_report_recording, bench/open_and_summarize and app/stampwalk.
# RUNS (default 5) timed runs per command. The recording is made once, if
# missing, in $STAMPWALK_BENCH_DIR (default ${TMPDIR:-/tmp}/stampwalk-bench):
# make_report_recording --large writes a plain recording of about 300 MB,
# and ffmpeg remuxes it without re-encoding into a fragment per key frame
# (-movflags frag_keyframe+empty_moov; ffmpeg probes a few of the synthetic
# frames and complains of them on the way, which is harmless). Nothing is
# built here.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
runs="${2:-5}"
warmups=1
bench_dir="${STAMPWALK_BENCH_DIR:-${TMPDIR:-/tmp}/stampwalk-bench}"
maker="$build/bench/make_report_recording"
summarize="$build/bench/open_and_summarize"
stampwalk="$build/app/stampwalk"

fail() {
    echo "fragmented_report: $*" >&2
    exit 1
}

[[ "$runs" =~ ^[1-9][0-9]*$ ]] || fail "RUNS must be a positive number, not '$runs'"
command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1 ||
    fail "ffmpeg and ffprobe are needed (Debian package 'ffmpeg')"
for program in "$maker" "$summarize" "$stampwalk"; do
    [[ -x "$program" ]] || fail "$program is not built (cmake --build $build --target $(basename "$program"))"
done

mkdir -p "$bench_dir"
scratch="$(mktemp -d "$bench_dir/fragmented_report.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
# shellcheck source=bench/timing.sh
source "$here/timing.sh"

plain="$bench_dir/report_large.mp4"
recording="$bench_dir/report_large_fragmented.mp4"
if [[ ! -s "$plain" ]]; then
    echo "making $plain ..." >&2
    "$maker" --large "$plain" >/dev/null
fi
if [[ ! -s "$recording" ]]; then
    echo "remuxing it into $recording ..." >&2
    ffmpeg -hide_banner -loglevel quiet -y -i "$plain" -map 0 -c copy -movflags frag_keyframe+empty_moov \
        "$recording" </dev/null 2>/dev/null
fi

fragments="$(grep -c moof <(grep -ao moof "$recording") || true)"
echo "fragmented recording: $recording, $(awk -v b="$(stat -L -c %s "$recording")" 'BEGIN { printf "%.1f", b / 1048576 }') MiB, $fragments moof boxes"
echo "Warm page cache: each command runs $warmups time untimed before its $runs timed runs (timer: $timer); output to /dev/null."

frames="$("$stampwalk" -p "$recording" -t 1 | grep -c '^Stream:' || true)"
packets="$(ffprobe -v error -show_packets -show_data_hash CRC32 -of compact "$recording" | grep -c '^packet' || true)"
echo "   stampwalk lists $frames frames, ffprobe $packets packets"
[[ "$frames" -eq "$packets" ]] || echo "   WARNING: the two list different numbers of frames"

read -r sw_best sw_median <<<"$(time_runs "$stampwalk" -p "$recording" -t 1)"
read -r ff_best ff_median <<<"$(time_runs ffprobe -v error -show_packets -show_data_hash CRC32 -of compact "$recording")"
read -r open_best open_median <<<"$(time_runs "$summarize" "$recording")"

printf '   %-28s %9s %11s\n' command "best (s)" "median (s)"
printf '   %-28s %9s %11s\n' "stampwalk -t 1" "$sw_best" "$sw_median" \
    "ffprobe -show_data_hash CRC32" "$ff_best" "$ff_median" \
    "open_and_summarize" "$open_best" "$open_median"
to_ffprobe="$(ratio "$sw_best" "$ff_best")"
printf '   frame report/ffprobe %s (medians %s)   target <= 0.25: %s\n' "$to_ffprobe" \
    "$(ratio "$sw_median" "$ff_median")" "$(verdict "$to_ffprobe" 0.25)"
printf '   open + summary %s s   target < 0.1 s: %s\n' "$open_best" "$(verdict "$open_best" 0.0999)"
