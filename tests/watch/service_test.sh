#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# movanta-watch as a service on the simulated port: pulse counters across a restart and a
# kill -9, refused counters files that stay as they were, turning files read back by
# sigrok-cli and as CSV with nothing lost or doubled, sd_notify through a socket of our own,
# and --exec in order with its environment.
# Usage: service_test.sh MOVANTA-WATCH MOVANTA-PORTSIM SIMULATOR-LIBRARY-FOLDER NOTIFY-SOCKET-READER
set -euo pipefail

watch=$1 portsim=$2 simulator_dir=$3 notify_reader=$4
name=$(basename "$0" .sh)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/movanta-service-test-XXXXXX")
pid=''
cleanup() {
    [ -z "$pid" ] || kill -9 "$pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    printf '%s: FAIL: %s\n' "$name" "$*" >&2
    exit 1
}
# shellcheck source=tests/support/simulator_script.sh
source "$(dirname "$0")/../support/simulator_script.sh"
# has_value FILES VALUE: some CSV row of FILES holds VALUE.
has_value() { cat $1 2>/dev/null | grep -q ",$2,[0-9]*,[01]*\$"; }
counters_are() { [ "$(grep -v '^#' "$1" 2>/dev/null | tr '\n' ' ')" = "$2" ]; }

# Shows 0xA5 (bits 0, 2, 5, 7) at 0x5A and 0x00 at 0xFF: each return to 0x5A is a rising
# edge of those four bits.
sim set 888 0x5A
# pulses N FILES: N times 0x00 then 0xA5, each seen in FILES before the next.
pulses() {
    for _ in $(seq "$1"); do
        sim set 888 0xFF
        wait_until "pulse: 0 not seen" has_value "$2" 0
        sim set 888 0x5A
        wait_until "pulse: 165 not seen" eval "tail -n 1 -q $2 | grep -q ',165,'"
    done
}

# Counters: three pulses, a stop, two more in the next run, then kill -9 once the file shows
# them (written within a second, without an end); the third run starts from there.
"$watch" -i 1 -f csv -o "$tmp/run1.csv" --counters "$tmp/counters" 2>"$tmp/err" &
pid=$!
pulses 3 "$tmp/run1.csv"
kill -TERM "$pid"
finished 0 "counters: first run"
counters_are "$tmp/counters" "bit0=3 bit1=0 bit2=3 bit3=0 bit4=0 bit5=3 bit6=0 bit7=3 " \
    || fail "counters after a stop: $(cat "$tmp/counters")"
"$watch" -i 1 -f csv -o "$tmp/run2.csv" --counters "$tmp/counters" 2>"$tmp/err" &
pid=$!
pulses 2 "$tmp/run2.csv"
wait_until "counters: not written while running" \
    counters_are "$tmp/counters" "bit0=5 bit1=0 bit2=5 bit3=0 bit4=0 bit5=5 bit6=0 bit7=5 "
kill -9 "$pid"
exec 3>&2 2>/dev/null # bash's own word on the killed job
wait "$pid" || true
exec 2>&3 3>&-
pid=''
"$watch" --once --stats -o /dev/null --counters "$tmp/counters" 2>"$tmp/err" \
    || fail "counters after kill -9: $(cat "$tmp/err")"
grep -q ' rising=5,0,5,0,0,5,0,5$' "$tmp/err" || fail "counters after kill -9: $(cat "$tmp/err")"

# Refused: status and message; the counters file and the output file stay as they were.
mkdir "$tmp/folder"
mkfifo "$tmp/fifo"
printf 'bit0=1\n' >"$tmp/not-ours"
printf 'kept\n' >"$tmp/kept.csv"
cp "$tmp/not-ours" "$tmp/not-ours.before"
rows=(
    "1|counters file $tmp/folder: not a regular file|--counters $tmp/folder"
    "1|counters file $tmp/fifo: not a regular file|--counters $tmp/fifo"
    "1|counters file $tmp/not-ours: not a movanta-watch counters file|--counters $tmp/not-ours"
    "1|counters file $tmp/none/c: No such file or directory|--counters $tmp/none/c"
    "2|--rotate-size '5X': expects|--rotate-size 5X"
    "2|--keep '0': expects|--keep 0 --rotate-every 1h"
)
for row in "${rows[@]}"; do
    IFS='|' read -r expected message arguments <<<"$row"
    status=0
    # shellcheck disable=SC2086 # the arguments are split into their words on purpose
    timeout 10 "$watch" --once -o "$tmp/kept.csv" $arguments >/dev/null 2>"$tmp/err" || status=$?
    [ "$status" -eq "$expected" ] || fail "$arguments: status $status, expected $expected"
    [ "$(wc -l <"$tmp/err")" -le 2 ] && grep -qF -- "$message" "$tmp/err" \
        || fail "$arguments: stderr: $(cat "$tmp/err")"
    [ "$(cat "$tmp/kept.csv")" = kept ] || fail "$arguments: the output file was touched"
done
cmp -s "$tmp/not-ours" "$tmp/not-ours.before" || fail "a file not ours was changed"

# Turning files, CSV: every file has its header and at least one record; all records, in time
# order, are the values set, each once. Small files turn after about every second record.
mkdir "$tmp/csv"
"$watch" -i 1 -f csv -o "$tmp/csv/r.csv" --rotate-size 150 --stats 2>"$tmp/err" &
pid=$!
wait_until "rotation: no first record" has_value "$tmp/csv/*.csv" 165
expected='165'
for value in 0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08 0x09 0x0A; do
    sim set 888 "$value"
    expected="$expected $((255 - value))"
    wait_until "rotation: $((255 - value)) not seen" has_value "$tmp/csv/*.csv" $((255 - value))
done
kill -TERM "$pid"
finished 0 "rotation (CSV)"
files=$(find "$tmp/csv" -name 'r-*.csv' | wc -l)
[ "$files" -ge 4 ] || fail "rotation: only $files files: $(ls "$tmp/csv")"
for file in "$tmp"/csv/*; do
    [[ "$(basename "$file")" =~ ^r-[0-9]{8}-[0-9]{6}(-[0-9]+)?\.csv$ ]] || fail "rotation: name $file"
    [ "$(head -n 1 "$file")" = "time,elapsed_us,value,byte,bits" ] || fail "rotation: no header in $file"
    [ "$(sed -n '2s/^[^,]*,\([0-9]*\),.*/\1/p' "$file")" = 0 ] || fail "rotation: $file starts late"
done
got=$(tail -q -n +2 "$tmp"/csv/* | sort | cut -d, -f3 | tr '\n' ' ')
[ "$got" = "$expected " ] || fail "rotation: records '$got', expected '$expected '"
sim set 888 0x5A

# Turning files, VCD: each file is read by sigrok-cli on its own, starting with all eight wires;
# the files' values in order are the records. --keep 3 leaves the newest three.
mkdir "$tmp/vcd"
# The deleted files take their records along: --exec says which records were made.
"$watch" -i 1 -f vcd -o "$tmp/vcd/r-%H%M%S.vcd" --rotate-size 380 --keep 3 --stats \
    --exec "echo \$MOVANTA_VALUE >>$tmp/vcd-seen" 2>"$tmp/err" &
pid=$!
wait_until "VCD rotation: no first record" grep -qs '^165$' "$tmp/vcd-seen"
expected='165'
for value in 0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08; do
    sim set 888 "$value"
    expected="$expected $((255 - value))"
    wait_until "VCD rotation: $((255 - value)) not seen" grep -qs "^$((255 - value))\$" "$tmp/vcd-seen"
done
kill -TERM "$pid"
finished 0 "rotation (VCD)"
grep -q ' records=9 ' "$tmp/err" || fail "VCD rotation: $(cat "$tmp/err")"
[ "$(find "$tmp/vcd" -name '*.vcd' | wc -l)" -eq 3 ] || fail "--keep 3: $(ls "$tmp/vcd")"
got=''
while read -r _ file; do
    [ "$(grep -A 8 -m 1 '^#0$' "$file" | grep -c '^[01][a-h]$')" -eq 8 ] || fail "$file: #0 lacks wires"
    sigrok-cli -I vcd -i "$file" -O csv >"$tmp/sigrok.csv" 2>"$tmp/sigrok.err" || fail "sigrok-cli: $file: $(cat "$tmp/sigrok.err")"
    got="$got$(grep '^[01],' "$tmp/sigrok.csv" | uniq \
        | awk -F, '{ v = 0; for (i = 1; i <= 8; ++i) v += $i * 2 ^ (i - 1); printf "%d ", v }')"
    if command -v vcd2fst >/dev/null; then
        vcd2fst "$file" "$tmp/f.fst" >/dev/null 2>&1 || fail "vcd2fst refuses $file"
    fi
done < <(for f in "$tmp"/vcd/*.vcd; do echo "$(sed -n 's/^\$date \(.*\) \$end$/\1/p' "$f") $f"; done | sort)
[[ "$expected " == *" $got" ]] || fail "VCD rotation: the kept files hold '$got', expected the end of '$expected '"
sim set 888 0x5A

# sd_notify: READY=1 after the first poll, a status line, watchdog pings every quarter of
# WATCHDOG_USEC, STOPPING=1 at the end.
"$notify_reader" "$tmp/notify" 10 >"$tmp/notes" &
reader=$!
wait_until "notify socket not bound" test -S "$tmp/notify"
NOTIFY_SOCKET=$tmp/notify WATCHDOG_USEC=200000 "$watch" -i 5 -t 1 -o /dev/null 2>"$tmp/err" \
    && fail "sd_notify: no timeout" || [ $? -eq 3 ] || fail "sd_notify: $(cat "$tmp/err")"
wait_until "sd_notify: no STOPPING=1" grep -q '^STOPPING=1$' "$tmp/notes"
kill "$reader"
wait "$reader" 2>/dev/null || true
[ "$(head -n 1 "$tmp/notes")" = "READY=1 WATCHDOG=1" ] || fail "sd_notify: first $(head -n 1 "$tmp/notes")"
grep -Eq '^STATUS=samples=[0-9]+ records=1 queue=0$' "$tmp/notes" || fail "sd_notify: $(cat "$tmp/notes")"
[ "$(grep -c '^WATCHDOG=1$' "$tmp/notes")" -ge 3 ] || fail "sd_notify: too few pings: $(cat "$tmp/notes")"
[ "$(cat "$tmp/err")" = "movanta-watch: timed out" ] || fail "sd_notify: stderr $(cat "$tmp/err")"

# --exec: in order, one at a time, its output on our stderr, with the record in its
# environment; a failing command is one line and the watcher goes on.
cat >"$tmp/action" <<'SCRIPT'
echo "exec $MOVANTA_PORT $MOVANTA_VALUE $MOVANTA_BYTE $MOVANTA_BITS $MOVANTA_ROSE $MOVANTA_FELL $MOVANTA_TIME"
echo "$MOVANTA_VALUE" >>"$1"
[ "$MOVANTA_VALUE" != 0 ]
SCRIPT
"$watch" -i 1 -n 3 -f csv --stats --exec "sleep 0.2; sh $tmp/action $tmp/exec.log" \
    >"$tmp/exec.csv" 2>"$tmp/err" &
pid=$!
wait_until "exec: no first record" has_value "$tmp/exec.csv" 165
sim set 888 0xFF
wait_until "exec: no second record" has_value "$tmp/exec.csv" 0
sim set 888 0xF0
finished 0 "exec"
[ "$(tr '\n' ' ' <"$tmp/exec.log")" = "165 0 15 " ] || fail "exec: order $(cat "$tmp/exec.log")"
time_re='[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:.]+[+-][0-9]{2}:[0-9]{2}'
grep -Eq "^exec 888 165 90 10100101 0 0 $time_re\$" "$tmp/err" || fail "exec: $(cat "$tmp/err")"
grep -Eq "^exec 888 0 255 00000000 0 165 $time_re\$" "$tmp/err" || fail "exec: $(cat "$tmp/err")"
grep -Eq "^exec 888 15 240 00001111 15 0 $time_re\$" "$tmp/err" || fail "exec: $(cat "$tmp/err")"
[ "$(grep -c '^movanta-watch: --exec: the command failed with status 1$' "$tmp/err")" -eq 1 ] \
    || fail "exec: the failure: $(cat "$tmp/err")"
grep -q ' exec_dropped=0$' "$tmp/err" || fail "exec: $(cat "$tmp/err")"
[ "$(grep -c ',' "$tmp/exec.csv")" -eq 4 ] || fail "exec: stdout $(cat "$tmp/exec.csv")"
sim set 888 0x5A

# A command still running at the end is waited for 5 s, then ended.
"$watch" --once -o /dev/null --exec "sleep 60" 2>"$tmp/err" || fail "exec at the end: $(cat "$tmp/err")"
grep -q 'still ran at the end and was ended' "$tmp/err" || fail "exec at the end: $(cat "$tmp/err")"
echo "$name: passed"
