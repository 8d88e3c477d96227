#!/usr/bin/env bash
# Without a display (none named, or one that cannot be reached) Sonovar says
# so and how to run without one, and ends with status 1, not a toolkit abort.
sonovar=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
for display in "" ":93"; do
  env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display" timeout 30 "$sonovar" HIDE START > out 2>&1
  status=$?
  if [[ $status != 1 ]] || ! grep -q "^sonovar: no display.*sonovar --no-window" out; then
    echo "FAIL: DISPLAY='$display': status $status: $(cat out)"
    exit 1
  fi
done
[[ ! -e Sonovar.SET ]] || { echo "FAIL: the settings file was touched"; exit 1; }
echo "no display: ok"
