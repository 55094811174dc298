#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# movanta-watch with a driver whose read does not return: a stop signal or the timeout still
# ends it at once with the status the README gives, the output finished (a VCD closed, the
# records before the stuck read kept) and the figures taken when polling stopped; the service
# manager's watchdog pings stop with the polls.
# Usage: stuck_driver_test.sh MOVANTA-WATCH WATCH-TEST-DRIVER NOTIFY-SOCKET-READER
set -euo pipefail

watch=$1 driver=$2 notify_reader=$3
name=$(basename "$0" .sh)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/movanta-watch-stuck-XXXXXX")
pid=''
cleanup() {
    [ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    printf '%s: FAIL: %s\n' "$name" "$*" >&2
    exit 1
}
# wait_until SECONDS WHAT COMMAND...: polls COMMAND every 0.05 s.
wait_until() {
    local seconds=$1 what=$2
    shift 2
    for _ in $(seq "$((seconds * 20))"); do
        "$@" && return 0
        sleep 0.05
    done
    fail "$what (waited $seconds s)"
}
running() { kill -0 "$pid" 2>/dev/null; }

mkdir "$tmp/driver"
cp "$driver" "$tmp/driver/libdlportio.so"
export LD_LIBRARY_PATH=$tmp/driver WATCH_TEST_STUCK_MARK=$tmp/stuck

# Reads that answer before the stuck one | signal (none: the timeout ends it) | status |
# what stderr holds | what the output's last line is | options.
# The stuck read takes a minute: ending within 3 s is ending without it.
rows=(
    "0|TERM|0||^\\\$enddefinitions \\\$end\$|--once -f vcd"
    "1|INT|0||^#1\$|-f vcd -i 1"
    "1|HUP|0||^#1\$|-f vcd -i 0"
    "1||3|^movanta-watch: timed out\$|,0,255,0,11111111\$|-n 5 -t 1 -i 1 -f csv"
    "3||3|^samples=3 records=3 late=0 glitches=0 seconds=1\\.[0-9]+ |,253,2,11111101\$|-t 1 -i 0 -f csv --stats"
)
for row in "${rows[@]}"; do
    IFS='|' read -r answered signal expected err_pattern last_pattern options <<<"$row"
    rm -f "$tmp/stuck" "$tmp/out"
    # shellcheck disable=SC2086 # the options are split into their words on purpose
    # A background job of a script has SIGINT ignored: the watcher would keep it so.
    WATCH_TEST_STUCK_AFTER=$answered env --default-signal=INT "$watch" $options -o "$tmp/out" 2>"$tmp/err" &
    pid=$!
    wait_until 10 "$options: the read did not get stuck" test -e "$tmp/stuck"
    [ -z "$signal" ] || kill -s "$signal" "$pid"
    wait_until 3 "$options: did not end while the read was stuck" eval '! running'
    status=0
    wait "$pid" || status=$?
    pid=''
    [ "$status" -eq "$expected" ] || fail "$options: status $status, expected $expected; stderr: $(cat "$tmp/err")"
    if [ -z "$err_pattern" ]; then
        [ ! -s "$tmp/err" ] || fail "$options: unexpected stderr: $(cat "$tmp/err")"
    else
        grep -Eq -- "$err_pattern" "$tmp/err" || fail "$options: stderr lacks /$err_pattern/: $(cat "$tmp/err")"
    fi
    tail -n 1 "$tmp/out" | grep -Eq -- "$last_pattern" \
        || fail "$options: the output ends with '$(tail -n 1 "$tmp/out")', not /$last_pattern/"
    if [[ "$options" == *vcd* ]] && command -v vcd2fst >/dev/null; then
        vcd2fst "$tmp/out" "$tmp/out.fst" >/dev/null 2>&1 || fail "$options: vcd2fst refuses the VCD"
    fi
done

# A ping is due every quarter of WATCHDOG_USEC (0.5 s) while polls happen: with the third read
# stuck, READY=1 comes with the first poll and no ping after it in the 2 s to the timeout.
"$notify_reader" "$tmp/notify" 10 >"$tmp/notes" &
reader=$!
wait_until 10 "notify socket not bound" test -S "$tmp/notify"
rm -f "$tmp/stuck"
status=0
WATCH_TEST_STUCK_AFTER=2 NOTIFY_SOCKET=$tmp/notify WATCHDOG_USEC=2000000 \
    "$watch" -i 1 -t 2 -o /dev/null 2>"$tmp/err" || status=$?
[ "$status" -eq 3 ] || fail "watchdog: status $status; stderr: $(cat "$tmp/err")"
wait_until 10 "watchdog: no STOPPING=1" grep -q '^STOPPING=1$' "$tmp/notes"
kill "$reader" 2>/dev/null || true
wait "$reader" 2>/dev/null || true
[ "$(head -n 1 "$tmp/notes")" = "READY=1 WATCHDOG=1" ] || fail "watchdog: first $(head -n 1 "$tmp/notes")"
! grep -q '^WATCHDOG=1$' "$tmp/notes" || fail "watchdog: pinged while the read was stuck: $(cat "$tmp/notes")"
echo "$name: passed"
