#!/usr/bin/env bash
# The part of jalv_ui.sh embedded that runs inside xvfb-run:   jalv_ui_session.sh BUILD WORK
set -euo pipefail
build=$1
work=$2
stereo=urn:harrowfield:zentrova:stereo
fail() { echo "FAIL: $*" >&2; [ -f "$work/jalv.out" ] && sed 's/^/  jalv: /' "$work/jalv.out" >&2; exit 1; }

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT

# A JACK server of this test's own (its name keeps parallel tests apart), without real-time rights.
export JACK_DEFAULT_SERVER=zentrova-ui-$$
export JACK_NO_AUDIO_RESERVATION=1
jackd --no-realtime -d dummy -r 48000 -p 256 >"$work/jackd.out" 2>&1 &
pids+=($!)
sleep 1

# Formant Level starts at -40 dB through the host, so the knob (which starts on that control)
# shows the host's value, not the default 0 dB.
jalv.gtk3 --print-controls -c formant_level=-40 "$stereo" >"$work/jalv.out" 2>&1 &
pids+=($!)

# The editor: an unnamed child window of the editor's size, somewhere inside jalv's window.
editor=""
for _ in $(seq 100); do
  editor=$(xwininfo -root -tree 2>/dev/null | grep -E '\(has no name\): \(\)  700x490\+' | head -1 || true)
  [ -n "$editor" ] && break
  kill -0 "${pids[1]}" 2>/dev/null || fail "jalv exited"
  sleep 0.2
done
[ -n "$editor" ] || fail "no 700x490 editor window appeared in the host's window"
# "... 700x490+0+0  +X+Y": the last pair is the window's place on the screen.
read -r x y < <(sed -E 's/.* \+(-?[0-9]+)\+(-?[0-9]+)$/\1 \2/' <<<"$editor")
sleep 1
import -window root "$work/embedded.png"

# Drag the knob (points 260..440 x 73..253 from the top) downwards, from outside the process.
kx=$((x + 350)); ky=$((y + 163))
xdotool mousemove "$kx" "$ky" mousedown 1
for step in $(seq 1 10); do xdotool mousemove "$kx" $((ky + 4 * step)); sleep 0.05; done
xdotool mouseup 1
sleep 1
import -window root "$work/after_drag.png"

# jalv prints "formant_level = V" as the UI writes it: the last one must lie below -40.
grep -E '^formant_level = ' "$work/jalv.out" >"$work/formant_level.txt" || fail "jalv reported no formant_level change"
last=$(tail -1 "$work/formant_level.txt" | awk '{print $3}')
awk -v v="$last" 'BEGIN { exit !(v < -40.5 && v >= -80) }' || fail "formant_level after the drag is $last, not below -40"
echo "formant_level after the drag: $last"
