# Sourced by check.sh when the VM was made with --figures: measurements for
# the record, one "figure ..." line each. Emulated, so informative only.
# Uses check.sh's helpers and `tovi` (the pid of the user's tovi --no-window).

hz=$(getconf CLK_TCK)
# cpu_ticks PID: user and system time so far, in clock ticks.
cpu_ticks() {
    local stat
    read -r stat <"/proc/$1/stat" || return 1
    set -- ${stat##*) }
    echo $((${12} + ${13}))
}
# cgroup_usec UNIT: CPU time of everything the unit ran, in microseconds.
cgroup_usec() {
    local group key value
    group=$(systemctl show -p ControlGroup --value "$1")
    [ -n "$group" ] && [ -r "/sys/fs/cgroup$group/cpu.stat" ] || { echo 0; return; }
    while read -r key value; do [ "$key" = usage_usec ] && echo "$value"; done <"/sys/fs/cgroup$group/cpu.stat"
}
percent() { printf '%d.%02d' $(($1 / 100)) $(($1 % 100)); }  # hundredths of a percent

units=$(dpkg -L tovi | sed -n 's|^/usr/lib/systemd/system/\([^/@]*\.service\)$|\1|p')
services=$(grep -vx tovi.service <<<"$units")

# --- Exposure of each unit ------------------------------------------------------
for unit in $units; do
    line=$(systemd-analyze security --no-pager "$unit" 2>&1 | tail -n 1)
    echo "figure systemd-analyze security $unit: ${line#*: }"
done

# --- CPU at 25 ms with no traffic: through the service, then direct ----------------
window=15
idle_cpu() {  # idle_cpu PID LABEL: tovi's share of one core, and the services'
    local before after t0 t1 s0=0 s1=0 unit
    before=$(cpu_ticks "$1") || { echo "figure CPU $2: tovi is not running"; return; }
    for unit in $services; do s0=$((s0 + $(cgroup_usec "$unit"))); done
    t0=${EPOCHREALTIME/./}
    nap $window
    after=$(cpu_ticks "$1")
    for unit in $services; do s1=$((s1 + $(cgroup_usec "$unit"))); done
    t1=${EPOCHREALTIME/./}
    local tovi_pct=$(((after - before) * 1000000 / hz * 10000 / (t1 - t0)))
    local service_pct=$(((s1 - s0) * 10000 / (t1 - t0)))
    echo "figure CPU $2 at 25 ms, no traffic, ${window} s: tovi $(percent $tovi_pct)%," \
        "lock-key service $(percent $service_pct)%, together $(percent $((tovi_pct + service_pct)))% of one core"
}
idle_cpu "$tovi" "through the service (the user's session)"

# --- A toggle's round trip through the service, asked by the user's session ----
kill -TERM "$tovi" 2>/dev/null
if [ -x /usr/local/lib/tovi-vm/tovi_lock_round_trip ]; then
    : >"$dir/round-trip-go"
    for _ in $(seq 1 60); do [ -e "$dir/round-trip-done" ] && break; nap 1; done
    echo "figure toggle round trip through the service (user in the active session): $(cat "$dir/round-trip" 2>&1)"
else
    echo "figure toggle round trip: not measured, no tovi_lock_round_trip in this build"
fi

env -i PATH=/usr/bin:/bin TOVI_KEYBOARD=uinput XDG_CONFIG_HOME=/home/$user/.config \
    tovi --no-window >"$dir/direct.log" 2>&1 &
direct=$!
nap 5
idle_cpu "$direct" "direct uinput backend (root)"
# The same lights as a known-good backend sees them: a check of the watch itself.
start_traffic
lit_with_traffic && echo "figure direct uinput backend lit Caps and Scroll Lock with traffic ($LIT_SHARE)" ||
    echo "figure direct uinput backend did not light the keys (lights: $LEDS): $(head -c 300 "$dir/direct.log")"
stop_traffic
kill $direct 2>/dev/null
wait $direct 2>/dev/null
