# Shared by the script-level suites: one way to report a failure and to end.
# A suite sources it and calls fail for every fault it finds; a suite that runs in
# steps sets STEP, which each failure names.
#
#   fail <text>           prints "FAIL [<step>]: <text>" and counts it
#   qv_suite_end <name>   exits 0 with "<name>: all checks passed", or 1 with the count

FAILURES=0

fail() { echo "FAIL${STEP:+ [$STEP]}: $*"; FAILURES=$((FAILURES + 1)); }

qv_suite_end() {
    if [ "$FAILURES" -eq 0 ]; then
        echo "$1: all checks passed"
        exit 0
    fi
    echo "$1: $FAILURES failure(s)"
    exit 1
}
