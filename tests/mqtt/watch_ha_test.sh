#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# movanta-watch's Home Assistant discovery against a real Mosquitto: two topic prefixes of one
# port announce two devices with ids of their own and the origin, and --ha-remove takes back
# exactly what the same options announced.
# Usage: watch_ha_test.sh MOVANTA-WATCH MOVANTA-PORTSIM SIMULATOR-LIBRARY-FOLDER
set -euo pipefail

watch=$1 portsim=$2 simulator_dir=$3
name=$(basename "$0" .sh)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=mqtt_broker.sh
source "$here/mqtt_broker.sh"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/movanta-mqtt-ha-XXXXXX")
broker=$tmp/broker
cleanup() {
    mqtt_broker_stop "$broker"
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    printf '%s: FAIL: %s\n' "$name" "$*" >&2
    [ ! -s "$tmp/err" ] || { echo "--- movanta-watch's stderr:" >&2; tail -n 20 "$tmp/err" >&2; }
    exit 1
}
# shellcheck source=tests/support/simulator_script.sh
source "$here/../support/simulator_script.sh"

sim set 888 10
mqtt_broker_start "$broker"
port=$(mqtt_broker_port "$broker")
url=mqtt://127.0.0.1:$port
# configs [COUNT]: the retained discovery configs under ha/, one per line.
configs() {
    mosquitto_sub -h 127.0.0.1 -p "$port" -t 'ha/#' -v --retained-only -C "${1:-100}" -W 2 \
        2>/dev/null || true
}
# members NAME: the distinct values of a JSON member of the configs.
members() { grep -o "\"$1\":[^,]*" | sort -u; }

for prefix in halle1/presse halle2/presse; do
    "$watch" --once --mqtt "$url" --mqtt-topic "$prefix" --ha-discovery=ha 2>"$tmp/err" \
        || fail "announcing $prefix failed"
done
configs 34 >"$tmp/both"
[ "$(wc -l <"$tmp/both")" -eq 34 ] || fail "not 34 configs: $(wc -l <"$tmp/both")"
[ "$(members unique_id <"$tmp/both" | wc -l)" -eq 34 ] || fail "unique ids shared by the prefixes"
[ "$(members identifiers <"$tmp/both" | wc -l)" -eq 2 ] || fail "not two devices"
[ "$(grep -c '"state_class":"total_increasing"' "$tmp/both")" -eq 16 ] || fail "not 16 counters"
[ "$(grep -c '"o":{"name":"movanta-watch","sw":"[0-9.]*","url":"' "$tmp/both")" -eq 34 ] \
    || fail "a config without the origin"

# Removing one prefix leaves the other's 17; removing that one leaves none.
"$watch" --mqtt "$url" --mqtt-topic halle1/presse --ha-discovery=ha --ha-remove 2>"$tmp/err" \
    || fail "--ha-remove failed"
grep -q "removed 17 discovery configs" "$tmp/err" || fail "the removal was not said"
[ "$(configs 17 | grep -c 'halle2/presse')" -eq 17 ] && [ "$(configs | wc -l)" -eq 17 ] \
    || fail "the other prefix's configs did not stay alone: $(configs | cut -c1-80)"
"$watch" --mqtt "$url" --mqtt-topic halle2/presse --ha-discovery=ha --ha-remove 2>"$tmp/err" \
    || fail "the second --ha-remove failed"
[ -z "$(configs)" ] || fail "configs left: $(configs | cut -c1-80)"

# Without a broker there is nothing to remove from: status 1 and why.
mqtt_broker_stop "$broker"
status=0
"$watch" --mqtt "$url" --ha-remove 2>"$tmp/err" || status=$?
[ "$status" -eq 1 ] && grep -q "cannot connect to 127.0.0.1:$port" "$tmp/err" \
    || fail "--ha-remove without a broker: status $status"
echo "$name: passed"
