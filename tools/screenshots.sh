#!/usr/bin/env bash
# Takes docs/screenshots/skypass.png and docs/screenshots/handpoint.png: each program runs on a
# virtual display against ravik-sim, "Show rotor status" is pressed, and the window is captured
# with its title bar. Usage: tools/screenshots.sh [build folder, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/deps.sh
ravik_install_deps xdotool x11-utils imagemagick openbox fonts-dejavu-core

build=${1:-build}
if [ ! -f "$build/build.ninja" ]; then
    cmake -G Ninja -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
ninja -C "$build" -j"$(nproc)" skypass handpoint ravik-sim
root=$(cd "$build" && pwd)
out=$PWD/docs/screenshots
mkdir -p "$out"

source tools/display.sh
work=$ravik_temp
ravik_start_display
# A window manager, for the title bar with the caption and the icon.
openbox --sm-disable >/dev/null 2>&1 &
ravik_pids+=($!)

cd "$work"
printf 'Comm Port 1\r\n' >Ravik.ini
"$root/sim/ravik-sim" --dir . --port 1 >/dev/null &
ravik_pids+=($!)
for _ in $(seq 50); do [ -L COM1 ] && break; sleep 0.1; done
[ -L COM1 ] || { echo "ravik-sim did not publish COM1" >&2; exit 1; }

# shot NAME PROGRAM X Y: X, Y is the middle of "Show rotor status" in client pixels, from the
# window's layout table (frame place + button place + half its size, in twips, / 15).
shot() {
    local name=$1 program=$2 x=$3 y=$4 pid wid
    QT_QPA_PLATFORM=xcb "$program" &
    pid=$!
    wid=$(timeout 20 xdotool search --sync --onlyvisible --name "Data Uploader and Rotor Handler" |
        head -n 1)
    [ -n "$wid" ] || { echo "$name: no window appeared" >&2; kill "$pid"; return 1; }
    sleep 1.5
    xdotool mousemove --window "$wid" "$x" "$y" click 1
    # The status reply and, in skypass, a clock tick or two.
    sleep 2.5
    xdotool mousemove 1020 760
    sleep 0.3

    # The client's place on the screen (xwininfo: xdotool misreads it under a reparenting
    # window manager) widened by the frame the window manager drew around it.
    local info X Y W H left=0 right=0 top=0 bottom=0 extents
    info=$(xwininfo -id "$wid")
    X=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    W=$(sed -n 's/.*Width: *//p' <<<"$info")
    H=$(sed -n 's/.*Height: *//p' <<<"$info")
    extents=$(xprop -id "$wid" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= //p' | tr -d ' ')
    [ -n "$extents" ] && IFS=, read -r left right top bottom <<<"$extents"
    import -window root "$work/root.png"
    convert "$work/root.png" -crop "$((W + left + right))x$((H + top + bottom))+$((X - left))+$((Y - top))" \
        +repage "$out/$name.png"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo "wrote docs/screenshots/$name.png"
}

# skypass: Frame3 at 120, 2640; cmdStatus at 3120, 240, 2775 x 255.
shot skypass "$root/uploader/skypass" 308 200
# handpoint: Frame3 at 120, 840; cmdStatus at 240, 240, 2055 x 255.
shot handpoint "$root/manual/handpoint" 92 80
