#!/usr/bin/env bash
# Installs the Debian packages that building and running Durandex needs:
#
#   scripts/install-deps.sh           the compiler, CMake, Ninja and ncurses
#   scripts/install-deps.sh --tests   also what the tests and the package check
#                                     need (GoogleTest, Python, MinGW, Wine,
#                                     Xvfb, tmux, FUSE and ISO tools, lintian,
#                                     man-db)
set -euo pipefail
packages=(cmake ninja-build g++ libncurses-dev nlohmann-json3-dev)
case "${1:-}" in
    "") ;;
    --tests)
        packages+=(
            libgtest-dev libgmock-dev python3
            g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64 xvfb xauth x11-utils xdotool imagemagick
            tmux util-linux e2fsprogs squashfs-tools fuseiso fuse3 genisoimage ncurses-term locales
            dpkg-dev file lintian man-db
            python3-jsonschema prometheus prometheus-node-exporter curl systemd groff-base
        ) ;;
    *) echo "usage: $0 [--tests]" >&2; exit 2 ;;
esac
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "install-deps: run as root to install: ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
