#!/usr/bin/env bash
# tovi.exe's window on a system without IP Helper: wine is told not to load
# iphlpapi.dll, so the table function cannot be called at all. The window
# must run on through its ticks (tovi_gui_soak, 200 ticks) with no message
# box (one would hold the ticks until the time-out here) and with totals that
# never grow, although traffic flows the whole time (over a veth pair in a
# private network namespace, where one can be made).
set -euo pipefail

source "$(dirname "$0")/../lib/setup.sh" win32
source_dir=$source
soak=$build/bin/tovi_gui_soak.exe
needs wine Xvfb python3
[ -f "$soak" ] || skip "tovi_gui_soak.exe is not built"

# Where no private network namespace can be made, the ticks run without
# traffic.
source "$source/tests/lib/private_net.sh" --x --optional
if [ $private = yes ]; then
    python3 "$source_dir/tests/common/udp_traffic.py" --to "$peer" --every 10 &
    pids+=($!)
fi

status=0
out=$(WINEDLLOVERRIDES="mscoree,mshtml=;iphlpapi=d" TOVI_BUILD=$build \
    timeout 240 "$source_dir/cmake/wine-run" "$soak" 200 2>&1) || status=$?
echo "$out"
[ "$status" -ne 124 ] || { echo "table_missing: FAIL: the ticks stopped (a message box?)" >&2; exit 1; }
[ "$status" -eq 0 ] || { echo "table_missing: FAIL: status $status" >&2; exit 1; }
read -r _ done _ lit _ <<<"$(grep '^ticks ' <<<"$out" || true)"
[ "${done:-0}" = 200 ] || { echo "table_missing: FAIL: only ${done:-0} of 200 ticks ran" >&2; exit 1; }
[ "${lit:-1}" = 0 ] || { echo "table_missing: FAIL: totals grew on $lit ticks without IP Helper" >&2; exit 1; }
echo "table_missing: ok: 200 ticks without IP Helper, no message, totals stayed 0"
