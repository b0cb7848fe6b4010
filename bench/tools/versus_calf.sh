#!/usr/bin/env bash
# The whole command-line run of Four Stage BP + Sweep Up against Calf's Envelope Filter under
# lv2file at its heaviest setting (36 dB/oct low-pass: three biquads per channel, the slowest
# of its thirteen modes here), on the same 60-second stereo 48 kHz file, file reading and
# writing included. The two run alternately, ROUNDS times each, with the order swapped every
# round, so both see the same share of a busy machine; each run's CPU time (user + system, from
# `perf stat`, or from /usr/bin/time without perf) is recorded, and the medians compared.
#
# usage: bench/tools/versus_calf.sh [BUILD_DIR] [ROUNDS]
# ZENTROVA_SIMD (scalar, sse2, avx2, avx512) selects the ladders' instruction set as usual.
set -euo pipefail
build=${1:-build}
rounds=${2:-9}
calf=http://calf.sourceforge.net/plugins/EnvelopeFilter
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

command -v lv2file >/dev/null || { echo "versus_calf: lv2file is not installed" >&2; exit 1; }
lv2info "$calf" >/dev/null 2>&1 || { echo "versus_calf: Calf's Envelope Filter ($calf) is not installed" >&2; exit 1; }

"$build/bin/make_test_audio" "$work/in.wav" 60 48000

# CPU seconds of one command.
cpu_seconds() {
  if command -v perf >/dev/null && perf stat -x, -e task-clock -o "$work/stat" true 2>/dev/null; then
    perf stat -x, -e task-clock -o "$work/stat" "$@" >/dev/null 2>&1
    awk -F, '/task-clock/ { printf "%.4f\n", $1 / 1000 }' "$work/stat"
  else
    /usr/bin/time -f '%U %S' -o "$work/time" "$@" >/dev/null 2>&1
    awk '{ printf "%.4f\n", $1 + $2 }' "$work/time"
  fi
}

zentrova() {
  cpu_seconds "$build/bin/zentrova" process "$work/in.wav" "$work/zentrova.wav" -q --force \
    --set 'Formant Filter Type=Four Stage BP' --set 'Envelope Type=Sweep Up' --set 'Trigger Sensitivity=-24' \
    --set 'Dry Output Level=-12'
}
calf() {
  cpu_seconds lv2file -i "$work/in.wav" -o "$work/calf.wav" -c 1:in_l -c 2:in_r -c 1:sidechain -c 2:sidechain2 \
    -p mode:2 -p res:32 -p attack:1 -p release:10 --ignore-clipping "$calf"
}

for ((i = 0; i < rounds; ++i)); do
  if ((i % 2 == 0)); then
    zentrova >>"$work/z"
    calf >>"$work/c"
  else
    calf >>"$work/c"
    zentrova >>"$work/z"
  fi
done

median() { sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
z=$(median "$work/z")
c=$(median "$work/c")
echo "60 s stereo 48 kHz, $rounds interleaved rounds, median CPU seconds per run:"
printf '  zentrova process, Four Stage BP + Sweep Up: %.3f s (%s)\n' "$z" "${ZENTROVA_SIMD:-widest instruction set}"
printf '  lv2file + Calf Envelope Filter, 36 dB/oct:  %.3f s\n' "$c"
printf '  ratio: %.2fx\n' "$(echo "$z / $c" | bc -l)"
