#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# movanta-watch --mqtt with a broker name that a resolver which never answers is asked for
# (its own /etc/resolv.conf in a mount namespace): it says so, polls on, and a stop ends it
# within the documented drain of 6 s.
# Usage: watch_resolver_test.sh MOVANTA-WATCH MOVANTA-PORTSIM SIMULATOR-LIBRARY-FOLDER SILENT-RESOLVER
set -euo pipefail

watch=$1 portsim=$2 simulator_dir=$3 resolver=$4
name=$(basename "$0" .sh)
if [ "$(id -u)" -ne 0 ] || ! unshare -m true 2>/dev/null; then
    echo "$name: SKIP: needs root for unshare -m and port 53"
    exit 77
fi
tmp=$(mktemp -d "${TMPDIR:-/tmp}/movanta-mqtt-resolver-XXXXXX")
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    printf '%s: FAIL: %s\n' "$name" "$*" >&2
    [ ! -s "$tmp/err" ] || { echo "--- movanta-watch's stderr:" >&2; tail -n 20 "$tmp/err" >&2; }
    exit 1
}
# shellcheck source=tests/support/simulator_script.sh
source "$(dirname "$0")/../support/simulator_script.sh"

# A loopback address of its own: a resolver of the machine's may hold 127.0.0.1:53.
address=127.0.0.77
"$resolver" "$address" >"$tmp/resolver" 2>&1 &
pids+=($!)
wait_until "the silent resolver did not start: $(cat "$tmp/resolver")" grep -q ready "$tmp/resolver"
printf 'nameserver %s\n' "$address" >"$tmp/resolv.conf"

sim set 888 10
broker=broker.movanta.test
# shellcheck disable=SC2016 # expanded by the inner shell
unshare -m sh -c 'mount --bind "$1" /etc/resolv.conf && shift && exec "$@"' sh "$tmp/resolv.conf" \
    "$watch" -i 2 --mqtt "mqtt://$broker:1883" -f csv -o "$tmp/record.csv" 2>"$tmp/err" &
watch_pid=$!
pids+=("$watch_pid")
wait_until "the name that does not resolve was not said" \
    grep -q "the broker's name $broker does not resolve yet" "$tmp/err"
sim set 888 11
wait_until "polling did not go on" eval '[ "$(wc -l <"$tmp/record.csv")" -ge 3 ]'

start=$(date +%s%N)
kill -TERM "$watch_pid"
status=0
wait "$watch_pid" || status=$?
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
[ "$status" -eq 0 ] || fail "status $status after the stop"
[ "$elapsed_ms" -le 6000 ] || fail "the stop took $elapsed_ms ms, more than the drain's 6 s"
grep -q "2 records not acknowledged by $broker:1883 (its name does not resolve yet)" "$tmp/err" \
    || fail "the end did not say why the records stayed"
echo "$name: passed (ended $elapsed_ms ms after the stop)"
