#!/usr/bin/env bash
# The private X server script that the end-to-end tests and benchmarks share
# (scripts/xsession): scripts that start servers at the same time get one
# each, a server killed from outside can be replaced, the caller's own exit
# trap is left alone, and no server outlives the shell that started it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=${TOVI_SOURCE:-$(cd "$here/../.." && pwd)}
xsession=$source_dir/scripts/xsession
command -v Xvfb >/dev/null || { echo "xsession_check: Xvfb is missing, skipped"; exit 77; }
export xsession
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "xsession_check: FAIL: $*" >&2; status=1; }
# gone PID: the process ends (or is only left for reaping) within 3 s.
gone() {
    local i state
    for i in $(seq 1 60); do
        state=$(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null || true)
        [ -n "$state" ] && [ "$state" != Z ] || return 0
        sleep 0.05
    done
    return 1
}

# Four scripts at once: four servers, four displays, each answering.
scripts=()
for i in 1 2 3 4; do
    bash -c 'source "$xsession" || exit 1
             echo "$DISPLAY $_tovi_x_server_pid" >"$1"
             [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] || exit 1
             sleep 1' _ "$work/at-once.$i" &
    scripts+=($!)
done
for pid in "${scripts[@]}"; do
    wait "$pid" || fail "a server of four started at once did not come up"
done
displays=$(cut -d' ' -f1 "$work"/at-once.* | sort)
[ "$(uniq <<<"$displays" | wc -l)" -eq 4 ] || fail "four scripts at once shared displays: ${displays//$'\n'/ }"
while read -r _ pid; do
    gone "$pid" || fail "server $pid outlived its script"
done < <(cat "$work"/at-once.*)

# A script whose own trap replaced the one xsession set, and that never calls
# _tovi_x_stop: its server still goes with it.
bash -c 'source "$xsession"; trap "true" EXIT; echo "$_tovi_x_server_pid" >"$1"' _ "$work/replaced"
gone "$(cat "$work/replaced")" || fail "a replaced exit trap left the server running"

# The caller's trap, set before, is kept; a server killed from outside is
# replaced by a second start, and _tovi_x_stop ends everything.
out=$(bash -c '
    trap "echo caller-trap" EXIT
    source "$xsession" --no-start
    _tovi_x_start || exit 1
    first=$_tovi_x_server_pid
    kill -9 "$first"; wait "$first" 2>/dev/null
    _tovi_x_start || { echo "no second server"; exit 1; }
    [ "$_tovi_x_server_pid" != "$first" ] || echo "the dead server is still named"
    [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] || echo "no socket for $DISPLAY"
    second=$_tovi_x_server_pid
    _tovi_x_stop
    [ ! -e "/proc/$second" ] || echo "_tovi_x_stop left $second"
    [ -z "$_tovi_x_server_pid" ] || echo "_tovi_x_stop kept a server pid"' 2>&1) || fail "restart: $out"
[ "$out" = caller-trap ] || fail "restart and stop: $(tr '\n' ' ' <<<"$out")"

[ "$status" -ne 0 ] || echo "xsession_check: ok"
exit $status
