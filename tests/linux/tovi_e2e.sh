#!/usr/bin/env bash
# The whole Linux program end to end: tovi on a private X server with a
# notification area, inside a private network namespace where only this
# test's traffic over a veth pair moves the counters, starting from a seeded
# settings file.
#   - traffic lights the chosen keys; they go dark after it;
#   - "Save" hides the window; a double-click on the tray icon brings it back;
#   - a second start brings the hidden window back and ends with status 0,
#     leaving one tray icon and the settings file as it was;
#   - closing the window stores the controls' values and ends the program,
#     and each key Tovi switched goes back to how it was before Tovi first
#     switched it, while a key it never switched keeps what the user made it;
#   - so does tovi --no-window when SIGTERM ends it;
#   - a Tovi killed outright does not keep the next one from starting.
set -euo pipefail

source "$(dirname "$0")/../lib/setup.sh" linux
close=$build/bin/tovi_close_window
needs Xvfb trayer xdotool xset xwininfo python3 ip unshare
source "$source/tests/lib/private_net.sh" --tray

# Caps Lock for received traffic, Scroll Lock for sent, every 100 ms.
export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME/Tovi"
cat >"$XDG_CONFIG_HOME/Tovi/settings.ini" <<'INI'
[zuderari]
enabled=1
startminimized=0
download=1
upload=1
interval=3
download_key=0
upload_key=2
INI

leds() { xset q | sed -n 's/.*LED mask: *\([0-9a-fA-F]*\).*/\1/p'; }
# wait_leds "EXPRESSION over m" SECONDS: polls the lights until it holds.
wait_leds() {
    local expr=$1 deadline=$((SECONDS + $2)) m
    while :; do
        m=$((16#$(leds)))
        if (( $expr )); then return 0; fi
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.02
    done
}
source "$source/tests/common/window_wait.sh"
# traffic SECONDS &: UDP datagrams over the veth pair, one every 5 ms, until
# killed. Run it in the background only: it replaces its shell so that a kill
# stops it.
traffic() { exec python3 "$source/tests/common/udp_traffic.py" --to "$peer" --every 5 --for "$1"; }

# The user's Caps Lock is on before Tovi starts; Tovi will darken it.
xdotool key Caps_Lock
wait_leds "(m & 7) == 1" 2 || fail "Caps Lock did not switch on for the test (lights $(leds))"
"$tovi" >"$work/tovi.log" 2>&1 &
tovi_pid=$!
pids+=($tovi_pid)
wait_for window_visible 10 || fail "the window did not show"

# Quiet: both lights dark (the first tick may light them for one interval).
wait_leds "(m & 5) == 0" 3 || fail "lights $(leds) before any traffic"
traffic 60 &
traffic_pid=$!
pids+=("$traffic_pid")
wait_leds "(m & 5) == 5" 10 || fail "Caps and Scroll Lock did not light with traffic (lights $(leds))"
(( (16#$(leds) & 2) == 0 )) || fail "Num Lock lit, but it was not chosen"
kill "$traffic_pid"
wait "$traffic_pid" 2>/dev/null || true
wait_leds "(m & 5) == 0" 2 || fail "the lights did not go dark after the traffic (lights $(leds))"

# "Save" (8,216 px, 81 x 25 at 96 dpi) hides the window into the tray.
wid=$(xdotool search --onlyvisible --name "^${title}\$" | head -1)
xdotool mousemove --window "$wid" 48 228 click 1
wait_for '! window_visible' 3 || fail "Save did not hide the window"
kill -0 "$tovi_pid" || fail "tovi ended on Save"

# The docked icon is the 22 x 22 child of the tray named after the program.
icon=$(xwininfo -root -tree | awk '/"tovi": \("tovi" "tovi"\)/ && $0 ~ /22x22/ { print $NF; exit }')
[ -n "$icon" ] || fail "no tray icon"
IFS=+ read -r _ ix iy <<<"$icon"
xdotool mousemove $((ix + 11)) $((iy + 11)) click --repeat 2 --delay 80 1
wait_for window_visible 3 || fail "a double-click on the tray icon did not bring the window back"

# A second start while the window is hidden: the first one's window comes
# back, the second ends at once and stores nothing.
xdotool mousemove --window "$wid" 48 228 click 1
wait_for '! window_visible' 3 || fail "Save did not hide the window the second time"
stored_before=$(md5sum <"$XDG_CONFIG_HOME/Tovi/settings.ini")
started_ns=$(date +%s%N)
rc=0
timeout 20 "$tovi" >"$work/second.log" 2>&1 || rc=$?
[ "$rc" -eq 0 ] || fail "the second start ended with status $rc: $(cat "$work/second.log")"
wait_for window_visible 3 || fail "the second start did not bring the first one's window back"
echo "tovi_e2e: the second start took $((($(date +%s%N) - started_ns) / 1000000)) ms until the window showed"
kill -0 "$tovi_pid" || fail "the first tovi ended when the second started"
icons=$(xwininfo -root -tree | grep -c '"tovi": ("tovi" "tovi")' || true)
[ "$icons" -eq 1 ] || fail "$icons tray icons named tovi, not 1"
[ "$(md5sum <"$XDG_CONFIG_HOME/Tovi/settings.ini")" = "$stored_before" ] || fail "the second start wrote the settings"

# Close the window while traffic flows, the user's Num Lock switched on
# meanwhile: Caps Lock goes back on as the user had it before Tovi, Scroll
# Lock back off, and Num Lock, never Tovi's, stays on.
traffic 60 &
traffic_pid=$!
pids+=("$traffic_pid")
wait_leds "(m & 5) == 5" 10 || fail "the lights did not light again (lights $(leds))"
xdotool key Num_Lock
"$close" "$title" || fail "could not ask the window to close"
for _ in $(seq 1 100); do kill -0 "$tovi_pid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$tovi_pid" 2>/dev/null && fail "tovi did not end when its window closed"
wait "$tovi_pid" || fail "tovi ended with status $?"
kill "$traffic_pid" 2>/dev/null || true
sleep 0.5
(( (16#$(leds) & 7) == 3 )) || fail "the keys were not given back: lights $(leds), not Caps and Num Lock alone"

# The controls' values are stored.
for pair in enabled=1 startminimized=0 download=1 upload=1 interval=3 download_key=0 upload_key=2; do
    grep -qx "$pair" "$XDG_CONFIG_HOME/Tovi/settings.ini" || fail "settings.ini lacks $pair"
done

# Without a window, ended by SIGTERM while the traffic flows: the keys go
# back as they were before (Caps and Num Lock on, Scroll Lock off).
TOVI_KEYBOARD=x11 "$tovi" --no-window >"$work/no-window.log" 2>&1 &
headless_pid=$!
pids+=($headless_pid)
traffic 60 &
traffic_pid=$!
pids+=("$traffic_pid")
wait_leds "(m & 5) == 5" 10 || fail "tovi --no-window did not light the keys (lights $(leds))"
kill -TERM "$headless_pid"
wait "$headless_pid" || fail "tovi --no-window ended with status $? on SIGTERM"
kill "$traffic_pid" 2>/dev/null || true
sleep 0.5
(( (16#$(leds) & 7) == 3 )) || fail "tovi --no-window did not give the keys back on SIGTERM: lights $(leds)"

# Killed outright, a Tovi leaves its lock file behind; the next one starts.
"$tovi" >"$work/killed.log" 2>&1 &
killed_pid=$!
pids+=($killed_pid)
wait_for window_visible 10 || fail "tovi did not start again"
kill -KILL "$killed_pid"
wait "$killed_pid" 2>/dev/null || true
wait_for '! window_visible' 3 || fail "the killed tovi's window stayed"
"$tovi" >"$work/after.log" 2>&1 &
tovi_pid=$!
pids+=($tovi_pid)
wait_for window_visible 10 || fail "a tovi killed outright kept the next one from starting: $(cat "$work/after.log")"
"$close" "$title" || fail "could not ask the window to close"
wait "$tovi_pid" || fail "tovi ended with status $?"
echo "tovi_e2e: ok"
