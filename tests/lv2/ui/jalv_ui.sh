#!/usr/bin/env bash
# The editor inside a host none of us wrote: jalv.gtk3 embeds the X11 UI through suil, and the
# console jalv shows it through the show interface, against a JACK dummy server, on a virtual X
# display that this script starts.
#   jalv_ui.sh BUILD_DIR CASE      CASE: validate | embedded | shown | installed
# (installed: embedded, from a copy that `make install` put together, with nothing of the build)
# A missing host skips (exit 77) naming its package. Every process it starts is killed on exit.
set -euo pipefail
build=$(cd "$1" && pwd)
case_name=$2
work=$build/lv2ui-test/$case_name
stereo=urn:harrowfield:zentrova:stereo

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null 2>&1 || skip "$1 is not installed (apt-get install $2)"; }

rm -rf "$work" && mkdir -p "$work/lv2path"
if [ "$case_name" = installed ]; then
  "$(dirname "$0")/../../../scripts/install-lv2" "$build" "$work/lv2path" >/dev/null
else
  ln -s "$build/Zentrova.lv2" "$work/lv2path/Zentrova.lv2"
fi
export LV2_PATH=$work/lv2path
# The editor's colour preferences go to a folder of the test's own.
export XDG_CONFIG_HOME=$work/config

case $case_name in
validate)
  need lv2_validate sordi
  # The whole bundle, UI included, against the LV2 specifications' schemas.
  out=$(lv2_validate "$build"/Zentrova.lv2/*.ttl 2>&1)
  grep -q "Found 0 errors" <<<"$out" || fail "$out"
  grep -q 'a ui:X11UI' "$build/Zentrova.lv2/manifest.ttl" || fail "no X11 UI declared"
  # The UI's object exports its entry and nothing else, so two UIs in a host never collide.
  exported=$(nm -D --defined-only "$build/Zentrova.lv2/zentrova_lv2_ui.so" | awk '$2 ~ /[TDBVW]/ {print $3}')
  [ "$exported" = lv2ui_descriptor ] || fail "the UI exports: $exported"
  ;;

embedded|shown|installed)
  need jalv.gtk3 jalv
  need jackd jackd2
  need xvfb-run xvfb
  need xdotool xdotool
  need xwininfo x11-utils
  need import imagemagick
  # The rest runs on a display of its own; `timeout` bounds it whatever happens inside.
  # Display numbers of their own (from 171 up, -a moves on past any taken): two xvfb-run -a that
  # start together from the default 99 can pick the same number, and one then has no display.
  declare -A first_display=([embedded]=171 [shown]=181 [installed]=191)
  exec timeout -k 5 90 xvfb-run -a -n "${first_display[$case_name]}" -s "-screen 0 1024x768x24 -noreset" \
    "$(dirname "$0")/jalv_ui_session.sh" "$build" "$work" "${case_name/installed/embedded}"
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "PASS: $case_name"
