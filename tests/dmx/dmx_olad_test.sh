#!/bin/bash
# Boards bound to DMX universes on a private olad: the C interface against
# the channels read back (dmx_olad_tests), then Sonovar playing the demo song
# on boards 1 and 2, bound to universes 1 and 2.
#   dmx_olad_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/private_olad.sh"
# Under LeakSanitizer: what libola itself loses (see lsan.supp).
export LSAN_OPTIONS=${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$here/lsan.supp
. "$here/sonovar_show.sh"
start_olad "$build/tests/dmx/ola-peek" 1 2
export OLA_PORT OLAD_DIR OLAD_SCRIPT=$here/private_olad.sh
# The folder is olad's; the test writes its bindings file there too.
chmod 777 "$OLAD_DIR"

"$build/tests/dmx/dmx_olad_tests"

# The library without its module, as on a machine without OLA: it loads, and
# a bound board is absent with the reason.
mkdir "$OLAD_DIR/bare"
cp -L "$build"/quorelctl/libquorelctl.so.[0-9] "$OLAD_DIR/bare/"
echo "board 2 = universe 1 channel 1 server 127.0.0.1:$OLA_PORT" >"$OLAD_DIR/bare/boards.conf"
bare=$(QUORELCTL_BOARDS=$OLAD_DIR/bare/boards.conf LD_LIBRARY_PATH=$OLAD_DIR/bare "$build/tools/quorel/quorel" devices)
[[ $bare == *"board 2 "*"not usable: no OLA support: "*quorelctl-ola.so* ]] || { echo "FAIL: without the module: $bare"; exit 1; }

song=$build/demo/demo-song.flac
sonovar=$build/sonovar/sonovar
if [[ ! -x $sonovar || ! -f $song ]]; then
  echo "dmx_olad: no Sonovar or no demo song in $build: the show part is left out"
  exit 0
fi
start_show "$build" "$(printf '1 1 1\n2 2 1')" offscreen
detected=$("$build/tools/quorel/quorel" detect | head -1)
[[ $detected == "Detected 1100000000000000" ]] || { echo "FAIL: $detected (board 3 must be absent)"; exit 1; }
# The beat starts 2 s into the song; 8 s of it give several sweeps.
sleep 2
declare -A frames
for i in $(seq 40); do
  for u in 1 2; do frames[$u,$("$build/tests/dmx/ola-peek" fetch "$OLA_PORT" "$u")]=1; done
  sleep 0.2
done
kill -0 $SHOW_PID || { echo "FAIL: Sonovar ended"; cat sonovar.log; exit 1; }
for u in 1 2; do
  distinct=$(printf '%s\n' "${!frames[@]}" | grep -c "^$u,[0-9]" || true)
  lit=$(printf '%s\n' "${!frames[@]}" | grep "^$u," | grep -c '[1-9]' || true)
  echo "universe $u: $distinct different frames in 8 s, $lit with light"
  if ((distinct < 5 || lit < 3)); then echo "FAIL: universe $u does not follow the music"; exit 1; fi
done
echo "dmx_olad: ok"
