#!/bin/bash
# Runs in the test user's login shell on tty1 of the booted VM, that is in an
# active seat0 session: what the user can do there with /dev/uinput, then
# tovi --no-window started from the user's settings file. check.sh, as root,
# reads what this leaves in /run/tovi-vm and drives the traffic.
dir=/run/tovi-vm
[ -e "$dir/user-started" ] && exec sleep infinity  # a second login (getty restarted)
: >"$dir/user-started"

loginctl show-session "$XDG_SESSION_ID" -p Seat -p Active -p Type -p Class >"$dir/session" 2>&1

# Write-only, then read-write as a uinput program opens it.
for mode in w rw; do
    if [ $mode = w ]; then (exec 3>/dev/uinput) 2>"$dir/uinput-$mode.err"
    else (exec 3<>/dev/uinput) 2>"$dir/uinput-$mode.err"; fi
    echo $? >"$dir/uinput-$mode"
done

# Caps Lock for received, Scroll Lock for sent traffic, every 25 ms.
mkdir -p ~/.config/Tovi
printf '[zuderari]\nenabled=1\nstartminimized=0\ndownload=1\nupload=1\ninterval=0\ndownload_key=0\nupload_key=2\n' \
    >~/.config/Tovi/settings.ini
tovi --no-window >"$dir/tovi.log" 2>&1 &
echo $! >"$dir/tovi.pid"
# With --figures, check.sh asks for the round trip from this session once
# tovi is gone.
parts=$(dirname "$0")
if [ "$(cat "$parts/figures")" = yes ] && [ -x "$parts/tovi_lock_round_trip" ]; then
    until [ -e "$dir/round-trip-go" ]; do sleep 1; done
    "$parts/tovi_lock_round_trip" 200 >"$dir/round-trip" 2>&1
    : >"$dir/round-trip-done"
fi
wait
# The VT's Scroll Lock reacts only while the VT has an open tty: keep it.
exec sleep infinity
