# Sourced by tests/package/booted_vm.sh: the steps that make and boot the VM,
# run on the host. They use `work` (scripts/scratch), `cache` (the shared
# Debian 12 root cache, whose lock the caller holds while they write there),
# `kernel_cache`, `source` and `deb`.

vm_user=tester
vm_other_user=other  # sits at tty2: the session the seat is switched to
vm_parts=/usr/local/lib/tovi-vm

# The kernel package linux-image-amd64 points at, as scripts/uinput-vm boots.
kernel_package() {
    local package
    package=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: *\(linux-image-[0-9][^ ]*\)$/\1/p' | head -n 1)
    if [ -z "$package" ]; then
        # Offline with a kernel fetched before: the newest one kept.
        package=$(ls -1 "$kernel_cache" 2>/dev/null | sed -n 's/^\(linux-image-.*\)\.deb$/\1/p' | sort -V | tail -n 1)
    fi
    [ -n "$package" ] && echo "$package"
}

# fetch_kernel PACKAGE: kept whole (the VM needs every module) beside
# scripts/uinput-vm's own folder for it, never installed here.
fetch_kernel() {
    local package=$1 fetch
    mkdir -p "$kernel_cache"
    fetch=$(mktemp -d "$kernel_cache/fetch.XXXXXX")
    echo "booted_vm: fetching $package" >&2
    (cd "$fetch" && apt-get download "$package" >/dev/null 2>&1) || { rm -rf "$fetch"; return 1; }
    mv "$fetch"/*.deb "$kernel_cache/$package.deb"
    rm -rf "$fetch"
}

# with_chroot ROOT COMMAND...: COMMAND with /proc, the resolver and the shared
# package archives in ROOT, all taken away again after.
with_chroot() {
    local root=$1 status=0
    shift
    mount -t proc proc "$root/proc"
    mount --bind "$cache/archives" "$root/var/cache/apt/archives"
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    "$@" || status=$?
    umount "$root/var/cache/apt/archives" "$root/proc"
    return $status
}
in_root() {
    chroot "$root" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}
apt_get() { in_root apt-get -y -q -o Dpkg::Use-Pty=0 --no-install-recommends "$@" >>"$cache/apt.log" 2>&1; }
install_package() {
    cp "$1" "$root/tmp/"
    apt_get install "/tmp/${1##*/}"
    rm -f "$root/tmp/${1##*/}"
}

# The parts of the kernel package that a VM with no hardware but a virtio
# disk never loads stay out: they would double the root's size.
kernel_modules() {
    local deb=$1 root=$2
    dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$root" \
        --exclude='*/kernel/drivers/gpu' --exclude='*/kernel/drivers/media' \
        --exclude='*/kernel/drivers/net/wireless' --exclude='*/kernel/drivers/net/ethernet' \
        --exclude='*/kernel/drivers/infiniband' --exclude='*/kernel/drivers/scsi' \
        --exclude='*/kernel/drivers/staging' --exclude='*/kernel/sound' \
        --exclude='*/kernel/drivers/bluetooth' --exclude='*/kernel/net/wireless' \
        --exclude='*/kernel/net/mac80211' --exclude='*/kernel/drivers/iio' \
        ./lib/modules ./boot
}

# make_vm_root TAR: minbase, systemd and what logs a user in, the kernel's
# modules, and the package's dependencies (the package itself installed for
# them, then purged); the kernel image beside the tarball.
make_vm_root() {
    local tar=$1 root=$work/new-root version
    mkdir -p "$root"
    mount -t tmpfs -o mode=0755 tovi-vm-new "$root"
    tar -C "$root" -xf "$cache/minbase.tar"
    : >"$cache/apt.log"
    if ! with_chroot "$root" vm_packages; then
        tail -n 20 "$cache/apt.log" >&2
        umount "$root"
        return 1
    fi
    kernel_modules "$kernel_deb" "$root"
    version=$(ls "$root/lib/modules")
    in_root depmod "$version"
    mv "$root"/boot/vmlinuz-* "$cache/vmlinuz"
    rm -rf "$root"/boot/*
    # One machine id for every boot: systemd takes an empty one for a first
    # boot and would ask questions on the console.
    in_root systemd-machine-id-setup >/dev/null 2>&1
    echo tovi-vm >"$root/etc/hostname"
    tar -C "$root" -cf "$tar.part" . && mv "$tar.part" "$tar"
    umount "$root"
}
# The packages apt fetched stay in the shared archives (the root's own
# folder is empty once they are unmounted): no apt-get clean here.
vm_packages() {
    apt_get install systemd-sysv udev dbus libpam-systemd iproute2 kmod &&
        install_package "$deb" && apt_get purge tovi
}

# autologin ROOT TTY USER: getty logs USER in on TTY at boot.
autologin() {
    local etc=$1/etc/systemd/system
    in_root useradd -m -s /bin/bash "$3"
    mkdir -p "$etc/getty@$2.service.d" "$etc/getty.target.wants"
    printf '[Service]\nExecStart=\nExecStart=-/sbin/agetty --autologin %s --noclear %%I $TERM\n' "$3" \
        >"$etc/getty@$2.service.d/autologin.conf"
    ln -sf /lib/systemd/system/getty@.service "$etc/getty.target.wants/getty@$2.service"
}

# install_guest_parts ROOT FIGURES: the users, their autologins on tty1 and
# tty2, and the check that reports on the second serial port, all from
# tests/package/vm.
install_guest_parts() {
    local root=$1 figures=$2 etc=$1/etc/systemd/system
    autologin "$root" tty1 "$vm_user"
    autologin "$root" tty2 "$vm_other_user"
    mkdir -p "$root$vm_parts" "$etc/multi-user.target.wants"
    cp "$source"/tests/package/vm/{check.sh,user_part.sh} "$root$vm_parts/"
    chmod 755 "$root$vm_parts"/*.sh
    echo "$figures" >"$root$vm_parts/figures"
    if [ "$figures" = yes ]; then
        cp "$source/tests/package/vm/figures.sh" "$root$vm_parts/"
        [ ! -x "$source/build/linux/bin/tovi_lock_round_trip" ] ||
            cp "$source/build/linux/bin/tovi_lock_round_trip" "$root$vm_parts/"
    fi
    printf '[Unit]\nDescription=The test of the package in this VM\nAfter=systemd-logind.service\n[Service]\nExecStart=%s/check.sh %s %s\n' \
        "$vm_parts" "$vm_user" "$vm_other_user" >"$etc/tovi-vm-check.service"
    ln -s ../tovi-vm-check.service "$etc/multi-user.target.wants/"
    printf 'd /run/tovi-vm 0755 %s %s -\n' "$vm_user" "$vm_user" >"$root/etc/tmpfiles.d/tovi-vm.conf"
    printf '[ "$(tty)" = /dev/tty1 ] && %s/user_part.sh\n' "$vm_parts" >>"$root/home/$vm_user/.bash_profile"
    chown "$(in_root id -u "$vm_user"):$(in_root id -g "$vm_user")" "$root/home/$vm_user/.bash_profile"
    # Timers that would wake up in the middle of a measurement.
    local timer
    for timer in apt-daily apt-daily-upgrade e2scrub_all fstrim dpkg-db-backup; do
        ln -sf /dev/null "$etc/$timer.timer"
    done
}

make_disk() {
    local root=$1 image=$2 size
    size=$(du -sm "$root" | cut -f1)
    mkfs.ext4 -q -F -L tovi-root -d "$root" "$image" "$((size + size / 4 + 128))M" >/dev/null
}

# make_initramfs MODULES_ROOT OUT: busybox and the modules that find the
# ext4 root on the virtio disk, then switch_root to its systemd.
make_initramfs() {
    local modroot=$1 out=$2 ramfs=$work/initramfs moddir version m
    version=$(ls "$modroot/lib/modules")
    moddir=$modroot/lib/modules/$version
    mkdir -p "$ramfs"/{bin,proc,sys,dev,newroot,modules}
    cp "$(command -v busybox)" "$ramfs/bin/busybox"
    : >"$ramfs/modules/order"
    for m in virtio_pci virtio_blk crc32c_generic ext4; do
        module_with_deps "$moddir" "$m" "$ramfs/modules"
    done
    cat >"$ramfs/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in $(cat /modules/order); do insmod /modules/$m 2>/dev/null; done
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -b /dev/vda ] && break; sleep 0.2; done
mount -t ext4 /dev/vda /newroot || { echo "initramfs: no root on /dev/vda"; poweroff -f; }
umount /proc /sys
mount --move /dev /newroot/dev
exec switch_root /newroot /sbin/init
EOF
    chmod 755 "$ramfs/init"
    (cd "$ramfs" && find . | cpio -o -H newc --quiet) >"$out"
}
# module_with_deps MODDIR NAME OUT: NAME's module file after those it needs,
# each once, in OUT/order for insmod.
module_with_deps() {
    local moddir=$1 name=$2 out=$3 line path deps d
    line=$(grep -E "(^|/)${name//_/[_-]}\.ko(\.[a-z]+)?:" "$moddir/modules.dep" | head -n 1)
    [ -n "$line" ] || return 0  # built in
    path=${line%%:*}
    deps=${line#*:}
    grep -qx "${path##*/}" "$out/order" && return 0
    for d in $(echo $deps | tr ' ' '\n' | tac); do
        module_with_deps "$moddir" "$(basename "${d%%.ko*}")" "$out"
    done
    cp "$moddir/$path" "$out/"
    echo "${path##*/}" >>"$out/order"
}

# boot_vm VMLINUZ WORK TIMEOUT: the console in WORK/console, the guest's
# report (its second serial port) in WORK/results.
boot_vm() {
    local vmlinuz=$1 dir=$2 limit=$3
    : >"$dir/console"
    : >"$dir/results"
    # Software emulation only: /dev/kvm here may be a backend the guest hangs on.
    timeout "$limit" qemu-system-x86_64 -accel tcg -smp 1 -m 1024 -nic none \
        -kernel "$vmlinuz" -initrd "$dir/initrd.cpio" \
        -append 'console=ttyS0 quiet panic=-1 systemd.show_status=0' \
        -drive "file=$dir/disk.img,if=virtio,format=raw" \
        -display none -monitor none -no-reboot \
        -serial "file:$dir/console" -serial "file:$dir/results" </dev/null >"$dir/qemu.log" 2>&1 &
    pids+=($!)  # ended with the script, however it ends
    wait $!
}
