#!/usr/bin/env bash
# Installs what the build and the tests need, then builds and runs every test
# in the plain, the AddressSanitizer+UndefinedBehaviorSanitizer, the
# ThreadSanitizer and the optimised (release) build, and checks the Debian
# package made from the release build; then builds the Windows program
# (windows), runs its tests under Wine and checks its zip. Arguments name the
# presets to run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(default asan tsan release windows)
for preset in "${presets[@]}"; do
    echo "=== $preset build ==="
    # Warnings fail the release build here too: the optimiser finds faults
    # that the debug builds do not show.
    cmake --preset "$preset" -DBUILD_TESTING=ON -DDURANDEX_WERROR=ON >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
    if [ "$preset" = release ]; then
        echo "=== package ==="
        scripts/check-package.sh build/release
    fi
    if [ "$preset" = windows ]; then
        echo "=== windows zip ==="
        scripts/check-windows-zip.sh build/windows
    fi
done
