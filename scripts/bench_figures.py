#!/usr/bin/env python3
"""The arithmetic of scripts/bench, one subcommand per figure it works out.

    verdict VALUE OP LIMIT       yes when VALUE OP LIMIT holds (OP: <= < >= >), else no
    fraction VALUE DIVISOR DIGITS   VALUE / DIVISOR with DIGITS decimals
    percent MS SECONDS           MS of CPU over SECONDS as a percentage of a core
    ratio A B                    A / B with two decimals, inf when B is 0
    median-us                    the median of a Google Benchmark JSON report on
                                 stdin, in microseconds
    side-by-side SAMPLE...       "tovi_ns poller_ns" samples, two per round (start,
                                 end): "tovi_ms poller_ms ratio low-high"
    latency BURSTS LEDS          burst start times and tovi_led_watch's lines:
                                 "median worst count" of burst-to-light delays, ms
"""
import json
import operator
import sys


def verdict(value, op, limit):
    compare = {'<=': operator.le, '<': operator.lt, '>=': operator.ge, '>': operator.gt}[op]
    return 'yes' if compare(float(value), float(limit)) else 'no'


def fraction(value, divisor, digits):
    return f'{float(value) / float(divisor):.{int(digits)}f}'


def percent(ms, seconds):
    return f'{float(ms) / float(seconds) / 10:.2f}'


def ratio(a, b):
    return f'{float(a) / float(b):.2f}' if float(b) else 'inf'


def median_us():
    for b in json.load(sys.stdin)['benchmarks']:
        if b.get('aggregate_name') == 'median':
            scale = {'ns': 1e-3, 'us': 1.0, 'ms': 1e3}[b['time_unit']]
            return '%.1f' % (b['real_time'] * scale)
    return ''


def side_by_side(*samples):
    s = [tuple(map(int, a.split())) for a in samples]
    rounds = [(b[0] - a[0], b[1] - a[1]) for a, b in zip(s[0::2], s[1::2])]
    t, p = sum(r[0] for r in rounds) / 1e6, sum(r[1] for r in rounds) / 1e6
    each = sorted(r[0] / r[1] for r in rounds if r[1] > 0)
    return '%.0f %.0f %.2f %.2f-%.2f' % (t, p, t / p if p else float('inf'), each[0], each[-1])


def after(a_ms, b_ms):
    """a_ms - b_ms for the server's time, 32-bit milliseconds that wrap."""
    d = (a_ms - b_ms) % (1 << 32)
    return d - (1 << 32) if d >= 1 << 31 else d


def latency(bursts, leds):
    starts = [int(line.split()[0]) for line in open(bursts)]
    changes = []  # (server ms, mask)
    for line in open(leds):
        recv, server, mask = map(int, line.split())
        changes.append((server if server else recv // 1_000_000, mask))
    latencies = []
    for start in starts:
        s = start // 1_000_000
        before = [m for t, m in changes if after(t, s) < 0]
        if before and before[-1] & 2:
            continue  # still lit from before: not a clean measurement
        lit = [after(t, s) for t, m in changes if after(t, s) >= 0 and m & 2]
        if lit:
            latencies.append(lit[0])
    latencies.sort()
    if not latencies:
        return 'nan nan 0'
    return f'{latencies[len(latencies) // 2]} {latencies[-1]} {len(latencies)}'


COMMANDS = {'verdict': verdict, 'fraction': fraction, 'percent': percent, 'ratio': ratio,
            'median-us': median_us, 'side-by-side': side_by_side, 'latency': latency}

if __name__ == '__main__':
    print(COMMANDS[sys.argv[1]](*sys.argv[2:]))
