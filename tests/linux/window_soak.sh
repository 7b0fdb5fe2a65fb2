#!/usr/bin/env bash
# The real program's window through 100,000 LED ticks (raised directly,
# faster than the timer; tovi_window_soak) on a private X server with a tray,
# inside a private network namespace where traffic over a veth pair flows
# the whole time, so the keys keep going on and off. Resident memory must stay flat
# after warm-up; in a sanitizer build the leak check at exit must be clean.
#
#   TOVI_SOAK_TICKS overrides the number of ticks.
set -euo pipefail

source "$(dirname "$0")/../lib/setup.sh" linux
soak=$build/bin/tovi_window_soak
built "$soak"
needs Xvfb trayer python3
source "$source/tests/lib/private_net.sh" --tray --optional
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 -p "$XDG_RUNTIME_DIR"

# A datagram every millisecond, for as long as the soak runs.
if [ "$private" = yes ]; then
    python3 "$source/tests/common/udp_traffic.py" --to "$peer" --every 1 &
    pids+=($!)
fi

ticks=${TOVI_SOAK_TICKS:-100000}
start=$SECONDS
status=0
"$soak" "$ticks" >"$work/out" 2>"$work/err" || status=$?
cat "$work/out"
if grep -qE 'LeakSanitizer|AddressSanitizer|runtime error' "$work/err"; then
    echo "window_soak: FAIL: sanitizer report" >&2
    cat "$work/err" >&2
    exit 1
fi
case $status in
    0) ;;
    1) echo "window_soak: FAIL: resident memory grew after warm-up" >&2; exit 1 ;;
    *) echo "window_soak: FAIL: the soak did not run (status $status)" >&2; cat "$work/err" >&2; exit 1 ;;
esac
read -r _ done _ lit _ _ _ <"$work/out"
[ "$done" = "$ticks" ] || { echo "window_soak: FAIL: only $done of $ticks ticks ran" >&2; exit 1; }
if [ "$private" = yes ] && [ "$lit" -eq 0 ]; then
    echo "window_soak: FAIL: no tick saw the traffic" >&2
    exit 1
fi
grep -qx 'enabled=1' "$XDG_CONFIG_HOME/Tovi/settings.ini" || { echo "window_soak: FAIL: unload stored nothing" >&2; exit 1; }
echo "window_soak: ok ($ticks ticks in $((SECONDS - start)) s, $lit saw traffic)"
