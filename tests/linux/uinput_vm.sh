#!/usr/bin/env bash
# The uinput keyboard against a real kernel: this machine's has no uinput,
# so the test boots Debian's own kernel in a throwaway VM (scripts/uinput-vm)
# and checks there, on the console:
#   - each lock key goes on and off through SetLockKey, and the keyboard's
#     own state, the LED class in sysfs and the console's KDGKBLED agree;
#   - a lock switched by another keyboard (a second uinput device) is seen;
#   - tovi --no-window, from a settings file, lights the chosen keys with
#     traffic over a veth pair in the VM and lets them go dark after it, then ends
#     with status 0 on SIGTERM. Skipped when this tovi has no --no-window
#     (its --help does not name it).
# One boot of about 20 s; the kernel package is fetched once into
# build/uinput-vm.
set -euo pipefail

[ "${TOVI_PLATFORM:-linux}" = linux ] || exit 77
build=$(cd "${TOVI_BUILD:?TOVI_BUILD names the build folder}" && pwd)
source=${TOVI_SOURCE:-$(cd "$(dirname "$0")/../.." && pwd)}
probe=$build/bin/tovi_uinput_probe
tovi=$build/bin/tovi
[ -x "$probe" ] || { echo "uinput_vm: FAIL: $probe is not built" >&2; exit 1; }
source "$source/scripts/scratch"

guest=$work/guest.sh
cat >"$guest" <<'EOF'
fail() { echo "uinput_vm: FAIL: $*"; exit 1; }
tovi_uinput_probe keys || fail "the keys"
tovi_uinput_probe other || fail "another keyboard"
EOF

# tovi itself runs from the host's own tree, shared into the VM, with the
# host's libraries: copying Qt and what it needs into the initramfs would
# cost more than the rest of the VM.
share=()
help=$(ulimit -c 0; cd "$work" && XDG_CONFIG_HOME=$work/help-config timeout 10 \
    env -u DISPLAY -u WAYLAND_DISPLAY "$tovi" --help </dev/null 2>&1) || true
if [[ $help == *--no-window* ]]; then
    share=(--share)
    # Caps Lock for received traffic, Scroll Lock for sent, every 100 ms.
    # The traffic leaves through one end of a veth pair for a neighbour that
    # is known for good (no ARP) and arrives at the other end; IPv6 is off, or
    # its chatter would light the keys with nobody sending.
    cat >>"$guest" <<EOF
echo 1 >/proc/sys/net/ipv6/conf/default/disable_ipv6
hostip() { chroot /host /usr/bin/env PATH=/usr/sbin:/usr/bin:/sbin:/bin ip "\$@"; }
hostip link add tovi-near type veth peer name tovi-far || fail "no veth pair"
hostip addr add 10.200.0.1/24 dev tovi-near && hostip link set tovi-near up && hostip link set tovi-far up &&
    hostip neigh replace 10.200.0.2 lladdr "\$(cat /sys/class/net/tovi-far/address)" dev tovi-near nud permanent ||
    fail "the veth pair did not come up"
mkdir -p /host/run/config/Tovi
printf '[zuderari]\nenabled=1\nstartminimized=0\ndownload=1\nupload=1\ninterval=3\ndownload_key=0\nupload_key=2\n' \
    >/host/run/config/Tovi/settings.ini
chroot /host /usr/bin/env -i PATH=/usr/bin:/bin HOME=/run XDG_RUNTIME_DIR=/run XDG_CONFIG_HOME=/run/config TOVI_KEYBOARD=uinput \
    "$tovi" --no-window >/host/run/tovi.log 2>&1 &
tovi=\$!
# Its libraries come through the share: seconds in an emulated VM.
tovi_uinput_probe wait-device 30 >/dev/null || { cat /host/run/tovi.log; fail "tovi --no-window made no uinput keyboard"; }
# The first tick may light the keys for one interval.
tovi_uinput_probe wait-leds 0 7 5 || { cat /host/run/tovi.log; fail "tovi --no-window: lights before any traffic"; }
tovi_uinput_probe traffic 4 >/dev/null &
tovi_uinput_probe wait-leds 5 7 10 || { cat /host/run/tovi.log; fail "tovi --no-window: Caps and Scroll Lock did not light with traffic"; }
wait \$!
tovi_uinput_probe wait-leds 0 7 3 || { cat /host/run/tovi.log; fail "tovi --no-window: the lights did not go dark after the traffic"; }
kill -TERM \$tovi
wait \$tovi || { cat /host/run/tovi.log; fail "tovi --no-window ended with status \$? on SIGTERM"; }
echo "ok tovi --no-window: traffic lit Caps and Scroll Lock, dark after it, status 0 on SIGTERM"
EOF
else
    echo "uinput_vm: tovi --no-window: skipped, $tovi has no --no-window"
fi

status=0
"$source/scripts/uinput-vm" "${share[@]}" "$guest" "$probe" || status=$?
[ $status -eq 0 ] && echo "uinput_vm: ok"
exit $status
