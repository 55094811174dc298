#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package of a built tree, installs it into a throwaway root and runs what it
# installed: the simulator CLI, the program on the installed simulator, and the program on the
# installed hardware driver, found through its own RUNPATH.
#
# usage: deb_package_test.sh BUILD_DIR VERSION LIBDIR HARDWARE_DRIVER
#   LIBDIR is the configured library folder below the prefix (lib/x86_64-linux-gnu),
#   HARDWARE_DRIVER the build tree's hardware libdlportio.so.
# Exit 77 (skipped) when a tool is missing.
#
# Whether the package runs after "apt install --no-install-recommends" is checked without
# a network or a chroot: every shared object the running program has loaded (Qt's plugins
# included) must belong to the package itself or to a package its Depends bring in, followed
# through apt's own package lists (Depends and Pre-Depends only, no Recommends).
set -u
# shellcheck source=tests/e2e/window_places.sh
source "$(dirname "$0")/../e2e/window_places.sh"

build=$1 version=$2 libdir=$3 built_hardware=$4

for tool in cpack dpkg dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli readelf file \
    gzip Xvfb xdotool apt-cache; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

work=$(mktemp -d /tmp/movanta-deb-test-XXXXXX)
pids=()
cleanup() {
    local i
    # The programs before their display.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        local pid=${pids[i]}
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

# A tree of its own for CPack, so that packaging leaves the build tree as it was.
arch=$(dpkg --print-architecture)
deb="$work/pkg/movanta_${version}_${arch}.deb"
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 \
    || [ ! -f "$deb" ]; then
    cat "$work/cpack.log"
    echo "FAIL: cpack made no $(basename "$deb")"
    exit 1
fi
grep -i 'warning' "$work/cpack.log" && fail "cpack warned"

# The control fields.
[ "$(dpkg-deb -f "$deb" Package)" = movanta ] || fail "Package: $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version: $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins; do
    [[ ", $depends," =~ ", $needed"[\ ,] ]] || fail "Depends lacks $needed: $depends"
done

# Installed by dpkg into a root of its own, with a database of its own.
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
if ! dpkg --root="$root" --force-depends --force-not-root --force-script-chrootless \
    --log=/dev/null -i "$deb" >"$work/dpkg.log" 2>&1; then
    cat "$work/dpkg.log"
    echo "FAIL: dpkg --root could not install the package"
    exit 1
fi
dpkg --root="$root" -s movanta | grep -q '^Status: install ok installed' \
    || fail "dpkg does not list movanta as installed"

usr=$root/usr
hardware=$usr/$libdir/movanta/libdlportio.so
simulator_dir=$usr/$libdir/movanta/portsim
metainfo=$usr/share/metainfo/io.github.movanta.movanta.metainfo.xml
desktop=$usr/share/applications/movanta.desktop
manpage=$usr/share/man/man1/movanta-portsim.1.gz

# Exactly these files, nothing beside them (build-tree test programs, static libraries).
expected=$(printf '%s\n' usr/bin/movanta usr/bin/movanta-portsim usr/bin/movanta-watch \
    "usr/$libdir/movanta/libdlportio.so" "usr/$libdir/movanta/portsim/libdlportio.so" \
    usr/share/applications/movanta.desktop \
    usr/share/icons/hicolor/{16x16,32x32,48x48}/apps/movanta.png \
    usr/share/metainfo/io.github.movanta.movanta.metainfo.xml \
    usr/share/man/man1/movanta-portsim.1.gz usr/share/man/man1/movanta-watch.1.gz \
    usr/share/doc/movanta/copyright usr/lib/systemd/system/movanta-watch@.service \
    usr/share/doc/movanta/examples/watch-888.conf | sort)
actual=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | sort)
if [ "$actual" != "$expected" ]; then
    fail "the package's files differ from the expected list:"
    diff <(echo "$expected") <(echo "$actual")
fi

for size in 16 32 48; do
    icon=$usr/share/icons/hicolor/${size}x${size}/apps/movanta.png
    file -b "$icon" | grep -q "PNG image data, $size x $size," \
        || fail "icon ${size}x${size} is $(file -b "$icon")"
done
[ -x "$usr/bin/movanta" ] && [ -x "$usr/bin/movanta-portsim" ] && [ -x "$usr/bin/movanta-watch" ] \
    || fail "a program is not executable"

desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli validate $metainfo"
# The installed metadata as a software centre sees it: launchable, icon and desktop file together.
appstreamcli validate-tree --no-net "$root" || fail "appstreamcli validate-tree"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"

copyright=$usr/share/doc/movanta/copyright
head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    && grep -qx 'Files: \*' "$copyright" && grep -qx 'License: MIT' "$copyright" \
    || fail "$copyright is not a machine-readable copyright file of the MIT licence"
grep -q '<project_license>MIT</project_license>' "$metainfo" || fail "the metainfo names no project licence"

for manpage in "$manpage" "$usr/share/man/man1/movanta-watch.1.gz"; do
    title=$(basename "$manpage" .1.gz | tr a-z A-Z)
    gzip -t "$manpage" || fail "$manpage is no gzip file"
    gzip -dc "$manpage" | grep -q "^\.TH $title 1 " || fail "$manpage has no title line"
    if command -v man >/dev/null; then
        warnings=$(MANWIDTH=80 man --warnings -l "$manpage" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "man page warnings: $warnings"
    fi
done

# The RUNPATH: one $ORIGIN-relative folder, and it is the installed hardware driver's.
dynamic=$(readelf -d "$usr/bin/movanta")
grep -q '(RPATH)' <<<"$dynamic" && fail "movanta has an RPATH, which LD_LIBRARY_PATH cannot override"
runpath=$(sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p' <<<"$dynamic")
echo "RUNPATH of the installed movanta: $runpath"
case $runpath in
'$ORIGIN/'*) ;;
*) fail "the RUNPATH is not one \$ORIGIN-relative folder: '$runpath'" ;;
esac
resolved=$(realpath -m "$usr/bin/${runpath#\$ORIGIN/}")
[ "$resolved" = "$(realpath "$(dirname "$hardware")")" ] \
    || fail "the RUNPATH leads to $resolved, not to the hardware driver's folder"
# Stripping keeps the build ID, which tells the two libdlportio.so apart.
build_id() { readelf -n "$1" | sed -n 's/.*Build ID: //p'; }
[ -n "$(build_id "$built_hardware")" ] \
    && [ "$(build_id "$resolved/libdlportio.so")" = "$(build_id "$built_hardware")" ] \
    || fail "$resolved/libdlportio.so is not the hardware driver"

# The installed CLI on the installed simulator's port file.
export MOVANTA_PORTSIM=$work/ports
"$usr/bin/movanta-portsim" set 888 0x5A || fail "movanta-portsim set"
[ "$("$usr/bin/movanta-portsim" get 888)" = 90 ] || fail "movanta-portsim get 888 is not 90"

# The installed watch: the simulator through LD_LIBRARY_PATH, and the same RUNPATH as movanta.
record=$(LD_LIBRARY_PATH="$simulator_dir" "$usr/bin/movanta-watch" --once -f csv 2>&1)
[[ "$record" == *",165,90,10100101" ]] || fail "movanta-watch --once on the simulator gave: $record"
[ "$(readelf -d "$usr/bin/movanta-watch" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]$/\1/p')" = "$runpath" ] \
    || fail "movanta-watch has another RUNPATH than movanta"

# The installed program, on a display of its own.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || {
    cat "$work/xvfb.log"
    echo "FAIL: Xvfb did not start"
    exit 1
}
display=$(cat "$work/display")
export DISPLAY=":$display"
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

# start_movanta NAME ENV...: starts the installed program from an empty folder, its output in
# $work/NAME.out and the loader's library messages in $work/NAME.ld.*; sets wid.
start_movanta() {
    local name=$1
    shift
    mkdir "$work/$name"
    (cd "$work/$name" && exec env "$@" LD_DEBUG=libs LD_DEBUG_OUTPUT="$work/$name.ld" \
        "$usr/bin/movanta" >"$work/$name.out" 2>&1) &
    pids+=($!)
    wid=$(timeout 20 xdotool search --sync --onlyvisible --name "$E2E_TITLE" | head -1)
    [ -n "$wid" ] || {
        cat "$work/$name.out"
        echo "FAIL: the installed movanta showed no window"
        exit 1
    }
}

port_x=$E2E_PORT_X port_y=$E2E_PORT_Y start_x=$E2E_START_X start_y=$E2E_START_Y

# needed_packages: the package and every package its Depends bring in, one a line; and
# libxcursor1 with what it needs, which Qt's xcb plugin opens itself when it is there.
needed_packages() {
    {
        echo movanta
        # shellcheck disable=SC2046 # one word per dependency
        apt-cache depends --recurse --important libxcursor1 \
            $(dpkg-deb -f "$deb" Depends | sed 's/([^)]*)//g; s/[,|]/ /g') 2>/dev/null \
            | grep -v '^ ' | sed 's/:.*//; s/[<>]//g'
    } | LC_ALL=C sort -u
}

# owners_of_loaded PID: the package of each shared object the process has mapped.
owners_of_loaded() {
    local objects
    objects=$(awk '$6 ~ /\.so(\.[0-9]+)*$/ { print $6 }' "/proc/$1/maps" | sort -u)
    while read -r object; do
        case $object in
        "$root"/*) echo movanta ;;
        *) { dpkg -S "$object" 2>/dev/null || dpkg -S "${object#/usr}" 2>/dev/null \
            || echo "unowned $object"; } | head -n 1 | sed 's/[:,].*//' ;;
        esac
    done <<<"$objects"
}

# wait_for FILE PATTERN: up to 10 s for an extended regular expression in FILE.
wait_for() {
    local _
    for _ in $(seq 100); do
        grep -Eq "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# On the simulator chosen by LD_LIBRARY_PATH: the default tick box writes 255 before each read,
# and the read gives the latch AND the input.
"$usr/bin/movanta-portsim" log --clear
start_movanta simulator LD_LIBRARY_PATH="$simulator_dir"
xdotool mousemove --window "$wid" "$start_x" "$start_y" click --delay 0 1
"$usr/bin/movanta-portsim" log >"$work/sim.log"
for _ in $(seq 100); do
    grep -q ' R 888 90$' "$work/sim.log" && break
    sleep 0.1
    "$usr/bin/movanta-portsim" log >"$work/sim.log"
done
grep -q ' W 888 255$' "$work/sim.log" && grep -q ' R 888 90$' "$work/sim.log" \
    || fail "the installed movanta did not poll the simulator: $(head -3 "$work/sim.log")"
wait_for "$work/simulator.ld".* "calling init: $(realpath "$simulator_dir")/libdlportio.so$" \
    || fail "the simulator was not loaded from $simulator_dir"
# The window is up and polling: everything it needs is loaded by now.
unmet=$(LC_ALL=C comm -13 <(needed_packages) <(owners_of_loaded "${pids[-1]}" | LC_ALL=C sort -u))
[ -z "$unmet" ] || fail "loaded from packages that Depends do not bring in: $unmet"
kill "${pids[-1]}"
wait "${pids[-1]}" 2>/dev/null
unset 'pids[-1]'

# Without LD_LIBRARY_PATH the RUNPATH finds the hardware driver. Port 70000 lies outside the
# I/O space: the driver refuses it without touching any hardware, and its reason names it.
start_movanta hardware -u LD_LIBRARY_PATH
xdotool mousemove --window "$wid" "$port_x" "$port_y" click --delay 0 1
xdotool windowfocus --sync "$wid"
xdotool key --delay 40 ctrl+a BackSpace
xdotool type --delay 40 -- 70000
xdotool mousemove --window "$wid" "$start_x" "$start_y" click --delay 0 1
wait_for "$work/hardware.out" "Laufzeitfehler '57'" \
    || fail "no port error from the hardware driver: $(cat "$work/hardware.out")"
grep -q "^movanta: Laufzeitfehler '57': Portzugriff fehlgeschlagen (port 70000 is outside" \
    "$work/hardware.out" || fail "unexpected report: $(cat "$work/hardware.out")"
loaded=$(sed -n 's/.*calling init: \(.*libdlportio\.so\)$/\1/p' "$work/hardware.ld".*)
[ -n "$loaded" ] && [ "$(realpath "$loaded")" = "$(realpath "$hardware")" ] \
    || fail "the hardware driver was not loaded from $hardware: '$loaded'"
# The loader names a library by the search path that found it: here the expanded RUNPATH.
[ "$loaded" = "$usr/bin/${runpath#\$ORIGIN/}/libdlportio.so" ] \
    || fail "the hardware driver was not found through the RUNPATH: '$loaded'"

echo "$(basename "$deb"): $(stat -c %s "$deb") bytes; Depends: $depends"
[ "$failures" -eq 0 ] || {
    echo "$failures check(s) failed"
    exit 1
}
echo "all checks passed"
