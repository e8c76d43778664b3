#!/usr/bin/env bash
# A real unattended run of about a minute: installs what the build needs,
# builds, maps drives C, D and E to fresh temporary directories, runs
# "durandex /a 1" headless (the ring C -> D, D -> E, E -> C), prints the run
# summary and exits with the run's status.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target durandex
work=$(mktemp -d /tmp/durandex-demo.XXXXXX)
mkdir -p "$work/C" "$work/D" "$work/E" "$work/lock"
echo "=== durandex /a 1 over $work/{C,D,E} ==="
status=0
DURANDEX_UI=headless \
DURANDEX_DRIVES="C:fixed=$work/C;D:fixed=$work/D;E:fixed=$work/E" \
DURANDEX_EVENT_LOG="$work/events" \
DURANDEX_REGISTRY="$work/registry" \
DURANDEX_INSTANCE="$work/lock" \
    build/default/durandex /a 1 || status=$?
echo "=== $work/C/Durandex.Log ==="
cat "$work/C/Durandex.Log" 2>/dev/null || echo "(no summary was written)"
echo "=== exit status $status; files left in $work ==="
exit "$status"
