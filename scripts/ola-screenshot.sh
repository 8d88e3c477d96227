#!/bin/bash
# Makes docs/ola-web-page.png: OLA's web page showing universe 1 while
# Sonovar plays the demo song on board 1, bound to it. On a private olad
# (its web page on a free port) and Xvfb display :161; headless chromium.
#   scripts/ola-screenshot.sh [BUILD_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tests/dmx/private_olad.sh"
. "$here/tests/dmx/sonovar_show.sh"
export OLAD_HTTP_PORT=$((20000 + RANDOM % 30000))
start_olad "$build/tests/dmx/ola-peek" 1 2
start_show "$build" "1 1 1" :161
# Into the beat of the song (2-16 s), where the sweep goes on at every buffer,
# once a drum has lit a lamp in full.
sleep 7
for _ in $(seq 100); do
  "$build/tests/dmx/ola-peek" fetch "$OLA_PORT" 1 | tr , '\n' | grep -qE '^2[0-9][0-9]$' && break
  sleep 0.05
done
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$OLAD_DIR/show/chromium" \
  --window-size=1100,760 --virtual-time-budget=2000 --screenshot="$here/docs/ola-web-page.png" \
  "http://127.0.0.1:$OLAD_HTTP_PORT/new/#/universe/1" >/dev/null 2>&1
echo "docs/ola-web-page.png"
