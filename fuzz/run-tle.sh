#!/usr/bin/env bash
# Builds the TLE-reader fuzzer (the reader, the propagator and the pass search, no Qt) with clang
# and runs it. Usage: fuzz/run-tle.sh [seconds=60] [build-dir=<repo>/build-fuzz]
# Exits non-zero when the build fails or the fuzzer reports a crash or a sanitizer finding.
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-fuzz}
cxx=${CXX_FUZZ:-clang++}

mkdir -p "$build/corpus-tle" "$build/artifacts"
"$cxx" -std=c++20 -g -O1 -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I"$root/orbit" \
    "$root/fuzz/fuzz_tle.cpp" "$root"/orbit/*.cpp -o "$build/fuzz_tle"

UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$build/fuzz_tle" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/" \
    "$build/corpus-tle" "$root/fuzz/corpus-tle"
