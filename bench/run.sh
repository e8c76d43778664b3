#!/usr/bin/env bash
# Verified throughput of Durandex against the tools people use to check a
# disk: fio writing with crc32c verification and direct I/O, and a cp + cmp
# loop that drops the page cache before every read. All run on the same
# filesystem, interleaved, for several rounds; then Durandex alone with 1, 2,
# 4 and 8 tasks.
#
#   bench/run.sh DIRECTORY [--loop-image] [--seconds N] [--rounds N]
#
# Run as root (cache drops, direct I/O, loop mounts). --loop-image makes a
# 1 GiB ext4 image inside DIRECTORY, loop-mounts it and measures there.
# Per tool it prints verified MB/s, device bytes read and written per
# verified byte (from /proc/PID/io), CPU seconds per GiB verified, and the
# ratios of Durandex to the others.
set -euo pipefail

usage() { echo "usage: $0 DIRECTORY [--loop-image] [--seconds N] [--rounds N]" >&2; exit 2; }
[ $# -ge 1 ] || usage
base=$(realpath "$1"); shift
seconds=30 rounds=2 loop_image=0
while [ $# -gt 0 ]; do
    case "$1" in
        --loop-image) loop_image=1 ;;
        --seconds) seconds=$2; shift ;;
        --rounds) rounds=$2; shift ;;
        *) usage ;;
    esac
    shift
done
[ "$(id -u)" -eq 0 ] || { echo "bench: run as root" >&2; exit 1; }
[ -d "$base" ] || { echo "bench: $base is not a directory" >&2; exit 1; }

here=$(cd "$(dirname "$0")/.." && pwd)
command -v fio >/dev/null || { apt-get update -qq && apt-get install -y -qq fio >/dev/null; }
"$here/scripts/install-deps.sh"
(cd "$here" && cmake --preset release >/dev/null && cmake --build --preset release --target durandex | tail -n 1)
durandex=$here/build/release/durandex

work=$(mktemp -d "$base/durandex-bench.XXXXXX")
mounted=""
cleanup() {
    [ -z "$mounted" ] || umount "$mounted" || true
    rm -rf "$work"
}
trap cleanup EXIT
if [ "$loop_image" -eq 1 ]; then
    truncate -s 1G "$work/image"
    mkfs.ext4 -q -F "$work/image"
    mkdir "$work/mnt"
    mount -o loop "$work/image" "$work/mnt"
    mounted=$work/mnt
    work=$work/mnt
fi
echo "bench: $(findmnt -n -o SOURCE,FSTYPE,OPTIONS -T "$work"), ${seconds} s per measure, $rounds rounds"

# The sizes of Durandex's ten source files, for the cp + cmp loop.
sizes=(243 1037 4083 4109 65523 65549 262131 262157 1048563 4194317)

# Runs a command in a shell that reports, once the command has been waited
# for, the I/O and CPU time of its children: "read_bytes write_bytes cpu_s".
measure() {
    bash -c '"$@" >/dev/null 2>&1 || true
             read_bytes=$(awk "/^read_bytes/ {print \$2}" /proc/$$/io)
             write_bytes=$(awk "/^write_bytes/ {print \$2}" /proc/$$/io)
             cpu=$(awk -v hz="$(getconf CLK_TCK)" "{print (\$16 + \$17) / hz}" /proc/$$/stat)
             echo "$read_bytes $write_bytes $cpu"' measure "$@"
}

drop_caches() { sync; echo 3 > /proc/sys/vm/drop_caches; }

# Durandex with N fixed drives in a ring (N tasks), stopped by one SIGINT
# (timeout(1) would signal the process group as well, and a second signal
# ends Durandex at once without its summary).
# run_durandex TASKS NAME
run_durandex() {
    local tasks=$1 name=$2 dir="$work/durandex" map="" letter
    rm -rf "$dir"; mkdir -p "$dir/lock"
    for index in $(seq 0 $((tasks - 1))); do
        letter=$(printf "\\x$(printf %x $((67 + index)))")
        mkdir -p "$dir/$letter"
        map="$map${map:+;}$letter:fixed=$dir/$letter"
    done
    drop_caches
    local start end out usage
    start=$(date +%s.%N)
    usage=$(DURANDEX_UI=headless DURANDEX_DRIVES="$map" DURANDEX_INSTANCE="$dir/lock" \
            DURANDEX_REGISTRY="$dir/registry" DURANDEX_EVENT_LOG="$dir/events" \
            measure bash -c "$durandex /a > $dir/out & sleep $seconds; kill -INT \$!; wait \$!")
    end=$(date +%s.%N)
    local megabytes
    megabytes=$(grep -o '; [0-9]* MB at' "$dir/out" | tr -dc 0-9)
    chmod -R u+w "$dir"; rm -rf "$dir"
    report "$name" "$((megabytes * 1000000))" "$start" "$end" $usage
}

run_fio() {
    local dir="$work/fio" start end usage size
    rm -rf "$dir"; mkdir -p "$dir"
    # 1 GiB, or a third of the free space on a small filesystem.
    size=$(df -B1 --output=avail "$dir" | awk -v most=$((1024 * 1024 * 1024)) 'NR == 2 {
        size = int($1 / 3 / 1048576) * 1048576; print (size < most ? size : most) }')
    drop_caches
    start=$(date +%s.%N)
    usage=$(measure fio --name=verify --directory="$dir" --rw=write --bs=1M --size=$size --direct=1 \
                       --ioengine=psync --verify=crc32c --do_verify=1 --verify_state_save=0)
    end=$(date +%s.%N)
    rm -rf "$dir"
    report "fio" "$size" "$start" "$end" $usage
}

run_cp_cmp() {
    local dir="$work/cpcmp" start end usage
    rm -rf "$dir"; mkdir -p "$dir/src" "$dir/dst"
    for index in "${!sizes[@]}"; do
        head -c "${sizes[$index]}" /dev/urandom > "$dir/src/$index"
    done
    local total=0
    for size in "${sizes[@]}"; do total=$((total + size)); done
    start=$(date +%s.%N)
    usage=$(measure bash -c '
        dir=$1 seconds=$2 rounds=0
        end=$((SECONDS + seconds))
        while [ $SECONDS -lt $end ]; do
            sync; echo 3 > /proc/sys/vm/drop_caches
            cp --reflink=never "$dir"/src/* "$dir/dst/"
            sync; echo 3 > /proc/sys/vm/drop_caches
            for file in "$dir"/src/*; do cmp -s "$file" "$dir/dst/${file##*/}"; done
            rm -f "$dir"/dst/*
            rounds=$((rounds + 1))
        done
        echo $rounds > "$dir/rounds"' loop "$dir" "$seconds")
    end=$(date +%s.%N)
    local rounds_done
    rounds_done=$(cat "$dir/rounds")
    rm -rf "$dir"
    report "cp+cmp" "$((rounds_done * total))" "$start" "$end" $usage
}

declare -A speed_sum speed_runs
# report NAME VERIFIED_BYTES START END READ_BYTES WRITE_BYTES CPU_S
report() {
    local name=$1 verified=$2 start=$3 end=$4 read=$5 written=$6 cpu=$7
    awk -v n="$name" -v v="$verified" -v s="$start" -v e="$end" -v r="$read" -v w="$written" -v c="$cpu" 'BEGIN {
        t = e - s; mbs = v / 1e6 / t
        printf "%-12s %9.1f MB/s verified  %5.2f read + %5.2f written device bytes per verified byte  %5.2f CPU s/GiB\n",
               n, mbs, (v ? r / v : 0), (v ? w / v : 0), (v ? c / (v / 1073741824) : 0) }'
    local mbs
    mbs=$(awk -v v="$verified" -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", v / 1e6 / (e - s) }')
    speed_sum[$name]=$(awk -v a="${speed_sum[$name]:-0}" -v b="$mbs" 'BEGIN { print a + b }')
    speed_runs[$name]=$(( ${speed_runs[$name]:-0} + 1 ))
}

mean() { awk -v a="${speed_sum[$1]}" -v n="${speed_runs[$1]}" 'BEGIN { printf "%.1f", a / n }'; }

for round in $(seq 1 "$rounds"); do
    echo "--- round $round"
    run_durandex 1 durandex
    run_fio
    run_cp_cmp
done
echo "--- tasks"
for tasks in 1 2 4 8; do
    run_durandex "$tasks" "durandex x$tasks"
done
echo "--- means over $rounds rounds"
dx=$(mean durandex); fio=$(mean fio); cp=$(mean cp+cmp)
echo "durandex $dx MB/s, fio $fio MB/s, cp+cmp $cp MB/s"
awk -v d="$dx" -v f="$fio" -v c="$cp" 'BEGIN { printf "durandex / fio = %.2f, durandex / cp+cmp = %.1f\n", d / f, d / c }'
