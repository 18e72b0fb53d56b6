# Checks shared by the shell tests; sourced, not run. A failed check is
# printed and counted in `failures`; the test ends with [[ $failures -eq 0 ]].
failures=0

fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

# expect_equal WHAT EXPECTED ACTUAL
expect_equal() {
    if [[ "$2" != "$3" ]]; then
        fail "$1"
        diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") >&2 || true
    fi
}
