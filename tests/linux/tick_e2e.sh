#!/usr/bin/env bash
# End to end without the window: the tick driver runs UpdateLeds every 25 ms
# against the live netlink table and the live X keyboard, inside a private
# network namespace where only this test's traffic over a veth pair moves
# the counters. UDP over the pair must light the chosen keys within two ticks
# of its start, and they must go dark within two ticks of its end; the key
# that is not chosen must stay dark. UDP to 127.0.0.1 must light nothing:
# loopback traffic counts no octets, as on Windows.
#
# The lights are read by tovi_led_watch, which shares no code with the
# backend; it reports the X server's own time of each change, so a slow
# watcher cannot blur the timing. "Within two ticks" is judged against the
# driver's own trace of its ticks: on a loaded machine a tick can come late,
# and that is the timer's lateness, not the tick's.
set -euo pipefail

source "$(dirname "$0")/../lib/setup.sh" linux
driver=$build/bin/tovi_tick_driver
watch=$build/bin/tovi_led_watch
built "$driver" "$watch"
needs Xvfb python3 ip unshare
source "$source/tests/lib/private_net.sh" --x

"$watch" >"$work/leds" &
pids+=($!)
for _ in $(seq 1 100); do
    [ -s "$work/leds" ] && break
    sleep 0.05
done
[ -s "$work/leds" ] || { echo "tick_e2e: the light watcher did not start" >&2; exit 1; }

status=0
# run NAME DOWNLOAD_KEY UPLOAD_KEY DARK_MASK [TO]: traffic to TO ($peer by
# default); to 127.0.0.1 the chosen keys must stay dark instead.
run() {
    local name=$1 download=$2 upload=$3 dark=$4 to=${5:-$peer}
    local ticks=$work/$name.ticks traffic=$work/$name.traffic out=$work/$name.out
    "$driver" --interval 25 --download "$download" --upload "$upload" --trace "$ticks" >"$out" &
    local driver_pid=$!
    pids+=($driver_pid)
    for _ in $(seq 1 200); do
        grep -q ready "$out" 2>/dev/null && break
        sleep 0.05
    done
    grep -q ready "$out" || { echo "tick_e2e: the driver did not start" >&2; return 1; }

    sleep 0.4  # quiet ticks first: every light must be dark
    # A datagram every 5 ms for a second.
    python3 "$source/tests/common/udp_traffic.py" --to "$to" --every 5 --for 1 --times "$traffic"
    sleep 0.5
    kill "$driver_pid"
    wait "$driver_pid" || true

    python3 - "$name" "$ticks" "$traffic" "$work/leds" "$download" "$upload" "$dark" "$to" <<'EOF' || status=1
import sys
name, ticks_path, traffic_path, leds_path = sys.argv[1:5]
download, upload, dark = int(sys.argv[5]), int(sys.argv[6]), int(sys.argv[7])
loopback = sys.argv[8].startswith("127.")
bit = {0: 1, 1: 2, 2: 4}
wanted = bit[download] | bit[upload]
ms = 1_000_000

ticks = [tuple(map(int, line.split()[:2])) for line in open(ticks_path)]
start, stop = map(int, open(traffic_path).read().split())
# (server time in ms, mask) of every change; the first line is the state at start.
changes = []
for line in open(leds_path):
    recv, server, mask = map(int, line.split())
    changes.append((server if server else recv // ms, mask))

def server_ms(ns):
    return ns // ms

def ms_after(a_ms, b_ns):
    # Server time is 32-bit milliseconds; compare modulo 2^32.
    d = (a_ms - server_ms(b_ns)) % (1 << 32)
    return d - (1 << 32) if d >= 1 << 31 else d

def mask_at(ns):
    mask = changes[0][1]
    for when, m in changes[1:]:
        if ms_after(when, ns) <= 0:
            mask = m
    return mask

def second_tick_end(after_ns):
    later = [t for t in ticks if t[0] > after_ns]
    return later[1][1] if len(later) >= 2 else None

def first_time(after_ns, condition):
    for when, m in changes[1:]:
        if ms_after(when, after_ns) >= 0 and condition(m):
            return when
    return None

failures = []
spacing = sorted((b[0] - a[0]) / ms for a, b in zip(ticks, ticks[1:]))
median = spacing[len(spacing) // 2] if spacing else 0
if not 20 <= median <= 40:
    failures.append(f"ticks come every {median:.1f} ms, not every 25 ms")
if mask_at(start) & wanted:
    failures.append(f"lights {mask_at(start)} already on before any traffic")

if loopback:
    lit = [f"{ms_after(when, start)}:{m}" for when, m in changes[1:] if ms_after(when, start) >= 0 and m & wanted]
    if lit:
        failures.append("loopback traffic lit the keys (ms after its start:mask) " + " ".join(lit))
    on = off = None
else:
    on = first_time(start, lambda m: m & wanted == wanted)
    deadline = second_tick_end(start)
    if on is None:
        failures.append("the chosen keys never lit together")
    elif deadline is None or ms_after(on, deadline) > 1:
        failures.append(f"lit {ms_after(on, start)} ms after the traffic began, later than the second tick")

    off = first_time(stop, lambda m: m & wanted == 0)
    deadline = second_tick_end(stop)
    if off is None:
        failures.append("the chosen keys did not go dark after the traffic")
    elif deadline is None or ms_after(off, deadline) > 1:
        failures.append(f"dark {ms_after(off, stop)} ms after the traffic ended, later than the second tick")

if any(m & dark for when, m in changes[1:] if ms_after(when, ticks[0][0]) >= 0):
    failures.append("a key that was not chosen lit up")

report = (f"{name}: lit {ms_after(on, start) if on else '-'} ms after the traffic began, "
          f"dark {ms_after(off, stop) if off else '-'} ms after it ended, ticks every {median:.1f} ms")
if loopback:
    report = f"{name}: loopback traffic lit nothing, ticks every {median:.1f} ms"
if failures:
    print("FAIL " + report)
    for f in failures:
        print("  " + f)
    print("  lights: " + " ".join(f"{w}:{m}" for w, m in changes))
    sys.exit(1)
print("ok   " + report)
EOF
}

run caps-scroll 0 2 2
run num-caps 1 0 4
run loopback 0 2 2 127.0.0.1
exit $status
