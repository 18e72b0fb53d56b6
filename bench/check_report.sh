#!/usr/bin/env bash
# Measures what the checker's outputs cost on the recording of many small
# samples (make_report_recording --small, about 139,000 frames):
#   1. the JSON Lines report, stampwalk -p FILE -t 1 --format json, against
#      ffprobe listing every packet with its CRC-32 as JSON;
#   2. the text report with its check section (--check) against the text
#      report alone;
#   3. the peak memory --check adds, per frame, on that recording and on the
#      same shape cut to a quarter of its frames: the slope between the two
#      sizes is what the checker keeps for each frame, apart from what the
#      run holds whatever the length.
#
#   bench/check_report.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR defaults to build/ beside this script's directory and must hold
# bench/make_report_recording and app/stampwalk. RUNS (default 5) timed runs
# per command, and as many runs under /usr/bin/time for the peak memory (the
# median is kept); hyperfine times them when installed, else (or with
# STAMPWALK_BENCH_TIMER=shell) the shell's clock does. The recordings are made
# once, if missing, in $STAMPWALK_BENCH_DIR (default
# ${TMPDIR:-/tmp}/stampwalk-bench), the full one shared with frame_report.sh.
# Nothing is built here.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
runs="${2:-5}"
bench_dir="${STAMPWALK_BENCH_DIR:-${TMPDIR:-/tmp}/stampwalk-bench}"
maker="$build/bench/make_report_recording"
stampwalk="$build/app/stampwalk"

# The targets: JSON report against ffprobe's JSON (ratio of the best times),
# what --check adds to the text report's time (percent), and what it adds to
# the peak memory for each further frame (bytes).
json_target=0.25
check_time_target=10
check_bytes_target=8
compare_target=2
report_target=1
page_kib_target=3072
browser_target=2

fail() {
    echo "check_report: $*" >&2
    exit 1
}

[[ "$runs" =~ ^[1-9][0-9]*$ ]] || fail "RUNS must be a positive number, not '$runs'"
[[ -x /usr/bin/time ]] || fail "/usr/bin/time is needed (Debian package 'time')"
command -v ffprobe >/dev/null 2>&1 || fail "ffprobe is needed (Debian package 'ffmpeg')"
for program in "$maker" "$stampwalk"; do
    [[ -x "$program" ]] || fail "$program is not built (cmake --build $build --target $(basename "$program"))"
done

mkdir -p "$bench_dir"
scratch="$(mktemp -d "$bench_dir/check_report.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
warmups=0
# shellcheck source=timing.sh
source "$here/timing.sh"

# --- runs -----------------------------------------------------------------

output="$scratch/output.txt"

# The untimed run before the timed ones, which also fills the page cache: keeps
# the command's stdout in $output and prints its exit status.
first_run() {
    local status=0
    "$@" >"$output" 2>/dev/null || status=$?
    echo "$status"
}

# Lines of $output that match a pattern.
lines() { grep -c -- "$1" "$output" || true; }

# The median peak RSS (KiB) of RUNS runs of a command, output discarded.
median_rss() {
    local run report="$scratch/time.txt"
    for ((run = 1; run <= runs; run++)); do
        /usr/bin/time -f '%M' -o "$report" "$@" >/dev/null 2>&1 || true
        tail -n 1 "$report"
    done | sort -n | awk '{ k[NR] = $1 }
        END { if (NR % 2) print k[(NR + 1) / 2]; else printf "%d\n", (k[NR / 2] + k[NR / 2 + 1]) / 2 }'
}

mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
share() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%+.1f", 100 * (a - b) / b; else printf "?" }'; }
per_frame() { awk -v kib="$1" -v frames="$2" 'BEGIN { if (frames > 0) printf "%.2f", kib * 1024 / frames; else printf "?" }'; }

# Warns when a run's output does not hold what a full report of FRAMES frames does.
expect_lines() {
    local what="$1" status="$2" found="$3" wanted="$4"
    if [[ "$status" -ne 0 || "$found" -ne "$wanted" ]]; then
        echo "   WARNING: $what exited $status with $found of $wanted expected lines; its figures do not measure a full run"
    fi
}

# --- the recordings -------------------------------------------------------

# "small: N samples (V video, A audio), S s, file B bytes, largest sample L bytes"
samples_of() { sed -E 's/^[^:]*: ([0-9]+) samples.*/\1/' <<<"$1"; }
video_of() { sed -E 's/^[^(]*\(([0-9]+) video.*/\1/' <<<"$1"; }

# Makes the --small recording, cut to FRAMES video frames unless FRAMES is
# empty, if it is missing; prints "path samples".
recording() {
    local frames="$1" path="$bench_dir/report_small.mp4" cut=()
    if [[ -n "$frames" ]]; then
        path="$bench_dir/report_small_$frames.mp4"
        cut=(--frames "$frames")
    fi
    if [[ ! -s "$path" ]]; then
        echo "making $path ..." >&2
        "$maker" --small "${cut[@]}" "$path" >/dev/null
    fi
    echo "$path $(samples_of "$("$maker" --small "${cut[@]}" --stats)")"
}

echo "checker benchmark on the recording of many small samples: the JSON Lines report against ffprobe's"
echo "JSON packet list with CRC-32, the text report with and without --check, and the peak memory --check adds."
echo "Warm page cache: each command runs once, untimed, before its $runs timed runs (timer: $timer);"
echo "wall-clock times, output to /dev/null. Ratios are of the best times. Peak RSS: the median of $runs runs."

read -r full frames <<<"$(recording "")"
quarter_video=$(($(video_of "$("$maker" --small --stats)") / 4))
read -r quarter quarter_frames <<<"$(recording "$quarter_video")"

echo
echo "== $full: $(awk -v b="$(stat -L -c %s "$full")" 'BEGIN { printf "%.1f", b / 1048576 }') MiB, $frames frames"

json=("$stampwalk" -p "$full" -t 1 --format json)
ffprobe_json=(ffprobe -v error -show_packets -show_data_hash CRC32 -of json "$full")
text=("$stampwalk" -p "$full" -t 1)
check=("$stampwalk" -p "$full" -t 1 --check)

# Every frame is one object of the JSON report and one line of the text
# report, and a packet of ffprobe's list names its stream once; --check ends
# with the line of all its findings.
status="$(first_run "${json[@]}")"
expect_lines "stampwalk --format json" "$status" "$(lines '^{"type":"frame"')" "$frames"
status="$(first_run "${ffprobe_json[@]}")"
expect_lines "ffprobe -of json" "$status" "$(lines '"stream_index":')" "$frames"
status="$(first_run "${text[@]}")"
expect_lines "stampwalk" "$status" "$(lines '^Stream:')" "$frames"
status="$(first_run "${check[@]}")"
expect_lines "stampwalk --check" "$status" "$(($(lines '^Stream:') + $(lines '^check: [0-9]* findings in')))" \
    "$((frames + 1))"
rm -f "$output"

read -r json_best json_median <<<"$(time_runs "${json[@]}")"
read -r ffprobe_best ffprobe_median <<<"$(time_runs "${ffprobe_json[@]}")"
read -r text_best text_median <<<"$(time_runs "${text[@]}")"
read -r check_best check_median <<<"$(time_runs "${check[@]}")"

printf '   %-26s %9s %11s\n' command "best (s)" "median (s)"
printf '   %-26s %9s %11s\n' "stampwalk --format json" "$json_best" "$json_median" \
    "ffprobe -of json" "$ffprobe_best" "$ffprobe_median" \
    "stampwalk (text)" "$text_best" "$text_median" \
    "stampwalk --check (text)" "$check_best" "$check_median"

to_ffprobe="$(ratio "$json_best" "$ffprobe_best")"
added="$(share "$check_best" "$text_best")"
printf '   JSON report/ffprobe %s (medians %s)   target <= %s: %s\n' "$to_ffprobe" \
    "$(ratio "$json_median" "$ffprobe_median")" "$json_target" "$(verdict "$to_ffprobe" "$json_target")"
printf '   --check adds %s %% (medians %s %%)   target <= +%s %%: %s\n' "$added" \
    "$(share "$check_median" "$text_median")" "$check_time_target" "$(verdict "$added" "$check_time_target")"

# --- comparison -----------------------------------------------------------

# Two recordings of 138,000 packets each: the recording against itself
# (every frame pairs) and against a copy cut to its first quarter (three
# quarters of the frames have no counterpart), each against reading both
# with --format json.
echo
echo "== --compare, against reading both recordings with --format json"
same=("$stampwalk" -p "$full" -t 1 --compare "$full" --format json)
cut=("$stampwalk" -p "$full" -t 1 --compare "$quarter" --format json)
quarter_json=("$stampwalk" -p "$quarter" -t 1 --format json)
status="$(first_run "${same[@]}")"
expect_lines "stampwalk --compare (same)" "$status" "$(lines '"status":"same"')" 1
status="$(first_run "${cut[@]}")"
# Differences exit with 1.
expect_lines "stampwalk --compare (quarter)" "$((status == 1 ? 0 : status))" "$(lines '"status":"differences"')" 1
rm -f "$output"
read -r same_best same_median <<<"$(time_runs "${same[@]}")"
read -r cut_best cut_median <<<"$(time_runs "${cut[@]}")"
read -r quarter_best quarter_median <<<"$(time_runs "${quarter_json[@]}")"
both_same="$(awk -v a="$json_best" 'BEGIN { printf "%.3f", 2 * a }')"
both_cut="$(awk -v a="$json_best" -v b="$quarter_best" 'BEGIN { printf "%.3f", a + b }')"
printf '   %-34s %9s %11s %16s
' command "best (s)" "median (s)" "both JSON (s)"
printf '   %-34s %9s %11s %16s
' "--compare itself" "$same_best" "$same_median" "$both_same" \
    "--compare its first quarter" "$cut_best" "$cut_median" "$both_cut"
for pair in "$same_best $both_same itself" "$cut_best $both_cut quarter"; do
    read -r took both name <<<"$pair"
    to_both="$(ratio "$took" "$both")"
    printf '   --compare (%s) / both JSON reports %s   target <= %s: %s\n' "$name" "$to_both" "$compare_target" \
        "$(verdict "$to_both" "$compare_target")"
done

# --- the HTML report ------------------------------------------------------

# --report beside the text run of the full recording; then the page of a
# million synthetic frames (bench/report_page): its size, and how long
# headless Chromium takes to load it against an empty page.
echo
echo "== --report"
report_page="$scratch/report.html"
reported=("$stampwalk" -p "$full" -t 1 --report "$report_page")
read -r reported_best reported_median <<<"$(time_runs "${reported[@]}")"
report_added="$(awk -v a="$reported_best" -v b="$text_best" 'BEGIN { printf "%.3f", a - b }')"
printf '   stampwalk --report: best %s s, median %s s; the text run %s s; --report adds %s s   target <= %s s: %s\n' \
    "$reported_best" "$reported_median" "$text_best" "$report_added" "$report_target" \
    "$(verdict "$report_added" "$report_target")"
printf '   the page of %s frames: %s KiB\n' "$frames" "$(($(stat -c %s "$report_page") / 1024))"
page_maker="$build/bench/report_page"
if [[ -x "$page_maker" ]]; then
    million="$scratch/million.html"
    "$page_maker" --frames 1000000 "$million" | sed 's/^/   /'
    million_kib=$(($(stat -c %s "$million") / 1024))
    printf '   the page of 1,000,000 frames: %s KiB   target <= %s KiB: %s\n' "$million_kib" "$page_kib_target" \
        "$(verdict "$million_kib" "$page_kib_target")"
    if [[ -x /usr/bin/chromium ]]; then
        empty="$scratch/empty.html"
        echo '<!DOCTYPE html><title>empty</title>' >"$empty"
        browser=(/usr/bin/chromium --headless --no-sandbox --disable-gpu --user-data-dir="$scratch/profile" --dump-dom)
        read -r empty_best _ <<<"$(time_runs "${browser[@]}" "file://$empty")"
        read -r million_best _ <<<"$(time_runs "${browser[@]}" "file://$million")"
        load="$(awk -v a="$million_best" -v b="$empty_best" 'BEGIN { printf "%.3f", a - b }')"
        printf '   headless Chromium: empty page %s s, the million-frame page %s s; the page adds %s s   target <= %s s: %s\n' \
            "$empty_best" "$million_best" "$load" "$browser_target" "$(verdict "$load" "$browser_target")"
    else
        echo "   /usr/bin/chromium is not installed (scripts/setup.sh installs it): no browser timing"
    fi
else
    echo "   $page_maker is not built: no million-frame page"
fi

# --- memory ---------------------------------------------------------------

echo
echo "== peak RSS, text report against --check; $quarter is the same shape cut to $quarter_video video frames"
printf '   %-10s %8s %12s %12s %10s %14s\n' recording frames "text (KiB)" "check (KiB)" "added KiB" "added B/frame"
text_full="$(median_rss "$stampwalk" -p "$full" -t 1)"
check_full="$(median_rss "$stampwalk" -p "$full" -t 1 --check)"
text_quarter="$(median_rss "$stampwalk" -p "$quarter" -t 1)"
check_quarter="$(median_rss "$stampwalk" -p "$quarter" -t 1 --check)"
added_full=$((check_full - text_full))
added_quarter=$((check_quarter - text_quarter))
printf '   %-10s %8s %12s %12s %10s %14s\n' \
    quarter "$quarter_frames" "$text_quarter" "$check_quarter" "$added_quarter" \
    "$(per_frame "$added_quarter" "$quarter_frames")" \
    full "$frames" "$text_full" "$check_full" "$added_full" "$(per_frame "$added_full" "$frames")"

# The slopes between the two sizes: what a further frame costs, with what any
# run holds whatever its length taken out.
more_frames=$((frames - quarter_frames))
slope="$(per_frame "$((added_full - added_quarter))" "$more_frames")"
printf '   per further frame: text %s B, --check %s B; what --check adds %s B   target <= %s B: %s\n' \
    "$(per_frame "$((text_full - text_quarter))" "$more_frames")" \
    "$(per_frame "$((check_full - check_quarter))" "$more_frames")" \
    "$slope" "$check_bytes_target" "$(verdict "$slope" "$check_bytes_target")"
echo "   (peak RSS of the full recording: text $(mib "$text_full") MiB, --check $(mib "$check_full") MiB)"
