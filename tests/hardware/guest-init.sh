#!/bin/busybox sh
# SPDX-License-Identifier: MIT
# shellcheck shell=dash
# /init of the QEMU guest. Suite parport (the default): loads the parallel port modules, runs
# the checks with ppdev (as root, as nobody, as nobody in group lp), unloads the modules so that
# only /dev/port is left, runs them again (as root, as nobody). Suite gpio (movanta.suite=gpio
# on the kernel's command line): loads the test chip's module, runs the GPIO checks as root,
# then gives the chip to group gpio and runs them as nobody outside and inside it.
# Then it powers off. Every line the host looks for starts with OK, FAIL, SUMMARY, INFO or END.

/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

guest=/opt/movanta/guest
library=/opt/movanta/lib/libdlportio.so
# A hung device call must not cost the host's whole timeout.
phase_seconds=60

phase() { # phase NAME: the unprivileged phases drop to uid 65534 themselves
    timeout "$phase_seconds" "$guest" "$library" "$1"
    echo "INFO $1 exit $?"
}

parport_suite() {
    # No modules.dep comes with the modules: load by path, dependencies first.
    for module in parport parport_pc ppdev; do
        insmod "/modules/$module.ko" || echo "FAIL setup/insmod_$module: insmod failed"
    done
    echo "INFO kernel $(uname -r)"
    echo "INFO base-addr $(cat /proc/sys/dev/parport/parport0/base-addr 2>&1)"
    # shellcheck disable=SC2012 # for the log only
    echo "INFO $(ls -l /dev/port /dev/parport0 2>&1 | tr -s ' ' | tr '\n' ';')"

    phase ppdev
    phase denied-ppdev
    lp=7
    chgrp "$lp" /dev/parport0 /dev/port
    chmod 660 /dev/parport0 /dev/port
    phase group-lp
    chgrp 0 /dev/port
    chmod 600 /dev/port

    for module in ppdev parport_pc parport; do
        rmmod "$module" || echo "FAIL setup/rmmod_$module: rmmod failed"
    done

    phase devport
    phase denied-devport
}

gpio_suite() {
    insmod /modules/movanta_gpio_test.ko || echo "FAIL setup/insmod_movanta_gpio_test: insmod failed"
    echo "INFO kernel $(uname -r)"
    # shellcheck disable=SC2012 # for the log only
    echo "INFO $(ls -l /dev/gpiochip* 2>&1 | tr -s ' ' | tr '\n' ';')"
    phase gpio
    gpio=997
    mkdir -p /etc
    printf 'root:x:0:\ngpio:x:%s:\n' "$gpio" >/etc/group
    # What a udev rule GROUP="gpio", MODE="0660" does on a real system.
    chgrp "$gpio" /dev/gpiochip*
    chmod 660 /dev/gpiochip*
    chmod 666 /sys/module/movanta_gpio_test/parameters/values
    phase gpio-denied
    phase gpio-group
}

case " $(cat /proc/cmdline) " in
*" movanta.suite=gpio "*) gpio_suite ;;
*) parport_suite ;;
esac

echo "END"
sync
poweroff -f
