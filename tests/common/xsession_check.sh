#!/usr/bin/env bash
# The private X server script that the end-to-end tests and benchmarks share
# (scripts/xsession): scripts that start servers at the same time get one
# each, also over the stale lock and socket files of killed servers; a server killed from outside can be replaced, the caller's own exit
# trap is left alone, and no server outlives the shell that started it.
set -euo pipefail
source "$(dirname "$0")/../lib/setup.sh"
xsession=$source/scripts/xsession
needs Xvfb xset python3
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

# Stale files, what a server killed with SIGKILL leaves: a lock file naming
# a process that is gone and a socket file nobody listens on. For the three
# lowest free display numbers from 0 and from 90, where servers look first.
# Only files made here are removed at the end.
listening() { grep -q "@/tmp/.X11-unix/X$1\$" /proc/net/unix; }
true &
dead=$!
wait "$dead"
[ -d /tmp/.X11-unix ] || { mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix; }
stale=()
for n in $(seq 0 89) $(seq 90 200); do
    [ ${#stale[@]} -ne 3 ] || [ "$n" -ge 90 ] || continue
    [ ${#stale[@]} -lt 6 ] || break
    if listening "$n" || [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; then continue; fi
    printf '%10d\n' "$dead" >"/tmp/.X$n-lock"
    python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "/tmp/.X11-unix/X$n"
    stale+=("$n")
done
trap 'for n in "${stale[@]}"; do
          [ "$(tr -dc 0-9 2>/dev/null <"/tmp/.X$n-lock")" != "$dead" ] || rm -f "/tmp/.X$n-lock"
          [ ! -S "/tmp/.X11-unix/X$n" ] || listening "$n" || rm -f "/tmp/.X11-unix/X$n"
      done
      rm -rf "$work"' EXIT

# Four scripts at once, over those files, several rounds: four servers on
# four displays, each answering while all four run, each gone with its script.
rounds=${TOVI_XSESSION_ROUNDS:-3}
for round in $(seq 1 "$rounds"); do
    rm -f "$work"/at-once.* "$work/release"
    scripts=()
    for i in 1 2 3 4; do
        bash -c 'source "$xsession" || exit 1
                 xset q >/dev/null || exit 2
                 echo "$DISPLAY $_tovi_x_server_pid" >"$1"
                 for _ in $(seq 1 200); do [ -e "$2" ] && break; sleep 0.05; done
                 xset q >/dev/null || exit 2' _ "$work/at-once.$i" "$work/release" &
        scripts+=($!)
    done
    for _ in $(seq 1 200); do
        [ "$(cat "$work"/at-once.* 2>/dev/null | wc -l)" -lt 4 ] || break
        sleep 0.05
    done
    touch "$work/release"
    for pid in "${scripts[@]}"; do
        rc=0
        wait "$pid" || rc=$?
        case $rc in
            0) ;;
            2) fail "round $round: a display of four started at once did not answer" ;;
            *) fail "round $round: a server of four started at once did not come up" ;;
        esac
    done
    displays=$(cut -d' ' -f1 "$work"/at-once.* | sort)
    [ "$(uniq <<<"$displays" | wc -l)" -eq 4 ] ||
        fail "round $round: four scripts at once shared displays: ${displays//$'\n'/ }"
    while read -r _ pid; do
        gone "$pid" || fail "round $round: server $pid outlived its script"
    done < <(cat "$work"/at-once.*)
    [ "$status" -eq 0 ] || break
done

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
    xset q >/dev/null 2>&1 || echo "$DISPLAY does not answer"
    second=$_tovi_x_server_pid
    _tovi_x_stop
    [ ! -e "/proc/$second" ] || echo "_tovi_x_stop left $second"
    [ -z "$_tovi_x_server_pid" ] || echo "_tovi_x_stop kept a server pid"' 2>&1) || fail "restart: $out"
[ "$out" = caller-trap ] || fail "restart and stop: $(tr '\n' ' ' <<<"$out")"

[ "$status" -ne 0 ] || echo "xsession_check: ok"
exit $status
