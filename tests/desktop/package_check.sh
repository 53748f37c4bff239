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

lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 ||
    fail "lintian: $(cat "$work/lintian.log")"

dpkg-deb -x "$deb" "$work/root"
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
