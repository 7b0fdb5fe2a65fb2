#!/usr/bin/env bash
# The release files as a user gets them (scripts/package makes them first):
#   - the Debian package, lintian-clean down to its informational tags,
#     installed with apt into a clean Debian 12 root so its dependencies
#     resolve from the package mirror: `tovi --version` answers; exactly the
#     files the install rules name are in place; the desktop entry, the
#     AppStream metadata and the units validate; the lock-key socket is
#     enabled on install and restarted on upgrade; both programs carry the
#     hardening flags; purging the package leaves none of its files and no
#     enable link;
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
    # Tags come on stdout; stderr has lintian's own remarks (run as root).
    out=$(lintian --display-info --fail-on error,warning,info "$deb" 2>/dev/null) &&
        [ -z "$out" ] || { echo "lintian said: ${out:-(nothing; run it by hand)}" >&2; return 1; }
}
check "lintian finds nothing in the package, informational tags included" lintian_clean

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
        /usr/sbin/tovi-lock-keys
        /usr/share/applications/tovi.desktop
        /usr/share/metainfo/org.tovi.tovi.metainfo.xml
        /usr/lib/systemd/system/tovi.service
        /usr/lib/systemd/system/tovi-lock-keys.socket
        /usr/lib/systemd/system/tovi-lock-keys.service
        /usr/share/man/man1/tovi.1.gz
        /usr/share/man/man8/tovi-lock-keys.8.gz
        /usr/share/lintian/overrides/tovi
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

    # Stack protector, fortified calls, PIE, full RELRO and immediate binding.
    hardened() {
        local program out ok=0
        for program in /usr/bin/tovi /usr/sbin/tovi-lock-keys; do
            out=$(readelf -W -h -l -d -s --dyn-syms "$root$program")
            grep -q 'Type: *DYN' <<<"$out" || { echo "$program: not PIE" >&2; ok=1; }
            grep -q 'GNU_RELRO' <<<"$out" || { echo "$program: no RELRO" >&2; ok=1; }
            grep -q 'FLAGS.*BIND_NOW\|FLAGS_1.*NOW' <<<"$out" || { echo "$program: not bound at once" >&2; ok=1; }
            grep -q '__stack_chk_fail' <<<"$out" || { echo "$program: no stack protector" >&2; ok=1; }
            # grep -c reads to the end: a grep -q that leaves early would end
            # the first grep by SIGPIPE, which pipefail counts as a failure.
            [ "$(grep -v __stack_chk <<<"$out" | grep -c '_chk@')" -gt 0 ] || { echo "$program: no fortified call" >&2; ok=1; }
        done
        return $ok
    }
    check "both programs carry Debian's hardening" hardened

    # Installing above ran the maintainer scripts where systemd does not run,
    # as in a chroot: the socket was enabled all the same. Where it runs
    # (here stand-ins that log their calls) a first install starts the socket
    # and an upgrade restarts it with the service, so the new program answers.
    socket_enabled() {
        [ -L "$root/etc/systemd/system/sockets.target.wants/tovi-lock-keys.socket" ] ||
            { ls -R "$root/etc/systemd/system" >&2; return 1; }
    }
    check "installing enables the lock-key socket" socket_enabled
    socket_started() {
        mkdir -p "$root/run/systemd/system"
        local tool
        for tool in systemctl deb-systemd-invoke; do
            printf '#!/bin/sh\necho "%s $*" >>/tmp/systemd.log\n' "$tool" >"$root/usr/local/sbin/$tool"
            chmod 755 "$root/usr/local/sbin/$tool"
        done
        : >"$root/tmp/systemd.log"
        # As dpkg runs it, or deb-systemd-helper refuses to act.
        local as_dpkg=(env DPKG_MAINTSCRIPT_PACKAGE=tovi DPKG_MAINTSCRIPT_NAME=postinst /var/lib/dpkg/info/tovi.postinst)
        in_root "${as_dpkg[@]}" configure
        local first=$?
        in_root "${as_dpkg[@]}" configure "$version"
        local upgrade=$?
        rm -f "$root/usr/local/sbin/systemctl" "$root/usr/local/sbin/deb-systemd-invoke"
        rmdir "$root/run/systemd/system"
        local log
        log=$(cat "$root/tmp/systemd.log")
        [ $first -eq 0 ] && [ $upgrade -eq 0 ] &&
            grep -qx 'deb-systemd-invoke start tovi-lock-keys.socket' <<<"$log" &&
            grep -qx 'deb-systemd-invoke stop tovi-lock-keys.service' <<<"$log" &&
            grep -qx 'deb-systemd-invoke restart tovi-lock-keys.socket' <<<"$log" || { echo "$log" >&2; return 1; }
    }
    check "where systemd runs, installing starts the socket and upgrading restarts it" socket_started

    # systemd-analyze needs the units the service hangs on, so systemd joins
    # the root now, after the package showed its own dependencies suffice.
    verify_service() {
        apt_get install systemd || { tail -n 20 "$cache/apt.log" >&2; return 1; }
        local out
        local unit out
        for unit in tovi.service tovi-lock-keys.socket tovi-lock-keys.service; do
            # Manual pages are looked up on the host, which has none of ours.
            out=$(systemd-analyze verify --man=no --root="$root" "/usr/lib/systemd/system/$unit" 2>&1) &&
                [ -z "$out" ] || { echo "$unit: $out" >&2; return 1; }
        done
        for unit in tovi.service tovi-lock-keys.service; do
            systemd-analyze security --offline=yes --root="$root" "$unit" 2>/dev/null | sed -n 's/^→ /package: /p'
        done
    }
    check "systemd-analyze verify accepts the units" verify_service

    removed_clean() {
        apt_get purge tovi || { tail -n 20 "$cache/apt.log" >&2; return 1; }
        local links
        links=$(find "$root/etc/systemd" "$root/var/lib/systemd" -name 'tovi*' 2>/dev/null)
        [ -z "$links" ] || { echo "left after purge: $links" >&2; return 1; }
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
    check "purging the package leaves none of its files and no enable link" removed_clean
fi

echo "package: $((SECONDS - start)) s"
if [ ${#failed[@]} -gt 0 ]; then
    printf 'package: failed: %s\n' "${failed[@]}" >&2
    exit 1
fi
