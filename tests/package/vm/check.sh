#!/bin/bash
# The check inside the booted VM, as root, started by systemd at boot:
# a veth pair into a second network namespace, then, once the test user's
# login shell on tty1 (user_part.sh) has started tovi --no-window, traffic
# over the pair while the console's lock lights are watched. One line per
# check on the second serial port ("ok ...", "FAIL ...", "figure ..."),
# "status N" last, then the VM powers off.
#
#   check.sh USER
user=$1
dir=/run/tovi-vm
parts=$(dirname "$0")
exec >/dev/ttyS1 2>&1
status=0
ok() { echo "ok $*"; }
fail() { echo "FAIL $*"; status=1; }
finish() {
    echo "status $status"
    sleep 1  # the serial port drains
    systemctl poweroff --force
    exit
}

# Pauses without a process per pause: a read on a FIFO nobody writes to.
mkfifo "$dir/nap"
exec 8<>"$dir/nap"
nap() { read -r -t "$1" -u 8 || true; }

# LEDS: the console's lock lights as a mask (1 Caps, 2 Num, 4 Scroll), from
# every keyboard's LED class devices (the kernel gives each the same state).
read_leds() {
    local f v
    LEDS=0
    for f in /sys/class/leds/input*::capslock/brightness; do read -r v <"$f" && [ "$v" != 0 ] && LEDS=$((LEDS | 1)); done
    for f in /sys/class/leds/input*::numlock/brightness; do read -r v <"$f" && [ "$v" != 0 ] && LEDS=$((LEDS | 2)); done
    for f in /sys/class/leds/input*::scrolllock/brightness; do read -r v <"$f" && [ "$v" != 0 ] && LEDS=$((LEDS | 4)); done
    return 0
}
# wait_leds WANT SECONDS [HOLD]: the lights under watch (Caps and Scroll)
# become WANT within SECONDS and stay so for HOLD seconds [0].
NUM_SEEN=0
wait_leds() {
    local want=$1 end hold_us=$(((${3:-0} * 1000000))) since=
    end=$((${EPOCHREALTIME/./} + $2 * 1000000 + hold_us))
    while [ "${EPOCHREALTIME/./}" -lt $end ]; do
        read_leds
        NUM_SEEN=$((NUM_SEEN | (LEDS & 2)))
        if [ $((LEDS & 5)) -eq "$want" ]; then
            since=${since:-${EPOCHREALTIME/./}}
            [ $((${EPOCHREALTIME/./} - since)) -ge $hold_us ] && return 0
        else
            since=
        fi
        nap 0.01
    done
    return 1
}

# send_udp ADDRESS SECONDS: a datagram every few milliseconds to a port
# nobody listens on; the peer's "port unreachable" answers count too.
send_udp() {
    local end=$((${EPOCHREALTIME/./} + $2 * 1000000))
    while [ "${EPOCHREALTIME/./}" -lt $end ]; do
        printf tovi 2>/dev/null >"/dev/udp/$1/9"
        nap 0.004
    done
}

# --- The network: a veth pair, one end in a namespace of its own ------------
# IPv6 off before the links come up, and fixed neighbours: no router,
# multicast or ARP chatter to light the keys when the test's traffic stops.
veth_pair() {
    ip netns add peer &&
        ip link add v0 type veth peer name v1 &&
        ip link set v1 netns peer &&
        echo 1 >/proc/sys/net/ipv6/conf/v0/disable_ipv6 &&
        ip netns exec peer sh -c 'echo 1 >/proc/sys/net/ipv6/conf/v1/disable_ipv6' &&
        ip addr add 10.0.0.1/24 dev v0 &&
        ip netns exec peer ip addr add 10.0.0.2/24 dev v1 &&
        ip link set v0 up && ip netns exec peer ip link set v1 up &&
        ip neigh replace 10.0.0.2 lladdr "$(ip netns exec peer cat /sys/class/net/v1/address)" dev v0 nud permanent &&
        ip netns exec peer ip neigh replace 10.0.0.1 lladdr "$(cat /sys/class/net/v0/address)" dev v1 nud permanent
}
if veth_pair; then ok "a veth pair, IPv6 off, one end in a second namespace"; else fail "no veth pair"; finish; fi

# --- The user's session ------------------------------------------------------
for _ in $(seq 1 180); do [ -s "$dir/tovi.pid" ] && break; nap 1; done
if [ ! -s "$dir/tovi.pid" ]; then
    fail "no login of $user on tty1 within 3 minutes"
    loginctl list-sessions --no-pager
    systemctl --failed --no-pager
    finish
fi
tovi=$(cat "$dir/tovi.pid")
session=$(tr '\n' ' ' <"$dir/session")
if [[ $session == *Seat=seat0* && $session == *Active=yes* && $session == *Type=tty* ]]; then
    ok "$user logged in on tty1: an active seat0 session"
else
    fail "$user's session on tty1 is not an active seat0 one: $session"
fi
if [ "$(cat "$dir/uinput-w")" != 0 ] && [ "$(cat "$dir/uinput-rw")" != 0 ]; then
    ok "$user cannot open /dev/uinput for writing ($(cat "$dir/uinput-w.err" | sed 's/.*: //'))"
else
    fail "$user opened /dev/uinput for writing ($(ls -l /dev/uinput))"
fi

# Enabled by the installation alone: nobody started anything by hand here.
for socket in $(dpkg -L tovi | sed -n 's|^/usr/lib/systemd/system/\([^/]*\.socket\)$|\1|p'); do
    if [ "$(systemctl is-enabled "$socket")" = enabled ] && systemctl -q is-active "$socket"; then
        ok "the package's $socket is enabled and listening after a boot"
    else
        fail "the package's $socket: $(systemctl is-enabled "$socket"), $(systemctl is-active "$socket")"
    fi
done

# --- The lights ----------------------------------------------------------------
read_leds
num_before=$((LEDS & 2))
# Under emulation tovi takes seconds to start; its first tick may light the
# keys for one interval.
wait_leds 0 20 1 || fail "tovi --no-window: Caps or Scroll Lock lit with no traffic"
send_udp 10.0.0.2 30 &
sender=$!
ip netns exec peer bash -c "$(declare -f nap send_udp); exec 8<>$dir/nap; send_udp 10.0.0.1 30" &
peer_sender=$!
if wait_leds 5 20 1; then
    ok "tovi --no-window lit Caps Lock (received) and Scroll Lock (sent) during traffic over the veth pair"
    lit=yes
else
    fail "tovi --no-window did not light Caps Lock and Scroll Lock during traffic (lights: $LEDS)"
    lit=no
fi
kill $sender $peer_sender 2>/dev/null
wait $sender $peer_sender 2>/dev/null
if [ $lit = yes ]; then
    if wait_leds 0 3 2; then ok "the lights went dark after the traffic"; else fail "the lights stayed on after the traffic (lights: $LEDS)"; fi
fi
read_leds
[ $((NUM_SEEN | (LEDS & 2))) -eq "$num_before" ] && ok "Num Lock, not chosen, untouched" ||
    fail "Num Lock changed, though no setting chose it"
if kill -0 "$tovi" 2>/dev/null; then
    ok "tovi --no-window still running"
else
    fail "tovi --no-window ended early"
fi
[ $status -eq 0 ] || sed 's/^/tovi: /' "$dir/tovi.log"

[ "$(cat "$parts/figures")" = yes ] && source "$parts/figures.sh"
kill -TERM "$tovi" 2>/dev/null
finish
