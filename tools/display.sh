# Sourced by the scripts that show the programs on a display of their own. Every process started
# for it goes into ravik_pids and is ended, newest first, when the script exits; ravik_temp is a
# folder of its own, removed then too.
ravik_pids=()
ravik_temp=$(mktemp -d)
ravik_end_all() {
    for ((i = ${#ravik_pids[@]} - 1; i >= 0; i--)); do
        kill "${ravik_pids[i]}" 2>/dev/null || true
        wait "${ravik_pids[i]}" 2>/dev/null || true
    done
    rm -rf "$ravik_temp"
}
trap ravik_end_all EXIT

# Starts Xvfb (it picks a free number and writes it to fd 3) and points DISPLAY at it.
ravik_start_display() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$ravik_temp/display" 2>/dev/null &
    ravik_pids+=($!)
    for _ in $(seq 100); do [ -s "$ravik_temp/display" ] && break; sleep 0.1; done
    [ -s "$ravik_temp/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=:$(head -n 1 "$ravik_temp/display")
}
