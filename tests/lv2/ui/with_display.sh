#!/usr/bin/env bash
# Runs a test program on a virtual X display of its own, bounded in time:
#   with_display.sh SECONDS PROGRAM [ARGS...]
# Display numbers from 161 up (-a moves on past any taken), apart from the default 99 where the
# other window tests start, so that parallel tests do not race for one number.
set -euo pipefail
command -v xvfb-run >/dev/null 2>&1 || { echo "SKIP: xvfb-run is not installed (apt-get install xvfb)"; exit 77; }
seconds=$1
shift
exec timeout -k 5 "$seconds" xvfb-run -a -n 161 -s "-screen 0 1024x768x24 -noreset" "$@"
