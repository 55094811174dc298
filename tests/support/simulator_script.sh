# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Shared by the test scripts that run a program of ours on the simulated port: sourced, not
# run. Before sourcing, set portsim, simulator_dir and tmp, define fail, and optionally
# wait_seconds (10 unless set).

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
