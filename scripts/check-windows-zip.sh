#!/usr/bin/env bash
# Makes the Windows zip in a windows build folder and checks that it holds
# the program, which starts under Wine without any DLL of the compiler's,
# and its texts: scripts/check-windows-zip.sh build/windows
set -euo pipefail
build=$(realpath "$1")
cd "$build"
rm -f durandex-*-windows-x86_64.zip
cpack -G ZIP >/dev/null
zip=$(ls durandex-*-windows-x86_64.zip)
listing=$(python3 -c 'import sys, zipfile; print("\n".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip")
top=${zip%.zip}
expected=$(printf '%s\n' "$top/README.md" "$top/copyright" "$top/durandex.exe" "$top/durandex.txt" | sort)
if [ "$listing" != "$expected" ]; then
    printf 'check-windows-zip: %s holds\n%s\nnot\n%s\n' "$zip" "$listing" "$expected" >&2
    exit 1
fi
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$unpacked"
grep -q '^DURANDEX(1)' "$unpacked/$top/durandex.txt" || { echo "check-windows-zip: the manual is not text" >&2; exit 1; }
if command -v x86_64-w64-mingw32-objdump >/dev/null; then
    dlls=$(x86_64-w64-mingw32-objdump -p "$unpacked/$top/durandex.exe" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
    if [ "$dlls" != "advapi32.dll gdi32.dll kernel32.dll msvcrt.dll user32.dll " ]; then
        echo "check-windows-zip: durandex.exe needs $dlls" >&2
        exit 1
    fi
fi
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
if [ -x "$wine" ] && [ -d "$build/wine-prefix" ]; then
    version=$(WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all "$wine" "$unpacked/$top/durandex.exe" --version 2>/dev/null | tr -d '\r')
    case "$version" in
        "durandex "*) ;;
        *) echo "check-windows-zip: the zipped program says \"$version\" to --version" >&2; exit 1 ;;
    esac
fi
echo "check-windows-zip: $zip is complete"
