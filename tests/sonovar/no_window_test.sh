#!/usr/bin/env bash
# sonovar --no-window: with no board, no input or no settings file it says
# why on standard error and ends with status 1, touching nothing; otherwise
# it plays until SIGTERM or SIGINT (status 0) and saves nothing.
set -uo pipefail
sim=$(realpath "$1")
sonovar=$(realpath "$2")
settings_tool=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
: > no-devices.conf
no_sound=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u SONOVAR_INPUT_FILE
  PULSE_SERVER=unix:$work/no-server ALSA_CONFIG_PATH=$work/no-devices.conf)
expect() {  # status, message, command...
  local want=$1 message=$2
  shift 2
  timeout 20 "$@" > out 2>&1
  local status=$?
  ((status == want)) || fail "status $status, not $want: $(cat out)"
  grep -qF -- "$message" out || fail "no \"$message\" in: $(cat out)"
}

mkdir empty-sysfs
expect 1 "sonovar: No Supported Quorel or Quorel+KX Detected" \
  "${no_sound[@]}" QUOREL_SYSFS_ROOT="$work/empty-sysfs" "$sonovar" --no-window
expect 1 "sonovar: No audio devices were found on your system." \
  "${no_sound[@]}" "$sim" --boards 1 --view none -- "$sonovar" --no-window
sox -q -n -r 11025 -c 2 -b 8 -e unsigned-integer tone.wav synth 2 sine 440 vol 0.8
expect 1 "sonovar: no Sonovar.SET in this folder" \
  "${no_sound[@]}" SONOVAR_INPUT_FILE="$work/tone.wav" "$sim" --boards 1 --view none -- "$sonovar" --no-window
[[ ! -e Sonovar.SET ]] || fail "a settings file was created"

# Without a light offset, and with one, which the line then mentions.
for signal in TERM INT; do
  offset=0
  [[ $signal == INT ]] && offset=120
  "$settings_tool" Sonovar.SET Decay=3 CyanBias=128 YellowBias=128 RedBias=128 Board1Active=1 Turbo=1 \
    NonTurboDelay=1 InputDevice=0 Effect2Selected=1 "Name=Select File" "LightOffset=$offset"
  cp Sonovar.SET before.SET
  "${no_sound[@]}" SONOVAR_INPUT_FILE="$work/tone.wav" "$sim" --boards 1 --view none --log log -- \
    bash -c 'echo $$ > pid; exec "$@"' _ "$sonovar" --no-window > out 2>&1 &
  run=$!
  sleep 1.5
  kill -"$signal" "$(cat pid)"
  wait "$run"
  status=$?
  ((status == 0)) || fail "SIG$signal: status $status: $(cat out)"
  grep -q '^sonovar: playing File: tone.wav on board 1 with Pulse/Sweep' out || fail "SIG$signal: $(cat out)"
  if ((offset != 0)); then
    grep -q "Pulse/Sweep, light offset $offset ms; Ctrl+C" out || fail "SIG$signal: no offset in $(cat out)"
  else
    grep -q "light offset" out && fail "SIG$signal: an offset of 0 mentioned: $(cat out)"
  fi
  reports=$(awk '$2 == 1' log | wc -l)
  ((reports > 40)) || fail "SIG$signal: only $reports reports"
  cmp -s Sonovar.SET before.SET || fail "SIG$signal: the settings file changed"
done
((failures == 0)) && echo "no window: ok"
exit $((failures > 0))
