#!/usr/bin/env bash
# Auto level against a turned-down output (run by with_pulse_server.sh: a
# private sound server with a null sink): music played at 40 % of the sink's
# software volume reaches the monitor at about a fortieth of its level. With
# auto level the lamps change about as often as with the music at full
# volume; without it they stay mostly dark, as before auto level.
set -uo pipefail
sim=$(realpath "$1")
sonovar=$(realpath "$2")
settings_tool=$(realpath "$3")
command -v sox >/dev/null && command -v paplay >/dev/null || { echo "sox or paplay missing: skipped"; exit 77; }
work=$(mktemp -d)
player=
cleanup() {
  [[ -z $player ]] || { kill "$player" 2>/dev/null; wait "$player" 2>/dev/null; }
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1
# Loud bars and quiet half-bars: noise under a 2 Hz swell, peaking at full scale.
sox -q -n -r 44100 -c 2 track.wav synth 8 pinknoise tremolo 2 90 gain -n -0.5
(while :; do paplay -d "$SONOVAR_TEST_SINK" track.wav || exit; done) &
player=$!
sleep 1

# Board 1's buffers under Pulse: the share in which its lamps change and the
# share in which all are dark, over the last 5 s of 13 s of the show without
# a window (auto level rises over seconds: about 6 s for the 24 dB that 40 %
# of the volume takes away).
shares() {  # volume auto-level
  pactl set-sink-volume "$SONOVAR_TEST_SINK" "$1%"
  rm -f Sonovar.SET log
  "$settings_tool" Sonovar.SET Decay=3 CyanBias=128 YellowBias=128 RedBias=128 Board1Active=1 Turbo=1 \
    NonTurboDelay=1 InputDevice=0 Effect1Selected=1 "Name=Select File" "AutoLevel=$2"
  env -u SONOVAR_INPUT_FILE "$sim" --boards 1 --view none --log log -- \
    timeout -s TERM 13 "$sonovar" --no-window > out 2>&1
  # Four profile reports a buffer (state reports begin with 40).
  awk '$2 == 1 && $4 != "40" { g = g " " substr($0, index($0, " 1 ") + 3); if (++r % 4 == 0) { print g; g = "" } }' log |
    awk 'NR > 340 { n++; if ($0 != last) changed++; dark += ($0 !~ /[1-9a-f]/); } { last = $0 }
      END { if (n == 0) { print "0 100 0"; exit } printf "%d %d %d\n", 100 * changed / n, 100 * dark / n, n }'
}
read -r loud_changed loud_dark loud_n < <(shares 100 0)
read -r off_changed off_dark off_n < <(shares 40 0)
read -r on_changed on_dark on_n < <(shares 40 1)
echo "lamps change / all dark, % of buffers: full volume $loud_changed / $loud_dark ($loud_n buffers);" \
  "40 % without auto level $off_changed / $off_dark ($off_n); 40 % with auto level $on_changed / $on_dark ($on_n)"
failures=0
((loud_n > 150 && on_n > 150)) || { echo "FAIL: too few buffers reached board 1"; failures=1; }
((on_changed * 10 >= loud_changed * 7)) || { echo "FAIL: with auto level the lamps change in $on_changed %"; failures=1; }
((on_dark <= loud_dark + 10)) || { echo "FAIL: with auto level the lamps are dark in $on_dark %"; failures=1; }
exit $failures
