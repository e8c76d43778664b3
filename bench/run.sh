#!/usr/bin/env bash
# Verified throughput of Durandex against the tools people use to check a
# disk: fio writing with crc32c verification and direct I/O, and a cp + cmp
# loop that drops the page cache before every read. All run on the same
# filesystem, interleaved, for several rounds; then Durandex alone with 1, 2,
# 4 and 8 tasks.
#
#   bench/run.sh DIRECTORY [--loop-image] [--seconds N] [--rounds N] [--steady-minutes N]
#
# Durandex (a ring of two tasks) is measured in two phases: the fill phase,
# from the start until its copies hold 90 % of the free space, and the steady
# state on the full target, over whole minutes of its own minute lines. A
# filesystem with more than 16 GiB free is measured in the fill phase only,
# for --seconds. Run as root (cache drops, direct I/O, loop mounts).
# --loop-image makes a 2 GiB ext4 image inside DIRECTORY, loop-mounts it and
# measures there.
# Per tool it prints verified MB/s, device bytes read and written per
# verified byte (from /proc/PID/io), CPU seconds per GiB verified, and the
# ratios of Durandex to the others.
set -euo pipefail

usage() { echo "usage: $0 DIRECTORY [--loop-image] [--seconds N] [--rounds N] [--steady-minutes N]" >&2; exit 2; }
[ $# -ge 1 ] || usage
base=$(realpath "$1"); shift
seconds=30 rounds=2 loop_image=0 minutes=2
while [ $# -gt 0 ]; do
    case "$1" in
        --loop-image) loop_image=1 ;;
        --seconds) seconds=$2; shift ;;
        --rounds) rounds=$2; shift ;;
        --steady-minutes) minutes=$2; shift ;;
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
    truncate -s 2G "$work/image"
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

# The process's own account: "read_bytes write_bytes cpu_s".
sample() {
    awk '/^read_bytes/ {r = $2} /^write_bytes/ {w = $2} END {printf "%s %s ", r, w}' "/proc/$1/io"
    awk -v hz="$(getconf CLK_TCK)" '{print ($14 + $15) / hz}' "/proc/$1/stat"
}

# The differences of two samples.
since() { awk -v a="$1" -v b="$2" 'BEGIN { split(a, x, " "); split(b, y, " "); print y[1] - x[1], y[2] - x[2], y[3] - x[3] }'; }

avail_bytes() { df -B1 --output=avail "$work" | tail -n 1 | tr -d ' '; }
now() { date +%s.%N; }
minute_lines() { grep -c ' MB/s verified; ' "$dx_dir/out" || true; }

# Starts Durandex with TASKS fixed drives in a ring (TASKS tasks), all on the
# measured filesystem; sets dx_pid and dx_dir.
start_durandex() {
    local tasks=$1 map="" letter
    dx_dir="$work/durandex"
    rm -rf "$dx_dir"; mkdir -p "$dx_dir/lock"
    for index in $(seq 0 $((tasks - 1))); do
        letter=$(printf "\\x$(printf %x $((67 + index)))")
        mkdir -p "$dx_dir/$letter"
        map="$map${map:+;}$letter:fixed=$dx_dir/$letter"
    done
    drop_caches
    DURANDEX_UI=headless DURANDEX_DRIVES="$map" DURANDEX_INSTANCE="$dx_dir/lock" \
        DURANDEX_REGISTRY="$dx_dir/registry" DURANDEX_EVENT_LOG="$dx_dir/events" \
        "$durandex" /a > "$dx_dir/out" 2>&1 &
    dx_pid=$!
}

# One SIGINT (timeout(1) would signal the process group as well); the
# deletion of the copies at the end is not measured. The output stays as
# $dx_dir.out.
stop_durandex() {
    kill -INT "$dx_pid"
    wait "$dx_pid" || true
    mv "$dx_dir/out" "$dx_dir.out"
    chmod -R u+w "$dx_dir"; rm -rf "$dx_dir"
}

# The copies fill the target: full once they hold 90 % of what was free.
# wait_until_full FREE_BEFORE CAP_SECONDS; false when the cap came first.
wait_until_full() {
    local free_before=$1 cap=$2 started
    started=$(now)
    while awk -v f="$free_before" -v a="$(avail_bytes)" 'BEGIN { exit !(f - a < f * 0.9) }'; do
        awk -v s="$started" -v n="$(now)" -v c="$cap" 'BEGIN { exit !(n - s < c) }' || return 1
        sleep 0.2
    done
}

# The fill phase: from the start until the target is full (or CAP seconds),
# while the copies run ahead of the compare. run_fill TASKS NAME CAP
run_fill() {
    local tasks=$1 name=$2 cap=$3 free_before start end before after megabytes state=full
    free_before=$(avail_bytes)
    start_durandex "$tasks"
    start=$(now); before=$(sample "$dx_pid")
    wait_until_full "$free_before" "$cap" || state="not full"
    end=$(now); after=$(sample "$dx_pid")
    stop_durandex
    megabytes=$(grep -o '; [0-9]* MB at' "$dx_dir.out" | tr -dc 0-9)
    rm -f "$dx_dir.out"
    echo "   ($name: $state after $(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.0f", e - s }') s)"
    report "$name" "$((megabytes * 1000000))" "$start" "$end" $(since "$before" "$after")
}

# Waits until standard output holds COUNT minute lines.
wait_for_minute_line() {
    while [ "$(minute_lines)" -lt "$1" ]; do sleep 0.2; done
}

# The steady state on a full target: the copy worker waits for room that the
# compare frees. Measured over whole minutes after the target is full, from
# the program's minute lines. run_steady TASKS NAME MINUTES
run_steady() {
    local tasks=$1 name=$2 minutes=$3 free_before first start end before after megabytes
    free_before=$(avail_bytes)
    start_durandex "$tasks"
    if ! wait_until_full "$free_before" 900; then
        echo "   ($name: the target was not full after 15 minutes; no steady state)"
        stop_durandex
        return
    fi
    first=$(( $(minute_lines) + 1 ))
    wait_for_minute_line "$first"
    start=$(now); before=$(sample "$dx_pid")
    wait_for_minute_line $((first + minutes))
    end=$(now); after=$(sample "$dx_pid")
    megabytes=$(grep -o '[0-9.]* MB/s verified; ' "$dx_dir/out" | sed -n "$((first + 1)),$((first + minutes))p" |
                awk '{ sum += $1 * 60 } END { printf "%.0f", sum }')
    stop_durandex
    report "$name" "$((megabytes * 1000000))" "$start" "$end" $(since "$before" "$after")
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

# A filesystem larger than this is measured in its fill phase only: filling
# it would take too long.
steady_most_bytes=$((16 * 1024 * 1024 * 1024))
steady=1
[ "$(avail_bytes)" -le "$steady_most_bytes" ] || steady=0
[ "$steady" -eq 1 ] || echo "bench: $(avail_bytes) bytes free: fill phase only, $seconds s"

for round in $(seq 1 "$rounds"); do
    echo "--- round $round"
    run_fill 2 "durandex fill" "$( [ "$steady" -eq 1 ] && echo 900 || echo "$seconds")"
    [ "$steady" -eq 0 ] || run_steady 2 "durandex steady" "$minutes"
    run_fio
    run_cp_cmp
done
echo "--- tasks, fill phase"
for tasks in 1 2 4 8; do
    run_fill "$tasks" "durandex x$tasks" "$seconds"
done
echo "--- means over $rounds rounds"
fio=$(mean fio); cp=$(mean cp+cmp)
for phase in fill steady; do
    [ -n "${speed_runs[durandex $phase]:-}" ] || continue
    dx=$(mean "durandex $phase")
    awk -v p="$phase" -v d="$dx" -v f="$fio" -v c="$cp" 'BEGIN {
        printf "durandex %-6s %7.1f MB/s: / fio (%.1f) = %.2f, / cp+cmp (%.1f) = %.1f\n", p, d, f, d / f, c, d / c }'
done
