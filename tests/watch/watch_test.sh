#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# movanta-watch on the simulated port: exit statuses and their messages, the formats, count,
# until, timeout and debounce, figures that leave out the wait for a broker, a pipe that sees
# the first record at once and ends the program when it closes, and a stop signal that leaves
# a complete VCD.
# Usage: watch_test.sh MOVANTA-WATCH MOVANTA-PORTSIM SIMULATOR-LIBRARY-FOLDER READ-ONLY-DRIVER
set -euo pipefail

watch=$1 portsim=$2 simulator_dir=$3 read_only_driver=$4
name=$(basename "$0" .sh)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/movanta-watch-test-XXXXXX")
pid=''
cleanup() {
    [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    printf '%s: FAIL: %s\n' "$name" "$*" >&2
    exit 1
}
# shellcheck source=tests/support/simulator_script.sh
source "$(dirname "$0")/../support/simulator_script.sh"
lines_at_least() { [ -f "$1" ] && [ "$(wc -l <"$1")" -ge "$2" ]; }

# Reads 0x5A everywhere the rows look: the shown value is 255 - 0x5A = 165 = 0xA5.
sim set 888 0x5A
sim set 889 0x5A
mkdir "$tmp/nodriver" "$tmp/readonly"
cp "$watch" "$tmp/nodriver/movanta-watch" # its RUNPATH leads nowhere from there
cp "$read_only_driver" "$tmp/readonly/libdlportio.so"
printf '#!/bin/sh\nexec "%s" --once >&-\n' "$watch" >"$tmp/stdout-closed"
printf '#!/bin/sh\nexec "%s" "$@" >/dev/full\n' "$watch" >"$tmp/stdout-full"
chmod +x "$tmp/stdout-closed" "$tmp/stdout-full"

# Status | what stderr holds (extended regex; empty: nothing) | what stdout holds | command.
rows=(
    "0||^[0-9T:.+-]+ value=165 byte=90 bits=10100101\$|$watch --once"
    "0||,0,165,90,10100101\$|$watch --once -f csv -p 0x379"
    "0||^time,elapsed_us,value,byte,bits\$|$watch -n 1 -f csv --no-write"
    '0||^\{"time":"[^"]+","elapsed_us":0,"value":165,"byte":90,"bits":"10100101"\}$|'"$watch --once -f jsonl -p &H378"
    "0||^\\\$var wire 1 h bit7 \\\$end\$|$watch --once -f vcd"
    "0||value=165|$watch --until 0x81:0x81 -i 1"
    "0|^samples=1 records=1 late=0 glitches=0 seconds=[0-9.]+ rate=[0-9.]+ rising=0,0,0,0,0,0,0,0\$|value=165|$watch --once --stats"
    "3|^movanta-watch: timed out\$||$watch --until 0x01:0x00 -t 0.2 -i 1 -o $tmp/timeout.txt"
    "3|^samples=[0-9]+ records=1 late=0 glitches=0 seconds=1\.0[0-9]* ||$watch -t 1 --stats -o /dev/null --mqtt mqtt://127.0.0.1:9"
    "1|^movanta-watch: /dev/full: No space left on device\$||$watch -o /dev/full"
    "1|^movanta-watch: cannot open $tmp/none/x: No such file or directory\$||$watch -o $tmp/none/x"
    "1|^movanta-watch: standard output: Bad file descriptor\$||$tmp/stdout-closed"
    "1|^movanta-watch: Datei nicht gefunden: libdlportio.so||env -u LD_LIBRARY_PATH $tmp/nodriver/movanta-watch --once"
    "1|^movanta-watch: DLL-Einsprungpunkt DlPortWritePortUchar in libdlportio.so nicht gefunden\$||env LD_LIBRARY_PATH=$tmp/readonly $watch --once"
    "0|| value=[0-9]+ byte=|env LD_LIBRARY_PATH=$tmp/readonly $watch --once --no-write"
    "1|^movanta-watch: port 888: $tmp/none/ports: No such file or directory\$||env MOVANTA_PORTSIM=$tmp/none/ports $watch --once"
    "1|^movanta-watch: port 889: ||env MOVANTA_PORTSIM=$tmp/none/ports $watch --once -p 0x379"
    "2|^usage: movanta-watch ||$watch -p 888abc"
    "2|^movanta-watch: -i '0.001': expects 0 or||$watch -i 0.001"
    "2|^movanta-watch: -i '0.0000001': expects 0 or||$watch -i 0.0000001"
    "2|^movanta-watch: --once and --count cannot be used together\$||$watch --once -n 5"
    "0||^usage: movanta-watch |$watch --help"
    "1|^movanta-watch: standard output: No space left on device\$||$tmp/stdout-full --help"
    "1|^movanta-watch: standard output: No space left on device\$||$tmp/stdout-full --version"
)
for row in "${rows[@]}"; do
    IFS='|' read -r expected err_pattern out_pattern command <<<"$row"
    status=0
    # shellcheck disable=SC2086 # the command is split into its words on purpose
    timeout 10 $command >"$tmp/out" 2>"$tmp/err" || status=$?
    [ "$status" -eq "$expected" ] || fail "$command: status $status, expected $expected; stderr: $(cat "$tmp/err")"
    if [ -z "$err_pattern" ]; then
        [ ! -s "$tmp/err" ] || fail "$command: unexpected stderr: $(cat "$tmp/err")"
    else
        grep -Eq -- "$err_pattern" "$tmp/err" || fail "$command: stderr lacks /$err_pattern/: $(cat "$tmp/err")"
    fi
    [ -z "$out_pattern" ] || grep -Eq -- "$out_pattern" "$tmp/out" \
        || fail "$command: stdout lacks /$out_pattern/: $(cat "$tmp/out")"
done

# count: the value at start, then each change, up to the third record.
"$watch" -n 3 -i 2 -f csv -o "$tmp/count.csv" 2>"$tmp/err" &
pid=$!
wait_until "count: no first record" lines_at_least "$tmp/count.csv" 2
sim set 888 0x0F
wait_until "count: no second record" lines_at_least "$tmp/count.csv" 3
running || fail "count: ended after two records"
sim set 888 0x5A
finished 0 "count"
[ "$(tail -n +2 "$tmp/count.csv" | cut -d, -f3 | tr '\n' ' ')" = "165 240 165 " ] \
    || fail "count: $(cat "$tmp/count.csv")"

# until: runs through values that do not match, stops at the first that does.
"$watch" --until 0x0F:0x00 -i 2 -o "$tmp/until.txt" 2>"$tmp/err" &
pid=$!
wait_until "until: no first record" lines_at_least "$tmp/until.txt" 1
sim set 888 0x1E # shows 0xE1: low bits 0001
wait_until "until: no second record" lines_at_least "$tmp/until.txt" 2
running || fail "until: ended at a value that does not match"
sim set 888 0x0F # shows 0xF0
finished 0 "until"
grep -q 'value=240 ' <(tail -n 1 "$tmp/until.txt") || fail "until: $(cat "$tmp/until.txt")"
sim set 888 0x5A

# debounce: an input that keeps changing never settles (glitches, no record), the value it
# then keeps does after N equal reads. 2000 reads at 0.1 ms take 200 ms; the changes come
# every few ms.
"$watch" --debounce 2000 -i 0.1 -n 2 --stats -o "$tmp/debounce.txt" 2>"$tmp/err" &
pid=$!
wait_until "debounce: no first record" lines_at_least "$tmp/debounce.txt" 1
for value in 0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08 0x09 0x0A 0x0B 0x0C; do
    sim set 888 "$value"
done
running || fail "debounce: a changing input was recorded: $(cat "$tmp/debounce.txt")"
finished 0 "debounce"
grep -q 'value=243 ' <(tail -n 1 "$tmp/debounce.txt") || fail "debounce: $(cat "$tmp/debounce.txt")"
glitches=$(sed -n 's/.* glitches=\([0-9]*\) .*/\1/p' "$tmp/err")
[ "${glitches:-0}" -ge 3 ] || fail "debounce: expected at least 3 glitches: $(cat "$tmp/err")"
sim set 888 0x5A

# A pipe sees the first record while the program runs; closing it ends the program at once,
# quietly, with status 0.
mkfifo "$tmp/pipe"
"$watch" -i 1000 --stats >"$tmp/pipe" 2>"$tmp/err" &
pid=$!
exec 3<"$tmp/pipe"
read -r -t 10 first <&3 || fail "pipe: no first record within 10 s"
[[ "$first" == *" value=165 byte=90 bits=10100101" ]] || fail "pipe: first record '$first'"
running || fail "pipe: the program ended before the pipe closed"
exec 3<&-
finished 0 "pipe closed"
grep -q '^samples=1 records=1 ' "$tmp/err" || fail "pipe: $(cat "$tmp/err")"

# A stop signal while the FIFO waits for its reader ends the program as a stop: status 0.
"$watch" -o "$tmp/pipe" 2>"$tmp/err" &
pid=$!
wait_until "FIFO: the program does not wait for a reader" grep -qs wait_for_partner "/proc/$pid/wchan"
kill -TERM "$pid"
finished 0 "SIGTERM while opening a FIFO"

# Each stop signal ends the record with the output closed: the VCD's closing time follows the
# last change, and a strict reader takes the file. At 0.01 ms every poll is late: the program
# never sleeps, and still sees the signal.
for row in TERM:1 INT:1 HUP:1 TERM:0.01; do
    signal=${row%:*}
    vcd=$tmp/stop-$signal-${row#*:}.vcd
    env --default-signal=INT "$watch" -f vcd -i "${row#*:}" -o "$vcd" 2>"$tmp/err" &
    pid=$!
    wait_until "$signal: no first record" grep -qs '^#0$' "$vcd"
    sim set 888 0x0F
    wait_until "$signal: no second record" eval "[ \$(grep -c '^#' '$vcd') -ge 2 ]"
    kill -s "$signal" "$pid"
    finished 0 "SIG$signal"
    last_change=$(grep '^#' "$vcd" | tail -n 2 | head -n 1 | tr -d '#')
    closing=$(tail -n 1 "$vcd")
    [ "$closing" = "#$((last_change + 1))" ] || fail "SIG$signal: the VCD ends with '$closing', not #$((last_change + 1))"
    if command -v vcd2fst >/dev/null; then
        vcd2fst "$vcd" "$tmp/stop.fst" >/dev/null 2>&1 || fail "SIG$signal: vcd2fst refuses the VCD"
    fi
    sim set 888 0x5A
done
echo "$name: passed"
