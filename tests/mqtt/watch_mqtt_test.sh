#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# movanta-watch publishing the simulated port to a real Mosquitto, read with mosquitto_sub:
# every change in order, the retained topics (the pulse counters' totals from --counters among
# them), standard output silent or not, a broker that starts late and one that is away for a
# while, a password file, a refused login, the last will of a killed watcher, TLS with a CA of
# its own.
# Usage: watch_mqtt_test.sh MOVANTA-WATCH MOVANTA-PORTSIM SIMULATOR-LIBRARY-FOLDER
set -euo pipefail

watch=$1 portsim=$2 simulator_dir=$3
name=$(basename "$0" .sh)
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=mqtt_broker.sh
source "$here/mqtt_broker.sh"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/movanta-mqtt-e2e-XXXXXX")
broker=$tmp/broker
tls_broker=$tmp/tls-broker
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    mqtt_broker_stop "$broker"
    mqtt_broker_stop "$tls_broker"
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    printf '%s: FAIL: %s\n' "$name" "$*" >&2
    [ ! -s "$tmp/err" ] || { echo "--- movanta-watch's stderr:" >&2; tail -n 20 "$tmp/err" >&2; }
    exit 1
}
wait_seconds=20
# shellcheck source=tests/support/simulator_script.sh
source "$(dirname "$0")/../support/simulator_script.sh"
prefix=movanta/e2e/888

# subscribe FILE [OPTIONS...]: mosquitto_sub on the prefix into FILE, returning once it is
# subscribed (a probe message has come through).
subscribe() {
    local file=$1
    shift
    mosquitto_sub -h 127.0.0.1 -p "$port" -t "$prefix/#" -v "$@" >"$file" 2>&1 &
    pids+=($!)
    wait_until "mosquitto_sub did not subscribe" probe_seen "$file"
}
probe_seen() {
    mosquitto_pub -h 127.0.0.1 -p "$port" -t "$prefix/probe" -m ready 2>/dev/null
    sleep 0.1
    grep -q "^$prefix/probe " "$1"
}
# changes FILE: the /change payloads in FILE, each once, in order of first arrival (QoS 1
# may deliver one twice across a broker restart).
changes() { sed -n "s|^$prefix/change ||p" "$1" | awk '!seen[$0]++'; }
arrived() { [ "$(changes "$1")" = "$(cat "$2")" ]; }
# drive FIRST LAST: sets the input to FIRST..LAST, each until the record has it.
drive() {
    local byte
    for byte in $(seq "$1" "$2"); do
        sim set 888 "$byte"
        wait_until "the value for byte $byte was not recorded" \
            grep -q "\"byte\":$byte," "$tmp/record.jsonl"
    done
}
watch_launcher=() # a command the watcher runs under
start_watch() {
    # Emptied here, not by the child's redirection: a check must never see the last run's lines.
    : >"$tmp/out" && : >"$tmp/err"
    "${watch_launcher[@]}" "$watch" -i 2 --mqtt-topic "$prefix" "$@" >"$tmp/out" 2>"$tmp/err" &
    watch_pid=$!
    pids+=("$watch_pid")
}
# stop_watch STATUS: SIGTERM, then the status it must end with.
stop_watch() {
    local status=0
    kill "$watch_pid" 2>/dev/null || true
    wait "$watch_pid" || status=$?
    [ "$status" -eq "$1" ] || fail "movanta-watch ended with $status, expected $1"
}
retained() {
    mosquitto_sub -h 127.0.0.1 -p "$port" -t "$1" -v --retained-only -C "$2" -W 2 2>/dev/null | sort
}
# retained_is TOPIC EXPECTED: the one retained message on TOPIC, as mosquitto_sub -v prints it.
retained_is() { [ "$(retained "$1" 1)" = "$1 $2" ]; }
# bit_changes: for records on standard input, the bit topics' messages after the first one:
# each bit that changed, bit 0 first ("bits" has bit 7 first).
bit_changes() {
    sed 's/.*"bits":"\([01x]*\)".*/\1/' | awk -v topic="$prefix/bit/" '
        NR > 1 { for (k = 0; k < 8; k++) if (substr(last, 8 - k, 1) != substr($0, 8 - k, 1))
            print topic k (substr($0, 8 - k, 1) == 1 ? " ON" : " OFF") }
        { last = $0 }'
}

sim set 888 10

# A broker that starts late, then goes away for a while: a durable subscription made
# beforehand collects what arrives once it is back.
mqtt_broker_start "$broker"
port=$(mqtt_broker_port "$broker") # the broker's from now on, kept across restarts
url=mqtt://127.0.0.1:$port
subscribe "$tmp/durable" -c -i "movanta-e2e-$$" -q 1
mqtt_broker_stop "$broker"
# Ended before it ever got through, it still says why its record did not go out.
"$watch" --once --mqtt "mqtt://[::1]:$port" 2>"$tmp/err" || fail "--once without a broker failed"
grep -q "1 record not acknowledged by \[::1\]:$port (.*refused" "$tmp/err" || fail "no reason given"
# Pulse counters from a file of an earlier run: bit K starts at 1000 * K.
{ echo '# movanta-watch pulse counters: rising edges of each bit of the shown value'
    for k in 0 1 2 3 4 5 6 7; do echo "bit$k=$((1000 * k))"; done; } >"$tmp/counters"
start_watch --mqtt "$url" -f jsonl -o "$tmp/record.jsonl" --counters "$tmp/counters"
drive 11 20
wait_until "no connection was tried" grep -q "cannot connect to 127.0.0.1:$port" "$tmp/err"
mqtt_broker_start "$broker"
wait_until "the changes before the broker came did not arrive" arrived "$tmp/durable" "$tmp/record.jsonl"
mqtt_broker_stop "$broker"
drive 21 40
mqtt_broker_start "$broker"
wait_until "the changes of the outage did not arrive" arrived "$tmp/durable" "$tmp/record.jsonl"
grep -q "lost the connection" "$tmp/err" || fail "the lost connection was not reported"
grep "lost the connection" "$tmp/err" | grep -q "connection was lost" && fail "the loss was said twice"

# count_totals: for records on standard input, the count topics' totals: 1000 * K plus the
# records whose bit K is 1 where the record before had it 0.
count_totals() {
    sed 's/.*"value":\([0-9]*\).*/\1/' | awk -v topic="$prefix/count/" '
        NR > 1 { for (k = 0; k < 8; k++) if (int($0 / 2^k) % 2 && !(int(last / 2^k) % 2)) c[k]++ }
        { last = $0 }
        END { for (k = 0; k < 8; k++) print topic k, 1000 * k + c[k] }'
}

# Every change in order as the record file has it, and the retained topics after it: the
# count topics hold the totals, as the counters file does.
subscribe "$tmp/live"
drive 41 60
stop_watch 0
arrived "$tmp/live" <(sed -n '/"byte":41,/,$p' "$tmp/record.jsonl") || fail "the changes arrived otherwise"
# On subscribing, the retained bits of byte 40; then each bit that changed.
[ "$(grep "^$prefix/bit/" "$tmp/live")" = "$( (echo '"bits":"xxxxxxxx"' \
    && sed -n '/"byte":40,/,$p' "$tmp/record.jsonl") | bit_changes)" ] \
    || fail "the bit topics got other messages than the changed bits"
expected=$( (echo "$prefix/availability offline" && echo "$prefix/state $(tail -n 1 "$tmp/record.jsonl")" \
    && { echo '"bits":"xxxxxxxx"' && tail -n 1 "$tmp/record.jsonl"; } | bit_changes \
    && count_totals <"$tmp/record.jsonl") | sort)
[ "$(retained "$prefix/#" 18)" = "$expected" ] || fail "retained: $(retained "$prefix/#" 18)"
[ "$(sed -n 's|^bit\([0-7]\)=|'"$prefix"'/count/\1 |p' "$tmp/counters" | sort)" \
    = "$(count_totals <"$tmp/record.jsonl" | sort)" ] || fail "counters file: $(cat "$tmp/counters")"

# --mqtt alone: nothing on standard output; the discovery configs retained. A second watcher
# of the same port does not take the first one's connection.
start_watch --mqtt "$url" --ha-discovery=ha
wait_until "no availability" retained_is "$prefix/availability" online
wait_until "not nine discovery configs" eval '[ "$(retained "ha/#" 9 | wc -l)" -eq 9 ]'
"$watch" --once --mqtt "$url" --mqtt-topic "$prefix/second" 2>/dev/null || fail "a second watcher failed"
stop_watch 0
[ ! -s "$tmp/out" ] || fail "standard output was not silent: $(head -c 200 "$tmp/out")"
grep -q "lost the connection" "$tmp/err" && fail "a second watcher took the first one's connection"

# Killed, it leaves its last will.
start_watch --mqtt "$url"
wait_until "no availability" retained_is "$prefix/availability" online
kill -KILL "$watch_pid"
{ wait "$watch_pid"; } 2>/dev/null || true # bash's "Killed" line is no fault
wait_until "no last will" retained_is "$prefix/availability" offline

# A broker that stops answering: the stop still ends within the drain and its goodbye, and
# says why the records stayed, not that we disconnected.
start_watch --mqtt "$url" -f jsonl -o "$tmp/record.jsonl"
wait_until "no availability" retained_is "$prefix/availability" online
kill -STOP "$(cat "$broker/pid")"
drive 61 61
start=$(date +%s%N)
stop_watch 0
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
kill -CONT "$(cat "$broker/pid")"
[ "$elapsed_ms" -le 6000 ] || fail "the stop took $elapsed_ms ms with a stalled broker"
grep -q "not acknowledged by 127.0.0.1:$port within 4 s of the stop" "$tmp/err" \
    || fail "the stalled broker's end did not say why"
grep -q "(disconnected)" "$tmp/err" && fail "the end named our own DISCONNECT"
sim set 888 60

# A password file: the right password connects, a wrong one ends the run with status 1.
mqtt_broker_stop "$broker"
mosquitto_passwd -c -b "$tmp/passwords" ada geheim
mqtt_broker_start "$broker" "allow_anonymous false" "password_file $tmp/passwords"
printf 'geheim\n' >"$tmp/good" && printf 'falsch\n' >"$tmp/bad" && chmod 600 "$tmp/good" "$tmp/bad"
start_watch --mqtt "mqtt://ada@127.0.0.1:$port" --mqtt-password-file "$tmp/good"
wait_until "the password was not accepted" grep -q "connected to" "$tmp/err"
stop_watch 0
grep -q "warning" "$tmp/err" && fail "a private password file was warned about"
# The refusal ends the run through the run's own channel, not a signal: SIGTERM ignored (a
# shell's background job, some service managers) changes nothing.
watch_launcher=(env --ignore-signal=TERM)
start_watch --mqtt "mqtt://ada@127.0.0.1:$port" --mqtt-password-file "$tmp/bad"
watch_launcher=()
wait_until "a refused login did not end the run" eval '! kill -0 "$watch_pid" 2>/dev/null'
stop_watch 1
grep -q "refused the login: Connection Refused: not authorised" "$tmp/err" \
    || fail "the broker's reason was not given"

# mqtts with the CA given: the record arrives; with the system's CAs the certificate is refused.
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Movanta test CA" \
    -keyout "$tmp/ca.key" -out "$tmp/ca.crt" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$tmp/server.key" \
    -out "$tmp/server.csr" 2>/dev/null
openssl x509 -req -days 1 -in "$tmp/server.csr" -CA "$tmp/ca.crt" -CAkey "$tmp/ca.key" \
    -CAcreateserial -extfile <(echo "subjectAltName=IP:127.0.0.1") -out "$tmp/server.crt" 2>/dev/null
mqtt_broker_start "$tls_broker" "certfile $tmp/server.crt" "keyfile $tmp/server.key"
tls_url=mqtts://127.0.0.1:$(mqtt_broker_port "$tls_broker")
"$watch" --once --mqtt "$tls_url" --mqtt-topic "$prefix" --mqtt-cafile "$tmp/ca.crt" 2>"$tmp/err" \
    || fail "movanta-watch --once over TLS failed"
mosquitto_sub -h 127.0.0.1 -p "${tls_url##*:}" --cafile "$tmp/ca.crt" -t "$prefix/state" \
    --retained-only -C 1 -W 2 | grep -q '"byte":60,' || fail "the state did not arrive over TLS"
start_watch --mqtt "$tls_url"
wait_until "an unknown CA was not refused" grep -q "cannot connect.*TLS" "$tmp/err"
grep -q "no answer" "$tmp/err" && fail "a refused certificate was taken for a silent broker"
stop_watch 0
# A CA file that is no file, or none, is refused at once: a FIFO is not waited on.
mkfifo "$tmp/ca-fifo"
for ca in "$tmp/ca-fifo" "$tmp" "$tmp/none"; do
    status=0
    timeout -k 1 10 "$watch" --once --mqtt "$tls_url" --mqtt-cafile "$ca" 2>"$tmp/err" || status=$?
    [ "$status" -eq 2 ] && grep -q "cannot read the CA file $ca: " "$tmp/err" \
        || fail "CA file $ca: status $status"
done
# A CA file without a PEM certificate, and topic prefixes no broker takes, are refused at once.
printf 'no certificate here\n' >"$tmp/ca.txt" && head -c 4096 /dev/urandom >"$tmp/ca.bin"
for ca in "$tmp/ca.txt" "$tmp/ca.bin"; do
    status=0
    "$watch" --once --mqtt "$tls_url" --mqtt-cafile "$ca" 2>"$tmp/err" || status=$?
    [ "$status" -eq 2 ] && grep -q "the CA file $ca holds no PEM certificate" "$tmp/err" \
        || fail "CA file $ca: status $status"
done
for bad in --mqtt-topic=$'caf\xe9' --mqtt-topic=$'a\x01b' --ha-discovery=$'ha\xff'; do
    status=0
    "$watch" --once --mqtt "$url" "$bad" 2>"$tmp/err" || status=$?
    [ "$status" -eq 2 ] && grep -q "UTF-8\|control character" "$tmp/err" || fail "$bad: status $status"
done
echo "$name: passed"
