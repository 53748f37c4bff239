#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what an operator's desktop relies on:
# the programs (with the link library built in), the desktop entries with their icons, and the
# sample passes.
# Usage: install_check.sh BUILD_DIR PREFIX SOURCE_DIR
set -uo pipefail
build=$1 prefix=$2 source=$3
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Width x height from a PNG's header chunk, "?" for anything that is not a PNG.
png_size() {
    local b
    read -d '' -ra b < <(od -An -tu1 -N24 "$1")
    if [ "${#b[@]}" -lt 24 ] || [ "${b[1]}${b[2]}${b[3]}" != "807871" ]; then
        echo "?"
        return
    fi
    echo "$(((b[16] << 24) | (b[17] << 16) | (b[18] << 8) | b[19]))x$(((b[20] << 24) | (b[21] << 16) | (b[22] << 8) | b[23]))"
}

rm -rf "$prefix"
if ! cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1; then
    cat "$prefix.log"
    echo "FAIL: cmake --install"
    exit 1
fi

programs=(skypass handpoint ravik-sim ravik-upload ravik-pass ravik-rotctld)
for p in "${programs[@]}"; do
    [ -x "$prefix/bin/$p" ] || fail "bin/$p is missing or not executable"
done
# The link library is built into the programs: nothing of ours goes to lib. The bridge's systemd
# user unit goes where systemd searches a prefix other than /usr (~/.local: share/systemd/user),
# naming the bridge where it was installed.
[ -e "$prefix/lib" ] && fail "lib holds $(find "$prefix/lib" -type f)"
unit=$prefix/share/systemd/user/ravik-rotctld.service
if [ ! -f "$unit" ]; then
    fail "no systemd unit for the bridge in share/systemd/user"
else
    grep -qxF "ExecStart=$prefix/bin/ravik-rotctld --wait" "$unit" ||
        fail "the unit does not start $prefix/bin/ravik-rotctld: $(grep ExecStart "$unit")"
fi

# Each installed program resolves every library it needs.
for p in "${programs[@]}"; do
    [ -x "$prefix/bin/$p" ] || continue
    deps=$(ldd "$prefix/bin/$p")
    if grep -qE "not found|libravik" <<<"$deps"; then
        fail "bin/$p: $(grep -E 'not found|libravik' <<<"$deps" | tr -s ' \t' ' ')"
    fi
done

# Desktop entries: the keys a launcher needs, pointing at programs and icons that exist.
for app in skypass handpoint; do
    entry=$prefix/share/applications/$app.desktop
    if [ ! -f "$entry" ]; then
        fail "share/applications/$app.desktop is missing"
        continue
    fi
    expected=("Type=Application" "Exec=$app" "Icon=$app" "Terminal=false"
              "Categories=HamRadio;Utility;")
    for line in "${expected[@]}"; do
        grep -qxF "$line" "$entry" || fail "$app.desktop lacks the line $line"
    done
    for key in Name Comment; do
        grep -q "^$key=." "$entry" || fail "$app.desktop has no $key"
    done
    if command -v desktop-file-validate >/dev/null; then
        out=$(desktop-file-validate "$entry" 2>&1)
        grep -qE "error|warning" <<<"$out" && fail "$app.desktop does not validate: $out"
    fi
    for size in 16x16 32x32 48x48 256x256; do
        icon=$prefix/share/icons/hicolor/$size/apps/$app.png
        if [ ! -f "$icon" ]; then
            fail "icon $size/apps/$app.png is missing"
        elif [ "$(png_size "$icon")" != "$size" ]; then
            fail "icon $size/apps/$app.png is not a $size PNG but $(png_size "$icon")"
        fi
    done
    [ -f "$prefix/share/icons/hicolor/scalable/apps/$app.svg" ] ||
        fail "icon scalable/apps/$app.svg is missing"
done

# The sample passes, byte for byte.
samples=("$source"/uploader/samples/*)
[ -e "${samples[0]}" ] || fail "no sample passes in the source tree"
for s in "${samples[@]}"; do
    cmp -s "$s" "$prefix/share/skypass/samples/$(basename "$s")" ||
        fail "share/skypass/samples/$(basename "$s") is missing or differs"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures install check(s) failed"
    exit 1
fi
echo "install check passed: $prefix"
