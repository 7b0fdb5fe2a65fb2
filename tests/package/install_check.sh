#!/usr/bin/env bash
# The release files as a user gets them (scripts/package makes them first):
#   - the Debian package, installed with apt into a clean Debian 12 root so
#     its dependencies resolve from the package mirror: `tovi --version`
#     answers; exactly the files the install rules name are in place; the
#     desktop entry, the AppStream metadata and the service validate;
#     removing the package leaves none of its files;
#   - the Windows zip: exactly tovi.exe, README.txt and LICENSE.txt, and
#     tovi.exe is the tested build/win32/bin/tovi.exe.
# Every check runs and is reported; the script fails if any failed.
#
# The root comes from `debootstrap --variant=minbase` and the machine's own
# mirror, and is kept as a tarball in build/debian12/ with the packages apt
# fetched, so only the first run needs the mirror for long.
set -euo pipefail
cd "$(dirname "$0")/../.."
source=$PWD
start=$SECONDS

arch=$(dpkg --print-architecture)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/linux/CMakeCache.txt)
deb=build/packages/tovi_${version}_${arch}.deb
zip=build/packages/tovi-${version}-win32.zip
cache=$source/build/debian12

for need in debootstrap chroot unshare lintian desktop-file-validate appstreamcli systemd-analyze python3; do
    command -v "$need" >/dev/null || { echo "package: $need is missing (scripts/deps)" >&2; exit 1; }
done
[ -f "$deb" ] && [ -f "$zip" ] || { echo "package: run scripts/package first" >&2; exit 1; }

# Everything below runs in a mount namespace of its own: the root lives on
# a tmpfs there, with /proc and the kept packages mounted into it, and all of
# it goes with the namespace however the script ends.
if [ -z "${TOVI_PACKAGE_NS:-}" ]; then
    exec unshare --mount --propagation private env TOVI_PACKAGE_NS=1 bash "$0" "$@"
fi

failed=()
check() {  # check NAME COMMAND...: runs the command, records a failure
    local name=$1
    shift
    if "$@"; then
        echo "package: ok    $name ($((SECONDS - start)) s)"
    else
        echo "package: FAIL  $name" >&2
        failed+=("$name")
    fi
}

# --- The Windows zip -------------------------------------------------------
zip_contents() {
    python3 - "$zip" build/win32/bin/tovi.exe <<'PY'
import sys, zipfile
zip_path, exe = sys.argv[1:]
with zipfile.ZipFile(zip_path) as z:
    names = sorted(z.namelist())
    if names != ['LICENSE.txt', 'README.txt', 'tovi.exe']:
        sys.exit(f'the zip holds {names}')
    if z.read('tovi.exe') != open(exe, 'rb').read():
        sys.exit('tovi.exe in the zip is not build/win32/bin/tovi.exe')
    licence = z.read('LICENSE.txt').decode()
    if 'MIT License' not in licence or 'The Tovi authors' not in licence:
        sys.exit('LICENSE.txt is not the MIT licence of the Tovi authors')
PY
}
check "the zip holds tovi.exe (the tested one), README.txt and LICENSE.txt" zip_contents

# --- The Debian package as a file -------------------------------------------
lintian_clean() {
    local out
    out=$(lintian --fail-on error "$deb" 2>&1) || { echo "$out" >&2; return 1; }
}
check "lintian finds no errors in the package" lintian_clean

# --- The clean root ----------------------------------------------------------
source scripts/debian12-root
mkdir -p "$cache/archives"
exec 9>"$cache/lock"
flock 9  # one run at a time makes or uses the cached root
debian12_minbase "$cache" || exit 1

root=$(mktemp -d)
trap 'umount -R "$root"; rmdir "$root"' EXIT
mount -t tmpfs -o mode=0755 tovi-root "$root"
tar -C "$root" -xf "$cache/minbase.tar"
mount -t proc proc "$root/proc"
mount --bind "$cache/archives" "$root/var/cache/apt/archives"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"
echo "package: root ready after $((SECONDS - start)) s"

in_root() {
    chroot "$root" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}
apt_get() { in_root apt-get -y -q -o Dpkg::Use-Pty=0 --no-install-recommends "$@" >>"$cache/apt.log" 2>&1; }
: >"$cache/apt.log"

# --- The Debian package ------------------------------------------------------
apt_install() { apt_get install "/tmp/${deb##*/}" || { tail -n 20 "$cache/apt.log" >&2; return 1; }; }
check "apt installs the package and its dependencies" apt_install
if in_root dpkg-query -W -f='${Status}' tovi 2>/dev/null | grep -q 'install ok installed'; then
    version_answers() {
        local out
        out=$(in_root timeout 20 tovi --version 2>&1) || { echo "$out" >&2; return 1; }
        grep -qF "$version" <<<"$out" || { echo "tovi --version said: $out" >&2; return 1; }
    }
    check "tovi --version names $version" version_answers

    expected=(
        /usr/bin/tovi
        /usr/share/applications/tovi.desktop
        /usr/share/metainfo/org.tovi.tovi.metainfo.xml
        /usr/lib/udev/rules.d/70-tovi-uinput.rules
        /usr/lib/systemd/system/tovi.service
        /usr/share/doc/tovi/README.md
        /usr/share/doc/tovi/changelog.gz
        /usr/share/doc/tovi/copyright
    )
    for size in 16 22 24 32 48 64 128 256; do
        expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/tovi.png")
    done
    owned=$(in_root dpkg -L tovi | grep -vx '/\.')
    files_in_place() {
        local listed
        listed=$(while read -r path; do [ -f "$root$path" ] && [ ! -L "$root$path" ] && echo "$path"; done <<<"$owned" | sort)
        diff <(printf '%s\n' "${expected[@]}" | sort) <(echo "$listed") >&2 &&
            grep -qx 'KERNEL=="uinput", SUBSYSTEM=="misc", TAG+="uaccess"' "$root/usr/lib/udev/rules.d/70-tovi-uinput.rules" &&
            grep -q '^License: MIT$' "$root/usr/share/doc/tovi/copyright"
    }
    check "the package installs exactly the files the install rules name" files_in_place

    # Each icon is a PNG as large as the folder it is in says.
    icon_sizes() {
        python3 - "$root" <<'PY'
import struct, sys
root = sys.argv[1]
for size in (16, 22, 24, 32, 48, 64, 128, 256):
    path = f'{root}/usr/share/icons/hicolor/{size}x{size}/apps/tovi.png'
    head = open(path, 'rb').read(24)
    if head[:8] != b'\x89PNG\r\n\x1a\n' or struct.unpack('>II', head[16:24]) != (size, size):
        sys.exit(f'{path} is not a {size} x {size} PNG')
PY
    }
    check "the icons are PNG files of their folder's size" icon_sizes
    check "desktop-file-validate accepts the desktop entry" \
        desktop-file-validate "$root/usr/share/applications/tovi.desktop"
    metadata_valid() {
        local out
        out=$(appstreamcli validate --no-net "$root/usr/share/metainfo/org.tovi.tovi.metainfo.xml" 2>&1) ||
            { echo "$out" >&2; return 1; }
    }
    check "appstreamcli validate accepts the metadata" metadata_valid
    release_version() { grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/org.tovi.tovi.metainfo.xml"; }
    check "the metadata's latest release is $version" release_version

    # Installing above ran the maintainer script where no udev daemon runs, as
    # in a chroot or a container. Where one runs (here a stand-in udevadm and
    # control socket), the script reloads the rules and applies them to
    # /dev/uinput, so the user's access needs no reboot.
    udev_applied() {
        mkdir -p "$root/run/udev"
        python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$root/run/udev/control"
        printf '#!/bin/sh\necho "$*" >>/tmp/udevadm.log\n' >"$root/usr/local/sbin/udevadm"
        chmod 755 "$root/usr/local/sbin/udevadm"
        in_root /var/lib/dpkg/info/tovi.postinst configure
        local status=$?
        rm -f "$root/run/udev/control" "$root/usr/local/sbin/udevadm"
        [ $status -eq 0 ] && grep -qx 'control --reload-rules' "$root/tmp/udevadm.log" &&
            grep -q '^trigger .*--sysname-match=uinput' "$root/tmp/udevadm.log" ||
            { cat "$root/tmp/udevadm.log" >&2; return 1; }
    }
    check "where udev runs, installing applies the rule at once" udev_applied

    # systemd-analyze needs the units the service hangs on, so systemd joins
    # the root now, after the package showed its own dependencies suffice.
    verify_service() {
        apt_get install systemd || { tail -n 20 "$cache/apt.log" >&2; return 1; }
        local out
        out=$(systemd-analyze verify --root="$root" /usr/lib/systemd/system/tovi.service 2>&1) &&
            [ -z "$out" ] || { echo "$out" >&2; return 1; }
    }
    check "systemd-analyze verify accepts tovi.service" verify_service

    removed_clean() {
        apt_get remove tovi || { tail -n 20 "$cache/apt.log" >&2; return 1; }
        local path left=0
        while read -r path; do
            [ -n "$path" ] && [ -e "$root$path" ] || continue
            # A folder stays only while another package owns it too.
            if [ -d "$root$path" ] && in_root dpkg -S "$path" >/dev/null 2>&1; then continue; fi
            echo "left after removal: $path" >&2
            left=1
        done <<<"$owned"
        return $left
    }
    check "removing the package leaves none of its files" removed_clean
fi

echo "package: $((SECONDS - start)) s"
if [ ${#failed[@]} -gt 0 ]; then
    printf 'package: failed: %s\n' "${failed[@]}" >&2
    exit 1
fi
