#!/usr/bin/env bash
# CPU cost of the Zentrova LV2 plug-in beside the envelope filters and auto-wahs Debian ships, all
# under one host (lv2file) on the same real 60-second stereo input, in interleaved rounds.
#   usage: bench/lv2/peers.sh [BUILD_DIR] [ROUNDS]
# Prints a Markdown table: CPU seconds (user + system) per second of audio, median of the rounds,
# and the same minus a plain gain plug-in run through the same host (reading, converting and
# writing the files is the host's cost, not the plug-in's).
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
rounds=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/lv2path"
ln -s "$build/Zentrova.lv2" "$work/lv2path/Zentrova.lv2"
ln -s "$build/bench-lv2/gain.lv2" "$work/lv2path/gain.lv2"
export LV2_PATH=$work/lv2path:/usr/lib/lv2

# Plucked saw notes with noise bursts, 48 kHz stereo: every note moves the envelopes (silence
# would flatter every envelope filter).
seconds=60
"$build/bin/make_test_audio" "$work/in.wav" $seconds 48000 >/dev/null

stereo_calf="-c 1:in_l -c 2:in_r -c 1:sidechain -c 2:sidechain2"
# name | plug-in | lv2file options
plugins=(
  "gain (baseline)|urn:harrowfield:bench:gain|"
  "Zentrova stereo, 4-stage BP, Sweep Up|urn:harrowfield:zentrova:stereo|-p formant_filter_type:7 -p envelope_type:1 -p trigger_sensitivity:-24"
  "Zentrova stereo, 4-stage BP, Track|urn:harrowfield:zentrova:stereo|-p formant_filter_type:7 -p envelope_type:3"
  "Zentrova stereo, 1-stage LP, Sweep Up|urn:harrowfield:zentrova:stereo|-p formant_filter_type:0 -p envelope_type:1 -p trigger_sensitivity:-24"
  "Calf Envelope Filter (stereo)|http://calf.sourceforge.net/plugins/EnvelopeFilter|$stereo_calf"
  "MDA RezFilter (stereo)|http://drobilla.net/plugins/mda/RezFilter|"
  "guitarix GxWahwah, auto (mono, one per channel)|http://guitarix.sourceforge.net/plugins/gx_colwah_#_colwah_|-p MODE:1"
  "MDA TalkBox (stereo)|http://drobilla.net/plugins/mda/TalkBox|"
)

for ((round = 1; round <= rounds; round++)); do
  for i in "${!plugins[@]}"; do
    IFS='|' read -r name uri options <<<"${plugins[$i]}"
    # shellcheck disable=SC2086
    /usr/bin/time -f '%U %S' -o "$work/time" \
      lv2file -i "$work/in.wav" -o "$work/out.wav" -b 512 --ignore-clipping $options "$uri" >/dev/null 2>"$work/err" ||
      { echo "lv2file failed for $name: $(cat "$work/err")" >&2; exit 1; }
    echo "$i $(cat "$work/time")" >>"$work/times"
  done
done

python3 - "$work/times" "$seconds" "${plugins[@]}" <<'PY'
import statistics, sys
times_file, seconds, plugins = sys.argv[1], float(sys.argv[2]), sys.argv[3:]
cpu = {}
for line in open(times_file):
    i, user, system = line.split()
    cpu.setdefault(int(i), []).append(float(user) + float(system))
median = {i: statistics.median(v) / seconds for i, v in cpu.items()}
base = median[0]
print(f"| Plug-in (lv2file, 60 s stereo 48 kHz, 512-frame blocks, median of {len(cpu[0])}) | CPU s per s of audio | minus gain | times real time, net |")
print("|---|---|---|---|")
for i, row in enumerate(plugins):
    name = row.split("|")[0]
    net = median[i] - base
    speed = f"{1 / net:.0f}x" if net > 0 else "-"
    print(f"| {name} | {median[i]:.5f} | {net if i else 0:.5f} | {speed if i else '-'} |")
PY
