#!/usr/bin/env bash
# `zentrova-editor --live` on a virtual display and a dummy JACK server of this test's own: a
# click track goes in through --connect, the output is recorded, and a knob turned with xdotool
# in the editor's window is heard in the recording.
#   editor_live.sh BUILD_DIR
set -euo pipefail
. "$(dirname "$0")/../../support/knob_drag.sh"
build=$(cd "$1" && pwd)
work=$build/tests-scratch/live/editor_live
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; [ -f "$work/editor.err" ] && sed 's/^/  editor: /' "$work/editor.err" >&2; exit 1; }
for tool in xvfb-run xdotool xwininfo jackd jack_metro jack_rec jack_lsp; do
  command -v $tool >/dev/null 2>&1 || skip "$tool is not installed (scripts/install-deps)"
done

if [ -z "${EDITOR_LIVE_ON_DISPLAY:-}" ]; then
  rm -rf "$work" && mkdir -p "$work"
  # Display numbers from 181 up, apart from the other window tests' ranges.
  EDITOR_LIVE_ON_DISPLAY=1 exec timeout -k 5 100 xvfb-run -a -n 181 -s "-screen 0 1024x768x24 -noreset" "$0" "$@"
fi

pids=()
stop() {
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 30); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null || true
}
# Newest first: the clients leave while the server still runs, then the server ends cleanly and
# frees its entry in JACK's registry of servers.
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop "${pids[i]}"; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

export JACK_DEFAULT_SERVER=zl-editor-live-$(printf '%s' "$build" | cksum | cut -d' ' -f1)
export JACK_NO_AUDIO_RESERVATION=1 ZENTROVA_SCALE=1 XDG_CONFIG_HOME=$work/config
jackd --no-realtime -d dummy -r 48000 -p 256 >"$work/jackd.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done

jack_metro -n metro -b 600 -f 440 -A 0.5 -D 50 >"$work/metro.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do jack_lsp 2>/dev/null | grep -q '^metro:' && break; sleep 0.1; done
click=$(jack_lsp | grep '^metro:' | head -1)
[ -n "$click" ] || fail "jack_metro did not start"

# Formant Level at -40 dB (its knob at mid-travel), the dry signal muted by default.
"$build/bin/zentrova-editor" --live --name zl --connect "in_1=$click" --connect "in_2=$click" \
  --set "Formant Level=-40" >/dev/null 2>"$work/editor.err" &
editor_pid=$!
pids+=($editor_pid)
window=""
for _ in $(seq 100); do
  window=$(xwininfo -root -tree 2>/dev/null | grep -E '"Zentrova \(zl\)": \(\)  700x490\+' | head -1 || true)
  [ -n "$window" ] && break
  kill -0 "$editor_pid" 2>/dev/null || fail "zentrova-editor --live exited"
  sleep 0.2
done
[ -n "$window" ] || fail "no 700x490 editor window appeared"
read -r x y < <(sed -E 's/.* \+(-?[0-9]+)\+(-?[0-9]+)$/\1 \2/' <<<"$window")

jack_rec -f "$work/out.wav" -d 6 -b 16 zl:out_1 >"$work/rec.out" 2>&1 &
recorder=$!
pids+=($recorder)
sleep 2.5

# Formant Level's knob (centre 350, 163 from the window's top left) takes its value from the
# pointer's angle: a press low on its left and a drag further down sets a low value.
drag_formant_level_down "$x" "$y"
wait "$recorder" || true
[ -s "$work/out.wav" ] || fail "jack_rec recorded nothing: $(cat "$work/rec.out")"

# The output's level before the drag (seconds 0.5-2) and after it (4-6): the click through the
# formant filter at -40 dB, then at about -71 dB, at least 20 dB lower.
before=$(rms "$work/out.wav" 0.5 2)
after=$(rms "$work/out.wav" 4 6)
echo "output RMS before the drag: $before, after: $after (16-bit units)"
awk -v b="$before" -v a="$after" 'BEGIN { exit !(b > 5 && a * 10 < b) }' ||
  fail "the knob was not heard: output RMS $before before the drag, $after after"

# SIGTERM ends it cleanly: exit status 0, its ports gone from the server, xruns reported.
kill -TERM "$editor_pid"
status=0
wait "$editor_pid" || status=$?
[ "$status" = 0 ] || fail "zentrova-editor --live ended with status $status on SIGTERM"
grep -q 'xrun' "$work/editor.err" || fail "no xrun count at exit"
if jack_lsp 2>/dev/null | grep -q '^zl:'; then fail "its ports outlived it"; fi
echo "PASS"
