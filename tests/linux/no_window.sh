#!/usr/bin/env bash
# tovi's command line, and tovi --no-window as a service runs it: no window,
# settings from the file, ended by SIGTERM or SIGINT with status 0 and the
# settings file left exactly as it was (its keyboard here is an X server's:
# this machine has no uinput). Where no keyboard can be had at all (here:
# no uinput device, no lock-key service) it says so in one line on stderr,
# with the fix, and ends with status 1 for the service manager to see.
# Without a display, the window says to use --no-window. A second
# --no-window of the same user ends at once with status 1 and one sentence.
# What it cannot use it names once on stderr: a settings file it cannot
# read, and each stored value it does not take, with what it uses instead.
set -euo pipefail

[ "${TOVI_PLATFORM:-linux}" = linux ] || exit 77
build=${TOVI_BUILD:?TOVI_BUILD names the build folder}
source=${TOVI_SOURCE:-$(cd "$(dirname "$0")/../.." && pwd)}
tovi=$build/bin/tovi
[ -x "$tovi" ] || { echo "no_window: $tovi is not built" >&2; exit 1; }
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$source/tests/lsan.supp:print_suppressions=0}
source "$source/scripts/scratch" KILL

status=0
fail() { echo "no_window: FAIL: $*" >&2; status=1; }

version=$(sed -n 's/^project(tovi VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
[ "$("$tovi" --version)" = "tovi $version" ] || fail "--version printed '$("$tovi" --version)', not 'tovi $version'"
"$tovi" --help | grep -q -- '--no-window' || fail "--help does not list --no-window"
rc=0
"$tovi" --no-window --frobnicate >"$work/out" 2>"$work/err" || rc=$?
[ "$rc" -eq 2 ] || fail "an unknown option ended with status $rc, not 2"
grep -q '^Usage: tovi' "$work/err" || fail "an unknown option printed no usage line on stderr"
[ ! -s "$work/out" ] || fail "an unknown option printed to stdout"

# The window without a display: a plain pointer to --no-window, not Qt's abort.
rc=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$tovi" 2>"$work/err" || rc=$?
{ [ "$rc" -eq 1 ] && grep -q -- '--no-window' "$work/err"; } || fail "without a display the window ended with $rc: $(cat "$work/err")"

# The session's folder, where one tovi per user holds its lock: this test's
# own, not one that another test's tovi may hold.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 -p "$XDG_RUNTIME_DIR"

# No keyboard at all: one line with the fix, status 1.
if [ ! -w /dev/uinput ] && [ ! -e /run/tovi-lock-keys.socket ]; then
    rc=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE -u TOVI_KEYBOARD timeout 10 "$tovi" --no-window \
        >"$work/out" 2>"$work/err" || rc=$?
    [ "$rc" -eq 1 ] || fail "without a keyboard --no-window ended with status $rc, not 1"
    { [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q '^tovi: The lock keys cannot be switched.*\(Install\|Start\|modprobe\)' "$work/err"; } ||
        fail "without a keyboard stderr was not one line with the fix: $(cat "$work/err")"
    # The same line into a stderr whose reader is gone (a journal that went
    # away): EPIPE, not death by SIGPIPE.
    rc=0
    python3 - "$tovi" <<'PY' || rc=$?
import os, subprocess, sys
read_end, write_end = os.pipe()
os.close(read_end)
env = {k: v for k, v in os.environ.items() if k not in ('DISPLAY', 'WAYLAND_DISPLAY', 'XDG_SESSION_TYPE', 'TOVI_KEYBOARD')}
status = subprocess.run([sys.argv[1], '--no-window'], stdout=subprocess.DEVNULL, stderr=write_end, env=env,
                        timeout=10).returncode
sys.exit(0 if status == 1 else f'with its stderr closed it ended with {status}, not 1')
PY
    [ "$rc" -eq 0 ] || fail "a closed stderr"
fi

source "$source/scripts/xsession"
export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME/Tovi"
printf '[zuderari]\nenabled=1\ninterval=0\nupload=1\n' >"$XDG_CONFIG_HOME/Tovi/settings.ini"
before=$(ls -lA --time-style=full-iso "$XDG_CONFIG_HOME/Tovi"; md5sum <"$XDG_CONFIG_HOME/Tovi/settings.ini")
for signal in TERM INT; do
    # A background job starts with SIGINT ignored; give it a terminal's default.
    env --default-signal=INT -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE TOVI_KEYBOARD=x11 \
        "$tovi" --no-window >"$work/out" 2>"$work/err" &
    pid=$!
    pids+=($pid)
    sleep 1.5  # loads, then ticks at 25 ms for a while
    kill -0 "$pid" 2>/dev/null || { fail "tovi --no-window ended by itself"; cat "$work/err" >&2; continue; }
    kill "-$signal" "$pid"
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    rc=0
    kill -0 "$pid" 2>/dev/null && { fail "still running 5 s after SIG$signal"; continue; }
    wait "$pid" || rc=$?
    [ "$rc" -eq 0 ] || fail "SIG$signal ended it with status $rc, not 0"
    if grep -qE 'AddressSanitizer|LeakSanitizer|runtime error:' "$work/err"; then
        fail "sanitizer report"
        cat "$work/err" >&2
    fi
done
after=$(ls -lA --time-style=full-iso "$XDG_CONFIG_HOME/Tovi"; md5sum <"$XDG_CONFIG_HOME/Tovi/settings.ini")
[ "$before" = "$after" ] || fail "the settings folder changed: $after"

# run_briefly: tovi --no-window for a moment, its stderr in $work/err.
run_briefly() {
    env -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE TOVI_KEYBOARD=x11 "$tovi" --no-window >/dev/null 2>"$work/err" &
    local pid=$!
    pids+=($pid)
    sleep 1
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" || true
}
# once PATTERN WHAT: stderr holds exactly one line matching PATTERN.
once() {
    local n
    n=$(grep -cE "$1" "$work/err" || true)
    [ "$n" -eq 1 ] || { fail "$2 was told $n times, not once"; cat "$work/err" >&2; }
}

# A second one of the same user, while the first runs.
env -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE TOVI_KEYBOARD=x11 "$tovi" --no-window >/dev/null 2>&1 &
first=$!
pids+=($first)
for _ in $(seq 1 100); do grep -qx "no-window $first" "$XDG_RUNTIME_DIR/tovi.lock" 2>/dev/null && break; sleep 0.05; done
rc=0
env -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE TOVI_KEYBOARD=x11 "$tovi" --no-window >/dev/null 2>"$work/err" || rc=$?
[ "$rc" -eq 1 ] || fail "a second tovi --no-window ended with status $rc, not 1"
{ [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "already runs.*process $first" "$work/err"; } ||
    fail "a second tovi --no-window said: $(cat "$work/err")"
kill -TERM "$first"
wait "$first" || fail "the first tovi --no-window ended with status $?"

# A settings file that is no file.
mv "$XDG_CONFIG_HOME/Tovi/settings.ini" "$work/kept.ini"
mkdir "$XDG_CONFIG_HOME/Tovi/settings.ini"
run_briefly
once "settings file $XDG_CONFIG_HOME/Tovi/settings.ini is not used \\(it is not a regular file\\)" "the unusable file"
rmdir "$XDG_CONFIG_HOME/Tovi/settings.ini"

# Values out of range: an interval meant as milliseconds, a key that does not exist.
printf '[zuderari]\ninterval=150\ndownload_key=9\nupload_key=1\n' >"$XDG_CONFIG_HOME/Tovi/settings.ini"
run_briefly
once '^tovi: interval=150 is not taken .*; no interval is used instead' "interval=150"
once '^tovi: download_key=9 is not taken .*; Caps Lock is used instead' "download_key=9"
! grep -q 'upload_key' "$work/err" || fail "a value that was taken was reported: $(cat "$work/err")"
[ "$status" -ne 0 ] || echo "no_window: ok: --version, --help, unknown option (2); --no-window ends on TERM and INT with 0, stores nothing, and with 1 and one line without a keyboard; runs once per user and names what it refuses"
exit $status
