# Sourced by the end-to-end scripts: waiting on tovi's settings window.

title="Tovi - Lampfeld v1.10"
window_visible() { xdotool search --onlyvisible --name "^${title}\$" >/dev/null 2>&1; }

# wait_for CONDITION SECONDS: true once CONDITION (evaluated) holds, false
# when SECONDS pass first.
wait_for() {
    local deadline=$((SECONDS + $2))
    until eval "$1"; do
        [ $SECONDS -lt $deadline ] || return 1
        sleep 0.05
    done
}
