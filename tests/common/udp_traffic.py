#!/usr/bin/env python3
"""Network traffic for the tests and benchmarks.

Sends a 64-byte UDP datagram to port 9 of the far end of the veth pair that
scripts/veth-pair makes (its `peer`, 10.200.0.2 by default) at a steady
pace. Nobody listens there, so the ICMP "port unreachable" answer counts
too; both raise the near end's received and sent byte counters.

    udp_traffic.py [--to ADDRESS] [--every MS] [--for SECONDS] [--times FILE]

  --to ADDRESS     where to send (127.0.0.1 makes loopback traffic, which
                   the Linux table counts as nothing)
  --every MS       milliseconds between datagrams (default 5)
  --for SECONDS    how long to send; without it, until killed
  --times FILE     when done, appends "START STOP" to FILE: the monotonic
                   clock (CLOCK_MONOTONIC, nanoseconds) at the first datagram
                   and after the last, for matching against other traces

Run it in the background and kill it when it has no --for; it needs no
cleanup of its own.
"""
import argparse
import socket
import time


def main():
    parser = argparse.ArgumentParser(description="UDP datagrams at a steady pace")
    parser.add_argument("--to", default="10.200.0.2", metavar="ADDRESS")
    parser.add_argument("--every", type=float, default=5.0, metavar="MS")
    parser.add_argument("--for", dest="seconds", type=float, metavar="SECONDS")
    parser.add_argument("--times", metavar="FILE")
    args = parser.parse_args()
    if args.every < 0 or (args.seconds is not None and args.seconds < 0):
        parser.error("--every and --for take amounts of zero or more")

    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    pause = args.every / 1000
    length_ns = None if args.seconds is None else int(args.seconds * 1e9)
    start = time.monotonic_ns()
    while length_ns is None or time.monotonic_ns() - start < length_ns:
        s.sendto(b"tovi" * 16, (args.to, 9))
        time.sleep(pause)
    stop = time.monotonic_ns()
    if args.times:
        with open(args.times, "a") as f:
            f.write(f"{start} {stop}\n")


if __name__ == "__main__":
    main()
