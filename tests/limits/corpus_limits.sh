#!/usr/bin/env bash
# Runs stampwalk over every committed recording and fuzz input with a memory
# and a time limit: whatever a file holds, the tool must end within the
# limits with its closing line and exit code 0.
#
#   corpus_limits.sh STAMPWALK DIR...
set -u
stampwalk="$1"
shift
memory_kib=$((768 * 1024))  # address space, libraries included
seconds=20
failures=0
count=0
while IFS= read -r -d '' file; do
    count=$((count + 1))
    size=$(stat -c %s "$file")
    # Time grows with the file; fuzz inputs are small.
    limit=$((seconds + size / 10000000))
    output="$( (ulimit -v "$memory_kib"; timeout "$limit" "$stampwalk" -p "$file" -t 1) 2>&1)"
    status=$?
    last="$(printf '%s\n' "$output" | tail -n 1)"
    if [[ $status -ne 0 || "$last" != "Congratulation! The time parser parseed completely. elapsed time: "* ]]; then
        echo "FAILED: $file (exit $status): $last"
        failures=$((failures + 1))
    fi
done < <(find "$@" -type f ! -name README -print0)
echo "$count files, $failures failed"
[[ $count -gt 0 && $failures -eq 0 ]]
