#!/usr/bin/env bash
# tovi.exe end to end under wine, on a private X server with trayer as the
# notification area, in a private network namespace whose only traffic is
# this test's (a veth pair, scripts/veth-pair): the machine's own counters,
# which the 32-bit totals may read as negative, decide nothing here.
# tovi_probe (tests/win32/tools) plays the user and the shell from a process
# of its own; wine's reg.exe sets up and reads back the registry, and the
# tray is watched from the X side.
#   1. An empty registry: the defaults, the lists, the captions and the
#      credits show, with no message; a new interval is picked; "Save" hides
#      the window, a single click or a right click on the tray icon changes
#      nothing, a double-click brings the window back; closing the window
#      ends the program, removes the icon and stores the seven values.
#   2. A registry with equal key positions, a grayed check box and "Start
#      minimized": the conflict message shows during load and Combo3 moves;
#      the window stays hidden until the tray's double-click; a conflicting
#      pick moves Combo2; "Cancel" hides without applying, the restored
#      window still shows the edit; "Exit" stores what the controls show.
#   3. A second tovi.exe while the first hides in the tray: it ends with
#      status 0 and the first window comes back; one tray icon throughout;
#      nothing is stored until the first one stores what its controls show.
#   4. "Exit" while Tovi holds its keys lit gives them back: Caps and Scroll
#      Lock, lit by traffic both ways, go dark again; Num Lock, which the
#      user switched on meanwhile, stays on. The probe reads the keys after
#      tovi.exe has ended.
set -euo pipefail

source "$(dirname "$0")/../lib/setup.sh" win32
source_dir=$source
wine_run=$source_dir/cmake/wine-run
tovi=$build/bin/tovi.exe
probe=$build/bin/tovi_probe.exe

needs wine Xvfb trayer xwininfo python3 ip unshare nsenter sysctl
if [ ! -f "$tovi" ] || [ ! -f "$probe" ]; then skip "tovi.exe or tovi_probe.exe is not built"; fi
# Without a notification area "Save" rightly leaves the window on the task
# bar instead of hiding it, so the test needs the tray host.
source "$source/tests/lib/private_net.sh" --tray
export TOVI_BUILD=$build
tovi_pid=""
watch_pid=""
cleanup() {
    [ -z "$watch_pid" ] || kill "$watch_pid" 2>/dev/null || true
    [ -z "$tovi_pid" ] || kill "$tovi_pid" 2>/dev/null || true
    _tovi_scratch_end
}
trap cleanup EXIT
# Every wine call is bounded: a hung program must not hold the test forever.
wine_run() { timeout 90 "$wine_run" "$@"; }

# The icons docked in trayer's panel that wine's shell draws, one X window
# id a line. Wine's tray icons are windows of its explorer.exe.
docked() {
    command -v xwininfo >/dev/null || return 0
    xwininfo -root -tree 2>/dev/null | awk '
        /"panel": \("panel" "trayer"\)/ { match($0, /^ */); depth = RLENGTH; inside = 1; next }
        inside && /^ *0x/ { match($0, /^ */); if (RLENGTH <= depth) inside = 0 }
        inside && /"explorer\.exe"/ { print $1 }'
}

# seed [KEY=VALUE...]: replaces the program's registry branch with these
# values (none: the branch is gone, as on a first start).
seed() {
    local file=$work/seed.reg
    {
        printf 'REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Tovi]\r\n\r\n'
        if [ $# -gt 0 ]; then
            printf '[HKEY_CURRENT_USER\\Software\\Tovi\\zuderari]\r\n'
            local pair
            for pair in "$@"; do printf '"%s"="%s"\r\n' "${pair%%=*}" "${pair#*=}"; done
        fi
    } >"$file"
    # A tovi.exe left by a run that was killed would answer the probe.
    wine_run cmd.exe /c "taskkill /f /im tovi.exe >nul 2>nul & reg import Z:${file//\//\\}" \
        >"$work/seed.log" 2>&1 || { cat "$work/seed.log" >&2; fail "could not seed the registry"; }
}

# stored KEY=VALUE...: the registry holds exactly these seven values.
stored() {
    local query
    query=$(wine_run reg.exe query 'HKCU\Software\Tovi\zuderari' 2>&1 | tr -d '\r') ||
        fail "the registry has no settings: $query"
    local pair count
    for pair in "$@"; do
        grep -Eq "^ +${pair%%=*} +REG_SZ +${pair#*=}\$" <<<"$query" ||
            fail "the registry lacks ${pair%%=*} = ${pair#*=}:"$'\n'"$query"
    done
    count=$(grep -Ec '^ +[a-z_]+ +REG_' <<<"$query" || true)
    [ "$count" -eq 7 ] || fail "the registry holds $count values, not 7:"$'\n'"$query"
}

# session NAME PROBE-STEPS...: runs tovi.exe and the probe against it, and
# checks that its tray icon docked while it ran and was gone after it ended.
session() {
    local name=$1
    shift
    local before
    before=$(docked)
    "$wine_run" "$tovi" >"$work/tovi.log" 2>&1 &
    tovi_pid=$!
    # Samples the docked icons while the program runs.
    (while :; do docked; echo --; sleep 0.2; done) >"$work/docked.log" 2>/dev/null &
    watch_pid=$!

    echo "== $name"
    timeout 120 "$wine_run" "$probe" "$@" || fail "$name: the probe failed (status $?)"
    kill "$watch_pid" 2>/dev/null || true
    wait "$watch_pid" 2>/dev/null || true
    watch_pid=""
    local status=0
    wait "$tovi_pid" || status=$?
    tovi_pid=""
    [ "$status" -eq 0 ] || fail "$name: tovi.exe ended with status $status"

    command -v xwininfo >/dev/null || return 0
    local new
    new=$(grep -vxF -f <(printf '%s\n' "$before" --) "$work/docked.log" | head -1 || true)
    [ -n "$new" ] || fail "$name: no tray icon docked in trayer while tovi.exe ran"
    local icons
    icons=$(grep -vxF -f <(printf '%s\n' "$before" --) "$work/docked.log" | sort -u | wc -l)
    [ "$icons" -eq 1 ] || fail "$name: $icons tray icons docked while tovi.exe ran, not 1"
    # The icon goes with the program, without the pointer passing over it.
    local deadline=$((SECONDS + 5))
    while docked | grep -qxF "$new"; do
        [ $SECONDS -lt $deadline ] || fail "$name: the tray icon stayed after tovi.exe ended"
        sleep 0.1
    done
    echo "tovi_e2e_win32: ok    the tray icon docked while tovi.exe ran and went with it"
}

started=$SECONDS

# 1. First start with an empty registry.
seed
session "first start" \
    shown nobox captions lists credits \
    expect:check1=1,check2=1,check3=1,check4=0,combo1=5,combo2=1,combo3=2 \
    pick:combo1=0 expect:combo1=0 nobox \
    click:save hidden \
    tray:512 tray:513 tray:514 tray:516 tray:517 settle:300 hidden \
    tray:515 shown expect:combo1=0,combo2=1,combo3=2 \
    close
stored enabled=1 startminimized=0 download=1 upload=1 interval=0 download_key=1 upload_key=2
echo "tovi_e2e_win32: ok    the seven values are stored, interval 0"

# 2. Scroll Lock stored for both lists, "upload" grayed, start minimized.
seed enabled=1 startminimized=1 download=0 upload=2 interval=20 download_key=2 upload_key=2
session "equal stored keys, start minimized" \
    conflict settle:300 hidden nobox tray:515 shown \
    expect:check1=1,check2=0,check3=2,check4=1,combo1=20,combo2=2,combo3=0 \
    pick:combo2=0 conflict expect:combo2=1,combo3=0 \
    pick:combo3=2 nobox expect:combo2=1,combo3=2 \
    pick:combo1=3 click:cancel hidden tray:515 shown expect:combo1=3 \
    click:check2 click:check4 expect:check2=1,check4=0 \
    click:exit ended
stored enabled=1 startminimized=0 download=1 upload=2 interval=3 download_key=1 upload_key=2
echo "tovi_e2e_win32: ok    the conflicts were corrected and the controls stored"

# 3. A second start while the first one hides in the tray.
seed
session "second start" \
    shown pick:combo1=7 click:cancel hidden \
    second shown unstored expect:combo1=7 \
    close
stored enabled=1 startminimized=0 download=1 upload=1 interval=7 download_key=1 upload_key=2
echo "tovi_e2e_win32: ok    the second start showed the first window and stored nothing"

# 4. Caps Lock for received traffic, Scroll Lock for sent, every 5 s, with
# traffic both ways throughout: each tick lights both.
seed enabled=1 startminimized=0 download=1 upload=1 interval=20 download_key=0 upload_key=2
python3 "$source_dir/tests/common/udp_traffic.py" --to "$peer" --every 5 &
pids+=($!)
session "the keys given back" \
    shown keys:1,0,1 press:num keys:1,1,1 click:exit ended keys:0,1,0 press:num keys:0,0,0
echo "tovi_e2e_win32: ok    Exit gave back the keys Tovi had switched and no other"

echo "tovi_e2e_win32: ok ($((SECONDS - started)) s)"
