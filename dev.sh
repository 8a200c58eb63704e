#!/usr/bin/env bash
# Builds Quillet and starts it (./dev.sh start), or builds it and runs every
# test (./dev.sh test). Installs the Debian packages it needs when run as
# root; otherwise prints the exact install line.
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake ninja-build g++ qt6-base-dev libgl-dev libgtest-dev libbenchmark-dev
          fonts-liberation fonts-wqy-zenhei xvfb xauth xdotool imagemagick)

ensure_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    else
        echo "Missing packages. Install them with:"
        echo "  sudo apt-get install -y ${missing[*]}"
        exit 1
    fi
}

build() { # build-dir build-type
    cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE="$2" >/dev/null
    cmake --build "$1" -j"$(nproc)"
}

case "${1:-}" in
    start)
        ensure_packages
        build build-release Release
        exec ./build-release/quillet
        ;;
    test)
        ensure_packages
        build build-test RelWithDebInfo
        (cd build-test && ctest --output-on-failure -j"$(nproc)")
        ;;
    *)
        echo "usage: ./dev.sh start | ./dev.sh test" >&2
        exit 2
        ;;
esac
