#!/usr/bin/env bash
# Both directions on "Tray icon", end to end: tovi on a private X server with
# trayer, in a private network namespace whose only traffic is this test's,
# over a veth pair (scripts/veth-pair).
#   - quiet: the docked icon shows the plain picture, no lamp;
#   - traffic both ways lights the received and the sent lamp in the docked
#     icon (read from the tray's pixels), and no lock key changes meanwhile;
#   - after the traffic the icon is the plain picture again.
set -euo pipefail

source "$(dirname "$0")/../lib/setup.sh" linux
needs Xvfb trayer xdotool xset xwininfo import python3 ip unshare nsenter sysctl
source "$source/tests/lib/private_net.sh" --tray
source "$source/tests/common/window_wait.sh"

export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME/Tovi"
cat >"$XDG_CONFIG_HOME/Tovi/settings.ini" <<'INI'
[zuderari]
enabled=1
startminimized=0
download=1
upload=1
interval=3
download_key=3
upload_key=3
INI

leds() { xset q | sed -n 's/.*LED mask: *\([0-9a-fA-F]*\).*/\1/p'; }
source "$source/tests/lib/tray_lamps.sh"

"$tovi" >"$work/tovi.log" 2>&1 &
pids+=($!)
wait_for window_visible 10 || fail "the window did not show"
wait_for '[ -n "$(xwininfo -root -tree | awk '\''/"tovi": \("tovi" "tovi"\)/ && /22x22/ { print $1; exit }'\'')" ]' 10 ||
    fail "the icon did not dock"
icon=$(xwininfo -root -tree | awk '/"tovi": \("tovi" "tovi"\)/ && /22x22/ { print $1; exit }')
leds_before=$(leds)

# The first tick may light the lamps for one interval.
wait_lamps '^received=0 sent=0$' 5 || fail "lamps lit before any traffic: $(lit_lamps)"
note_plain

traffic 6
wait_lamps '^received=[1-9][0-9]* sent=[1-9][0-9]*$' 10 || fail "the traffic lit no lamps: $(lit_lamps)"
echo "tray_lamps_e2e: ok    traffic lit both lamps ($(lit_lamps))"
for _ in $(seq 1 10); do
    [ "$(leds)" = "$leds_before" ] || fail "a lock key changed: LED mask $leds_before became $(leds)"
    sleep 0.2
done
echo "tray_lamps_e2e: ok    no lock key changed during the traffic"

wait_lamps '^received=0 sent=0$' 15 || fail "the lamps stayed lit after the traffic: $(lit_lamps)"
expect_plain_again
echo "tray_lamps_e2e: ok    without traffic the icon is the plain picture again"
