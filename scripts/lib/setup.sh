# SPDX-License-Identifier: MIT
# Shared set-up of scripts/run and scripts/test: sourced, not run.
# Installs what a group of tasks needs from Debian's packages (as root), or says
# the exact line to run and stops.

MOVANTA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Packages by what they are for.
movanta_packages_build=(cmake make g++ pkg-config qt6-base-dev libgl-dev libx11-dev libmosquitto-dev libssl-dev
    libsystemd-dev)
movanta_packages_test=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
    locales xvfb xdotool xclip x11-utils imagemagick xauth desktop-file-utils appstream dpkg-dev file
    qemu-system-x86 busybox-static cpio sigrok-cli gtkwave mosquitto mosquitto-clients systemd openssl
    tzdata)
movanta_packages_windows=(g++-mingw-w64-x86-64-posix wine64 googletest imagemagick nsis)

movanta_missing_packages() {
    local p missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$p")
    done
    echo "${missing[@]}"
}

# movanta_need GROUP...: makes sure every package of the groups is installed.
movanta_need() {
    local group packages=() missing
    for group in "$@"; do
        local -n list="movanta_packages_${group}"
        packages+=("${list[@]}")
        unset -n list
    done
    missing=$(movanta_missing_packages "${packages[@]}")
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Movanta needs these Debian packages. Install them, then run this again:" >&2
        echo "  sudo apt-get install -y $missing" >&2
        exit 1
    fi
    echo "Installing: $missing"
    export DEBIAN_FRONTEND=noninteractive
    if [ -z "${MOVANTA_APT_UPDATED:-}" ]; then
        apt-get update -qq || { echo "apt-get update failed" >&2; exit 1; }
        export MOVANTA_APT_UPDATED=1
    fi
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing >/dev/null \
        || { echo "apt-get install failed for: $missing" >&2; exit 1; }
}

# The German locale that the numeric text tests switch to.
movanta_need_german_locale() {
    locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$' && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "The tests need the locale de_DE.UTF-8. Generate it, then run this again:" >&2
        echo "  sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8" >&2
        exit 1
    fi
    localedef -i de_DE -f UTF-8 de_DE.UTF-8 || { echo "localedef failed" >&2; exit 1; }
}

# Qt warns when run as root without a runtime folder of its own.
movanta_runtime_dir() {
    if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -d "$XDG_RUNTIME_DIR" ]; then
        XDG_RUNTIME_DIR=$(mktemp -d "/tmp/movanta-runtime-$(id -u)-XXXXXX")
        chmod 700 "$XDG_RUNTIME_DIR"
        export XDG_RUNTIME_DIR
    fi
}

# movanta_build DIR [cmake options...]: configures (once) and builds DIR.
movanta_build() {
    local dir=$1; shift
    cmake -S "$MOVANTA_ROOT" -B "$dir" "$@" >/dev/null || { echo "cmake configure failed" >&2; exit 1; }
    cmake --build "$dir" -j "$(nproc)" || { echo "build failed" >&2; exit 1; }
}
