#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows packages end to end: what the programs import, the same tree in the zip and the
# installer, then a silent install into a fresh Wine prefix, the simulator set and read back
# from the installed copy, and a silent uninstall that leaves no file, entry or key behind.
#   package_test.sh BUILD_DIR WINE WINESERVER      (scripts/windows-check runs it)
set -euo pipefail

build=$1 wine=$2 wineserver=$3
version=0.05
setup=$build/movanta-$version-setup.exe
zip=$build/movanta-$version-win64.zip
objdump=x86_64-w64-mingw32-objdump
failures=0
fail() { echo "package_test: FAILED: $*" >&2; failures=$((failures + 1)); }
# Now and then Wine fails to start a program at all: such a start gets one more try.
wine_twice() { "$wine" "$@" </dev/null 2>&1 || "$wine" "$@" </dev/null 2>&1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/movanta-package-test-XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

# --- The zip: layout and imports -------------------------------------------------------
mkdir -p "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
tree() { (cd "$1" && find . -type f ! -name Uninstall.exe | sed 's|^\./||' | sort); }
zipped=$(tree "$work/zip/Movanta")
for required in LICENSE.txt Simulator/dlportio.dll Simulator/movanta-portsim.exe; do
    grep -qx "$required" <<<"$zipped" || fail "the zip lacks $required"
done
grep -qx "dlportio.dll" <<<"$zipped" && fail "a dlportio.dll at the top would hide the user's own"
for program in Movanta.exe movanta-watch.exe; do
    top=$(grep -cx "$program" <<<"$zipped" || true)
    simulator=$(grep -cx "Simulator/$program" <<<"$zipped" || true)
    [ "$top" = "$simulator" ] || fail "$program is in one of the two folders only"
done
unexpected=$(grep -vxE 'LICENSE.txt|Movanta.exe|movanta-watch.exe|Simulator/(Movanta|movanta-watch|movanta-portsim).exe|Simulator/dlportio.dll' <<<"$zipped" || true)
[ -z "$unexpected" ] || fail "files that do not belong: $unexpected"

# Windows' own DLLs only: nothing of the compiler's runtime, nothing to ship beside.
system_dlls='kernel32|user32|gdi32|comctl32|comdlg32|advapi32|shell32|ole32|oleaut32|winmm|version|uxtheme|dwmapi|shlwapi|imm32|msimg32|ws2_32|bcrypt|avrt|powrprof|msvcrt'
while IFS= read -r binary; do
    imports=$("$objdump" -p "$work/zip/Movanta/$binary" | sed -n 's/^\s*DLL Name: //p')
    [ -n "$imports" ] || fail "$binary: no imports read"
    while IFS= read -r dll; do
        [ -z "$dll" ] && continue
        grep -qixE "($system_dlls)\.dll" <<<"$dll" || fail "$binary imports $dll"
    done <<<"$imports"
done < <(grep -E '\.(exe|dll)$' <<<"$zipped")

# --- Silent install into a fresh prefix --------------------------------------------------
mkdir -p "$WINEPREFIX"
"$wineserver" -p </dev/null >/dev/null 2>&1
"$wine" wineboot --init </dev/null >/dev/null 2>&1 || { fail "Wine did not start"; exit 1; }
wine_twice "$setup" /S >/dev/null || fail "the silent install returned $?"
installed=$WINEPREFIX/drive_c/Program\ Files/Movanta
menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Movanta'
[ -f "$installed/Uninstall.exe" ] || fail "no Uninstall.exe in Program Files\\Movanta"
[ "$(tree "$installed")" = "$zipped" ] || fail "the installed tree differs from the zip's"
if grep -qx Movanta.exe <<<"$zipped"; then
    [ -f "$menu/Movanta.lnk" ] || fail "no Start menu entry Movanta"
    [ -f "$menu/Movanta (Simulator).lnk" ] || fail "no Start menu entry Movanta (Simulator)"
fi
registered=$("$wine" reg query "$key" </dev/null 2>/dev/null | tr -d '\r' || true)
for value in "DisplayName.*REG_SZ.*Movanta$" "DisplayVersion.*REG_SZ.*$version$" \
    'UninstallString.*REG_SZ.*"C:\\Program Files\\Movanta\\Uninstall.exe"$'; do
    grep -qE "$value" <<<"$registered" || fail "the uninstall key lacks $value"
done

# --- The installed simulator -------------------------------------------------------------
portsim='C:\Program Files\Movanta\Simulator\movanta-portsim.exe'
wine_twice "$portsim" set 888 90 >/dev/null || fail "movanta-portsim set returned $?"
read_back=$(wine_twice "$portsim" get 888 | tr -d '\r')
[ "$read_back" = 90 ] || fail "movanta-portsim get gave '$read_back', not 90"
[ -f "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Movanta/portsim" ] \
    || fail "the port space file is not under LOCALAPPDATA\\Movanta"
if grep -qx movanta-watch.exe <<<"$zipped"; then
    watched=$(wine_twice 'C:\Program Files\Movanta\Simulator\movanta-watch.exe' --port 888 --once \
        | tr -d '\r') || fail "movanta-watch --once returned $?"
    grep -q 165 <<<"$watched" || fail "movanta-watch --once did not show 165: $watched"
fi

# --- Silent uninstall: it copies itself away and returns at once ---------------------------
wine_twice 'C:\Program Files\Movanta\Uninstall.exe' /S >/dev/null \
    || fail "the silent uninstall returned $?"
for _ in $(seq 300); do
    [ -e "$installed" ] || "$wine" reg query "$key" </dev/null >/dev/null 2>&1 || break
    sleep 0.1
done
[ -e "$installed" ] && fail "the uninstall left: $(cd "$installed" && find . | tr '\n' ' ')"
[ -e "$menu/Movanta.lnk" ] && fail "the uninstall left the Start menu entry Movanta"
[ -e "$menu/Movanta (Simulator).lnk" ] && fail "the uninstall left the entry Movanta (Simulator)"
"$wine" reg query "$key" </dev/null >/dev/null 2>&1 && fail "the uninstall left the key $key"

if [ "$failures" -gt 0 ]; then
    echo "package_test: $failures failures" >&2
    exit 1
fi
echo "package_test: passed (zip, imports, silent install and uninstall)"
