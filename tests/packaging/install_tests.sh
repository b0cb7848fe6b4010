#!/usr/bin/env bash
# What a Linux user does with Zentrova beyond the build folder, each case a CTest test:
#   install_tests.sh SOURCE_DIR BUILD_DIR VERSION CASE
# Scratch files live in BUILD_DIR/packaging-test. "The build folder renamed away" is a private
# mount namespace in which an empty tmpfs covers BUILD_DIR, so nothing the build holds can be
# reached, while the other tests, which run at the same time, still see it.
set -euo pipefail
source_dir=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
version=$3
case_name=$4
work=$build/packaging-test
zentrova=$build/bin/zentrova
tool=$build/bin/lv2_audio_tool
stereo=urn:harrowfield:zentrova:stereo

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null 2>&1 || skip "$1 is not installed (apt-get install $2)"; }

# without_build DIR COMMAND...: runs COMMAND with DIR (which lies in the build folder) seen at
# another path, given as $MOVED, and the build folder itself empty.
without_build() {
  local dir=$1
  shift
  local prefix=(unshare --mount --propagation private)
  [ "$(id -u)" -eq 0 ] || prefix=(unshare --user --map-root-user --mount --propagation private)
  "${prefix[@]}" true 2>/dev/null || skip "no private mount namespace here (unshare)"
  local moved
  moved=$(mktemp -d /tmp/zentrova-moved.XXXXXX)
  local status=0
  "${prefix[@]}" env MOVED="$moved" bash -c '
    set -euo pipefail
    mount --bind "$1" "$MOVED"
    mount -t tmpfs tmpfs "$2"
    [ -z "$(ls -A "$2")" ] || { echo "the build folder is still visible" >&2; exit 1; }
    shift 2
    "$@"' bash "$dir" "$build" "$@" || status=$?
  rmdir "$moved"
  return $status
}

# The reference render: the build's own tool, on the setup input, with these settings.
settings=(--set "Envelope Type=Sweep Up" --set "End Formant=A" --set "Formant Filter Type=Four Stage BP")
lv2_settings=(-p envelope_type:1 -p end_formant:9 -p formant_filter_type:7)

case $case_name in
setup)
  rm -rf "$work" && mkdir -p "$work"
  "$zentrova" demo -q "$work/demo" >/dev/null
  cp "$work/demo/input.wav" "$work/in.wav"
  "$zentrova" process -q --block 512 "$work/in.wav" "$work/reference.wav" "${settings[@]}"
  ;;
bundle_copy)
  # The build's LV2 bundle copied anywhere loads and sounds as the tool does.
  need lv2file lv2file
  dir=$work/bundle_copy
  rm -rf "$dir" && mkdir -p "$dir/lv2"
  cp -r "$build/Zentrova.lv2" "$dir/lv2/"
  cp "$work/in.wav" "$dir/"
  without_build "$dir" bash -c 'LV2_PATH=$MOVED/lv2 lv2file -b 512 -i "$MOVED/in.wav" -o "$MOVED/out.wav" "$@" '"$stereo"' \
                                  >"$MOVED/lv2file.log" 2>&1' bash "${lv2_settings[@]}" ||
    fail "lv2file on the copied bundle: $(cat "$dir/lv2file.log")"
  "$tool" compare "$dir/out.wav" "$work/reference.wav" 1e-6
  ;;
install_tree)
  # make install into a staging folder: its tools work with the build folder gone, and
  # make uninstall takes every file away again.
  dir=$work/install_tree
  rm -rf "$dir" && mkdir -p "$dir"
  make -s -C "$source_dir" install BUILD="$build" DESTDIR="$dir/root" PREFIX=/usr >/dev/null
  cp "$work/in.wav" "$dir/"
  for expected in bin/zentrova bin/zentrova-editor lib/audio-components/Zentrova.component/Contents/Info.plist \
                  lib/lv2/Zentrova.lv2/manifest.ttl share/man/man1/zentrova.1.gz share/man/man1/zentrova-editor.1.gz \
                  share/bash-completion/completions/zentrova share/applications/zentrova-editor.desktop \
                  share/icons/hicolor/scalable/apps/zentrova.svg; do
    [ -e "$dir/root/usr/$expected" ] || fail "make install did not install $expected"
  done
  desktop-file-validate "$dir/root/usr/share/applications/zentrova-editor.desktop"
  # AUDIO_COMPONENT_PATH is unset: the installed tools must find their own component.
  without_build "$dir" env -u AUDIO_COMPONENT_PATH bash -c '
    set -e
    "$MOVED/root/usr/bin/zentrova" process -q --block 512 "$MOVED/in.wav" "$MOVED/out.wav" "$@"
    "$MOVED/root/usr/bin/zentrova-editor" --snapshot "$MOVED/editor.png" --seconds 0.05 >/dev/null 2>&1' \
    bash "${settings[@]}" || fail "the installed tools did not run without the build folder"
  "$tool" compare "$dir/out.wav" "$work/reference.wav" 0
  [ -s "$dir/editor.png" ] || fail "the installed editor drew nothing"
  if [ -d "$build/python/zentrova" ]; then
    # The installed Python package finds the component inside itself.
    without_build "$dir" env -u AUDIO_COMPONENT_PATH -u PYTHONPATH bash -c '
      cd "$MOVED" && PYTHONPATH=$(echo "$MOVED"/root/usr/lib/python3*/dist-packages) /usr/bin/python3 -c "
import soundfile, zentrova
audio, rate = soundfile.read(\"in.wav\", dtype=\"float32\", always_2d=True)
out = zentrova.process(audio.T, rate, envelope_type=\"Sweep Up\", end_formant=\"A\", formant_filter_type=\"Four Stage BP\")
soundfile.write(\"py.wav\", out.T, rate, subtype=\"FLOAT\")"' || fail "the installed Python package did not run"
    "$tool" compare "$dir/py.wav" "$work/reference.wav" 1e-6
  fi
  make -s -C "$source_dir" uninstall BUILD="$build" DESTDIR="$dir/root" PREFIX=/usr >/dev/null
  left=$(find "$dir/root" -type f -o -type l)
  [ -z "$left" ] || fail "make uninstall left: $left"
  ;;
deb)
  need dpkg-deb dpkg
  need dpkg-shlibdeps dpkg-dev
  need lintian lintian
  dir=$work/deb
  rm -rf "$dir" && mkdir -p "$dir"
  make -s -C "$source_dir" deb BUILD="$build" >/dev/null
  package=$build/packaging/zentrova_${version}_$(dpkg --print-architecture).deb
  [ -f "$package" ] || fail "make deb did not write $package"
  dpkg-deb -c "$package" | awk '{ print $6 }' >"$dir/contents"
  for expected in ./usr/bin/zentrova ./usr/bin/zentrova-editor ./usr/lib/zentrova/libauplatform.so \
                  ./usr/lib/audio-components/Zentrova.component/Contents/x86_64-linux/Zentrova.so \
                  ./usr/lib/lv2/Zentrova.lv2/zentrova_lv2.so ./usr/lib/lv2/Zentrova.lv2/Zentrova.component/Contents/Info.plist \
                  ./usr/share/man/man1/zentrova.1.gz ./usr/share/doc/zentrova/copyright ./usr/share/doc/zentrova/changelog.gz \
                  ./usr/share/bash-completion/completions/zentrova-editor ./usr/share/applications/zentrova-editor.desktop; do
    grep -qx -- "$expected" "$dir/contents" || fail "the package lacks $expected"
  done
  if [ -d "$build/python/zentrova" ]; then
    grep -qx ./usr/lib/python3/dist-packages/zentrova/__init__.py "$dir/contents" || fail "the package lacks the Python module"
  fi
  ! grep -v '^\./usr/' "$dir/contents" | grep -qv '^\./$' || fail "the package installs outside /usr"
  [ "$(dpkg-deb -f "$package" Version)" = "$version" ] || fail "the package's version is not $version"
  dpkg-deb -f "$package" Depends | grep -q libsndfile1 || fail "Depends lacks the shared libraries"
  lintian --no-tag-display-limit "$package" >"$dir/lintian.log" 2>&1 || true
  cat "$dir/lintian.log"
  ! grep -q '^E:' "$dir/lintian.log" || fail "lintian reports errors"
  dpkg -x "$package" "$dir/root"
  cp "$work/in.wav" "$dir/"
  without_build "$dir" env -u AUDIO_COMPONENT_PATH bash -c \
    '"$MOVED/root/usr/bin/zentrova" process -q --block 512 "$MOVED/in.wav" "$MOVED/out.wav" "$@"' bash "${settings[@]}" ||
    fail "the unpacked package's zentrova did not run"
  "$tool" compare "$dir/out.wav" "$work/reference.wav" 0
  ;;
pip)
  # `pip install .` into a virtual environment that takes numpy from Debian, with no index at all:
  # the installed module renders as the tool does.
  [ -d "$build/python/zentrova" ] || skip "the build has no Python module"
  /usr/bin/python3 -c 'import venv, ensurepip' 2>/dev/null || skip "no venv module (apt-get install python3-venv)"
  dir=$work/pip
  rm -rf "$dir" && mkdir -p "$dir"
  /usr/bin/python3 -m venv --system-site-packages "$dir/venv"
  (cd "$source_dir" && ZENTROVA_BUILD=$build "$dir/venv/bin/pip" install --no-index --no-cache-dir -q .) ||
    fail "pip install . did not install"
  (cd "$work" && env -u PYTHONPATH -u AUDIO_COMPONENT_PATH "$dir/venv/bin/python" -c "
import soundfile, zentrova
assert zentrova.__file__.startswith('$dir/venv/'), zentrova.__file__
audio, rate = soundfile.read('in.wav', dtype='float32', always_2d=True)
out = zentrova.process(audio.T, rate, envelope_type='Sweep Up', end_formant='A', formant_filter_type='Four Stage BP')
soundfile.write('$dir/py.wav', out.T, rate, subtype='FLOAT')") || fail "the pip-installed module did not run"
  "$tool" compare "$dir/py.wav" "$work/reference.wav" 1e-6
  ;;
man)
  need mandoc mandoc
  need man man-db
  for page in zentrova zentrova-editor; do
    file=$build/share/man/man1/$page.1
    lint=$(mandoc -T lint -W warning "$file" 2>&1) || true
    [ -z "$lint" ] || fail "mandoc -T lint on $page.1: $lint"
    lint=$(groff -ww -z -mandoc "$file" 2>&1) || true
    [ -z "$lint" ] || fail "groff -ww on $page.1: $lint"
    text=$(MANWIDTH=100 man -l "$file" 2>&1)
    # The generated parameter list is there, with a menu's items.
    for expected in "EXIT STATUS" "Envelope Attack" "Four Stage BP" "Sweep Down"; do
      grep -qF "$expected" <<<"$text" || fail "man -l $page.1 does not show \"$expected\""
    done
  done
  grep -qF -- "--format" <<<"$(MANWIDTH=100 man -l "$build/share/man/man1/zentrova.1")" || fail "zentrova.1 lacks --format"
  ;;
completion)
  script=$build/share/bash-completion/completions/zentrova
  # complete LINE: what the completion offers with the cursor at the end of LINE, one a line.
  complete_line() {
    bash -c 'source "$1"; COMP_LINE=$2; COMP_POINT=${#COMP_LINE}; read -ra COMP_WORDS <<<"$COMP_LINE"
             [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
             COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=()
             ${3:-_zentrova} 2>/dev/null; printf "%s\n" "${COMPREPLY[@]}"' bash "$script" "$1" "${2:-}"
  }
  check() {  # LINE EXPECTED [FUNCTION]
    local got
    got=$(complete_line "$1" "${3:-}")
    [ "$got" = "$2" ] || fail "completing [$1]: got [$got], expected [$2]"
  }
  check "zentrova pr" $'process\npreset'
  check "zentrova process --set 'Envelope Type=Sw" $'Envelope Type=Sweep Up\nEnvelope Type=Sweep Down'
  check "zentrova process --set Start\\ Formant=O" $'OO\nOW'
  check "zentrova process --set 'Formant Filter T" 'Formant Filter Type='
  check "zentrova process --bits 3" '32f'
  check "zentrova preset s" $'save\nshow'
  check "zentrova-editor --set 'End Formant=E" $'End Formant=EE\nEnd Formant=ER\nEnd Formant=E' _zentrova_editor
  ;;
pipes)
  need sox sox
  dir=$work/pipes
  rm -rf "$dir" && mkdir -p "$dir"
  in=$work/in.wav
  # The chain from the documentation, against the same render through files (of what sox makes of
  # the input: it converts float samples through 32-bit integers).
  sox "$in" "$dir/sox_in.wav"
  "$zentrova" process -q "$dir/sox_in.wav" "$dir/file.flac" "${settings[@]}"
  sox "$in" -t wav - | "$zentrova" process - - --format flac "${settings[@]}" 2>"$dir/summary" |
    sox -t flac - "$dir/piped.flac"
  [ "${PIPESTATUS[*]}" = "0 0 0" ] || fail "the sox | zentrova | sox chain failed: ${PIPESTATUS[*]}"
  grep -q "peak in" "$dir/summary" || fail "the summary did not go to standard error"
  "$tool" compare "$dir/piped.flac" "$dir/file.flac" 0
  # A WAV to a pipe carries sox's streaming sizes, and reads back whole through another pipe.
  for bits in 16 32f; do
    "$zentrova" process -q "$in" - --bits $bits "${settings[@]}" >"$dir/stream$bits.wav"
    [ "$(od -An -tx1 -j40 -N4 "$dir/stream$bits.wav" | tr -d ' ')" = "00f0ff7f" ] ||
      [ "$(od -An -tx1 -j54 -N4 "$dir/stream$bits.wav" | tr -d ' ')" = "00f0ff7f" ] ||
      fail "the $bits-bit WAV on a pipe lacks the streaming data size"
    "$zentrova" process -q "$in" "$dir/file$bits.wav" --bits $bits "${settings[@]}"
    "$zentrova" process -q - "$dir/round$bits.wav" --set "Dry Output Level=0" --set "Formant Level=-80" \
      <"$dir/stream$bits.wav"
    cat "$dir/stream$bits.wav" | "$zentrova" process -q - "$dir/piped$bits.wav" --set "Dry Output Level=0" \
      --set "Formant Level=-80"
    # Dry only (the formant level's floor is silence): the samples pass unchanged.
    "$tool" compare "$dir/piped$bits.wav" "$dir/file$bits.wav" 0 || fail "the $bits-bit WAV changed through a pipe"
    "$tool" compare "$dir/round$bits.wav" "$dir/file$bits.wav" 0 || fail "the $bits-bit WAV changed through a redirect"
  done
  # FLAC cannot come from a pipe (libsndfile's reader seeks): refused with the way round it,
  # which works.
  if cat "$dir/file.flac" | "$zentrova" process -q - "$dir/x.wav" 2>"$dir/flac.err"; then
    fail "FLAC from a pipe was accepted"
  fi
  grep -q "redirect" "$dir/flac.err" || fail "the FLAC refusal does not say what to do: $(cat "$dir/flac.err")"
  "$zentrova" process -q - "$dir/redirected.wav" --bits 32f <"$dir/file.flac"
  "$zentrova" process -q "$dir/file.flac" "$dir/direct.wav" --bits 32f
  "$tool" compare "$dir/redirected.wav" "$dir/direct.wav" 0
  # A reader that goes away early: the failure is reported (128 + SIGPIPE), not a success.
  set +o pipefail
  "$zentrova" process -q "$in" - "${settings[@]}" 2>/dev/null | head -c 1000 >/dev/null
  status=${PIPESTATUS[0]}
  set -o pipefail
  [ "$status" -eq 141 ] || fail "a closed pipe gave exit status $status, not 141"
  # Refusals come before anything is written.
  for args in "$in - --format au" "$in $dir/x.wav --format flac" "-o $dir -"; do
    if "$zentrova" process -q $args >"$dir/refused.out" 2>"$dir/refused.err"; then fail "process $args succeeded"; fi
    [ ! -s "$dir/refused.out" ] || fail "process $args wrote to standard output"
  done
  ;;
version)
  [ "$("$zentrova" --version)" = "zentrova $version" ] || fail "zentrova --version: $("$zentrova" --version)"
  [ "$("$build/bin/zentrova-editor" --version)" = "zentrova-editor $version" ] || fail "zentrova-editor --version"
  grep -A1 CFBundleVersion "$build/Zentrova.component/Contents/Info.plist" | grep -q "<string>$version</string>" ||
    fail "Info.plist does not carry $version"
  ;;
*) fail "unknown case $case_name" ;;
esac
