#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# movanta-watch writing to a disk that fills up: status 1 with the reason, and the file cut
# back to its last whole record in every format (a CSV row, a JSON line, a text line, a VCD
# time block), never half a record. A tmpfs of two pages, one of them taken; without the
# right to mount, a file size limit of one page fails the write the same way.
# Usage: full_disk_test.sh MOVANTA-WATCH WATCH-TEST-DRIVER
set -euo pipefail

watch=$1 driver=$2
name=$(basename "$0" .sh)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/movanta-watch-full-XXXXXX")
disk=$tmp/disk
mounted=''
cleanup() {
    [ -z "$mounted" ] || umount "$disk" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    printf '%s: FAIL: %s\n' "$name" "$*" >&2
    exit 1
}

mkdir "$tmp/driver" "$disk"
cp "$driver" "$tmp/driver/libdlportio.so" # every read a new value: every poll a record
export LD_LIBRARY_PATH=$tmp/driver
limit=()
reason='No space left on device'
if mount -t tmpfs -o size=8k movanta-full-disk-test "$disk" 2>/dev/null; then
    mounted=1
    head -c 4096 /dev/zero >"$disk/filler"
else
    limit=(prlimit --fsize=4096 --)
    reason='File too large'
fi

time_pattern='[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:.]+[+-][0-9:]+'
# Format | what every line must be (extended regex).
rows=(
    "csv|^(time,elapsed_us,value,byte,bits|$time_pattern,[0-9]+,[0-9]+,[0-9]+,[01]{8})\$"
    "jsonl|^\\{\"time\":\"$time_pattern\",\"elapsed_us\":[0-9]+,\"value\":[0-9]+,\"byte\":[0-9]+,\"bits\":\"[01]{8}\"\\}\$"
    "text|^$time_pattern value=[0-9]+ byte=[0-9]+ bits=[01]{8}\$"
    "vcd|^(\\\$.*\\\$end|#[0-9]+|[01][a-h])\$"
)
for row in "${rows[@]}"; do
    IFS='|' read -r format line_pattern <<<"$row"
    out=$disk/out.$format
    status=0
    timeout 20 "${limit[@]}" "$watch" -i 0 -f "$format" -o "$out" 2>"$tmp/err" || status=$?
    [ "$status" -eq 1 ] || fail "$format: status $status, expected 1; stderr: $(cat "$tmp/err")"
    [ "$(cat "$tmp/err")" = "movanta-watch: $out: $reason" ] || fail "$format: stderr: $(cat "$tmp/err")"
    size=$(stat -c %s "$out")
    [ "$size" -gt 1000 ] && [ "$size" -le 4096 ] || fail "$format: $size bytes"
    [ "$(tail -c 1 "$out" | od -An -c | tr -d ' ')" = '\n' ] || fail "$format: the file ends mid-line"
    bad=$(grep -Evc -- "$line_pattern" "$out" || true)
    [ "$bad" -eq 0 ] || fail "$format: $bad broken lines: $(grep -Ev -- "$line_pattern" "$out" | head -n 3)"
    if [ "$format" = vcd ]; then
        # Every block has its time: the file ends with a time or a complete block.
        tail -n 1 "$out" | grep -Eq '^(#[0-9]+|[01][a-h])$' || fail "vcd: ends with '$(tail -n 1 "$out")'"
        if command -v vcd2fst >/dev/null; then
            vcd2fst "$out" "$tmp/out.fst" >/dev/null 2>&1 || fail "vcd: vcd2fst refuses the file"
        fi
    fi
    rm -f "$out"
done
echo "$name: passed"
