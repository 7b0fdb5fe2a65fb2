#!/bin/bash
# The check inside the booted VM, as root, started by systemd at boot:
# a veth pair into a second network namespace, then, once the test user's
# login shell on tty1 (user_part.sh) has started tovi --no-window, traffic
# over the pair while the console's lock lights are watched; the same with
# OTHER_USER's session on tty2 in the foreground, and back. One line per
# check on the second serial port ("ok ...", "FAIL ...", "figure ..."),
# "status N" last, then the VM powers off.
#
#   check.sh USER OTHER_USER
user=$1
other=$2
dir=/run/tovi-vm
parts=$(dirname "$0")
exec >/dev/ttyS1 2>&1
status=0
ok() { echo "ok $*"; }
fail() { echo "FAIL $*"; status=1; }
# What a failure needs explained: who sits where, what the package's units said.
diagnose() {
    echo "foreground: $(cat /sys/class/tty/tty0/active)"
    loginctl list-sessions --no-legend | while read -r id _; do
        echo "session $id: $(loginctl show-session "$id" -p Name -p TTY -p State -p Active --value | tr '\n' ' ')"
    done
    journalctl -b --no-pager -o short-monotonic -u 'tovi*' | tail -n 20
}
finish() {
    [ $status -eq 0 ] || diagnose
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
# one keyboard's LED class devices: the kernel gives every keyboard the
# foreground VT's state. Few reads per look: under emulation a look is slow.
read_leds() {
    local v
    LEDS=0
    read -r v <"$led_caps" && [ "$v" != 0 ] && LEDS=$((LEDS | 1))
    read -r v <"$led_num" && [ "$v" != 0 ] && LEDS=$((LEDS | 2))
    read -r v <"$led_scroll" && [ "$v" != 0 ] && LEDS=$((LEDS | 4))
    return 0
}
led_device=$(ls -d /sys/class/leds/input*::capslock | head -n 1)
led_caps=$led_device/brightness
led_num=${led_device%::*}::numlock/brightness
led_scroll=${led_device%::*}::scrolllock/brightness
# look: read_leds, and NUM_CHANGED=1 once Num Lock, which no setting
# chooses, differs from NUM_BEFORE.
NUM_CHANGED=0
look() {
    read_leds
    [ $((LEDS & 2)) -eq "${NUM_BEFORE:-$((LEDS & 2))}" ] || NUM_CHANGED=1
}
# wait_leds WANT SECONDS [HOLD]: the lights under watch (Caps and Scroll)
# become WANT within SECONDS and stay so for HOLD seconds [0].
wait_leds() {
    local want=$1 end hold_us=$(((${3:-0} * 1000000))) since=
    end=$((${EPOCHREALTIME/./} + $2 * 1000000 + hold_us))
    while [ "${EPOCHREALTIME/./}" -lt $end ]; do
        look
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

# lit_with_traffic: with traffic flowing, Caps and Scroll Lock come on
# together within 20 s, then each is on at a third of the looks of the next
# 3 s or more (LIT_SHARE says how often; 60-100% is usual): a dark look now
# and then is a tick in which the emulated sender did not get to run, and
# on a busy host that is often.
lit_with_traffic() {
    wait_leds 5 20 || return 1
    local end=$((${EPOCHREALTIME/./} + 3000000)) looks=0 caps=0 scroll=0
    while [ "${EPOCHREALTIME/./}" -lt $end ]; do
        look
        looks=$((looks + 1))
        caps=$((caps + (LEDS & 1)))
        scroll=$((scroll + (LEDS >> 2 & 1)))
        nap 0.01
    done
    LIT_SHARE="Caps Lock on at $((caps * 100 / looks))%, Scroll Lock at $((scroll * 100 / looks))% of $looks looks in 3 s"
    [ $((caps * 3)) -ge $looks ] && [ $((scroll * 3)) -ge $looks ]
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

start_traffic() {
    send_udp 10.0.0.2 30 &
    sender=$!
    ip netns exec peer bash -c "$(declare -f nap send_udp); exec 8<>$dir/nap; send_udp 10.0.0.1 30" &
    peer_sender=$!
}
stop_traffic() {
    kill $sender $peer_sender 2>/dev/null
    wait $sender $peer_sender 2>/dev/null
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

# --- A user switch -------------------------------------------------------------
# session_on TTY: the id of the session logged in on TTY.
session_on() { loginctl list-sessions --no-legend | awk -v tty="$1" '$5 == tty { print $1; exit }'; }
# foreground TTY: the seat's VT switches to TTY's session, within 20 s.
foreground() {
    local vt
    loginctl activate "$(session_on "$1")" || return 1
    for _ in $(seq 1 200); do
        read -r vt </sys/class/tty/tty0/active
        [ "$vt" = "$1" ] && return 0
        nap 0.1
    done
    return 1
}
# stays_dark SECONDS: Caps and Scroll Lock off at every look.
stays_dark() {
    local end=$((${EPOCHREALTIME/./} + $1 * 1000000))
    while [ "${EPOCHREALTIME/./}" -lt $end ]; do
        read_leds
        [ $((LEDS & 5)) -eq 0 ] || return 1
        nap 0.01
    done
}
# With another user's session in the foreground, the user's tovi, still
# running, may switch nothing: the keys now are that user's. It is refused
# without a word, and its lights come back when its session does.
user_switch() {
    for _ in $(seq 1 60); do [ -n "$(session_on tty2)" ] && break; nap 1; done
    if ! foreground tty2; then
        fail "no switch to $other's session on tty2: $(loginctl list-sessions --no-legend | tr '\n' ';')"
        return
    fi
    local said
    said=$(wc -c <"$dir/tovi.log")
    start_traffic
    if stays_dark 4; then
        ok "with $other's session on tty2 in the foreground, $user's tovi switched no key during traffic"
    else
        fail "with $other's session in the foreground, $user's tovi switched keys (lights: $LEDS)"
    fi
    [ "$(wc -c <"$dir/tovi.log")" = "$said" ] && ok "and said nothing about it" ||
        fail "tovi wrote while its session was in the background: $(tail -c +$((said + 1)) "$dir/tovi.log" | head -c 300)"
    if ! foreground tty1; then
        fail "no switch back to $user's session on tty1"
    elif lit_with_traffic; then
        ok "back in the foreground, $user's lights came back with the traffic ($LIT_SHARE)"
    else
        fail "back in the foreground, $user's lights did not come back (lights: $LEDS; ${LIT_SHARE:-never both})"
    fi
    LIT_SHARE=
    stop_traffic
    wait_leds 0 3 2 || fail "the lights stayed on after the traffic, back on tty1 (lights: $LEDS)"
}

# --- The lights ----------------------------------------------------------------
read_leds
NUM_BEFORE=$((LEDS & 2))
# Under emulation tovi takes seconds to start; its first tick may light the
# keys for one interval.
wait_leds 0 20 1 || fail "tovi --no-window: Caps or Scroll Lock lit with no traffic"
start_traffic
LIT_SHARE=
if lit_with_traffic; then
    ok "tovi --no-window lit Caps Lock (received) and Scroll Lock (sent) during traffic over the veth pair ($LIT_SHARE)"
    lit=yes
else
    fail "tovi --no-window did not light Caps Lock and Scroll Lock during traffic (lights: $LEDS; ${LIT_SHARE:-never both})"
    lit=no
fi
stop_traffic
if [ $lit = yes ]; then
    if wait_leds 0 3 2; then ok "the lights went dark after the traffic"; else fail "the lights stayed on after the traffic (lights: $LEDS)"; fi
fi
look
[ $NUM_CHANGED = 0 ] && ok "Num Lock, not chosen, untouched" || fail "Num Lock changed, though no setting chose it"
if kill -0 "$tovi" 2>/dev/null; then
    ok "tovi --no-window still running"
else
    fail "tovi --no-window ended early"
fi
[ $lit = yes ] && user_switch
[ $status -eq 0 ] || sed 's/^/tovi: /' "$dir/tovi.log"

[ "$(cat "$parts/figures")" = yes ] && source "$parts/figures.sh"
kill -TERM "$tovi" 2>/dev/null
finish
