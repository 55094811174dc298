#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# movanta-watch's budgets on the simulator: samples/s paced at 1 ms and 0.1 ms with the CPU
# they cost, the free-running rate against a bare loop calling the driver's read entry point
# on a thread of its own in the same run, and the CPU while idle at 50 ms; then the same with
# the service additions: pulse counters and turning files free-running, a slow --exec command
# at 1 ms, and what a turn of files costs the poll. Prints a table for docs/performance.md.
# Usage: bench/watch_bench.sh [BUILD_DIR]   (default build/; its three targets are built)
# MOVANTA_BENCH_SECONDS (default 10) sets each measured run.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
seconds=${MOVANTA_BENCH_SECONDS:-10}
cmake --build "$build" --target movanta-watch bare_read_loop movanta_sim_driver portsim_drive \
    bench_rotation >/dev/null
bin=$build/bin

work=$(mktemp -d /tmp/movanta-watch-bench-XXXXXX)
drive_pid=''
trap '[ -z "$drive_pid" ] || kill "$drive_pid" 2>/dev/null; rm -rf "$work"' EXIT
export MOVANTA_PORTSIM=$work/portsim
export LD_LIBRARY_PATH=$build/lib/movanta/portsim
"$bin/movanta-portsim" set 888 0x5A 2>/dev/null || "$build/bin/movanta-portsim" reset

rows=()
row() { rows+=("| $1 | $2 | $3 | $4 |"); printf '  %-50s %s\n' "$1" "$2"; }
verdict() { awk -v a="$1" -v op="$2" -v b="$3" 'BEGIN {
    ok = (op == "<") ? a < b : a >= b; print ok ? "met" : "NOT met" }'; }

# watch_run ARGS...: runs movanta-watch for $seconds with --stats; sets rate (samples/s),
# late and cpu (% of one core, user + system, from the shell's children times).
watch_run() {
    local times
    times=$( (
        "$bin/movanta-watch" -o /dev/null --stats -t "$seconds" "$@" 2>"$work/stats" || [ $? -eq 3 ]
        times
    ) | tail -n 1)
    rate=$(sed -n 's/.* rate=\([0-9.]*\).*/\1/p' "$work/stats")
    late=$(sed -n 's/.* late=\([0-9]*\) .*/\1/p' "$work/stats")
    cpu=$(awk -v t="$times" -v s="$seconds" 'BEGIN {
        split(t, f, /[ms ]+/)  # "0m1.234s 0m0.567s" -> 0 1.234 0 0.567
        printf "%.2f", 100 * (f[1] * 60 + f[2] + f[3] * 60 + f[4]) / s }')
}

echo "movanta-watch on the simulator, $seconds s a run"
watch_run -i 1
row "paced at 1 ms (255 written before each read)" "$rate samples/s, $late late; CPU $cpu %" \
    "≥ 990 samples/s" "$(verdict "$rate" '>=' 990)"
watch_run -i 1 --no-write
row "paced at 1 ms, --no-write" "$rate samples/s, $late late; CPU $cpu %" \
    "≥ 990 samples/s" "$(verdict "$rate" '>=' 990)"
watch_run -i 0.1 --no-write
row "paced at 0.1 ms, --no-write" "$rate samples/s, $late late; CPU $cpu %" \
    "≥ 9,900 samples/s" "$(verdict "$rate" '>=' 9900)"
watch_run -i 50
row "idle at 50 ms (value steady)" "$rate samples/s; CPU $cpu %" "CPU < 0.5 %" \
    "$(verdict "$cpu" '<' 0.5)"

# Free-running against the bare loop on a thread of its own, as the watch polls, alternating,
# three of each; the medians compared. The bare loop on the only thread shows what the second
# thread costs the driver.
bare=() free=() single=()
bare_rate() { "$bin/bare_read_loop" 888 "$seconds" "$@" | sed -n 's/.* rate=\([0-9.]*\).*/\1/p'; }
for _ in 1 2 3; do
    bare+=("$(bare_rate threaded)")
    watch_run -i 0 --no-write
    free+=("$rate")
    single+=("$(bare_rate)")
done
median() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
bare_median=$(median "${bare[@]}") free_median=$(median "${free[@]}")
single_median=$(median "${single[@]}")
ratio=$(awk -v a="$free_median" -v b="$bare_median" 'BEGIN { printf "%.2f", a / b }')
row "free-running, --no-write, median of 3" \
    "$(awk -v a="$free_median" -v b="$bare_median" -v r="$ratio" \
        'BEGIN { printf "%.1f M samples/s vs bare loop %.1f M reads/s = %s", a / 1e6, b / 1e6, r }')" \
    "≥ 0.8 of the bare loop" "$(verdict "$ratio" '>=' 0.8)"
row "bare loop on the process's only thread, median of 3" \
    "$(awk -v a="$single_median" 'BEGIN { printf "%.1f M reads/s", a / 1e6 }')" "—" "—"

# The service additions. The input changes every millisecond (portsim_drive), so that there
# are edges to count, records to write and files to turn.
drive() { "$bin/portsim_drive" 888 "$1" 1000 & drive_pid=$!; }
drive_stop() { kill "$drive_pid" 2>/dev/null || true; wait "$drive_pid" 2>/dev/null || true; drive_pid=''; }
bare=() free=()
for i in 1 2 3; do
    drive $((2 * seconds + 5))
    bare+=("$(bare_rate threaded)")
    mkdir -p "$work/rot$i"
    watch_run -i 0 --no-write --counters "$work/counters" -f csv -o "$work/rot$i/r.csv" \
        --rotate-size 64K
    free+=("$rate")
    drive_stop
done
bare_median=$(median "${bare[@]}") free_median=$(median "${free[@]}")
ratio=$(awk -v a="$free_median" -v b="$bare_median" 'BEGIN { printf "%.2f", a / b }')
row "free-running with --counters and CSV turning at 64 KiB, input changing every 1 ms, median of 3" \
    "$(awk -v a="$free_median" -v b="$bare_median" -v r="$ratio" \
        'BEGIN { printf "%.1f M samples/s vs bare loop %.1f M reads/s = %s", a / 1e6, b / 1e6, r }')" \
    "≥ 0.8 of the bare loop" "$(verdict "$ratio" '>=' 0.8)"

# The driving process costs the machine too: the same 1 ms run without --exec for comparison.
drive $((seconds + 5))
watch_run -i 1
drive_stop
row "paced at 1 ms, input changing every 1 ms (comparison for the next two)" \
    "$rate samples/s, $late late; CPU $cpu %" "≥ 990 samples/s" "$(verdict "$rate" '>=' 990)"

drive $((seconds + 10))
watch_run -i 1 --exec 'sleep 1' 2>/dev/null
drive_stop
dropped=$(sed -n 's/.* exec_dropped=\([0-9]*\).*/\1/p' "$work/stats")
row "paced at 1 ms, --exec 'sleep 1', input changing every 1 ms" \
    "$rate samples/s, $late late, $dropped records dropped; CPU $cpu %" \
    "≥ 990 samples/s" "$(verdict "$rate" '>=' 990)"

drive $((seconds + 5))
mkdir -p "$work/turns"
watch_run -i 1 -f csv -o "$work/turns/r.csv" --rotate-size 4K --keep 10
drive_stop
row "paced at 1 ms, CSV files turning at 4 KiB (every 60 records, --keep 10), input changing every 1 ms" \
    "$rate samples/s, $late late; CPU $cpu %" "≥ 990 samples/s" "$(verdict "$rate" '>=' 990)"

"$bin/bench_rotation" --benchmark_format=csv 2>/dev/null >"$work/rotation.csv"
turn_column() { awk -F, -v name="$1" -v column="$2" '
    /^name,/ { for (i = 1; i <= NF; i++) { h = $i; gsub(/"/, "", h); index_of[h] = i }; next }
    { n = $1; gsub(/"/, "", n); if (n == name) print $(index_of[column]) }' "$work/rotation.csv"; }
for format in Csv Vcd; do
    p50=$(turn_column "BM_Turn$format/iterations:5000/real_time" p50_us)
    p99=$(turn_column "BM_Turn$format/iterations:5000/real_time" p99_us)
    max=$(turn_column "BM_Turn$format/iterations:5000/real_time" max_us)
    row "a record that turns the file ($format, --keep 10): p50 (p99, max)" \
        "$(printf '%.1f µs (%.1f, %.1f)' "$p50" "$p99" "$max")" "< 1 ms" "$(verdict "$p99" '<' 1000)"
done

echo
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) CPUs; $(uname -sr);" \
    "load $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| measure | figure | budget | |"
echo "|---|---|---|---|"
printf '%s\n' "${rows[@]}"
