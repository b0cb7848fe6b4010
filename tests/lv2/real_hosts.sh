#!/usr/bin/env bash
# The LV2 plug-in under hosts none of us wrote (lilv-utils, lv2file, sordi), each case a CTest
# test:   real_hosts.sh BUILD_DIR CASE
# A case whose host is not installed is skipped (exit 77) and says which package brings it.
set -euo pipefail
build=$(cd "$1" && pwd)
case_name=$2
work=$build/lv2-test
bundle=$build/Zentrova.lv2
zentrova=$build/bin/zentrova
tool=$build/bin/lv2_audio_tool
stereo=urn:harrowfield:zentrova:stereo
mono=urn:harrowfield:zentrova:mono
stereo_key=urn:harrowfield:zentrova:stereo-key
mono_key=urn:harrowfield:zentrova:mono-key
# A folder holding nothing but the bundle: lilv reads every entry of an LV2_PATH folder.
export LV2_PATH=$work/lv2path

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null 2>&1 || skip "$1 is not installed (apt-get install $2)"; }

# Float32 tolerance: the plug-in and the command-line tool run the same component on the same blocks.
tolerance=1e-6

# lv2file CASE PLUGIN INPUT BLOCK "LV2FILE ARGS" "ZENTROVA --set ARGS...": the plug-in under lv2file
# against `zentrova process` with the same settings and block size.
same_as_zentrova() {
  local name=$1 plugin=$2 input=$3 block=$4 lv2_args=$5
  shift 5
  lv2file -i "$work/$input.wav" -o "$work/$name.lv2.wav" -b "$block" $lv2_args "$plugin" >/dev/null
  local sets=()
  for s in "$@"; do sets+=(--set "$s"); done
  local zentrova_input=$work/$input.wav
  [ "$plugin" = "$mono" ] && zentrova_input=$work/mono.wav
  "$zentrova" process -q --force "$zentrova_input" "$work/$name.zentrova.wav" --block "$block" "${sets[@]}"
  "$tool" compare "$work/$name.lv2.wav" "$work/$name.zentrova.wav" $tolerance
}

case $case_name in
setup)
  rm -rf "$work" && mkdir -p "$work/lv2path"
  ln -s "$bundle" "$work/lv2path/Zentrova.lv2"
  "$zentrova" demo "$work/demo" >/dev/null   # ten seconds of a rhythmic, harmonically rich riff
  cp "$work/demo/input.wav" "$work/stereo.wav"
  "$tool" channel "$work/stereo.wav" "$work/mono.wav" 1
  "$tool" drums "$work/stereo.wav" "$work/key.wav" "$work/four.wav"   # a drum key, and IN beside it
  ;;
validate)
  need lv2_validate lv2-dev
  need sord_validate sordi
  out=$(lv2_validate "$bundle"/*.ttl 2>&1)
  echo "$out" | tail -1
  echo "$out" | grep -q "Found 0 errors" || fail "$out"
  ;;
lv2info)
  need lv2info lilv-utils
  for uri in $mono $stereo; do
    lv2info "$uri" >"$work/info.out" 2>"$work/info.err" || fail "lv2info $uri failed"
    [ ! -s "$work/info.err" ] || fail "lv2info $uri warned: $(cat "$work/info.err")"
    for expected in "Has latency:       no" "Talk-Box Sweep" "Slow Vowel Morph" "Subtle Wah" "Follwer Release Time" \
                    "Author Email:      mailto:" "port-props#logarithmic" \
                    "port-groups#$([ "$uri" = "$mono" ] && echo center || echo right)"; do
      grep -q "$expected" "$work/info.out" || fail "lv2info $uri does not show \"$expected\""
    done
  done
  ;;
lv2info_key)
  # The key ports say what they are; every port of the main signal sits in a group.
  need lv2info lilv-utils
  for uri in $mono_key $stereo_key; do
    lv2info "$uri" >"$work/info.out" 2>"$work/info.err" || fail "lv2info $uri failed"
    [ ! -s "$work/info.err" ] || fail "lv2info $uri warned: $(cat "$work/info.err")"
    symbols=key
    [ "$uri" = "$stereo_key" ] && symbols="key_l key_r"
    for symbol in $symbols; do
      port=$(awk -v s="$symbol" '/^\tPort [0-9]+:/ {block=""} {block=block $0 "\n"} $1=="Symbol:" && $2==s {found=1}
                                 found && /^$/ {print block; exit}' "$work/info.out")
      for property in isSideChain connectionOptional "Group:.*#key"; do
        echo "$port" | grep -q "$property" || fail "lv2info $uri: port $symbol lacks $property"
      done
    done
    for expected in "Group:       $uri#in" "Group:       $uri#out" "Talk-Box Sweep"; do
      grep -q "$expected" "$work/info.out" || fail "lv2info $uri does not show \"$expected\""
    done
  done
  ;;
lv2file_key)
  # Four channels mapped onto in_l, in_r, key_l, key_r: the same bytes as zentrova process --key.
  need lv2file lv2file
  lv2file -i "$work/four.wav" -o "$work/key.lv2.wav" -b 512 -c 1:in_l -c 2:in_r -c 3:key_l -c 4:key_r \
    -p envelope_type:1 -p trigger_sensitivity:-20 -p formant_filter_type:7 -p start_formant:1 -p end_formant:9 \
    -p dry_output_level:-80 $stereo_key >/dev/null
  "$zentrova" process -q --force "$work/stereo.wav" "$work/key.zentrova.wav" --key "$work/key.wav" --block 512 \
    --set "Envelope Type=Sweep Up" --set "Trigger Sensitivity=-20" --set "Formant Filter Type=Four Stage BP" \
    --set "Start Formant=OO" --set "End Formant=A" --set "Dry Output Level=-80"
  "$tool" compare "$work/key.lv2.wav" "$work/key.zentrova.wav" 0
  # And the key was heard: the input as its own key sounds otherwise.
  "$zentrova" process -q --force "$work/stereo.wav" "$work/unkeyed.zentrova.wav" --block 512 \
    --set "Envelope Type=Sweep Up" --set "Trigger Sensitivity=-20" --set "Formant Filter Type=Four Stage BP" \
    --set "Start Formant=OO" --set "End Formant=A" --set "Dry Output Level=-80"
  ! "$tool" compare "$work/key.lv2.wav" "$work/unkeyed.zentrova.wav" 0 >/dev/null || fail "the key made no difference"
  ;;
lv2file_sweep)
  need lv2file lv2file
  same_as_zentrova sweep $stereo stereo 512 \
    "-p envelope_type:1 -p trigger_sensitivity:-24 -p formant_filter_type:7 -p start_formant:1 -p middle_formant:9 -p end_formant:0 -p envelope_attack:60 -p envelope_release:200" \
    "Envelope Type=Sweep Up" "Trigger Sensitivity=-24" "Formant Filter Type=Four Stage BP" "Start Formant=OO" \
    "Middle Formant=A" "End Formant=EE" "Envelope Attack=60" "Envelope Release=200"
  ;;
lv2file_track_mono)
  need lv2file lv2file
  same_as_zentrova track_mono $mono stereo 64 \
    "-c 1:in -p envelope_type:3 -p envelope_shape:0.7 -p dry_output_level:-12 -p formant_resonance:0.8 -p follwer_release_time:40" \
    "Envelope Type=Track" "Envelope Shape=0.7" "Dry Output Level=-12" "Formant Resonance=0.8" "Follwer Release Time=40"
  ;;
lv2file_midi)
  need lv2file lv2file
  same_as_zentrova midi $stereo stereo 1000 \
    "-p envelope_type:4 -p midi_control:0.8 -p formant_filter_type:5 -p formant_filter_drive:0.9" \
    "Envelope Type=MIDI" "MIDI Control=0.8" "Formant Filter Type=Two Stage BP" "Formant Filter Drive=0.9"
  ;;
lv2file_long_blocks)
  # Longer than the plug-in's render slices: one run() becomes several render calls.
  need lv2file lv2file
  same_as_zentrova long_blocks $stereo stereo 10000 \
    "-p envelope_type:2 -p formant_filter_type:3 -p trigger_sensitivity:-30" \
    "Envelope Type=Sweep Down" "Formant Filter Type=Four Stage LP" "Trigger Sensitivity=-30"
  ;;
lv2apply)
  # One frame per run(): for correctness only.
  need lv2apply lilv-utils
  for plugin in $stereo $mono; do
    input=$work/stereo.wav
    [ "$plugin" = "$mono" ] && input=$work/mono.wav
    lv2apply -i "$input" -o "$work/apply.lv2.wav" -c envelope_type 1 -c end_formant 9 -c formant_filter_type 6 "$plugin"
    "$zentrova" process -q --force "$input" "$work/apply.zentrova.wav" --block 1 \
      --set "Envelope Type=Sweep Up" --set "End Formant=A" --set "Formant Filter Type=Three Stage BP"
    "$tool" compare "$work/apply.lv2.wav" "$work/apply.zentrova.wav" $tolerance
  done
  ;;
installed)
  # `make install`'s layout in a folder of its own: hosts read it without a complaint, and it
  # sounds as the build does.
  need lv2file lv2file
  need lv2info lilv-utils
  "$(dirname "$0")/../../scripts/install-lv2" "$build" "$work/installed" >/dev/null
  LV2_PATH=$work/installed lv2info $stereo >/dev/null 2>"$work/installed.err"
  [ ! -s "$work/installed.err" ] || fail "lv2info on the installed bundle: $(cat "$work/installed.err")"
  LV2_PATH=$work/installed lv2file -i "$work/stereo.wav" -o "$work/installed.wav" -p envelope_type:1 -p end_formant:9 $stereo >/dev/null
  lv2file -i "$work/stereo.wav" -o "$work/built.wav" -p envelope_type:1 -p end_formant:9 $stereo >/dev/null
  "$tool" compare "$work/installed.wav" "$work/built.wav" 0
  ;;
lv2bench)
  need lv2bench lilv-utils
  for plugin in $mono $stereo; do
    line=$(lv2bench -n 96000 -b 256 "$plugin")
    echo "$line"
    echo "$line" | grep -q "^[0-9.]* $plugin\$" || fail "lv2bench did not run $plugin"
  done
  ;;
*) fail "unknown case $case_name" ;;
esac
