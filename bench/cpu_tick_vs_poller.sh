#!/usr/bin/env bash
# Whole-process CPU time of the LED tick loop against the least a program
# can do to watch the counters.
#
#   bench/cpu_tick_vs_poller.sh [BUILD_DIR]        (default build/linux)
#   DURATION=30 INTERVAL=25 RATIO=1.5 (environment, the defaults shown)
#
# Runs, side by side for DURATION seconds under the same load:
#   - tovi_tick_driver: UpdateLeds every INTERVAL ms against the live netlink
#     table and a live X keyboard (a private Xvfb, so no real lights flash);
#   - netlink_poller (built here from bench/netlink_poller.c with cc): one
#     RTM_GETLINK dump every INTERVAL ms on a socket kept open, nothing else.
# Prints user+system CPU seconds of each and their ratio; exits 1 when the
# tick loop costs more than RATIO times the poller.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/linux}
duration=${DURATION:-30}
interval=${INTERVAL:-25}
ratio=${RATIO:-1.5}
driver=$build/bin/tovi_tick_driver
[ -x "$driver" ] || { echo "build $driver first (cmake --build $build --target tovi_tick_driver)" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "Xvfb is missing" >&2; exit 2; }

work=$(mktemp -d)
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cc -O2 -o "$work/netlink_poller" bench/netlink_poller.c

display=""
for _ in $(seq 1 50); do
    n=$((200 + RANDOM % 200))
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -noreset -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 1 100); do
        [ -e /tmp/.X11-unix/X$n ] && break
        sleep 0.05
    done
    [ -e /tmp/.X11-unix/X$n ] && display=:$n && break
done
[ -n "$display" ] || { echo "Xvfb did not start" >&2; exit 2; }

# bash's time reports the CPU time of the process it waited for.
measure() {
    local out=$1
    shift
    (
        TIMEFORMAT='%U %S'
        { time "$@" >/dev/null; } 2>"$out"
    )
}
measure "$work/tick" env DISPLAY="$display" "$driver" --interval "$interval" --duration "$duration" &
tick_job=$!
measure "$work/poller" "$work/netlink_poller" "$interval" "$duration" &
poller_job=$!
wait "$tick_job" "$poller_job"

python3 - "$work/tick" "$work/poller" "$duration" "$interval" "$ratio" <<'EOF'
import sys
def cpu(path):
    user, system = map(float, open(path).read().split()[-2:])
    return user, system
tick, poller = cpu(sys.argv[1]), cpu(sys.argv[2])
duration, interval, ratio = float(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
t, p = sum(tick), sum(poller)
print(f"over {duration:.0f} s at {interval} ms:")
print(f"  tick loop  {t:6.3f} s CPU (user {tick[0]:.3f}, system {tick[1]:.3f}), {100 * t / duration:.2f}% of a core")
print(f"  poller     {p:6.3f} s CPU (user {poller[0]:.3f}, system {poller[1]:.3f}), {100 * p / duration:.2f}% of a core")
measured = t / p if p > 0 else float("inf")
print(f"  ratio      {measured:.2f} (target at most {ratio})")
sys.exit(0 if measured <= ratio else 1)
EOF
