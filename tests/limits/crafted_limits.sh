#!/usr/bin/env bash
# Runs stampwalk over the crafted inputs that once made the readers stall or
# balloon: each must end within 5 s and 256 MiB of peak memory with exit
# code 0. A 5 GB sparse file of zeros, as a camera pre-allocates on a card,
# must get its answer too.
#
#   crafted_limits.sh STAMPWALK MAKE_CRAFTED_INPUTS RUN_LIMITED TMPDIR
set -u
stampwalk="$1"
make_inputs="$2"
run_limited="$3"
directory="$(mktemp -d "$4/crafted.XXXXXX")"
trap 'rm -rf "$directory"' EXIT

"$make_inputs" "$directory" || exit 1
# Holes only: no disk space is taken.
truncate -s 5G "$directory/preallocated-zeros.mp4" || exit 1

failures=0
count=0
for file in "$directory"/*; do
    count=$((count + 1))
    seconds=5
    # Without holes the file system makes the zeros read at memory speed,
    # which a cold page cache may slow down.
    [[ "$file" == */preallocated-zeros.mp4 ]] && seconds=20
    figures="$("$run_limited" "$seconds" 256 "$stampwalk" -p "$file" -t 1)"
    status=$?
    echo "$(basename "$file"): $figures (seconds, peak MiB, exit code)"
    if [[ $status -ne 0 ]]; then
        echo "FAILED: $(basename "$file") is over ${seconds} s or 256 MiB, or did not exit 0"
        failures=$((failures + 1))
    fi
done
echo "$count files, $failures failed"
[[ $count -gt 0 && $failures -eq 0 ]]
