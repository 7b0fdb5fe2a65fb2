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
skip() { echo "gui_soak: $*, skipped"; exit 77; }
[ -n "${DISPLAY:-}" ] || skip "no X display (DISPLAY is unset)"
needs wine
[ -f "$soak" ] || skip "tovi_gui_soak.exe is not built"

ticks=${TOVI_GUI_SOAK_TICKS:-2000}
# Loopback traffic for the whole run, so that ticks light and darken the keys.
traffic=""
if command -v python3 >/dev/null; then
    python3 "$source_dir/tests/common/loopback_traffic.py" --every 30 &
    traffic=$!
fi
trap '[ -z "$traffic" ] || kill "$traffic" 2>/dev/null || true' EXIT
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
if [ -n "$traffic" ] && [ "$lit" = 0 ]; then
    echo "gui_soak: FAIL: no tick saw the loopback traffic" >&2
    exit 1
fi
if [ "$gdi_warm" = 0 ] && [ "$user_warm" = 0 ]; then
    echo "gui_soak: ok: $ticks ticks, windows $windows_warm -> $windows_end (this system keeps no GDI/USER counts)"
else
    echo "gui_soak: ok: $ticks ticks, GDI $gdi_warm -> $gdi_end, USER $user_warm -> $user_end, windows $windows_warm -> $windows_end"
fi
