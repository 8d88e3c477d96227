#!/bin/bash
# Boards bound to DMX universes on a private olad: the C interface against
# the channels read back (dmx_olad_tests), then Sonovar playing the demo song
# on boards 1 and 2, bound to universes 1 and 2.
#   dmx_olad_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/private_olad.sh"
start_olad "$build/tests/dmx/ola-peek" 1 2
export OLA_PORT OLAD_DIR OLAD_SCRIPT=$here/private_olad.sh
# The folder is olad's; the test writes its bindings file there too.
chmod 777 "$OLAD_DIR"

"$build/tests/dmx/dmx_olad_tests"

# The library without its module, as on a machine without OLA: it loads, and
# a bound board is absent with the reason.
mkdir "$OLAD_DIR/bare"
cp -L "$build/quorelctl/libquorelctl.so.0" "$OLAD_DIR/bare/"
echo "board 2 = universe 1 channel 1 server 127.0.0.1:$OLA_PORT" >"$OLAD_DIR/bare/boards.conf"
bare=$(QUORELCTL_BOARDS=$OLAD_DIR/bare/boards.conf LD_LIBRARY_PATH=$OLAD_DIR/bare "$build/tools/quorel/quorel" devices)
[[ $bare == *"board 2 "*"not usable: no OLA support: "*quorelctl-ola.so* ]] || { echo "FAIL: without the module: $bare"; exit 1; }

song=$build/demo/demo-song.flac
sonovar=$build/sonovar/sonovar
if [[ ! -x $sonovar || ! -f $song ]]; then
  echo "dmx_olad: no Sonovar or no demo song in $build: the show part is left out"
  exit 0
fi
work=$OLAD_DIR/show
mkdir "$work"
cd "$work"
export QUORELCTL_BOARDS=$work/boards.conf
printf 'board 1 = universe 1 channel 1 server 127.0.0.1:%s\nboard 2 = universe 2 channel 1 server 127.0.0.1:%s\n' \
  "$OLA_PORT" "$OLA_PORT" >"$QUORELCTL_BOARDS"
detected=$("$build/tools/quorel/quorel" detect | head -1)
[[ $detected == "Detected 1100000000000000" ]] || { echo "FAIL: $detected (board 3 must be absent)"; exit 1; }

# Boards 1 and 2 active, Pulse/Sweep with Delay 2, TURBO, the first input: the
# demo song alone (no sound server, no ALSA device).
printf '\x02\x00\x03\x00\x80\x00\x80\x00\x80\x00\xff\xff\xff\xff\x00\x00\x00\x00\xff\xff\x01\x00\x00\x00\x00\x00\xff\xff\x00\x00\x0b\x00Select File' >Sonovar.SET
: >no-devices.conf
SONOVAR_INPUT_FILE=$song PULSE_SERVER=unix:$work/none ALSA_CONFIG_PATH=$work/no-devices.conf QT_QPA_PLATFORM=offscreen \
  "$sonovar" START >"$work/sonovar.log" 2>&1 &
sonovar_pid=$!
trap 'kill $sonovar_pid 2>/dev/null || true; wait $sonovar_pid 2>/dev/null || true; stop_olad' EXIT
# The beat starts 2 s into the song; 8 s of it give several sweeps.
sleep 2
declare -A frames
for i in $(seq 40); do
  for u in 1 2; do frames[$u,$("$build/tests/dmx/ola-peek" fetch "$OLA_PORT" "$u")]=1; done
  sleep 0.2
done
kill -0 $sonovar_pid || { echo "FAIL: Sonovar ended"; cat "$work/sonovar.log"; exit 1; }
for u in 1 2; do
  distinct=$(printf '%s\n' "${!frames[@]}" | grep -c "^$u,[0-9]" || true)
  lit=$(printf '%s\n' "${!frames[@]}" | grep "^$u," | grep -c '[1-9]' || true)
  echo "universe $u: $distinct different frames in 8 s, $lit with light"
  if ((distinct < 5 || lit < 3)); then echo "FAIL: universe $u does not follow the music"; exit 1; fi
done
echo "dmx_olad: ok"
