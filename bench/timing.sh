# Timing shared by the benchmark scripts; sourced, not run. The script that
# sources it sets `runs` (timed runs per command), `warmups` (untimed runs
# before them), `scratch` (a directory of its own) and `fail` (prints and
# exits). hyperfine times the runs when installed, else (or with
# STAMPWALK_BENCH_TIMER=shell) the shell's clock does.

if [[ "${STAMPWALK_BENCH_TIMER:-}" != shell ]] && command -v hyperfine >/dev/null 2>&1; then
    timer="hyperfine"
elif [[ "${STAMPWALK_BENCH_TIMER:-}" == shell ]]; then
    timer="the shell clock"
else
    timer="the shell clock (hyperfine is not installed)"
fi

# Times a command RUNS times, output discarded; prints "best median" in seconds.
time_runs() {
    if [[ "$timer" == hyperfine ]]; then
        local csv="$scratch/times.csv" log="$scratch/hyperfine.log"
        # -N: no shell in between; -i: a failing run is timed too (its status is shown by check_run).
        if ! hyperfine -N -i --runs "$runs" --warmup "$warmups" --style none --export-csv "$csv" -- \
            "$(quote_words "$@")" >"$log" 2>&1; then
            cat "$log" >&2
            fail "hyperfine failed on: $*"
        fi
        awk -F, 'NR == 2 { printf "%.3f %.3f\n", $7, $4 }' "$csv"
    else
        local run start end
        for ((run = 0; run < warmups; run++)); do "$@" >/dev/null 2>&1 || true; done
        for ((run = 1; run <= runs; run++)); do
            start=$EPOCHREALTIME
            "$@" >/dev/null 2>&1 || true
            end=$EPOCHREALTIME
            awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }'
        done | sort -g | awk '{ t[NR] = $1 }
            END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
                  printf "%.3f %.3f\n", t[1], m }'
    fi
}

# One command line for hyperfine, which splits it like a shell.
quote_words() {
    local word out=""
    for word in "$@"; do out+="${out:+ }$(printf '%q' "$word")"; done
    printf '%s' "$out"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "?" }'; }
verdict() { awk -v v="$1" -v limit="$2" 'BEGIN { print (v != "?" && v <= limit) ? "met" : "MISSED" }'; }
