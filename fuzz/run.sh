#!/usr/bin/env bash
# Builds the fuzzers (the pass-file reader and the rotctld request parser) with clang, outside the
# CMake build so it needs no configure step, and runs each for half the time.
# Usage: fuzz/run.sh [seconds=60] [build-dir=<repo>/build-fuzz]
# Exits non-zero when the build fails or the fuzzer reports a crash or a sanitizer finding.
set -euo pipefail

# The TLE reader and the propagator have their own target and corpus: a quarter of the time, first.
"$(dirname "$0")/run-tle.sh" "$(( ${1:-60} / 4 ))" "${2:-}"

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-fuzz}
cxx=${CXX_FUZZ:-clang++}

mkdir -p "$build/corpus" "$build/corpus-rotctl" "$build/artifacts"
# shellcheck disable=SC2046
"$cxx" -std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root/passfile" -I"$root/protocol" -I"$root/uploader" $(pkg-config --cflags Qt6Core) \
    "$root/fuzz/fuzz_passfile.cpp" \
    "$root/passfile/linereader.cpp" "$root/passfile/tokenizer.cpp" "$root/passfile/numbers.cpp" \
    "$root/passfile/parsers.cpp" "$root/passfile/passfile.cpp" "$root/passfile/conditioning.cpp" \
    $(pkg-config --libs Qt6Core) -o "$build/fuzz_passfile"
# shellcheck disable=SC2046
"$cxx" -std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root/passfile" -I"$root/protocol" -I"$root/bridge" $(pkg-config --cflags Qt6Core) \
    "$root/fuzz/fuzz_rotctl.cpp" "$root/bridge/rotctlprotocol.cpp" "$root/passfile/numbers.cpp" \
    $(pkg-config --libs Qt6Core) -o "$build/fuzz_rotctl"

half=$(((seconds + 1) / 2))

# New inputs go to the build directory; the seeds in fuzz/corpus stay as they are.
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$build/fuzz_passfile" -max_total_time="$half" -max_len=65536 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/" \
    "$build/corpus" "$root/fuzz/corpus"
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$build/fuzz_rotctl" -max_total_time="$half" -max_len=4096 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/" \
    "$build/corpus-rotctl" "$root/fuzz/corpus-rotctl"
