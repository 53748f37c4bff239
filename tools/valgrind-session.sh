#!/usr/bin/env bash
# One full skypass session under valgrind's memcheck: the soak's window, in one process over
# a real pseudo-terminal, starts up against ravik-sim (which the test starts, outside valgrind),
# then uploads passes and asks the status for RAVIK_VALGRIND_SECONDS (default 10). Any memcheck
# error makes the script fail. Nothing is suppressed; leaks are not checked (Qt and the system
# libraries keep caches until exit that would only be noise).
# Usage: tools/valgrind-session.sh [build-dir]   (default: build, as tools/test.sh makes it)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
seconds="${RAVIK_VALGRIND_SECONDS:-10}"

if ! command -v valgrind >/dev/null; then
    echo "valgrind is missing; install it as root: apt-get install valgrind" >&2
    exit 1
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -G Ninja -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
ninja -C "$build" bench_soak ravik-sim

log="$(mktemp /tmp/ravik-valgrind.XXXXXX)"
echo "memcheck of a ${seconds} s session; valgrind's report: $log"
status=0
RAVIK_SOAK_SECONDS="$seconds" QT_QPA_PLATFORM=offscreen \
    valgrind --tool=memcheck --error-exitcode=99 --leak-check=no --num-callers=30 \
    --log-file="$log" "$build/bench/soak/bench_soak" || status=$?
grep -E "ERROR SUMMARY" "$log" || true
case "$status" in
0) echo "valgrind: no errors" ;;
99)
    echo "valgrind found errors:" >&2
    cat "$log" >&2
    exit 1
    ;;
*)
    echo "the session failed under valgrind (exit status $status)" >&2
    tail -n 50 "$log" >&2
    exit 1
    ;;
esac
