#!/usr/bin/env bash
# Builds everything, starts the virtual controller ravik-sim on port 1 of a demo folder that
# holds the sample pass files, and starts skypass there. Usage: tools/demo.sh [handpoint]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/deps.sh
ravik_install_deps
cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C build -j"$(nproc)" skypass handpoint ravik-sim

program=${1:-skypass}
demo=build/demo
mkdir -p "$demo"
cp uploader/samples/*.out "$demo"/
printf 'Comm Port 1\r\n' > "$demo/Ravik.ini"
root=$PWD/build
cd "$demo"
"$root/sim/ravik-sim" --dir . --port 1 &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null' EXIT
for _ in $(seq 50); do [ -L COM1 ] && break; sleep 0.1; done
app=$root/$([ "$program" = handpoint ] && echo manual/handpoint || echo uploader/skypass)
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: running $program on a virtual display (xvfb-run); screenshots: tools/screenshots.sh"
    xvfb-run -a "$app"
else
    "$app"
fi
