#!/usr/bin/env bash
# The part of jalv_ui.sh that runs inside xvfb-run:   jalv_ui_session.sh BUILD WORK MODE
#   embedded: jalv.gtk3 embeds the editor in its window through suil (ui:parent);
#   shown:    the console jalv shows it in a window of its own (the show interface).
set -euo pipefail
. "$(dirname "$0")/../../support/knob_drag.sh"
build=$1
work=$2
mode=$3
stereo=urn:harrowfield:zentrova:stereo
fail() { echo "FAIL: $*" >&2; [ -f "$work/jalv.out" ] && sed 's/^/  jalv: /' "$work/jalv.out" >&2; exit 1; }

pids=()
# Newest first, each given three seconds to end: jalv leaves JACK while the server still runs (a
# JACK client whose server is gone can hang in jack_client_close), and the server ends cleanly,
# which frees its entry in JACK's registry of servers (eight places, for all users of the machine).
stop() {
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 30); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null || true
}
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop "${pids[i]}"; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# A JACK server of this test case's own, without real-time rights. One name per case keeps parallel
# cases apart, and a server killed by a timeout leaves its registry entry to that name, which the
# case's next run reclaims; a new name per run would use the registry up.
export JACK_DEFAULT_SERVER=zentrova-lv2ui-$(basename "$work")
export JACK_NO_AUDIO_RESERVATION=1
jackd --no-realtime -d dummy -r 48000 -p 256 >"$work/jackd.out" 2>&1 &
pids+=($!)
sleep 1

# Formant Level starts at -40 dB through the host, so the knob (which starts on that control)
# shows the host's value, not the default 0 dB.
if [ "$mode" = embedded ]; then
  stdbuf -oL jalv.gtk3 -c formant_level=-40 "$stereo" >"$work/jalv.out" 2>&1 &
  # The editor: an unnamed child window of the editor's size, somewhere inside jalv's window.
  pattern='\(has no name\): \(\)  700x490\+'
else
  # The console jalv reads commands from its input: it gets one that stays open and says nothing.
  mkfifo "$work/commands"
  stdbuf -oL jalv -s -c formant_level=-40 "$stereo" <"$work/commands" >"$work/jalv.out" 2>&1 &
  exec 3>"$work/commands"
  pattern='"Zentrova": \(\)  700x490\+'
fi
pids+=($!)

editor=""
for _ in $(seq 100); do
  editor=$(xwininfo -root -tree 2>/dev/null | grep -E "$pattern" | head -1 || true)
  [ -n "$editor" ] && break
  kill -0 "${pids[1]}" 2>/dev/null || fail "jalv exited"
  sleep 0.2
done
[ -n "$editor" ] || fail "no 700x490 editor window appeared"
# The host lays its window out after the editor appears: let it settle, then ask where it is.
# "... 700x490+0+0  +X+Y": the last pair is the window's place on the screen.
sleep 1
editor=$(xwininfo -root -tree | grep -E "$pattern" | head -1)
read -r x y < <(sed -E 's/.* \+(-?[0-9]+)\+(-?[0-9]+)$/\1 \2/' <<<"$editor")
echo "editor window at $x,$y"
import -window root "$work/$mode.png"

# The host's -40 dB reached the knob: at the middle of its -80..0 range its blue marker sits at
# the top of the disc (350, 90 from the editor's top left); at the default 0 dB it would not.
# (The console jalv sends a shown UI no input port values, only outputs: nothing to probe there.)
if [ "$mode" = embedded ]; then
  marker=$(convert "$work/$mode.png" -format "%[pixel:p{$((x + 350)),$((y + 90))}]" info:)
  read -r red green blue < <(sed -E 's/[^0-9]+/ /g' <<<"$marker")
  [ "$blue" -gt 200 ] && [ "$red" -lt 100 ] || fail "no knob marker where -40 dB puts it (pixel $marker)"
fi

# Sound through the plug-in, recorded from its output, so the host's use of the port is heard.
jack_metro -n metro -b 600 -f 440 -A 0.5 -D 50 >"$work/metro.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do jack_lsp 2>/dev/null | grep -q '^metro:' && break; sleep 0.1; done
click=$(jack_lsp | grep '^metro:' | head -1)
for input in in_l in_r; do jack_connect "$click" "Zentrova:$input" || fail "cannot connect $click to Zentrova:$input"; done
jack_rec -f "$work/out.wav" -d 6 -b 16 Zentrova:out_l >"$work/rec.out" 2>&1 &
recorder=$!
pids+=($recorder)
sleep 2.5

# Turn the knob (centre 350, 163 from the window's top left) from outside the process: it takes
# its value from the pointer's angle, so a press low on its left sets a low value.
drag_formant_level_down "$x" "$y"
sleep 0.5
import -window root "$work/after_drag.png"
wait "$recorder" || true
[ -s "$work/out.wav" ] || fail "jack_rec recorded nothing: $(cat "$work/rec.out")"

# The output's level before the drag (seconds 0.5-2) and after it (4-6). Before, the host's
# -40 dB holds (at the default 0 dB, had the opening editor reset it, the clicks come out about
# 2000 units strong, 100 times more); the drag takes it to about -71 dB, with the dry signal
# muted, so the output must drop by 20 dB or more.
before=$(rms "$work/out.wav" 0.5 2)
after=$(rms "$work/out.wav" 4 6)
echo "output RMS before the drag: $before, after: $after (16-bit units)"
awk -v b="$before" -v a="$after" 'BEGIN { exit !(b > 5 && b < 200 && a * 10 < b) }' ||
  fail "the drag did not reach the DSP: output RMS $before before, $after after"
echo "PASS: $mode (screenshots in $work)"
