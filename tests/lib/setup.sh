# The opening that every script test shares. Sourced first, after the
# script's `set -euo pipefail`:
#
#   source "$(dirname "$0")/../lib/setup.sh" linux    (or win32, or nothing)
#
# On another platform than the one named the test ends as skipped (77). Sets
#   name    the test's name (its file's, without .sh), that messages begin with
#   build   the build folder (TOVI_BUILD, which must be set)
#   source  the source tree (TOVI_SOURCE, or found from the script's place)
#   tovi    the program in that build
# and points LeakSanitizer at the suppressions for third-party leaks unless
# LSAN_OPTIONS is set already. Defines
#   built FILE...     the test fails unless each program is built
#   needs COMMAND...  the test is skipped unless each command is there
#   skip WHY          ends the test as skipped
#   fail WHAT         ends the test as failed, with the program's own output
#                     ($work/tovi.log) when the test kept one
# Nothing here starts a process or makes a file.

[ -z "${1:-}" ] || [ "${TOVI_PLATFORM:-$1}" = "$1" ] || exit 77
name=$(basename "$0" .sh)
build=${TOVI_BUILD:?TOVI_BUILD names the build folder}
source=${TOVI_SOURCE:-$(cd "$(dirname "$0")/../.." && pwd)}
tovi=$build/bin/tovi
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$source/tests/lsan.supp:print_suppressions=0}

built() {
    local file
    for file; do
        [ -x "$file" ] || fail "$file is not built"
    done
}

needs() {
    local command
    for command; do
        command -v "$command" >/dev/null || skip "$command is missing"
    done
}

skip() { echo "$name: $*, skipped"; exit 77; }

fail() {
    echo "$name: FAIL: $*" >&2
    [ ! -s "${work:-}/tovi.log" ] || { echo "--- the program said:" >&2; cat "$work/tovi.log" >&2; }
    exit 1
}
