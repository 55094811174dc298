#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The service unit of movanta-watch as systemd reads it: systemd-analyze verify on an instance,
# with the program just built in place of the installed one. Skips (77) without systemd.
set -euo pipefail

unit=$1 program=$2
if ! command -v systemd-analyze >/dev/null; then
    echo "SKIP: systemd-analyze is missing (Debian: systemd)"
    exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/movanta-unit-XXXXXX")
trap 'rm -rf "$work"' EXIT

instance=$work/movanta-watch@888.service
sed "s|^ExecStart=movanta-watch |ExecStart=$program |" "$unit" >"$instance"
grep -q "^ExecStart=$program --port 888 " <(sed 's/%i/888/' "$instance") \
    || { echo "FAIL: the unit does not start movanta-watch --port %i"; exit 1; }

# Unknown keys and bad values are only warnings to systemd: any remark fails the test.
if ! remarks=$(cd "$work" && systemd-analyze verify "./$(basename "$instance")" 2>&1) || [ -n "$remarks" ]; then
    echo "FAIL: systemd-analyze verify:"
    echo "$remarks"
    exit 1
fi
echo "systemd-analyze verify: no remarks"
