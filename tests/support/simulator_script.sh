# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Shared by the test scripts that run a program of ours on the simulated port: sourced, not
# run. Before sourcing, set portsim, simulator_dir and tmp, define fail, and optionally
# wait_seconds (10 unless set). A program started in the background keeps its pid in pid and
# its standard error in $tmp/err.

export MOVANTA_PORTSIM=$tmp/portsim LD_LIBRARY_PATH=$simulator_dir
sim() { "$portsim" "$@" >/dev/null; }

# wait_until WHAT COMMAND...: polls COMMAND every 0.05 s, up to wait_seconds.
wait_until() {
    local what=$1 seconds=${wait_seconds:-10}
    shift
    for _ in $(seq "$((seconds * 20))"); do
        "$@" && return 0
        sleep 0.05
    done
    fail "$what (waited $seconds s)"
}

running() { kill -0 "$pid" 2>/dev/null; }

# finished STATUS WHAT: the background program ends with STATUS within wait_seconds.
finished() {
    local status=0
    wait_until "$2: the program did not end" eval '! running'
    wait "$pid" || status=$?
    pid=''
    [ "$status" -eq "$1" ] || fail "$2: status $status, expected $1; stderr: $(cat "$tmp/err")"
}
