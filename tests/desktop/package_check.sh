#!/usr/bin/env bash
# Makes the Debian package from the build, checks its contents and dependencies, lets lintian
# judge it, and unpacks it into an empty root where the programs must find every library.
# Usage: package_check.sh BUILD_DIR WORK_DIR
set -uo pipefail
build=$1 work=$2
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

rm -rf "$work" && mkdir -p "$work"
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
deb=$(ls "$work"/skypass_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "FAIL: no skypass_*.deb in $work"; exit 1; }

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in bin/skypass bin/handpoint bin/ravik-sim bin/ravik-upload bin/ravik-pass bin/ravik-rotctld \
    lib/systemd/user/ravik-rotctld.service share/applications/skypass.desktop \
    share/applications/handpoint.desktop share/icons/hicolor/48x48/apps/skypass.png \
    share/skypass/samples/pass-nova.out share/doc/skypass/copyright; do
    grep -qx "./usr/$f" <<<"$files" || fail "the package lacks /usr/$f"
done
grep -q "^./usr/lib/.*\.so" <<<"$files" && fail "the package puts a library into /usr/lib"

depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6serialport6 libqt6widgets6 qt6-qpa-plugins; do
    grep -qw "$d" <<<"$depends" || fail "Depends lacks $d: $depends"
done
# Only what the programs need: the C and C++ runtimes, the Qt libraries they link, the platform
# plugins and a font.
needed='libc6|libgcc-s1|libstdc\+\+6|libqt6(core|gui|network|serialport|widgets)6|qt6-qpa-plugins'
extra=$(tr ',' '\n' <<<"$depends" | sed 's/([^)]*)//g; s/^ *//; s/ *$//' |
    grep -vxE "($needed|fonts-liberation \| fonts-dejavu-core \| fonts-noto-core)")
[ -z "$extra" ] || fail "Depends holds more than the programs need: $extra"

lintian --fail-on error --display-info --pedantic "$deb" >"$work/lintian.log" 2>&1 ||
    fail "lintian: $(cat "$work/lintian.log")"
# Built with Debian's hardening flags: fortified functions, bound at start.
hardening=$(grep -E "hardening-" "$work/lintian.log")
[ -z "$hardening" ] || fail "lintian: $hardening"

dpkg-deb -x "$deb" "$work/root"
# The user unit where systemd looks for the system's own (/usr/lib), naming the packaged bridge.
unit=$work/root/usr/lib/systemd/user/ravik-rotctld.service
grep -qxF "ExecStart=/usr/bin/ravik-rotctld --wait" "$unit" ||
    fail "the unit does not start /usr/bin/ravik-rotctld"
[ -e "$work/root/usr/share/systemd" ] && fail "the package has /usr/share/systemd"
for p in skypass handpoint ravik-sim ravik-upload ravik-pass ravik-rotctld; do
    missing=$(ldd "$work/root/usr/bin/$p" | grep -E "not found|libravik")
    [ -z "$missing" ] || fail "/usr/bin/$p: $missing"
done
"$work/root/usr/bin/ravik-sim" --help >/dev/null || fail "ravik-sim --help from the package"

if [ "$failures" -ne 0 ]; then
    echo "$failures package check(s) failed"
    exit 1
fi
echo "package check passed: $deb"
