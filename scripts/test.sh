#!/usr/bin/env bash
# Installs what the build and the tests need, then builds and runs every test
# in the plain, the AddressSanitizer+UndefinedBehaviorSanitizer, the
# ThreadSanitizer and the optimised (release) build, and checks the Debian
# package made from the release build; then builds the Windows program
# (windows), runs its tests under Wine and checks its zip. Arguments name the
# presets to run, one after the other.
#
# Without arguments the Windows program is cross-built beside the Linux
# stages, at a lower priority: the Linux tests spend much of their time
# waiting on timed runs, and the cross build fills that time. Its tests run
# under Wine after the Linux stages, on a machine left to them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests

build_preset() {
    # Warnings fail the release build here too: the optimiser finds faults
    # that the debug builds do not show.
    cmake --preset "$1" -DBUILD_TESTING=ON -DDURANDEX_WERROR=ON >/dev/null
    cmake --build --preset "$1"
}

run_preset() {
    local preset=$1
    echo "=== $preset build ==="
    build_preset "$preset"
    ctest --preset "$preset"
    if [ "$preset" = release ]; then
        echo "=== package ==="
        scripts/check-package.sh build/release
    fi
    if [ "$preset" = windows ]; then
        echo "=== windows zip ==="
        scripts/check-windows-zip.sh build/windows
    fi
}

if [ $# -gt 0 ]; then
    for preset in "$@"; do
        run_preset "$preset"
    done
    exit 0
fi

windows_log=$(mktemp)
trap 'rm -f "$windows_log"' EXIT
(
    renice -n 10 -p "$BASHPID" >/dev/null
    build_preset windows
) >"$windows_log" 2>&1 &
windows_build=$!
for preset in default asan tsan release; do
    run_preset "$preset"
done
echo "=== windows build, made beside the Linux stages ==="
windows_status=0
wait "$windows_build" || windows_status=$?
cat "$windows_log"
[ "$windows_status" -eq 0 ]
run_preset windows
