#!/usr/bin/env bash
# scripts/run on a machine without a display, ended by Ctrl-C in its
# terminal (SIGINT to the whole foreground process group): tovi must end as
# a closed window does, with the seven settings stored, before its X server
# goes; nothing the run started may be left running; the private session has
# a runtime folder of its own, so Qt does not complain of none.
set -euo pipefail

source "$(dirname "$0")/../lib/setup.sh" linux
built "$build/bin/tovi"
needs Xvfb trayer xdotool xset setsid

source "$source/scripts/scratch" KILL
fail() { echo "run_script: FAIL: $*" >&2; echo "--- scripts/run said:" >&2; cat "$work/log" >&2; exit 1; }

export XDG_CONFIG_HOME=$work/config
ini=$XDG_CONFIG_HOME/Tovi/settings.ini
mkdir -p "$XDG_CONFIG_HOME/Tovi"
printf '[zuderari]\ninterval=3\nstartminimized=0\n' >"$ini"

# A process group of its own, as a command started from a terminal has.
# A background job starts with SIGINT ignored; a terminal gives the default.
env --default-signal=INT -u DISPLAY -u XDG_RUNTIME_DIR TOVI_BUILD="$build" setsid bash "$source/scripts/run" >"$work/log" 2>&1 &
run=$!
pids+=($run)
display=""
for _ in $(seq 1 100); do
    display=$(sed -n 's/.*private X server (\(:[0-9]*\)).*/\1/p' "$work/log")
    [ -z "$display" ] || break
    sleep 0.1
done
[ -n "$display" ] || fail "no private X server was named"
for _ in $(seq 1 100); do
    DISPLAY=$display xdotool search --onlyvisible --name '^Tovi - Lampfeld' >/dev/null 2>&1 && break
    sleep 0.1
done
sleep 0.3  # the load ends and the loop runs
started=$(pgrep -P "$run" | tr '\n' ' ')
[ -n "$started" ] || fail "scripts/run started nothing"

kill -INT -- "-$run"
for _ in $(seq 1 150); do
    kill -0 "$run" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$run" 2>/dev/null && fail "scripts/run still runs 15 s after Ctrl-C"
left=""
for pid in $started; do
    [ ! -e "/proc/$pid" ] || left+=" $pid ($(cat "/proc/$pid/comm"))"
done
[ -z "$left" ] || fail "left running:$left"
keys=$(grep -cE '^(enabled|startminimized|download|upload|interval|download_key|upload_key)=' "$ini" || true)
[ "$keys" -eq 7 ] || fail "$keys of the seven settings stored"
! grep -q 'XDG_RUNTIME_DIR' "$work/log" || fail "the private session has no runtime folder"
echo "run_script: ok: Ctrl-C stored the seven settings, nothing left running"
