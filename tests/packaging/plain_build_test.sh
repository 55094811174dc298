#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A machine with only the build packages: a plain configure works without GoogleTest and
# Google Benchmark, leaving tests and benchmarks out; scripts/windows-check without its cross
# tools skips on its own but fails when scripts/test requires them.
# Usage: plain_build_test.sh SOURCE_DIR
set -euo pipefail

source_dir=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/movanta-plain-XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake -S "$source_dir" -B "$work/build" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >"$work/configure.log" 2>&1 \
    || { cat "$work/configure.log"; fail "a plain configure needs GoogleTest or Google Benchmark"; }
grep -qx 'BUILD_TESTING:BOOL=OFF' "$work/build/CMakeCache.txt" 2>/dev/null \
    && grep -qx 'MOVANTA_BENCH:BOOL=OFF' "$work/build/CMakeCache.txt" \
    || fail "tests or benchmarks stayed on without their libraries"

# The cross tools hidden: a PATH with only what the script needs besides them.
mkdir "$work/bin"
for tool in dirname sort tr; do ln -s "$(command -v "$tool")" "$work/bin/$tool"; done
# Each row: MOVANTA_REQUIRE_WINDOWS_TOOLS, the status expected.
while read -r required expected; do
    status=0
    env PATH="$work/bin" MOVANTA_REQUIRE_WINDOWS_TOOLS="$required" \
        MOVANTA_WINDOWS_BUILD_DIR="$work/windows" "$BASH" "$source_dir/scripts/windows-check" \
        >"$work/windows.log" 2>&1 || status=$?
    [ "$status" -eq "$expected" ] \
        || fail "windows-check without tools, required=$required: status $status: $(cat "$work/windows.log")"
done <<'ROWS'
0 0
1 1
ROWS
[ ! -e "$work/windows" ] || fail "windows-check went on to build without its tools"

[ "$failures" -eq 0 ] || exit 1
echo "all checks passed"
