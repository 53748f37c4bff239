#!/usr/bin/env bash
# Builds everything, starts the virtual controller ravik-sim on port 1 of a demo folder that
# holds the sample pass files, and starts skypass there. Usage: tools/demo.sh [handpoint]
# Without a display it plays a short skypass session on a virtual display instead and leaves
# the screenshots and the controller's received bytes in build/demo.
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
app=$root/$([ "$program" = handpoint ] && echo manual/handpoint || echo uploader/skypass)
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    "$root/sim/ravik-sim" --dir . --port 1 &
    sim=$!
    trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null' EXIT
    for _ in $(seq 50); do [ -L COM1 ] && break; sleep 0.1; done
    "$app"
    exit
fi

# No display: a short scripted session on a virtual display instead of a window nobody sees.
# skypass against ravik-sim: screenshots before and after "Show rotor status", of the file
# dialog and of the finished upload of a sample pass, and the bytes the controller received.
ravik_install_deps imagemagick x11-utils
out=$PWD
rm -f "$out"/screenshot-*.png "$out/controller-received.bin"
source "$root/../tools/display.sh"
ravik_start_display
export QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME=
"$root/sim/ravik-sim" --dir . --port 1 --log "$out/controller-received.bin" >/dev/null &
ravik_pids+=($!)
for _ in $(seq 50); do [ -L COM1 ] && break; sleep 0.1; done
"$root/uploader/skypass" 2>/dev/null &
ravik_pids+=($!)
wid=$(timeout 20 xdotool search --sync --onlyvisible --name "^Data Uploader and Rotor Handler$" |
    head -n 1)
[ -n "$wid" ] || { echo "skypass showed no window" >&2; exit 1; }
# shot NAME DELAY WINDOW: the window's place cut out of a capture of the whole screen. Capturing
# the window itself leaves what other windows show over it (a popup list) black.
shot() {
    sleep "$2"
    local info X Y W H
    info=$(xwininfo -id "$3")
    X=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    W=$(sed -n 's/.*Width: *//p' <<<"$info")
    H=$(sed -n 's/.*Height: *//p' <<<"$info")
    import -window root "$ravik_temp/screen.png"
    convert "$ravik_temp/screen.png" -crop "${W}x${H}+${X}+${Y}" +repage "$out/screenshot-$1.png"
    rm -f "$ravik_temp/screen.png"
    echo "  $out/screenshot-$1.png"
}
echo "No display: a scripted skypass session on a virtual display; it wrote:"
shot 1-started 1.5 "$wid"
# The middles of "Show rotor status" and "Send an ephemeris", from skypass's layout table.
xdotool mousemove --window "$wid" 308 200 click 1
shot 2-status 2 "$wid"
xdotool mousemove --window "$wid" 88 108 click 1
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name "^Open$" | head -n 1)
[ -n "$dialog" ] || { echo "no file dialog appeared" >&2; exit 1; }
for _ in $(seq 30); do [ "$(xdotool getwindowfocus)" = "$dialog" ] && break; sleep 0.1; done
xdotool key ctrl+a BackSpace type --delay 20 "$PWD/pass-instanttrack.out"
# A click on the "File name" label closes the name completion's list, which would hide "Files
# of type"; the typed name stays.
sleep 0.3
xdotool mousemove --window "$dialog" 40 360 click 1
shot 3-file-dialog 0.5 "$dialog"
xdotool key Return
# The upload ends with the status request, a "Z" after the last upload line (at most a minute).
for _ in $(seq 600); do
    [[ $(tr -d '\000' <"$out/controller-received.bin") =~ [0-9]\ [0-9-]+$'\r'Z$ ]] && break
    sleep 0.1
done
shot 4-uploaded 1.5 "$wid"
echo "  $out/controller-received.bin (every byte skypass sent the controller)"
