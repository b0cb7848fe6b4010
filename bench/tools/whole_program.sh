#!/usr/bin/env bash
# Whole-program timing of the command-line tool: a ten-minute stereo 48 kHz file through the
# four-stage filter, file reading and writing included. Prints the real-time factor and the peak
# resident memory.   usage: bench/tools/whole_program.sh [BUILD_DIR] [MINUTES]
set -euo pipefail
build=${1:-build}
minutes=${2:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bin/make_test_audio" "$work/in.wav" $((minutes * 60)) 48000
seconds=$((minutes * 60))
echo "input: $(du -h "$work/in.wav" | cut -f1), ${seconds} s stereo 48 kHz"

start=$(date +%s.%N)
/usr/bin/time -f '%M' -o "$work/rss" "$build/bin/zentrova" process "$work/in.wav" "$work/out.wav" -q \
  --set 'Formant Filter Type=Four Stage BP' --set 'Envelope Type=Sweep Up' --set 'Trigger Sensitivity=-24' \
  --set 'Dry Output Level=-12'
end=$(date +%s.%N)

elapsed=$(echo "$end - $start" | bc -l)
rss_kib=$(cat "$work/rss")
printf 'elapsed %.2f s, real-time factor %.0fx, peak resident memory %.1f MiB\n' \
  "$elapsed" "$(echo "$seconds / $elapsed" | bc -l)" "$(echo "$rss_kib / 1024" | bc -l)"
