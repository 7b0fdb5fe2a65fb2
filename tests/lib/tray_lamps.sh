# Sourced by the tray-lamp tests: what the icon docked at `icon` shows, read
# with tests/common/tray_lamps.py, and the traffic that lights its lamps over
# the pair of scripts/veth-pair (`peer`; the sender joins `pids`).
lamps_py=$source/tests/common/tray_lamps.py

# The icon's picture once two captures 0.3 s apart agree (a tray repaints
# in steps).
settled_picture() {
    local previous="" current
    for _ in $(seq 1 20); do
        sleep 0.3
        current=$(python3 "$lamps_py" picture "$icon")
        [ "$current" = "$previous" ] && break
        previous=$current
    done
    echo "$current"
}
# note_plain: keeps the icon's plain picture, for expect_plain_again.
note_plain() {
    plain=$(settled_picture)
    python3 "$lamps_py" show "$icon" >"$work/plain.txt"
}
# expect_plain_again: fails unless the icon shows the kept plain picture
# once more.
expect_plain_again() {
    settled_picture >/dev/null
    python3 "$lamps_py" like "$icon" "$plain" ||
        fail "the icon is not the plain picture again:"$'\n'"$(python3 "$lamps_py" show "$icon")"$'\n'"but was:"$'\n'"$(cat "$work/plain.txt")"
}
lit_lamps() { python3 "$lamps_py" lamps "$icon"; }
# wait_lamps PATTERN SECONDS: polls the docked icon until its lamps match.
wait_lamps() {
    local deadline=$((SECONDS + $2))
    until [[ $(lit_lamps) =~ $1 ]]; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.1
    done
}
# traffic SECONDS: datagrams both ways over the pair, in the background.
traffic() {
    python3 "$source/tests/common/udp_traffic.py" --to "$peer" --every 5 --for "$1" &
    pids+=($!)
}
