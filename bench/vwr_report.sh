#!/usr/bin/env bash
# Measures the fallback run against the ISO reader's run on the same media:
# stampwalk -p INPROGRESS -t 1 (a recording in progress, which the ISO reader
# cannot open, read by the view-while-recording reader) against
# stampwalk -p FINISHED -t 1 (the same samples and frame-information records
# as a finished recording with a companion track). Then the bytes the
# view-while-recording reader's index scan reads (vwr_scan), against the
# file's size and against the bytes of the records the scan must read.
#
#   bench/vwr_report.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR defaults to build/ beside this script's directory and must hold
# bench/make_inprogress_recording, bench/vwr_scan and app/stampwalk. RUNS
# (default 10) timed runs per command; STAMPWALK_VWR_SECONDS (default 300) the
# media length, about 1 MB a second; hyperfine times them when installed,
# else (or with STAMPWALK_BENCH_TIMER=shell) the shell's clock does. The
# recordings are made once, if missing, in $STAMPWALK_BENCH_DIR (default
# ${TMPDIR:-/tmp}/stampwalk-bench); the growing copy of the scan measurement
# lives in a scratch directory there while the script runs. Nothing is built here.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
runs="${2:-10}"
bench_dir="${STAMPWALK_BENCH_DIR:-${TMPDIR:-/tmp}/stampwalk-bench}"
maker="$build/bench/make_inprogress_recording"
scanner="$build/bench/vwr_scan"
stampwalk="$build/app/stampwalk"
seconds="${STAMPWALK_VWR_SECONDS:-300}"
in_progress="$bench_dir/vwr_inprogress_${seconds}s.mp4"
finished="$bench_dir/vwr_finished_${seconds}s.mp4"

fail() {
    echo "vwr_report: $*" >&2
    exit 1
}

[[ "$runs" =~ ^[1-9][0-9]*$ ]] || fail "RUNS must be a positive number, not '$runs'"
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || fail "STAMPWALK_VWR_SECONDS must be a positive number, not '$seconds'"
for program in "$maker" "$scanner" "$stampwalk"; do
    [[ -x "$program" ]] || fail "$program is not built (cmake --build $build --target $(basename "$program"))"
done

mkdir -p "$bench_dir"
scratch="$(mktemp -d "$bench_dir/vwr_report.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
warmups=1
# shellcheck source=timing.sh
source "$here/timing.sh"

# --- timing ---------------------------------------------------------------

below() { awk -v v="$1" -v limit="$2" 'BEGIN { print (v != "?" && v < limit) ? "met" : "MISSED" }'; }
percent() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", 100 * a / b; else printf "?" }'; }

# --- the recordings -------------------------------------------------------

# "inprogress: N samples, S s, C chunks, file B bytes, records R bytes; finished: file F bytes; ..."
stats="$("$maker" --seconds "$seconds" --stats)"
stat_of() { sed -E "s/.*$1.*/\\1/" <<<"$stats"; }
samples="$(stat_of 'inprogress: ([0-9]+) samples')"
chunks="$(stat_of ' ([0-9]+) chunks')"
record_bytes="$(stat_of 'records ([0-9]+) bytes')"

if [[ ! -s "$in_progress" || ! -s "$finished" ]]; then
    echo "making $in_progress and $finished ..."
    "$maker" --seconds "$seconds" "$in_progress" "$finished" >/dev/null
fi
in_progress_size="$(stat -c %s "$in_progress")"
finished_size="$(stat -c %s "$finished")"

echo "view-while-recording benchmark: stampwalk -p INPROGRESS -t 1 (fallback run) against"
echo "stampwalk -p FINISHED -t 1 (ISO reader) on the same media: $samples samples of 720p H.264-like video at"
echo "30 fps in $chunks one-second chunks. Warm page cache: each command runs once, untimed, then in three"
echo "rounds, taking turns, of one warm-up and $runs timed runs (timer: $timer); wall-clock times, output to"
echo "/dev/null. Ratios are of the best times."
printf '   %-11s %s, %s bytes\n' INPROGRESS "$in_progress" "$in_progress_size" FINISHED "$finished" "$finished_size"

# --- both runs, once, untimed ---------------------------------------------

# Runs a command with its output to a file; prints its exit status.
run_once() {
    local output="$1"
    shift
    local status=0
    "$@" >"$output" 2>/dev/null || status=$?
    echo "$status"
}
# Frame lines as "codec frame time CRC size": the two runs print different
# trailing fields, and the fallback run prints the time-zone word with %02u.
frames_of() { awk '/^Stream:/ { print $1, $2, $3, $6, $7 }' "$1"; }

fallback_status="$(run_once "$scratch/fallback.txt" "$stampwalk" -p "$in_progress" -t 1)"
iso_status="$(run_once "$scratch/iso.txt" "$stampwalk" -p "$finished" -t 1)"
fallback_lines="$(grep -c '^Stream:' "$scratch/fallback.txt" || true)"
iso_lines="$(grep -c '^Stream:' "$scratch/iso.txt" || true)"
fallback_end="$(grep -o 'VIEWWHILEREC_OutputRawPacket scRet: [0-9a-f]*' "$scratch/fallback.txt" || true)"

echo
echo "   fallback run: $fallback_lines frame lines (exit $fallback_status), ${fallback_end:-no OutputRawPacket status line}"
echo "   ISO run:      $iso_lines frame lines (exit $iso_status)"
if grep -q '^ViewWhileRec - ' "$scratch/iso.txt"; then
    echo "   WARNING: the finished recording went to the fallback run too; the ratio compares the reader with itself"
fi
if [[ -z "$fallback_end" ]]; then
    echo "   WARNING: the recording in progress was not read by the fallback run"
fi
if [[ "$fallback_lines" -ne "$samples" || "$iso_lines" -ne "$samples" ]]; then
    echo "   WARNING: $samples samples were written; a run that prints fewer lines is not timed on the whole work"
fi
if cmp -s <(frames_of "$scratch/fallback.txt") <(frames_of "$scratch/iso.txt"); then
    echo "   same packets: every frame line agrees in codec, frame type, record time, CRC-32 and size"
else
    echo "   WARNING: the runs' frame lines differ (first difference below); the readers did not do the same work"
    diff <(frames_of "$scratch/fallback.txt") <(frames_of "$scratch/iso.txt") | sed -n '1,3s/^/      /p' || true
fi
rm -f "$scratch/fallback.txt" "$scratch/iso.txt"

# --- timing ---------------------------------------------------------------

# The two commands take turns, three rounds of RUNS runs each, so that a
# burst of load from elsewhere on the machine falls on both: the best time
# is the best of all rounds, the median the median of the rounds' medians.
fallback_times=""
iso_times=""
for round in 1 2 3; do
    fallback_times+="$(time_runs "$stampwalk" -p "$in_progress" -t 1)"$'\n'
    iso_times+="$(time_runs "$stampwalk" -p "$finished" -t 1)"$'\n'
done
best_and_median() {
    local best median
    best="$(awk 'NF == 2 { print $1 }' <<<"$1" | sort -g | head -n 1)"
    median="$(awk 'NF == 2 { print $2 }' <<<"$1" | sort -g | awk '{ m[NR] = $1 } END { print m[int((NR + 1) / 2)] }')"
    echo "$best $median"
}
read -r fallback_best fallback_median <<<"$(best_and_median "$fallback_times")"
read -r iso_best iso_median <<<"$(best_and_median "$iso_times")"

echo
printf '   %-13s %9s %11s\n' command "best (s)" "median (s)"
printf '   %-13s %9s %11s\n' "fallback run" "$fallback_best" "$fallback_median" "ISO run" "$iso_best" "$iso_median"
to_iso="$(ratio "$fallback_best" "$iso_best")"
printf '   fallback/ISO %s (medians %s)   target <= 1.50: %s\n' "$to_iso" \
    "$(ratio "$fallback_median" "$iso_median")" "$(verdict "$to_iso" 1.5)"

# --- the index scan's bytes -----------------------------------------------

scan_report="$scratch/scan.txt"
"$scanner" "$in_progress" --grow-into "$scratch/growing.mp4" >"$scan_report" || fail "vwr_scan failed"
rm -f "$scratch/growing.mp4"
# "WHAT: B bytes in C read calls (P% of the file), T ms..."
field() { sed -nE "s/^$1: ([0-9]+) bytes in ([0-9]+) read calls \\(([0-9.]+)% of the file\\), ([0-9.]+) ms.*/\\$2/p" "$scan_report"; }
scan_bytes="$(field scan 1)"
scan_share="$(field scan 3)"
idle_bytes="$(field idle 1)"
grow_bytes="$(field grow 1)"
grow_share="$(field grow 3)"
grow_looks="$(sed -nE 's/^grow: .*, ([0-9]+) looks .*/\1/p' "$scan_report")"
grow_largest="$(sed -nE 's/^grow: .*largest look ([0-9]+) bytes.*/\1/p' "$scan_report")"
grow_indexed="$(sed -nE 's/^grow: .*, ([0-9]+) packets indexed.*/\1/p' "$scan_report")"
read_bytes="$(field read 1)"
[[ -n "$scan_bytes" && -n "$grow_bytes" && -n "$read_bytes" ]] || { cat "$scan_report" >&2; fail "cannot read vwr_scan's figures"; }

echo
echo "   index scan, bytes the reader's read calls returned (rchar of /proc/self/io, stdio read-ahead included):"
echo "   the records a scan must read (index and trailer records, configuration areas, frame-information"
echo "   records) take $record_bytes bytes, $(percent "$record_bytes" "$in_progress_size")% of the file."
printf '   whole scan (InitParser + seek past the end): %s bytes, %s%% of the file, %s x the records   target < 2%%: %s\n' \
    "$scan_bytes" "$scan_share" "$(ratio "$scan_bytes" "$record_bytes")" "$(below "$scan_share" 2)"
printf '   beyond the records: %s bytes per chunk\n' \
    "$(awk -v s="$scan_bytes" -v r="$record_bytes" -v c="$chunks" 'BEGIN { printf "%.0f", (s - r) / c }')"
printf '   rescan that finds nothing new: %s bytes\n' "$idle_bytes"
printf '   growing copy, %s looks as it grew by 1,000,000-byte pieces: %s bytes, %s%% of the file,\n' \
    "$grow_looks" "$grow_bytes" "$grow_share"
printf '   %s bytes per look, largest look %s bytes; %s packets indexed\n' \
    "$(awk -v b="$grow_bytes" -v n="$grow_looks" 'BEGIN { printf "%.0f", (n > 0 ? b / n : 0) }')" "$grow_largest" \
    "$grow_indexed"
printf '   whole fallback reader run (InitParser + OutputRawPacket to the end): %s bytes, %s x the file\n' \
    "$read_bytes" "$(ratio "$read_bytes" "$in_progress_size")"
grep 'WARNING' "$scan_report" | sed 's/^/   /' || true
