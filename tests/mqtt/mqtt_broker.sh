#!/bin/bash
# SPDX-License-Identifier: MIT
# A Mosquitto broker of a test's own on 127.0.0.1, for the shell tests (sourced) and the C++
# tests (run: mqtt_broker.sh start|stop|port DIR [CONFIG LINE...]).
# DIR keeps the broker's port, pid, configuration, log and persistence, so that a broker
# stopped and started again comes back on the same port with the messages it had queued.

# mqtt_broker_port DIR: the broker's port, chosen once (free when chosen) and kept in DIR.
mqtt_broker_port() {
    local dir=$1 port
    mkdir -p "$dir"
    if [ ! -s "$dir/port" ]; then
        for _ in $(seq 50); do
            port=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
            # Nobody listening there now (ss from iproute2; without it the start retries).
            if ! command -v ss >/dev/null || [ -z "$(ss -Hltn "sport = :$port" 2>/dev/null)" ]; then
                echo "$port" >"$dir/port"
                break
            fi
        done
    fi
    cat "$dir/port"
}

# mqtt_broker_start DIR [CONFIG LINE...]: starts it and returns once it accepts clients.
# A first start that finds its port taken after all tries another one.
mqtt_broker_start() {
    local dir=$1 port pid extra
    shift
    extra=$(printf '%s\n' "$@")
    for _ in $(seq 10); do
        port=$(mqtt_broker_port "$dir")
        mkdir -p "$dir/data"
        {
            # As root Mosquitto drops to the user mosquitto, who may not write DIR.
            [ "$(id -u)" -ne 0 ] || echo "user root"
            echo "listener $port 127.0.0.1"
            grep -q '^allow_anonymous' <<<"$extra" || echo "allow_anonymous true"
            echo "persistence true"
            echo "persistence_location $dir/data/"
            # Durable test subscribers may fall far behind; let the broker keep it all.
            echo "max_queued_messages 0"
            echo "log_dest file $dir/broker.log"
            echo "$extra"
        } >"$dir/mosquitto.conf"
        : >"$dir/broker.log"
        mosquitto -c "$dir/mosquitto.conf" >>"$dir/broker.out" 2>&1 &
        pid=$!
        for _ in $(seq 100); do
            if grep -q ' running$' "$dir/broker.log" 2>/dev/null; then
                echo "$pid" >"$dir/pid"
                return 0
            fi
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
        # Taken meanwhile: a first start moves on; a restart waits for its own port.
        if [ -s "$dir/data/mosquitto.db" ]; then sleep 0.2; else rm -f "$dir/port"; fi
    done
    echo "mqtt_broker_start: mosquitto did not start:" >&2
    cat "$dir/broker.out" "$dir/broker.log" >&2
    return 1
}

# mqtt_broker_stop DIR: stops it (its queued messages stay in DIR) and returns once it is gone.
mqtt_broker_stop() {
    local dir=$1 pid
    [ -s "$dir/pid" ] || return 0
    pid=$(cat "$dir/pid")
    rm -f "$dir/pid"
    kill "$pid" 2>/dev/null || return 0
    # Our own child is waited for; another's (the C++ tests start us afresh) is watched.
    if jobs -p | grep -qx "$pid"; then wait "$pid" 2>/dev/null; fi
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.05
    done
    kill -KILL "$pid" 2>/dev/null
    return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -u
    command=${1:-}
    shift || true
    case "$command" in
    start) mqtt_broker_start "$@" && mqtt_broker_port "$1" ;;
    stop) mqtt_broker_stop "$@" ;;
    port) mqtt_broker_port "$@" ;;
    *)
        echo "usage: $0 start|stop|port DIR [CONFIG LINE...]" >&2
        exit 2
        ;;
    esac
fi
