#!/usr/bin/env bash
# Compiles records/, engine/, report/, drives/ and shell/ for syntax only with the mingw-w64
# cross compiler, where platform/win32.h is the real <windows.h>.
set -euo pipefail
compiler=$1
source_dir=$2
cd "$source_dir"
shopt -s nullglob
status=0
for file in records/*.cpp engine/*.cpp report/*.cpp drives/*.cpp shell/*.cpp; do
    if ! "$compiler" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I. "$file"; then
        echo "not Win32-clean: $file"
        status=1
    fi
done
exit $status
