#!/usr/bin/env bash
# A notification area that comes after tovi, and goes while the window is
# hidden in it: tovi started before any tray host (an autostart that beats the
# panel) docks its icon once a host starts, and "Save" then hides the window
# into it; when that host goes away, the hidden window comes back, so that it
# can always be reached.
set -euo pipefail

source "$(dirname "$0")/../lib/setup.sh" linux
built "$tovi"
needs Xvfb trayer xdotool xwininfo

source "$source/scripts/scratch" KILL
fail() {
    echo "late_tray: FAIL: $*" >&2
    cat "$work/tovi.log" >&2 2>/dev/null || true
    exit 1
}
source "$source/scripts/xsession" || fail "Xvfb did not start"

export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME/Tovi" && mkdir -m 700 -p "$XDG_RUNTIME_DIR"
printf '[zuderari]\nenabled=0\nstartminimized=0\n' >"$XDG_CONFIG_HOME/Tovi/settings.ini"

source "$source/tests/common/window_wait.sh"
# The docked icon is a window named after the program inside the tray, not
# a child of the root (deeper in the tree than the root's five-blank indent).
icon_docked() {
    xwininfo -root -tree | awk '/"tovi": \("tovi" "tovi"\)/ && match($0, /^ +/) && RLENGTH > 5 { found = 1 }
                                END { exit !found }'
}

"$tovi" >"$work/tovi.log" 2>&1 &
tovi_pid=$!
pids+=($tovi_pid)
wait_for window_visible 10 || fail "the window did not show"
sleep 1

setpriv --pdeathsig TERM trayer --edge top --align right --widthtype pixel --width 120 \
    --heighttype pixel --height 24 --transparent false >/dev/null 2>&1 &
trayer_pid=$!
pids+=($trayer_pid)
wait_for icon_docked 5 || fail "the icon did not dock into a tray host that started later"

# "Save" (8,216 px at 96 dpi) hides the window into the tray.
wid=$(xdotool search --onlyvisible --name "^${title}\$" | head -1)
xdotool mousemove --window "$wid" 48 228 click 1
wait_for '! window_visible' 3 || fail "Save did not hide the window into the tray"

kill "$trayer_pid"
wait "$trayer_pid" 2>/dev/null || true
wait_for window_visible 5 || fail "the hidden window did not come back when the tray host went away"
kill -0 "$tovi_pid" 2>/dev/null || fail "tovi ended"
echo "late_tray: ok"
