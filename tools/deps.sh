#!/usr/bin/env bash
# Installs what building and testing need, on Debian 12. Sourced by the other scripts.
set -euo pipefail

RAVIK_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev qt6-qpa-plugins
    libgtest-dev libbenchmark-dev xvfb xauth clang libclang-rt-14-dev desktop-file-utils
    fonts-dejavu-core fonts-liberation fonts-noto-core dpkg-dev file lintian
    xdotool xclip libxcb1-dev libhamlib-utils)
# The orbit tests' references: the published verification table, and an independent propagator.
RAVIK_PACKAGES+=(python3-sgp4 python3-skyfield)

ravik_install_deps() {
    local missing=()
    for p in "${RAVIK_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local as_root=()
    if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
        as_root=(sudo)
    fi
    if [ "$(id -u)" -eq 0 ] || [ ${#as_root[@]} -ne 0 ]; then
        local apt=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -qq)
        "${apt[@]}" update
        # A fresh Debian 12 needs about 370 packages for the whole set: say so before the wait.
        local count
        count=$("${apt[@]}" install -s --no-install-recommends "${missing[@]}" |
            grep -c '^Inst ' || true)
        echo "Installing $count Debian packages, a few minutes: ${missing[*]} and what they need"
        "${apt[@]}" install -y --no-install-recommends "${missing[@]}" >/dev/null
    else
        echo "These Debian packages are missing; install them as root, then run this again:" >&2
        echo "  apt-get install ${missing[*]}" >&2
        exit 1
    fi
}
