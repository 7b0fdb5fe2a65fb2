#!/usr/bin/env bash
# The X server going away under a running tovi, once ended in an orderly way
# (SIGTERM) and once dying (SIGKILL), each while tovi ticks every 25 ms with
# its window shown and its icon in the tray.
#
# Without a display there is nothing left to show the lights on, so tovi may
# end; what it must not do is crash or lose its settings. Here that means: it
# ends by itself within ten seconds, with an exit status of its own (no
# signal, no core dump), having stored all seven settings as a closed window
# does, and in a sanitizer build without any AddressSanitizer, UBSan or leak
# report (third-party leaks in tests/lsan.supp aside). It must not hang
# either.
set -euo pipefail

source "$(dirname "$0")/../lib/setup.sh" linux
built "$tovi"
needs Xvfb trayer xdotool

source "$source/scripts/scratch" KILL  # a tovi that hangs must not hold the test
source "$source/scripts/xsession" --no-start

status=0
# stored FILE: the file holds all seven settings (it was seeded with two).
stored() {
    local key
    for key in enabled startminimized download upload interval download_key upload_key; do
        grep -q "^$key=" "$1" || return 1
    done
}
# lose SIGNAL: one run, the server ended with SIGNAL.
lose() {
    local signal=$1 xvfb tovi_pid rc
    if ! _tovi_x_start --tray; then
        echo "display_loss: FAIL ($signal): Xvfb did not start" >&2
        status=1
        return
    fi
    xvfb=$_tovi_x_server_pid

    export XDG_CONFIG_HOME=$work/config-$signal XDG_RUNTIME_DIR=$work/runtime
    mkdir -p "$XDG_CONFIG_HOME/Tovi" && mkdir -m 700 -p "$XDG_RUNTIME_DIR"
    printf '[zuderari]\ninterval=0\nstartminimized=0\n' >"$XDG_CONFIG_HOME/Tovi/settings.ini"
    "$tovi" >"$work/tovi-$signal.log" 2>&1 &
    tovi_pid=$!
    pids+=($tovi_pid)
    local shown=no
    for _ in $(seq 1 100); do
        if xdotool search --onlyvisible --name '^Tovi - Lampfeld' >/dev/null 2>&1; then shown=yes; break; fi
        sleep 0.1
    done
    if [ "$shown" = no ]; then
        echo "display_loss: FAIL ($signal): the window never showed" >&2
        cat "$work/tovi-$signal.log" >&2
        status=1
        return
    fi
    sleep 1  # some dozens of ticks

    { kill "-$signal" "$xvfb"; wait "$xvfb"; } 2>/dev/null || true
    local ended=no
    for _ in $(seq 1 100); do
        if ! kill -0 "$tovi_pid" 2>/dev/null; then ended=yes; break; fi
        sleep 0.1
    done
    _tovi_x_stop  # the tray; the server is gone already
    if [ "$ended" = no ]; then
        echo "display_loss: FAIL ($signal): tovi still runs 10 s after the display went away" >&2
        kill -9 "$tovi_pid" 2>/dev/null || true
        status=1
        return
    fi
    rc=0
    wait "$tovi_pid" || rc=$?
    if [ "$rc" -ge 128 ]; then
        echo "display_loss: FAIL ($signal): tovi was ended by signal $((rc - 128))" >&2
        status=1
    elif grep -qE 'AddressSanitizer|LeakSanitizer|runtime error:' "$work/tovi-$signal.log"; then
        echo "display_loss: FAIL ($signal): sanitizer report" >&2
        status=1
    elif ! stored "$XDG_CONFIG_HOME/Tovi/settings.ini"; then
        echo "display_loss: FAIL ($signal): the settings were not stored:" >&2
        cat "$XDG_CONFIG_HOME/Tovi/settings.ini" >&2
        status=1
    else
        echo "display_loss: ok ($signal): tovi ended with status $rc: $(head -1 "$work/tovi-$signal.log")"
        return
    fi
    cat "$work/tovi-$signal.log" >&2
}

lose TERM
lose KILL
exit $status
