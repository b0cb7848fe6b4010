#!/usr/bin/env bash
# Runs a test program on a virtual X display of its own, bounded in time:
#   with_display.sh SECONDS PROGRAM [ARGS...]
set -euo pipefail
command -v xvfb-run >/dev/null 2>&1 || { echo "SKIP: xvfb-run is not installed (apt-get install xvfb)"; exit 77; }
seconds=$1
shift
exec timeout -k 5 "$seconds" xvfb-run -a -s "-screen 0 1024x768x24 -noreset" "$@"
