#!/usr/bin/env bash
# A real unattended run of about a minute: installs what building and running
# the program needs (compiler, CMake, Ninja, ncurses), builds the optimised
# program, maps drives C, D and E to three small tmpfs mounts, runs
# "durandex /a 1" headless (the ring C -> D, D -> E, E -> C), prints the run
# summary and exits with the run's status.
#
# The copies fill each target drive's free space until the run ends, so the
# drives are 256 MiB tmpfs mounts (up to 768 MiB of memory), never directories
# of the machine's own filesystems: filling the disk that holds /tmp is no
# demonstration. Mounting needs root, so without root it stops and says so.
# A clean run leaves nothing behind; a run that found errors (or was
# interrupted) keeps its temporary directory, with the summary and the logs
# copied off the tmpfs mounts, and says where.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" -ne 0 ]; then
    echo "demo: run as root: the drives are tmpfs mounts (and the packages may need installing)" >&2
    exit 1
fi
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target durandex

work=$(mktemp -d /tmp/durandex-demo.XXXXXX)
letters=(C D E)
mounted=()
# Keeps the summary and the logs of a mount (not the source files and the
# copies), then unmounts it; the kept files take the mount point's place.
keep_evidence() {
    local drive=$1
    mkdir "$drive.kept"
    (cd "$drive" && find . -name '*.dir' -prune -o -type f ! -name 'SRC.*' -exec cp --parents -p -t "$drive.kept" {} +)
    umount "$drive" && rmdir "$drive" && mv "$drive.kept" "$drive"
}
finish() {
    local status=$? unmounted=1 drive
    for drive in "${mounted[@]}"; do
        if [ "$status" -ne 0 ]; then
            keep_evidence "$drive" || unmounted=0
        else
            umount "$drive" || unmounted=0
        fi
    done
    if [ "$status" -eq 0 ] && [ "$unmounted" -eq 1 ]; then
        rm -rf --one-file-system "$work"
        echo "=== the run was clean; its temporary directory $work is removed ==="
    elif [ "$unmounted" -eq 1 ]; then
        echo "=== exit status $status: kept $work; the summary is $work/C/Durandex.Log, the task logs are under $work/{C,D,E}/durandex ==="
    else
        echo "=== exit status $status: a drive could not be unmounted; kept $work as it is (see: findmnt -R $work) ===" >&2
    fi
}
trap finish EXIT
for letter in "${letters[@]}"; do
    mkdir "$work/$letter"
    mount -t tmpfs -o size=256m "durandex-demo-$letter" "$work/$letter"
    mounted+=("$work/$letter")
done
mkdir "$work/lock"

echo "=== durandex /a 1 over three 256 MiB tmpfs drives in $work/{C,D,E} ==="
status=0
DURANDEX_UI=headless \
DURANDEX_DRIVES="C:fixed=$work/C;D:fixed=$work/D;E:fixed=$work/E" \
DURANDEX_EVENT_LOG="$work/events" \
DURANDEX_REGISTRY="$work/registry" \
DURANDEX_INSTANCE="$work/lock" \
    build/release/durandex /a 1 || status=$?
echo "=== the run summary, C:\\Durandex.Log ($work/C/Durandex.Log) ==="
cat "$work/C/Durandex.Log" 2>/dev/null || echo "(no summary was written)"
exit "$status"
