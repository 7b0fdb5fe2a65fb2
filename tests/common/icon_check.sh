#!/usr/bin/env bash
# Checks the checked-in program icon pixel by pixel with an independent decoder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=${TOVI_SOURCE:-$(cd "$here/../.." && pwd)}
command -v python3 >/dev/null || { echo "icon_check: no python3" >&2; exit 77; }
exec python3 "$here/icon_check.py" "$source_dir/resources/tovi.ico"
