# Sourced by the window tests that turn the editor's knob and listen for it.

# Presses Formant Level's knob (centre 350, 163 from the window's top left, at X Y) low on its
# left and drags further down: the knob takes its value from the pointer's angle, a low one.
drag_formant_level_down() {  # X Y of the editor window
  local kx=$(($1 + 300)) ky=$(($2 + 213)) step
  xdotool mousemove "$kx" "$ky" mousedown 1
  for step in $(seq 1 10); do xdotool mousemove $((kx - 2 * step)) $((ky - 3 * step)); sleep 0.05; done
  xdotool mouseup 1
}

# The RMS of 16-bit mono at 48 kHz after the 44-byte header, between two times in seconds.
rms() {  # FILE FROM_SECOND TO_SECOND
  od -An -v -t d2 -j 44 "$1" | tr -s ' ' '\n' | awk -v a="$2" -v b="$3" \
    'NF { i++; t = i / 48000; if (t >= a && t < b) { s += $1 * $1; n++ } } END { printf "%.3f\n", n ? sqrt(s / n) : 0 }'
}
