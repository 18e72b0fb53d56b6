#!/usr/bin/env bash
# Runs two builds of stampwalk over every recording the repository holds (the
# sample, the ffmpeg test data, the fuzz corpora and regressions) with each
# time type, and reports every file whose output differs. The elapsed-time
# figure of the closing line is masked; all else must match byte for byte.
#
#   scripts/compare-output.sh OLD_STAMPWALK NEW_STAMPWALK
#
# Exits 0 when every output matches, 1 when one differs.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -eq 2 ] || { echo "usage: $0 OLD_STAMPWALK NEW_STAMPWALK" >&2; exit 255; }
old="$1" new="$2"

run() {  # program file type: output with the elapsed time masked, then the exit status
    local status=0 output
    output="$(timeout 60 "$1" -p "$2" -t "$3" 2>&1)" || status=$?
    printf '%s\nexit %s\n' "$output" "$status" | sed -E 's/elapsed time: [0-9.e+-]+ s/elapsed time: - s/'
}

files=(samples/* tests/data/*.mp4 tests/data/*.m4a tests/data/*.3gp tests/data/*.mov
       fuzz/corpus/iso_reader/* fuzz/corpus/view_while_rec/*
       fuzz/regressions/iso_reader/* fuzz/regressions/view_while_rec/*)
compared=0 differing=0
for file in "${files[@]}"; do
    [ -f "$file" ] || continue
    for type in 1 2 3; do
        if ! cmp -s <(run "$old" "$file" "$type") <(run "$new" "$file" "$type"); then
            echo "differs: $file -t $type"
            differing=$((differing + 1))
        fi
        compared=$((compared + 1))
    done
done
echo "compared $compared runs, $differing differ"
[ "$differing" -eq 0 ]
