#!/usr/bin/env bash
# Measures the frame report, stampwalk -p FILE -t 1, on two recordings (few
# large samples, many small ones) against ffprobe listing every packet with
# its CRC-32, and against the floor: one read of the file with a CRC-32 over
# every byte (read_and_crc). Also stampwalk's peak memory against its limit,
# 64 MiB + 2 x the largest sample.
#
#   bench/frame_report.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR defaults to build/ beside this script's directory and must hold
# bench/make_report_recording, bench/read_and_crc and app/stampwalk. RUNS
# (default 5) timed runs per command; hyperfine times them when installed,
# else (or with STAMPWALK_BENCH_TIMER=shell) the shell's clock does. The recordings are made once, if missing, in
# $STAMPWALK_BENCH_DIR (default ${TMPDIR:-/tmp}/stampwalk-bench). Nothing is built here.
# With STAMPWALK_BENCH_BASELINE=PROGRAM, another build of stampwalk (say, of
# the commit before a change) is timed in the same run, side by side.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
runs="${2:-5}"
bench_dir="${STAMPWALK_BENCH_DIR:-${TMPDIR:-/tmp}/stampwalk-bench}"
maker="$build/bench/make_report_recording"
floor="$build/bench/read_and_crc"
stampwalk="$build/app/stampwalk"
baseline="${STAMPWALK_BENCH_BASELINE:-}"

fail() {
    echo "frame_report: $*" >&2
    exit 1
}

[[ "$runs" =~ ^[1-9][0-9]*$ ]] || fail "RUNS must be a positive number, not '$runs'"
[[ -x /usr/bin/time ]] || fail "/usr/bin/time is needed (Debian package 'time')"
command -v ffprobe >/dev/null 2>&1 || fail "ffprobe is needed (Debian package 'ffmpeg')"
for program in "$maker" "$floor" "$stampwalk" $baseline; do
    [[ -x "$program" ]] || fail "$program is not built (cmake --build $build --target $(basename "$program"))"
done

mkdir -p "$bench_dir"
scratch="$(mktemp -d "$bench_dir/frame_report.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
warmups=0
# shellcheck source=timing.sh
source "$here/timing.sh"

# --- timing ---------------------------------------------------------------

# The untimed run before the timed ones, which also fills the page cache:
# prints "lines_matching exit_status peak_rss_kib" for the command's stdout.
check_run() {
    local pattern="$1"
    shift
    local report="$scratch/time.txt" output="$scratch/output.txt" status=0
    /usr/bin/time -v -o "$report" "$@" >"$output" 2>/dev/null || status=$?
    local lines rss
    lines="$(grep -c -- "$pattern" "$output" || true)"
    rss="$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$report")"
    rm -f "$output"
    echo "$lines $status ${rss:-0}"
}

mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

# --- the recordings -------------------------------------------------------

# "NAME: N samples (V video, A audio), S s, file B bytes, largest sample L bytes"
stats_field() {
    local line="$1" field="$2"
    case "$field" in
    samples) sed -E 's/^[^:]*: ([0-9]+) samples.*/\1/' <<<"$line" ;;
    largest) sed -E 's/.*largest sample ([0-9]+) bytes.*/\1/' <<<"$line" ;;
    esac
}

report_file() {
    local shape="$1"
    local recording="$bench_dir/report_$shape.mp4"
    if [[ ! -s "$recording" ]]; then
        echo "making $recording ..."
        "$maker" "--$shape" "$recording" >/dev/null
    fi
    local stats samples largest size_mib
    stats="$("$maker" "--$shape" --stats)"
    samples="$(stats_field "$stats" samples)"
    largest="$(stats_field "$stats" largest)"
    size_mib="$(awk -v b="$(stat -c %s "$recording")" 'BEGIN { printf "%.1f", b / 1048576 }')"

    echo
    echo "== $recording: $size_mib MiB, $samples samples, largest sample $largest bytes"

    local sw_lines sw_status sw_rss ff_lines ff_status ff_rss fl_lines fl_status fl_rss
    read -r sw_lines sw_status sw_rss <<<"$(check_run '^Stream:' "$stampwalk" -p "$recording" -t 1)"
    read -r ff_lines ff_status ff_rss <<<"$(check_run '^packet' ffprobe -v error -show_packets -show_data_hash CRC32 -of compact "$recording")"
    read -r fl_lines fl_status fl_rss <<<"$(check_run '^CRC32:' "$floor" "$recording")"
    echo "   stampwalk: $sw_lines frame lines (exit $sw_status); ffprobe: $ff_lines packets (exit $ff_status," \
        "peak RSS $(mib "$ff_rss") MiB); floor: $fl_lines CRC line (exit $fl_status, peak RSS $(mib "$fl_rss") MiB)"
    if [[ "$sw_lines" -ne "$samples" ]]; then
        echo "   WARNING: stampwalk printed $sw_lines frame lines for $samples samples; its times do not measure a full report"
    fi

    local sw_best sw_median ff_best ff_median fl_best fl_median
    read -r sw_best sw_median <<<"$(time_runs "$stampwalk" -p "$recording" -t 1)"
    read -r ff_best ff_median <<<"$(time_runs ffprobe -v error -show_packets -show_data_hash CRC32 -of compact "$recording")"
    read -r fl_best fl_median <<<"$(time_runs "$floor" "$recording")"
    local bl_best="" bl_median=""
    if [[ -n "$baseline" ]]; then
        cmp -s <("$stampwalk" -p "$recording" -t 1 | grep '^Stream:') <("$baseline" -p "$recording" -t 1 | grep '^Stream:') ||
            echo "   WARNING: the baseline's frame lines differ from stampwalk's"
        read -r bl_best bl_median <<<"$(time_runs "$baseline" -p "$recording" -t 1)"
    fi

    printf '   %-10s %9s %11s\n' command "best (s)" "median (s)"
    printf '   %-10s %9s %11s\n' stampwalk "$sw_best" "$sw_median" ffprobe "$ff_best" "$ff_median" \
        floor "$fl_best" "$fl_median"
    if [[ -n "$baseline" ]]; then
        printf '   %-10s %9s %11s\n' baseline "$bl_best" "$bl_median"
        printf '   stampwalk/baseline %s (medians %s)\n' "$(ratio "$sw_best" "$bl_best")" "$(ratio "$sw_median" "$bl_median")"
    fi

    local to_ffprobe to_floor floor_note=""
    to_ffprobe="$(ratio "$sw_best" "$ff_best")"
    to_floor="$(ratio "$sw_best" "$fl_best")"
    [[ "$shape" == large ]] && floor_note="   target <= 2.00: $(verdict "$to_floor" 2)"
    printf '   stampwalk/ffprobe %s (medians %s)   target <= 0.50: %s\n' "$to_ffprobe" \
        "$(ratio "$sw_median" "$ff_median")" "$(verdict "$to_ffprobe" 0.5)"
    printf '   stampwalk/floor   %s (medians %s)%s\n' "$to_floor" "$(ratio "$sw_median" "$fl_median")" "$floor_note"

    local limit_kib rss_mib limit_mib
    limit_kib=$((64 * 1024 + (2 * largest + 1023) / 1024))
    rss_mib="$(mib "$sw_rss")"
    limit_mib="$(mib "$limit_kib")"
    printf '   stampwalk peak RSS %s MiB, limit 64 MiB + 2 x %s bytes = %s MiB: %s\n' "$rss_mib" "$largest" \
        "$limit_mib" "$(verdict "$sw_rss" "$limit_kib")"
}

echo "frame report benchmark: stampwalk -p FILE -t 1 against ffprobe -show_packets -show_data_hash CRC32"
echo "and the floor read_and_crc FILE (one pass of 1 MiB reads, CRC-32 of every byte)."
echo "Warm page cache: each command runs once, untimed, before its $runs timed runs (timer: $timer);"
echo "wall-clock times, output to /dev/null. Ratios are of the best times. Peak RSS is that of the untimed run."
report_file large
report_file small
