#!/usr/bin/env bash
# Whole-process CPU time of the LED tick loop against the least a program
# can do to watch the counters.
#
#   bench/cpu_tick_vs_poller.sh [BUILD_DIR]        (default build/linux)
#   DURATION=30 INTERVAL=25 RATIO=1.5 REPEAT=3 (environment, the defaults shown)
#
# Runs, side by side for DURATION seconds under the same load, REPEAT times:
#   - tovi_tick_driver: UpdateLeds every INTERVAL ms against the live netlink
#     table and a live X keyboard (a private Xvfb, so no real lights flash);
#   - netlink_poller (built here from bench/netlink_poller.c with cc): one
#     RTM_GETLINK dump every INTERVAL ms on a socket kept open, nothing else.
# Prints the on-CPU seconds of each (start-up included) and their ratio;
# exits 1 when the median ratio is above RATIO. At well under 1% of a core,
# one run's ratio swings by a few tenths with the machine's wake-up costs,
# hence the median.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/linux}
duration=${DURATION:-30}
interval=${INTERVAL:-25}
ratio=${RATIO:-1.5}
repeat=${REPEAT:-3}
driver=$build/bin/tovi_tick_driver
[ -x "$driver" ] || { echo "build $driver first (cmake --build $build --target tovi_tick_driver)" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "Xvfb is missing" >&2; exit 2; }

source scripts/scratch
source scripts/xsession || { echo "Xvfb did not start" >&2; exit 2; }

cc -O2 -o "$work/netlink_poller" bench/netlink_poller.c

# On-CPU time of a whole process in seconds, from the scheduler's own
# nanosecond count (rusage is sampled at the timer tick, too coarse here).
cpu_seconds() {
    cat /proc/"$1"/task/*/schedstat | awk '{ ns += $1 } END { printf "%.6f\n", ns / 1e9 }'
}

for run in $(seq 1 "$repeat"); do
    "$driver" --interval "$interval" >/dev/null &
    tick_pid=$!
    "$work/netlink_poller" "$interval" $((duration + 60)) >/dev/null &
    poller_pid=$!
    pids+=("$tick_pid" "$poller_pid")
    sleep "$duration"
    cpu_seconds "$tick_pid" >"$work/tick.$run"
    cpu_seconds "$poller_pid" >"$work/poller.$run"
    kill "$tick_pid" "$poller_pid"
    wait "$tick_pid" "$poller_pid" 2>/dev/null || true
done

python3 - "$work" "$repeat" "$duration" "$interval" "$ratio" <<'EOF'
import statistics, sys
work, repeat = sys.argv[1], int(sys.argv[2])
duration, interval, target = float(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
def cpu(path):
    return float(open(path).read())
print(f"{repeat} run(s) of {duration:.0f} s at {interval} ms, on-CPU seconds of each whole process:")
ratios = []
for run in range(1, repeat + 1):
    t, p = cpu(f"{work}/tick.{run}"), cpu(f"{work}/poller.{run}")
    ratios.append(t / p if p > 0 else float("inf"))
    print(f"  run {run}: tick loop {t:.3f} ({100 * t / duration:.2f}% of a core), "
          f"poller {p:.3f} ({100 * p / duration:.2f}%), ratio {ratios[-1]:.2f}")
median = statistics.median(ratios)
print(f"  median ratio {median:.2f} (target at most {target})")
sys.exit(0 if median <= target else 1)
EOF
