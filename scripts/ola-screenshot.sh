#!/bin/bash
# Makes docs/ola-web-page.png: OLA's web page showing universe 1 while
# Sonovar plays the demo song on board 1, bound to it. On a private olad
# (its web page on a free port) and Xvfb display :161; headless chromium.
#   scripts/ola-screenshot.sh [BUILD_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tests/dmx/private_olad.sh"
export OLAD_HTTP_PORT=$((20000 + RANDOM % 30000))
start_olad "$build/tests/dmx/ola-peek" 1 2
work=$OLAD_DIR/show
mkdir "$work"
chmod 777 "$OLAD_DIR" "$work"
cd "$work"
export QUORELCTL_BOARDS=$work/boards.conf
echo "board 1 = universe 1 channel 1 server 127.0.0.1:$OLA_PORT" >"$QUORELCTL_BOARDS"
printf '\x02\x00\x03\x00\x80\x00\x80\x00\x80\x00\xff\xff\x00\x00\x00\x00\x00\x00\xff\xff\x01\x00\x00\x00\x00\x00\xff\xff\x00\x00\x0b\x00Select File' >Sonovar.SET
: >no-devices.conf
Xvfb :161 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
SONOVAR_INPUT_FILE=$build/demo/demo-song.flac PULSE_SERVER=unix:$work/none ALSA_CONFIG_PATH=$work/no-devices.conf \
  DISPLAY=:161 "$build/sonovar/sonovar" START >sonovar.log 2>&1 &
sonovar_pid=$!
trap 'kill $sonovar_pid $xvfb_pid 2>/dev/null || true; wait $sonovar_pid $xvfb_pid 2>/dev/null || true; stop_olad' EXIT
# Into the beat of the song (2-16 s), where the sweep goes on at every buffer,
# once a drum has lit a lamp in full.
sleep 7
for _ in $(seq 100); do
  "$build/tests/dmx/ola-peek" fetch "$OLA_PORT" 1 | tr , '\n' | grep -qE '^2[0-9][0-9]$' && break
  sleep 0.05
done
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$work/chromium" \
  --window-size=1100,760 --virtual-time-budget=2000 --screenshot="$here/docs/ola-web-page.png" \
  "http://127.0.0.1:$OLAD_HTTP_PORT/new/#/universe/1" >/dev/null 2>&1
echo "docs/ola-web-page.png"
