#!/usr/bin/env bash
# How the batch mode scales: the same files rendered by `zentrova process -o` with one worker and
# with one per core (four-stage band-pass, Sweep Up), wall-clock time of each and their ratio.
#   usage: bench/tools/batch_scaling.sh [BUILD_DIR] [FILES] [SECONDS_EACH]
set -euo pipefail
build=${1:-build}
files=${2:-8}
seconds=${3:-60}
cores=$(nproc)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

inputs=()
for i in $(seq 1 "$files"); do
  "$build/bin/make_test_audio" "$work/in-$i.wav" "$seconds" 48000
  inputs+=("$work/in-$i.wav")
done
echo "$files files of ${seconds} s stereo 48 kHz, $cores cores"

run() {  # jobs -> elapsed seconds
  rm -rf "$work/out"
  local start end
  start=$(date +%s.%N)
  "$build/bin/zentrova" process -o "$work/out" --jobs "$1" -q \
    --set 'Formant Filter Type=Four Stage BP' --set 'Envelope Type=Sweep Up' --set 'Trigger Sensitivity=-24' \
    "${inputs[@]}"
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

one=$(run 1)
all=$(run "$cores")
printf '1 worker: %.2f s; %d workers: %.2f s; speed-up %.2fx (ideal %d)\n' "$one" "$cores" "$all" \
  "$(echo "$one / $all" | bc -l)" "$cores"
