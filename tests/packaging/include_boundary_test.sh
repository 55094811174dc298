#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The layers the build enforces: a copy of the tree whose watch/ source includes the window's
# ui/form1.h must not compile (movanta_watch does not link the window), and the same source
# without that line must, so that the check is not passed by a broken copy.
# Usage: include_boundary_test.sh SOURCE_DIR [C++ compiler]
set -euo pipefail

source_dir=$1
compiler=${2:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/movanta-boundary-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The product folders and the build's own files; no tests, benchmarks or build trees.
mkdir "$work/src"
for entry in "$source_dir"/*; do
    name=$(basename "$entry")
    case $name in
        tests | bench | docs | build*) continue ;;
    esac
    [ -e "$entry/CMakeCache.txt" ] && continue
    cp -R "$entry" "$work/src/"
done

# A source of movanta_watch, which links the port binding and the core but not the window:
# the run loop, or else any watch/ source but main.cpp.
probe=
for candidate in "$work/src/watch/watch_run.cpp" "$work"/src/watch/*.cpp; do
    [ -f "$candidate" ] && [ "$(basename "$candidate")" != main.cpp ] && { probe=$candidate; break; }
done
[ -n "$probe" ] || { echo "FAIL: no watch/ source to probe with" >&2; exit 1; }
object=$(basename "$probe").o
original=$(cat "$probe")

cmake -S "$work/src" -B "$work/build" -G "Unix Makefiles" -DBUILD_TESTING=OFF \
    -DMOVANTA_BENCH=OFF ${compiler:+-DCMAKE_CXX_COMPILER="$compiler"} >"$work/configure.log" 2>&1 \
    || { cat "$work/configure.log" >&2; echo "FAIL: the copy does not configure" >&2; exit 1; }

# One object of movanta_watch, nothing else.
compile_probe() { make -C "$work/build/watch" "$object" >"$work/compile.log" 2>&1; }

compile_probe || { cat "$work/compile.log" >&2; echo "FAIL: $(basename "$probe") does not compile as it is" >&2; exit 1; }

printf '#include "ui/form1.h"\n%s\n' "$original" >"$probe"
if compile_probe; then
    echo "FAIL: a watch/ source compiled with #include \"ui/form1.h\": the window's headers are on its path" >&2
    exit 1
fi
# Not found at all (GCC's words, then Clang's): a header found but failing on Qt is no boundary.
grep -Eq "ui/form1\.h: No such file|'ui/form1\.h' file not found" "$work/compile.log" \
    || { cat "$work/compile.log" >&2; echo "FAIL: the compile failed, but ui/form1.h was found" >&2; exit 1; }
echo "watch/ cannot include ui/form1.h; it compiles without it"
