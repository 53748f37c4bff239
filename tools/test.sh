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
fi
cmake -G Ninja -S . -B "$build" "${flags[@]}" >/dev/null
ninja -C "$build" -j"$(nproc)"
cd "$build"
if [ "$build" = build-asan ]; then
    # Under the sanitizers: every fast test, and of the process and pseudo-terminal tests those
    # that drive the link, the upload and the bridge without a display (the windows' own code is
    # covered by the fast tests).
    ctest --output-on-failure -j"$(nproc)" --timeout 600 -LE "e2e|package"
    ctest --output-on-failure -j"$(nproc)" --timeout 600 -L e2e \
        -R "OverAPseudoTerminal|RavikUpload|BridgeE2E.(Hostile|Unplug)"
else
    ctest --output-on-failure -j"$(nproc)" --timeout 600
fi
