#!/usr/bin/env bash
# Compiles records/, engine/, report/, drives/ and shell/ for syntax only with the mingw-w64
# cross compiler, where platform/win32.h is the real <windows.h>. The third
# argument is the build's folder of generated headers.
set -euo pipefail
compiler=$1
source_dir=$2
generated_dir=$3
cd "$source_dir"
shopt -s nullglob
export compiler generated_dir
# One compiler per core; xargs fails when any file does.
printf '%s\n' records/*.cpp engine/*.cpp report/*.cpp drives/*.cpp shell/*.cpp |
    xargs -P "$(nproc)" -I{} sh -c '"$compiler" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I. -I"$generated_dir" "$1" ||
                                      { echo "not Win32-clean: $1"; exit 1; }' check {}
