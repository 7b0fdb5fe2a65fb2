#!/usr/bin/env bash
# tovi.exe's window through many LED ticks under wine (tovi_gui_soak): its
# GDI and USER object counts (GetGuiResources) and its number of windows must
# not grow after warm-up. Wine keeps no GDI and USER counts (it answers 0 for
# both), so there only the windows are judged; on Windows all three are.
#
# Under wine on this machine class a tick takes about 15 ms (its 32-bit half
# runs under qemu), so the test runs TOVI_GUI_SOAK_TICKS ticks (default 2000,
# about half a minute); 10000 is the full soak, for a manual run.
set -euo pipefail

source "$(dirname "$0")/../lib/setup.sh" win32
source_dir=$source
soak=$build/bin/tovi_gui_soak.exe
needs wine Xvfb python3
[ -f "$soak" ] || skip "tovi_gui_soak.exe is not built"

ticks=${TOVI_GUI_SOAK_TICKS:-2000}
# Traffic for the whole run, so that ticks light and darken the keys, over a
# veth pair in a private network namespace; where none can be made, the
# ticks run without traffic.
source "$source/tests/lib/private_net.sh" --x --optional
if [ $private = yes ]; then
    python3 "$source_dir/tests/common/udp_traffic.py" --to "$peer" --every 30 &
    pids+=($!)
fi
status=0
out=$(TOVI_BUILD=$build "$source_dir/cmake/wine-run" "$soak" "$ticks" 2>&1) || status=$?
echo "$out"
read -r _ done _ lit _ gdi_warm gdi_end _ user_warm user_end _ windows_warm windows_end <<<"$(grep '^ticks ' <<<"$out" || true)"
case $status in
    0) ;;
    1) echo "gui_soak: FAIL: GUI objects grew after warm-up" >&2; exit 1 ;;
    *) echo "gui_soak: FAIL: the soak did not run (status $status)" >&2; exit 1 ;;
esac
[ "${done:-0}" = "$ticks" ] || { echo "gui_soak: FAIL: only ${done:-0} of $ticks ticks ran" >&2; exit 1; }
if [ "$private" = yes ] && [ "$lit" = 0 ]; then
    echo "gui_soak: FAIL: no tick saw the traffic" >&2
    exit 1
fi
if [ "$gdi_warm" = 0 ] && [ "$user_warm" = 0 ]; then
    echo "gui_soak: ok: $ticks ticks, windows $windows_warm -> $windows_end (this system keeps no GDI/USER counts)"
else
    echo "gui_soak: ok: $ticks ticks, GDI $gdi_warm -> $gdi_end, USER $user_warm -> $user_end, windows $windows_warm -> $windows_end"
fi
