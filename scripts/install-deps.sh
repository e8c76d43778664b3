#!/usr/bin/env bash
# Installs the Debian packages that building and testing Durandex needs.
set -euo pipefail
packages=(
    cmake ninja-build g++ libgtest-dev libgmock-dev libncurses-dev
    g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
    python3 tmux util-linux e2fsprogs squashfs-tools fuseiso fuse3 genisoimage ncurses-term locales
    nlohmann-json3-dev python3-jsonschema prometheus prometheus-node-exporter curl systemd groff-base
)
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
