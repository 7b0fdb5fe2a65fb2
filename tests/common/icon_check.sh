#!/usr/bin/env bash
# Checks the checked-in program icon pixel by pixel with an independent decoder.
set -euo pipefail
source "$(dirname "$0")/../lib/setup.sh"
needs python3
exec python3 "$source/tests/common/icon_check.py" "$source/resources/tovi.ico"
