#!/usr/bin/env bash
# Links that come and go with no traffic at all, as on a host that runs
# containers or VMs: in a private network namespace whose counters stand
# still (a veth pair that carried some traffic before), the tick driver runs
# UpdateLeds every 25 ms while veth pairs are made, brought up and deleted
# about every 150 ms. No refresh may fail, and no tick may see a total grow
# (a key would light).
#
#   TOVI_CHURN_SECONDS overrides the 20 s of churn (the figures for a change
#   note take 60).
set -euo pipefail

source "$(dirname "$0")/../lib/setup.sh" linux
driver=$build/bin/tovi_tick_driver
built "$driver"
needs python3 ip unshare nsenter
source "$source/tests/lib/private_net.sh"
seconds=${TOVI_CHURN_SECONDS:-20}

# Totals that are not 0, so that a refresh that wrongly reads as 0 shows.
python3 "$source/tests/common/udp_traffic.py" --to "$peer" --every 1 --for 0.2
sleep 0.5

"$driver" --no-keyboard --interval 25 --duration $((seconds + 1)) --trace "$work/ticks" >/dev/null 2>"$work/driver.err" &
driver_pid=$!
pids+=($driver_pid)
sleep 0.5

pairs=0
end=$((SECONDS + seconds))
while [ $SECONDS -lt $end ]; do
    ip link add "churn$pairs" type veth peer name "churm$pairs"
    ip link set "churn$pairs" up
    ip link set "churm$pairs" up
    sleep 0.05
    ip link del "churn$pairs"
    pairs=$((pairs + 1))
    sleep 0.05
done
wait "$driver_pid" || { echo "link_churn: FAIL: the driver ended badly" >&2; cat "$work/driver.err" >&2; exit 1; }

python3 - "$work/ticks" "$pairs" "$seconds" <<'PY'
import sys
lines = [list(map(int, l.split())) for l in open(sys.argv[1])]
pairs, seconds = int(sys.argv[2]), int(sys.argv[3])
# Each line: start, end, the reference totals after the tick, and whether
# its refresh read the table. The first tick compares with 0 and lights.
failed = sum(1 for l in lines if len(l) > 4 and l[4] == 0)
lit = sum(1 for a, b in zip(lines, lines[1:]) if b[2] > a[2] or b[3] > a[3])
print(f"link_churn: {len(lines)} ticks over {seconds} s while {pairs} veth pairs came and went: "
      f"{failed} failed refreshes, {lit} ticks that would light a key")
if len(lines) < seconds * 20:
    sys.exit("link_churn: FAIL: too few ticks ran")
for i, (a, b) in enumerate(zip(lines, lines[1:])):
    if b[2] > a[2] or b[3] > a[3]:
        print(f"  tick {i + 1} ({(b[0] - lines[0][0]) / 1e6:.0f} ms): totals {a[2]} {a[3]} -> {b[2]} {b[3]}")
if failed or lit:
    sys.exit("link_churn: FAIL")
PY
