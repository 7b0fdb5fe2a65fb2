#!/usr/bin/env bash
# tovi in a Wayland session: sway, headless, as an unprivileged user (it
# refuses root), with Qt's Wayland platform plugin. The settings window must
# show, and the keyboard's trouble must be told once on stderr and in a
# message box over the window, with the fix: here neither the lock-key
# service nor /dev/uinput is there, and outside X11 those are the ways to
# the lock keys.
set -euo pipefail

[ "${TOVI_PLATFORM:-linux}" = linux ] || exit 77
build=${TOVI_BUILD:?TOVI_BUILD names the build folder}
source=${TOVI_SOURCE:-$(cd "$(dirname "$0")/../.." && pwd)}
[ -x "$build/bin/tovi" ] || { echo "wayland_window: $build/bin/tovi is not built" >&2; exit 1; }
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$source/tests/lsan.supp:print_suppressions=0}
for need in sway swaymsg setpriv; do
    command -v "$need" >/dev/null || { echo "wayland_window: $need is missing, skipped"; exit 77; }
done
ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1 ||
    { echo "wayland_window: Qt's Wayland plugin (qt6-wayland) is missing, skipped"; exit 77; }

source "$source/scripts/scratch"
# The user's files live in a folder of theirs inside the scratch folder; it
# must be able to pass through (not read) the scratch folder itself.
chmod 711 "$work"
mkdir -p "$work/user"
# as_user is a command prefix, not a function, so that a program started in
# the background is the child whose pid $! gives. Its programs get SIGTERM
# when this script ends, however it ends.
as_user=(setpriv --pdeathsig TERM)
if [ "$(id -u)" -eq 0 ]; then
    as_user+=(--reuid=65534 --regid=65534 --clear-groups)  # nobody: any unprivileged account will do
    chown 65534:65534 "$work/user"
fi
runtime=$work/user/runtime
"${as_user[@]}" mkdir -m 700 "$runtime" "$work/user/home"
# A copy the user can run wherever the build folder lives (/root is closed).
cp "$build/bin/tovi" "$work/tovi"
chmod 755 "$work/tovi"
printf 'xwayland disable\n' >"$work/sway.conf"
chmod 644 "$work/sway.conf"

session=(env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$work/user/home" XDG_RUNTIME_DIR="$runtime"
    ${LSAN_OPTIONS:+LSAN_OPTIONS="$LSAN_OPTIONS"} ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"})
"${as_user[@]}" "${session[@]}" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
pids+=($!)
socket="" ipc=""
for _ in $(seq 1 100); do
    socket=$(cd "$runtime" && ls wayland-? 2>/dev/null | head -n 1 || true)
    ipc=$(ls "$runtime"/sway-ipc.*.sock 2>/dev/null | head -n 1 || true)
    [ -n "$socket" ] && [ -n "$ipc" ] && break
    sleep 0.1
done
if [ -z "$socket" ] || [ -z "$ipc" ]; then
    echo "wayland_window: sway did not start, skipped" >&2
    tail -n 5 "$work/sway.log" >&2
    exit 77
fi

"${as_user[@]}" "${session[@]}" WAYLAND_DISPLAY="$socket" QT_QPA_PLATFORM=wayland XDG_CONFIG_HOME="$work/user/home/config" \
    "$work/tovi" >"$work/out" 2>"$work/err" &
tovi=$!
pids+=($tovi)
tree() { "${as_user[@]}" env -i XDG_RUNTIME_DIR="$runtime" SWAYSOCK="$ipc" swaymsg -t get_tree 2>/dev/null || true; }
status=0
shown=no boxed=no
for _ in $(seq 1 100); do
    t=$(tree)
    grep -q '"name": "Tovi - Lampfeld v1.10"' <<<"$t" && shown=yes
    grep -q '"name": "Tovi"' <<<"$t" && boxed=yes
    [ "$shown$boxed" = yesyes ] && break
    kill -0 "$tovi" 2>/dev/null || break
    sleep 0.1
done
if [ "$shown" != yes ]; then
    echo "wayland_window: FAIL: the settings window is not in sway's tree" >&2
    cat "$work/err" >&2
    status=1
fi
if [ "$boxed" != yes ]; then
    echo "wayland_window: FAIL: no message box about the lock keys" >&2
    status=1
fi
notices=$(grep -c '^tovi: The lock keys cannot be switched' "$work/err" || true)
if [ "$notices" -ne 1 ] || ! grep -q "^tovi: The lock keys cannot be switched.*\(Install Tovi's package\|Start the lock-key service\)" "$work/err"; then
    echo "wayland_window: FAIL: stderr told the keyboard's trouble $notices times, or without the fix:" >&2
    cat "$work/err" >&2
    status=1
fi
kill "$tovi" 2>/dev/null || true
rc=0
for _ in $(seq 1 50); do kill -0 "$tovi" 2>/dev/null || break; sleep 0.1; done
wait "$tovi" || rc=$?
if [ "$rc" -ne 0 ]; then
    echo "wayland_window: FAIL: SIGTERM ended tovi with status $rc" >&2
    status=1
fi
[ "$status" -ne 0 ] || echo "wayland_window: ok: window and message box shown in sway, the fix told once on stderr, status 0"
exit $status
