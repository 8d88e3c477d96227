#!/usr/bin/env bash
# Without a display, Sonovar says so and how to run without one, and ends
# with status 1 instead of a toolkit abort.
set -uo pipefail
sonovar=$1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
# No display at all, and one that is named but cannot be reached.
for display in "" ":93"; do
  env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display" timeout 30 "$sonovar" HIDE START > out 2>&1
  status=$?
  [[ $status == 1 ]] || fail "DISPLAY='$display': status $status: $(cat out)"
  grep -q "^sonovar: no display" out || fail "DISPLAY='$display': no plain message: $(cat out)"
  grep -q "QT_QPA_PLATFORM=offscreen sonovar START" out || fail "DISPLAY='$display': no advice: $(cat out)"
done
[[ ! -e Sonovar.SET ]] || fail "the settings file was touched"
((failures == 0)) && echo "no display: ok"
exit $((failures > 0))
