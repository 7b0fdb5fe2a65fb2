#!/usr/bin/env bash
# tovi asked to end from outside: SIGTERM (logout, shutdown), SIGHUP (its
# terminal went away) and SIGINT (Ctrl+C). Each must end it as closing its
# window does: exit status 0, the seven settings stored (the seeded file holds
# only two of them). Once with the window hidden in the tray, once shown with
# the conflict message box open, whose nested event loop must not keep the
# program alive. A signal ignored when tovi starts (nohup) stays ignored.
set -euo pipefail

source "$(dirname "$0")/../lib/setup.sh" linux
built "$tovi"
needs Xvfb trayer xdotool

source "$source/scripts/scratch" KILL  # a tovi that does not end must not hold the test
source "$source/scripts/xsession" --tray || { echo "end_signals: Xvfb did not start" >&2; exit 1; }
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 -p "$XDG_RUNTIME_DIR"

status=0
# ends SIGNAL SEED WAIT_FOR: one run from the settings SEED, signalled once
# WAIT_FOR (a window name) shows.
ends() {
    local signal=$1 seed=$2 shown=$3 pid rc=0 ini
    export XDG_CONFIG_HOME=$work/$signal-${shown// /_}
    ini=$XDG_CONFIG_HOME/Tovi/settings.ini
    mkdir -p "$XDG_CONFIG_HOME/Tovi"
    printf '[zuderari]\n%s\n' "$seed" >"$ini"
    # A background job starts with SIGINT ignored; give it the default a
    # program started from a terminal has.
    env --default-signal=INT "$tovi" >"$work/log" 2>&1 &
    pid=$!
    pids+=($pid)
    local i
    for i in $(seq 1 100); do
        xdotool search --name "$shown" >/dev/null 2>&1 && break
        sleep 0.1
    done
    sleep 0.3  # the load ends and the loop runs
    kill "-$signal" "$pid"
    for i in $(seq 1 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "end_signals: FAIL ($signal, $shown): tovi still runs 10 s after the signal" >&2
        status=1
        return
    fi
    wait "$pid" || rc=$?
    local keys
    keys=$(grep -cE '^(enabled|startminimized|download|upload|interval|download_key|upload_key)=' "$ini" || true)
    if [ "$rc" -ne 0 ]; then
        echo "end_signals: FAIL ($signal, $shown): exit status $rc" >&2
        cat "$work/log" >&2
        status=1
    elif grep -qE 'AddressSanitizer|LeakSanitizer|runtime error:' "$work/log"; then
        echo "end_signals: FAIL ($signal, $shown): sanitizer report" >&2
        cat "$work/log" >&2
        status=1
    elif [ "$keys" -ne 7 ]; then
        echo "end_signals: FAIL ($signal, $shown): $keys of the seven settings stored" >&2
        cat "$ini" >&2
        status=1
    elif ! grep -qx 'interval=3' "$ini"; then
        echo "end_signals: FAIL ($signal, $shown): the stored interval is not the one shown" >&2
        status=1
    else
        echo "end_signals: ok ($signal, $shown): status 0, seven settings stored"
    fi
}

for signal in TERM HUP INT; do
    ends "$signal" $'interval=3\nstartminimized=1' '^Tovi - Lampfeld'
done
# Both keys on Scroll Lock: the load shows the conflict box and waits in it.
ends TERM $'interval=3\nstartminimized=0\ndownload_key=2\nupload_key=2' '^Tovi - Feldlamp$'

# Started as nohup starts it, SIGHUP ignored: it must still run after one.
export XDG_CONFIG_HOME=$work/nohup
(trap '' HUP && exec "$tovi") >"$work/log" 2>&1 &
pid=$!
pids+=($pid)
for _ in $(seq 1 100); do
    xdotool search --name '^Tovi - Lampfeld' >/dev/null 2>&1 && break
    sleep 0.1
done
sleep 0.3
kill -HUP "$pid"
sleep 1
if kill -0 "$pid" 2>/dev/null; then
    echo "end_signals: ok (HUP ignored at start): still running"
else
    echo "end_signals: FAIL: SIGHUP ended a tovi that was started with it ignored" >&2
    status=1
fi
exit $status
