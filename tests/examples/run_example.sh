#!/usr/bin/env bash
# Runs one of the example programs of examples/ on a known recording and
# checks what it prints.
#
#   run_example.sh CASE SOURCE_DIR LIST_PACKETS FOLLOW_RECORDING RECORD_SIMULATOR
#
# CASE: list-sample, list-integrity, list-key, follow-finished, follow-live.
set -euo pipefail

case_name="$1"
source="$2"
list_packets="$3"
follow_recording="$4"
simulator="$5"

work="$(mktemp -d "${TMPDIR:-/tmp}/stampwalk-example.XXXXXX")"
simulator_pid=""
cleanup() {
    [[ -n "$simulator_pid" ]] && kill "$simulator_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# shellcheck source=../support/expect.sh
source "$(dirname "$0")/../support/expect.sh"

count() { grep -cE -- "$1" "$2" || true; }

sample="$source/samples/sample.mp4"
data="$source/tests/data"

# samples/sample.mp4 (tools/make_sample_recording.cpp): 75 H.264 frames at
# 25 per second with a key frame every 25, and 47 AAC frames of 1024 samples
# at 16000 Hz; 3 s and 3.008 s, so 3 whole seconds each.
check_sample_listing() {
    local out="$1"
    expect_equal "track lines" "2 track(s), media type 3
track 1: H264, 75 samples, 3 s
track 2: AAC4, 47 samples, 3 s" "$(head -3 "$out")"
    expect_equal "packet lines" 122 "$(count '^ +[0-9]+ ' "$out")"
    expect_equal "H.264 packets" 75 "$(count '^ +[0-9]+ H264 ' "$out")"
    expect_equal "H.264 key frames" 3 "$(count '^ +[0-9]+ H264 I ' "$out")"
    expect_equal "AAC packets" 47 "$(count '^ +[0-9]+ AAC4 I ' "$out")"
    expect_equal "last line" "122 packets" "$(tail -1 "$out")"
    # Both tracks start at time 0; on a tie the first track's packet comes first.
    expect_equal "first packet" "    1 H264 I" "$(sed -n 4p "$out" | cut -c1-12)"
}

case "$case_name" in
list-sample)
    "$list_packets" "$sample" >"$work/out.txt"
    check_sample_listing "$work/out.txt"
    # Without an integrity text nothing is checked, so no packet is flagged.
    expect_equal "flagged packets" 0 "$(count '\[' "$work/out.txt")"
    ;;
list-integrity)
    # The sample's user data holds times and a vendor item but no integrity
    # value: with a text set, every packet comes with kNoCheckValue.
    "$list_packets" "$sample" --integrity "door camera 7" >"$work/out.txt"
    check_sample_listing "$work/out.txt"
    expect_equal "packets without an integrity value" 122 "$(count ' \[no integrity value\]$' "$work/out.txt")"
    ;;
list-key)
    # aac_cenc.m4a is aac.m4a encrypted whole sample by whole sample with the
    # key of cenc_key.txt: with the key every packet line (time, sizes, first
    # payload bytes) is the clear file's; without it the sizes are the same
    # and the first payload bytes differ.
    key="$(sed -nE 's/^cenc\|key=([0-9a-f]+)\|.*/\1/p' "$data/cenc_key.txt")"
    kid="$(sed -nE 's/^cenc\|.*\|kid=([0-9a-f]+)\|.*/\1/p' "$data/cenc_key.txt")"
    "$list_packets" "$data/aac.m4a" >"$work/clear.txt"
    "$list_packets" "$data/aac_cenc.m4a" --key "$key" >"$work/keyed.txt"
    "$list_packets" "$data/aac_cenc.m4a" >"$work/stored.txt"
    expect_equal "protected track line" "track 1: AAC4, 48 samples, 2 s, protected, key id $kid, key set" \
        "$(sed -n 2p "$work/keyed.txt")"
    expect_equal "packets" 48 "$(count '^ +[0-9]+ AAC4 ' "$work/keyed.txt")"
    expect_equal "decrypted packets" "$(sed 1,2d "$work/clear.txt")" "$(sed 1,2d "$work/keyed.txt")"
    expect_equal "sizes without the key" "$(sed 1,2d "$work/clear.txt" | cut -d: -f1)" \
        "$(sed 1,2d "$work/stored.txt" | cut -d: -f1)"
    same="$(paste -d'\n' <(sed '1,2d;$d' "$work/clear.txt") <(sed '1,2d;$d' "$work/stored.txt") | uniq -d | wc -l)"
    expect_equal "packets whose stored bytes equal the clear ones" 0 "$same"
    ;;
follow-finished)
    # One second of video at 25 frames per second in one chunk that starts
    # with its key frame: 25 packets, I then 24 P.
    "$simulator" "$work/recording.mp4" --seconds 1 --fast 2>/dev/null
    "$follow_recording" "$work/recording.mp4" --idle-seconds 0.3 --poll-ms 20 >"$work/out.txt"
    expect_equal "packets" 25 "$(count '^ +[0-9]+ H264 ' "$work/out.txt")"
    expect_equal "key frames" 1 "$(count '^ +1 H264 I ' "$work/out.txt")"
    expect_equal "predicted frames" 24 "$(count '^ +[0-9]+ H264 P ' "$work/out.txt")"
    expect_equal "last line" "no new data for 0.3 s: 25 packets" "$(tail -1 "$work/out.txt")"
    ;;
follow-live)
    # Two seconds of video written in real time, one chunk per 0.5 s:
    # llround(0.5 x 25) = 13 frames per chunk, so chunks of 13, 13, 13 and 11
    # frames, each starting with a key frame. The follower starts with the
    # writer, waits for each chunk and stops 2 s after the last one.
    "$simulator" "$work/recording.mp4" --seconds 2 --chunk-seconds 0.5 2>"$work/simulator.txt" &
    simulator_pid=$!
    "$follow_recording" "$work/recording.mp4" --idle-seconds 2 --poll-ms 20 >"$work/out.txt"
    wait "$simulator_pid" || fail "record_simulator failed: $(cat "$work/simulator.txt")"
    simulator_pid=""
    expect_equal "packets" 50 "$(count '^ +[0-9]+ H264 ' "$work/out.txt")"
    expect_equal "key frames" "1 14 27 40" \
        "$(sed -nE 's/^ +([0-9]+) H264 I .*/\1/p' "$work/out.txt" | tr '\n' ' ' | sed 's/ $//')"
    expect_equal "last line" "no new data for 2 s: 50 packets" "$(tail -1 "$work/out.txt")"
    # It followed the writer: it ran out of data with part of the recording
    # read, then read on.
    waits="$(sed -nE 's/^waiting for the writer after ([0-9]+) packets$/\1/p' "$work/out.txt")"
    grep -qxE '(1[3-9]|[2-4][0-9])' <<<"$waits" ||
        fail "no wait between chunks (waits after: $(tr '\n' ' ' <<<"$waits"))"
    ;;
*)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac

if [[ $failures -ne 0 ]]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "$case_name: all checks passed"
