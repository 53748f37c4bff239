#!/usr/bin/env bash
# Builds everything and runs every test. Usage: tools/test.sh [--sanitize]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/deps.sh
ravik_install_deps

build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
    build=build-asan
    flags=(-DCMAKE_BUILD_TYPE=Debug -DRAVIK_SANITIZE=ON -DRAVIK_BENCH=OFF)
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    # The soak's memory check needs the plain build; here it only has to run clean.
    export RAVIK_SOAK_SECONDS=${RAVIK_SOAK_SECONDS:-20}
fi
cmake -G Ninja -S . -B "$build" "${flags[@]}" >/dev/null
ninja -C "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)" --timeout 600
