#!/usr/bin/env bash
# Runs the hidraw layer against a real kernel: boots Debian's own kernel under QEMU (TCG) with an
# initramfs made here, and runs the test program built on this host inside the VM through a
# read-only 9p view of this host's root. The VM's USB HID device is emulated on dummy_hcd by a
# configfs gadget whose function the device program serves over FunctionFS.
#
#   run-hidraw-vm.sh WORK_DIR CACHE_DIR TEST_PROGRAM DEVICE_PROGRAM INIT_SCRIPT
#
# Exit status 0 when the test program passed and the device received exactly the reports the
# test sent, 77 when no VM can be made here, 1 otherwise.
#
# Needs the Debian packages qemu-system-x86, busybox-static, kmod and cpio, and apt's package
# lists to fetch the kernel package that linux-image-amd64 depends on and the udev package (for
# the udev-source case; without it that case is skipped). Both are downloaded once with
# `apt-get download` into CACHE_DIR and unpacked there, never installed.
set -uo pipefail

readonly kSkip=77
# What the VM loads, with whatever these need: the dummy host and device controller, configfs
# gadgets with FunctionFS functions, the HID stack, and 9p over virtio with an overlay on top.
readonly kModules=(dummy_hcd libcomposite usb_f_fs hid hid-generic usbhid virtio_pci 9pnet_virtio 9p overlay)
readonly kVmTimeoutSeconds=200

skip() { echo "SKIP: $*"; exit $kSkip; }
fail() { echo "FAIL: $*"; exit 1; }
note() { echo "== $*"; }

if [ $# -ne 5 ]; then
    echo "usage: $0 WORK_DIR CACHE_DIR TEST_PROGRAM DEVICE_PROGRAM INIT_SCRIPT" >&2
    exit 2
fi
work=$1 cache=$2 test_program=$3 device_program=$4 init_script=$5
for program in "$test_program" "$device_program"; do
    [ -x "$program" ] || fail "$program is not built"
done

for need in qemu-system-x86_64:qemu-system-x86 busybox:busybox-static modinfo:kmod cpio:cpio \
            apt-get:apt dpkg-deb:dpkg timeout:coreutils; do
    command -v "${need%%:*}" >/dev/null || skip "no ${need%%:*} here (Debian package ${need#*:})"
done
busybox=$(command -v busybox)
# The initramfs holds no libraries.
if ldd "$busybox" >/dev/null 2>&1; then skip "$busybox is linked dynamically (Debian package busybox-static)"; fi

mkdir -p "$work" "$cache/debs" || fail "cannot create $work or $cache"
case "$work$cache" in *,*) fail "QEMU's -virtfs cannot take a path with a comma: $work";; esac

# fetch_deb PACKAGE: prints the path of PACKAGE's .deb in the cache, downloading it first if it
# is not there.
fetch_deb() {
    local package=$1 deb
    deb=$(ls "$cache/debs/${package}_"*.deb 2>/dev/null | head -1)
    if [ -z "$deb" ]; then
        (cd "$cache/debs" && apt-get download "$package") >"$cache/debs/$package.log" 2>&1 || return 1
        deb=$(ls "$cache/debs/${package}_"*.deb 2>/dev/null | head -1)
    fi
    [ -n "$deb" ] && echo "$deb"
}

# ---- the kernel: the image and the modules the VM loads, in an order that loads ----
kernel_package=$(apt-cache depends linux-image-amd64 2>/dev/null |
                 sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -1)
# Without package lists, a kernel unpacked by an earlier run still serves.
[ -n "$kernel_package" ] || kernel_package=$(ls "$cache/kernel" 2>/dev/null | head -1)
[ -n "$kernel_package" ] || skip "cannot tell linux-image-amd64's kernel package (no apt package lists?)"
kernel=$cache/kernel/$kernel_package

# Unpacks the kernel package into a scratch folder and keeps the image, the modules of kModules
# with their dependencies, and their load order.
unpack_kernel() {
    local deb scratch modules_dir name path dep
    deb=$(fetch_deb "$kernel_package") ||
        skip "cannot download $kernel_package: $(tail -1 "$cache/debs/$kernel_package.log" 2>/dev/null)"
    scratch=$cache/kernel-unpacked
    # Kernels of earlier Debian releases are of no more use.
    find "$cache/debs" -maxdepth 1 -name 'linux-image-*' ! -name "${kernel_package}[._]*" -delete
    rm -rf "$scratch" "$cache/kernel" && mkdir -p "$scratch" "$kernel/modules" || fail "cannot create $kernel"
    note "unpacking $(basename "$deb")"
    dpkg-deb -x "$deb" "$scratch" || fail "cannot unpack $deb"
    cp "$scratch"/boot/vmlinuz-* "$kernel/vmlinuz" || fail "no kernel image in $deb"
    modules_dir=$(ls -d "$scratch"/lib/modules/* | head -1)

    declare -A ko builtin seen
    while read -r path; do name=$(basename "$path" .ko); ko[${name//-/_}]=$path; done \
        < <(find "$modules_dir/kernel" -name '*.ko')
    while read -r path; do name=$(basename "$path" .ko); builtin[${name//-/_}]=1; done < "$modules_dir/modules.builtin"
    local order=()
    add_module() {
        local module=${1//-/_}
        [ -n "${seen[$module]:-}" ] && return 0
        seen[$module]=1
        if [ -z "${ko[$module]:-}" ]; then
            [ -n "${builtin[$module]:-}" ] && return 0
            echo "module $1 is neither built in nor in $deb" >&2
            return 1
        fi
        for dep in $(modinfo -F depends "${ko[$module]}" | tr ',' ' '); do add_module "$dep" || return 1; done
        order+=("$module")
        cp "${ko[$module]}" "$kernel/modules/$module.ko"
    }
    for name in "${kModules[@]}"; do add_module "$name" || fail "cannot gather the VM's modules"; done
    printf '%s\n' "${order[@]}" > "$kernel/modules.list"
    echo "${kModules[*]}" > "$kernel/wanted"
    rm -rf "$scratch"
}
[ "$(cat "$kernel/wanted" 2>/dev/null)" = "${kModules[*]}" ] || unpack_kernel
note "kernel $kernel_package; modules: $(tr '\n' ' ' < "$kernel/modules.list")"

# ---- udev, for the udev-source case: unpacked, never installed ----
udev_root=
if udev_deb=$(fetch_deb udev); then
    udev_root=$cache/udev-root
    if [ "$(cat "$udev_root/unpacked-from" 2>/dev/null)" != "$udev_deb" ]; then
        rm -rf "$udev_root" && dpkg-deb -x "$udev_deb" "$udev_root" || fail "cannot unpack $udev_deb"
        # This host has a merged /usr, so /bin, /sbin and /lib of the overlay are symlinks into
        # /usr, which a copy of the package's own /bin, /sbin and /lib would fail to replace.
        for d in bin sbin lib; do
            if [ -d "$udev_root/$d" ] && [ ! -L "$udev_root/$d" ] && [ -L "/$d" ]; then
                mkdir -p "$udev_root/usr/$d" && cp -a "$udev_root/$d/." "$udev_root/usr/$d/" && rm -rf "${udev_root:?}/$d"
            fi
        done
        echo "$udev_deb" > "$udev_root/unpacked-from"
    fi
else
    note "the udev package cannot be downloaded: the udev-source case will be skipped"
fi

# ---- the initramfs ----
results=$work/results
initrd=$work/initrd
rm -rf "$results" "$initrd" && mkdir -p "$results" "$initrd/bin" "$initrd/lib/modules" || fail "cannot create $work"
cp "$busybox" "$initrd/bin/busybox"
cp "$kernel"/modules/*.ko "$initrd/lib/modules/"
cp "$kernel/modules.list" "$initrd/modules.list"
cp "$init_script" "$initrd/init" && chmod 755 "$initrd/init"
quote() { local q="'\\''"; printf "'%s'" "${1//\'/$q}"; }
{
    echo "TEST_PROGRAM=$(quote "$test_program")"
    echo "DEVICE_PROGRAM=$(quote "$device_program")"
    echo "RESULTS_DIR=$(quote "$results")"
    echo "UDEV_ROOT=$(quote "$udev_root")"
    for variable in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
        [ -n "${!variable:-}" ] && echo "export $variable=$(quote "${!variable}")"
    done
} > "$initrd/vm.conf"
(cd "$initrd" && find . | cpio -o -H newc --quiet) > "$work/initrd.cpio" || fail "cannot pack the initramfs"

# ---- the VM ----
bios=()
# qboot starts a -kernel boot in a fraction of SeaBIOS's time.
[ -f /usr/share/qemu/qboot.rom ] && bios=(-bios /usr/share/qemu/qboot.rom)
qemu=(qemu-system-x86_64 -accel tcg -smp 2 -m 1024 -nodefaults -display none -serial stdio -no-reboot "${bios[@]}"
      -kernel "$kernel/vmlinuz" -initrd "$work/initrd.cpio"
      -append "console=ttyS0 panic=-1 loglevel=4 rdinit=/init"
      -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap
      -virtfs "local,path=$results,mount_tag=results,security_model=none,multidevs=remap")
note "booting: ${qemu[*]}"
timeout --kill-after=10 "$kVmTimeoutSeconds" "${qemu[@]}" < /dev/null 2>&1 | tee "$work/console.log"
qemu_status=${PIPESTATUS[0]}
[ "$qemu_status" -ne 124 ] || fail "the VM did not power off within $kVmTimeoutSeconds s"
[ -f "$results/test-exit-code" ] || fail "the VM ended (status $qemu_status) before the test program did"

# ---- the verdict ----
test_status=$(cat "$results/test-exit-code")
[ "$test_status" = 0 ] || fail "the test program failed in the VM (exit status $test_status)"
sent=$results/sent-reports.log
seen=$results/device-reports.log
[ -s "$sent" ] || fail "the test program recorded no reports it sent"
[ -f "$seen" ] || fail "the device program wrote no report log"
if ! diff -u "$sent" "$seen" > "$work/reports.diff"; then
    cat "$work/reports.diff"
    fail "the device did not receive exactly the reports that were sent (- sent, + received)"
fi
note "the device received the $(wc -l < "$seen") reports that were sent, byte for byte:"
cat "$seen"
grep -q '^\[  SKIPPED \]' "$work/console.log" && note "some cases were skipped in the VM (see above)"
echo "PASS"
exit 0
