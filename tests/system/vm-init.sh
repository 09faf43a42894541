#!/bin/busybox sh
# /init of the throwaway VM that run-hidraw-vm.sh boots. It loads the USB gadget, HID and 9p
# modules, mounts the host's root read-only over 9p with a tmpfs overlay on top, so that the
# test program built on the host runs here in a chroot with the host's libraries, mounts the
# host's results folder writable at the same path, starts udevd where the host extracted it,
# runs the test program and writes its exit code to the results folder. Then it powers off.
#
# /vm.conf (written by the host) sets TEST_PROGRAM, DEVICE_PROGRAM, RESULTS_DIR and UDEV_ROOT
# (empty without udevd), and exports the sanitizer options of the host's test environment.

/bin/busybox mkdir -p /proc /sys /dev /tmp /host /newroot
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs tmp /tmp

say() { echo "vm: $*"; }
power_off() {
    sync
    say "power off"
    poweroff -f
}

. /vm.conf

for module in $(cat /modules.list); do
    insmod /lib/modules/$module.ko || say "insmod $module failed"
done

R=/newroot
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000,cache=loose hostroot /host || { say "no host root"; power_off; }
mkdir -p /tmp/overlay/upper /tmp/overlay/work
mount -t overlay -o lowerdir=/host,upperdir=/tmp/overlay/upper,workdir=/tmp/overlay/work overlay $R \
    || { say "no overlay"; power_off; }
for d in proc sys dev; do mount --bind /$d $R/$d; done
mount -t configfs configfs $R/sys/kernel/config
# A fresh /run: no udevd control socket of the host's leaks in. (/tmp stays the host's, written
# to the overlay, since the build folder may lie below it.)
mount -t tmpfs run $R/run
# Written through uncached so that the host finds every line after power-off.
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 results $R$RESULTS_DIR || { say "no results folder"; power_off; }

# Programs of the host's systemd refuse to run in a chroot unless told otherwise.
export SYSTEMD_IGNORE_CHROOT=1 SYSTEMD_PAGER=cat SYSTEMD_COLORS=0 TERM=dumb
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp

UDEVD=
if [ -n "$UDEV_ROOT" ] && [ -x "$R$UDEV_ROOT/usr/bin/udevadm" ]; then
    # Into the overlay, so that udevd finds its rules and helpers where it was built to look.
    cp -a "$R$UDEV_ROOT/." $R/
    chroot $R /usr/lib/systemd/systemd-udevd > /tmp/udevd.log 2>&1 &
    UDEVD=$!
    i=0; while [ ! -S $R/run/udev/control ] && [ $i -lt 200 ]; do usleep 50000; i=$((i+1)); done
    if [ -S $R/run/udev/control ]; then say "udevd runs"; else say "udevd did not start"; cat /tmp/udevd.log; fi
else
    say "no udevd: the udev-source case is skipped"
fi

say "test program starts"
chroot $R "$TEST_PROGRAM" --device-program="$DEVICE_PROGRAM" --results-dir="$RESULTS_DIR" --gtest_color=no
rc=$?
say "test program exited with $rc"
echo $rc > $R$RESULTS_DIR/test-exit-code

[ -n "$UDEVD" ] && kill $UDEVD
umount $R$RESULTS_DIR
power_off
