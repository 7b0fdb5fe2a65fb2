#!/usr/bin/env bash
# The Debian package on a whole booted Debian 12 (scripts/package makes it
# first): systemd as PID 1 in a VM in software emulation, the package
# installed there with apt, a user logged in on tty1 by getty's autologin
# (an active seat0 session). The package's sockets are enabled and listening
# after the boot, with nothing started by hand. In that session, as that user:
#   - /dev/uinput cannot be opened for writing;
#   - tovi --no-window (Caps Lock for received, Scroll Lock for sent traffic,
#     every 25 ms) lights those two keys, and only those, while UDP flows
#     both ways over a veth pair into a second network namespace, and lets
#     them go dark after;
#   - with a second user's session (autologin on tty2) switched to the
#     foreground, that tovi, still running, switches no key during traffic
#     and says nothing; back in the foreground, its lights come back.
# The guest's side is tests/package/vm/; it reports on the VM's second
# serial port, one line per check.
#
#   tests/package/booted_vm.sh [--figures]
#
# --figures adds measurements for the record (emulated, so informative
# only): systemd-analyze security of the package's units, a toggle's round
# trip through the lock-key service from the user's session, and the CPU
# time at 25 ms of the user's tovi --no-window and the service beside that
# of root's tovi with its own uinput keyboard.
#
# Cached under build/debian12 (shared with install_check.sh): the root with
# systemd, the kernel's modules and the package's dependencies, as a tarball;
# the kernel package is kept with scripts/uinput-vm's in build/uinput-vm.
# A rerun then costs the package's installation and the boot, a minute or
# so. Exit status 77 when the VM cannot be made here.
set -euo pipefail
cd "$(dirname "$0")/../.."
source=$PWD
start=$SECONDS
figures=no
[ "${1:-}" = --figures ] && figures=yes

arch=$(dpkg --print-architecture)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/linux/CMakeCache.txt)
deb=$source/build/packages/tovi_${version}_${arch}.deb
cache=$source/build/debian12
kernel_cache=$source/build/uinput-vm
timeout=${TOVI_VM_TIMEOUT:-420}

skip() { echo "booted_vm: $*" >&2; exit 77; }
for need in qemu-system-x86_64 busybox cpio mkfs.ext4 debootstrap chroot unshare apt-get apt-cache dpkg-deb; do
    command -v "$need" >/dev/null || skip "$need is missing (scripts/deps installs it)"
done
! ldd "$(command -v busybox)" >/dev/null 2>&1 || skip "busybox is not the static one (busybox-static)"
[ -f "$deb" ] || { echo "booted_vm: run scripts/package first" >&2; exit 1; }
if [ $figures = yes ] && cmake --build build/linux --target help | grep -q tovi_lock_round_trip; then
    cmake --build build/linux --target tovi_lock_round_trip >/dev/null
fi

# Everything below runs in a mount namespace of its own: the root is built
# on a tmpfs there, and it goes with the namespace however the script ends.
if [ -z "${TOVI_BOOTED_VM_NS:-}" ]; then
    exec unshare --mount --propagation private env TOVI_BOOTED_VM_NS=1 bash "$0" "$@"
fi
source scripts/debian12-root
source scripts/scratch
source tests/package/vm/host_parts.sh
# The roots on tmpfs go with the namespace; unmounted first, their folders
# in $work go too.
_booted_vm_end() {
    local m
    for m in "$work/root" "$work/new-root"; do ! mountpoint -q "$m" || umount -R "$m"; done
    _tovi_scratch_end
}
trap _booted_vm_end EXIT

# --- The kernel: the one scripts/uinput-vm boots, as a whole package ---------
package=$(kernel_package) || skip "the package sources name no Debian kernel package"
kernel_deb=$kernel_cache/$package.deb
[ -s "$kernel_deb" ] || fetch_kernel "$package" || skip "apt-get download $package failed"

# --- The root, cached with everything but the package under test ------------
mkdir -p "$cache/archives"
exec 9>"$cache/lock"
flock 9  # apt writes into the shared archives; one run at a time
debian12_minbase "$cache" || exit 1
vm_tar=$cache/vm-root.tar
if [ ! -s "$vm_tar" ] || [ "$(cat "$cache/vm-root.kernel" 2>/dev/null)" != "$package" ]; then
    echo "booted_vm: making the VM's root (once; kept in $vm_tar)"
    make_vm_root "$vm_tar" || exit 1
    echo "$package" >"$cache/vm-root.kernel"
fi

root=$work/root
mkdir -p "$root"
mount -t tmpfs -o mode=0755 tovi-vm-root "$root"
tar -C "$root" -xf "$vm_tar"
: >"$cache/apt.log"
with_chroot "$root" install_package "$deb" || { tail -n 20 "$cache/apt.log" >&2; exit 1; }
exec 9>&-
install_guest_parts "$root" "$figures"
echo "booted_vm: root ready after $((SECONDS - start)) s"

# --- The boot ----------------------------------------------------------------
make_disk "$root" "$work/disk.img"
make_initramfs "$root" "$work/initrd.cpio"
umount "$root"
echo "booted_vm: booting (software emulation) after $((SECONDS - start)) s"
status=0
boot_vm "$cache/vmlinuz" "$work" "$timeout" || status=$?
tr -d '\r' <"$work/results" | grep -v '^status ' | sed '/^$/d'
if [ $status -eq 124 ]; then
    echo "booted_vm: FAIL: the VM did not finish within $timeout s; its console's end:" >&2
    tr -d '\r' <"$work/console" | tail -n 30 >&2
    exit 1
fi
guest=$(tr -d '\r' <"$work/results" | sed -n 's/^status \([0-9]*\)$/\1/p' | tail -n 1)
if [ -z "$guest" ]; then
    echo "booted_vm: FAIL: the guest's check did not finish (QEMU status $status); its console's end:" >&2
    tr -d '\r' <"$work/console" | tail -n 30 >&2
    exit 1
fi
echo "booted_vm: $((SECONDS - start)) s"
[ "$guest" -eq 0 ] && echo "booted_vm: ok"
exit "$guest"
