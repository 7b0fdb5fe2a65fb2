#!/usr/bin/env bash
# tovi.exe under wine with both directions on "Tray icon", in a private
# network namespace whose only traffic is this test's (a veth pair,
# scripts/veth-pair), on a private X server with trayer:
#   - "Tray icon" picked for download beside the stored one for upload: no
#     conflict, and position 3 comes back selected in both lists after the
#     program ended and started again;
#   - traffic lights the lamps in the icon the shell docks (read from the
#     tray's pixels: the shell shows the icon handle the program gave it),
#     and without traffic it is the plain picture again;
#   - wine's lock keys, watched by a process started before the traffic,
#     stay untouched.
set -euo pipefail

source "$(dirname "$0")/../lib/setup.sh" win32
source_dir=$source
wine_run=$source_dir/cmake/wine-run
tovi=$build/bin/tovi.exe
probe=$build/bin/tovi_probe.exe
locks=$build/bin/lock_state_probe.exe

needs wine Xvfb trayer xwininfo import python3 ip unshare nsenter sysctl
for file in "$tovi" "$probe" "$locks"; do [ -f "$file" ] || skip "$(basename "$file") is not built"; done
source "$source/tests/lib/private_net.sh" --tray
export TOVI_BUILD=$build
wine_run() { timeout 120 "$wine_run" "$@"; }

# Upload on the tray icon, download on Num Lock until the user picks the
# tray for it too; every 100 ms.
{
    printf 'REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Tovi]\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Tovi\\zuderari]\r\n'
    for pair in enabled=1 startminimized=0 download=1 upload=1 interval=3 download_key=1 upload_key=3; do
        printf '"%s"="%s"\r\n' "${pair%%=*}" "${pair#*=}"
    done
} >"$work/seed.reg"
wine_run cmd.exe /c "reg import Z:${work//\//\\}\\seed.reg" >"$work/seed.log" 2>&1 ||
    { cat "$work/seed.log" >&2; fail "could not seed the registry"; }

# The icon docked in trayer's panel by wine's shell: its X window.
docked() {
    xwininfo -root -tree 2>/dev/null | awk '
        /"panel": \("panel" "trayer"\)/ { match($0, /^ */); depth = RLENGTH; inside = 1; next }
        inside && /^ *0x/ { match($0, /^ */); if (RLENGTH <= depth) inside = 0 }
        inside && /"explorer\.exe"/ { print $1; exit }'
}
source "$source/tests/lib/tray_lamps.sh"

# The lock-key witness, started before tovi.exe: a wine process sees the
# lock changes made while it lives.
mkfifo "$work/ask"
wine_run "$locks" <"$work/ask" >"$work/locks.out" 2>/dev/null &
pids+=($!)
exec 8>"$work/ask"
ask_locks() {
    local before
    before=$(wc -l <"$work/locks.out")
    echo >&8
    for _ in $(seq 1 300); do
        [ "$(wc -l <"$work/locks.out")" -gt "$before" ] && break
        sleep 0.1
    done
    tail -1 "$work/locks.out" | tr -d '\r'
}
locks_before=$(ask_locks)
[[ $locks_before =~ ^[01]\ [01]\ [01]$ ]] || fail "the lock-key witness did not answer: '$locks_before'"

wine_run "$tovi" >"$work/tovi.log" 2>&1 &
tovi_pid=$!
pids+=("$tovi_pid")
timeout 120 "$wine_run" "$probe" shown expect:combo2=1,combo3=3 pick:combo2=3 nobox expect:combo2=3,combo3=3 \
    click:save hidden || fail "the probe failed (status $?)"
for _ in $(seq 1 100); do
    icon=$(docked)
    [ -n "$icon" ] && break
    sleep 0.2
done
[ -n "$icon" ] || fail "no tray icon docked"
wait_lamps '^received=0 sent=0$' 10 || fail "lamps lit before any traffic: $(lit_lamps)"
note_plain

traffic 8
wait_lamps '^received=[1-9][0-9]* sent=[1-9][0-9]*$' 20 || fail "the traffic lit no lamps: $(lit_lamps)"
echo "tray_lamps_win32: ok    traffic lit both lamps in the docked icon ($(lit_lamps))"
[ "$(ask_locks)" = "$locks_before" ] || fail "a lock key changed during the traffic"
echo "tray_lamps_win32: ok    the lock keys stayed as they were"
wait_lamps '^received=0 sent=0$' 20 || fail "the lamps stayed lit after the traffic: $(lit_lamps)"
expect_plain_again
echo "tray_lamps_win32: ok    without traffic the icon is the plain picture again"
[ "$(ask_locks)" = "$locks_before" ] || fail "a lock key changed"

timeout 120 "$wine_run" "$probe" close || fail "the probe could not close the window"
wait "$tovi_pid" || fail "tovi.exe ended with status $?"

# A restart brings the stored position 3 back in both lists.
wine_run "$tovi" >"$work/tovi.log" 2>&1 &
tovi_pid=$!
pids+=("$tovi_pid")
timeout 120 "$wine_run" "$probe" shown lists expect:combo2=3,combo3=3 nobox close ||
    fail "after a restart: the probe failed (status $?)"
wait "$tovi_pid" || fail "tovi.exe ended with status $?"
echo "tray_lamps_win32: ok    position 3 came back selected after a restart"
