#!/usr/bin/env bash
# The main job on a built tree (scripts/run.sh builds it first):
#   - one of boards 1-4 connected: Sonovar alone, in the folder it was
#     started from (its settings file lies there);
#   - no board, a display: four virtual boards in their lamp window, and
#     Sonovar beside them with the demo song added as an input: click the
#     boards, choose an effect, choose the demo song and press Start;
#   - no board, no display (or --headless): Sonovar without a window
#     (--no-window), playing the demo song at once on four virtual boards with
#     Pulse/Sweep, the lamps drawn in this terminal, until Ctrl-C.
# Usage: scripts/main-job.sh [--headless] [--log FILE] [SONOVAR WORDS...]
#   --log FILE   the virtual boards' reports, one line each (see quorel-sim)
#   SONOVAR_BUILD=DIR picks another build tree (build/ by default).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SONOVAR_BUILD:-$root/build}
sonovar=$build/sonovar/sonovar
sim=$build/tools/quorel-sim/quorel-sim
quorel=$build/tools/quorel/quorel
settings_tool=$build/tools/sonovar-settings/sonovar-settings
song=$build/demo/demo-song.flac

headless=0
sim_options=()
while (($#)); do
  case $1 in
    --headless) headless=1; shift ;;
    --log) [[ $# -ge 2 ]] || { echo "main-job: --log takes a file" >&2; exit 2; }; sim_options+=(--log "$2"); shift 2 ;;
    *) break ;;
  esac
done
for program in "$sonovar" "$sim" "$quorel" "$settings_tool"; do
  [[ -x $program ]] || { echo "main-job: $program is not built (scripts/setup.sh builds it)" >&2; exit 1; }
done

detected=$("$quorel" detect 2>/dev/null | sed -n 's/^Detected //p')
if [[ -n $detected && ${detected:0:4} != 0000 ]]; then
  echo "main-job: boards found (Detected $detected): starting Sonovar"
  exec "$sonovar" "$@"
fi

if [[ ! -f $song ]]; then
  echo "main-job: the demo song $song is missing (sox makes it during the build)" >&2
  exit 1
fi
export SONOVAR_INPUT_FILE=$song

# Sonovar.SET through the program's own encoder: decay 3, biases 128, TURBO
# with delay 1, the first input, no animation yet.
settings() {  # DELAY BOARD1 BOARD2 BOARD3 BOARD4 (1 active, 0 not) EFFECT (1-3)
  "$settings_tool" Sonovar.SET Delay="$1" Decay=3 CyanBias=128 YellowBias=128 RedBias=128 \
    Board1Active="$2" Board2Active="$3" Board3Active="$4" Board4Active="$5" Turbo=1 NonTurboDelay=1 InputDevice=0 \
    "Effect${6}Selected=1" "Name=Select File"
}

if ((!headless)) && [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
  mkdir -p "$build/demo/desktop"
  cd "$build/demo/desktop"
  # A first start here gets the sliders a user would expect (an empty file
  # would set them all to 0); "Make Default" changes them for the next time.
  [[ -e Sonovar.SET ]] || settings 0 0 0 0 0 1
  echo "main-job: no board 1-4 here, so four virtual boards in a window of their own."
  echo "  In Sonovar: click the board numbers 1-4, choose an effect, pick \"File: demo-song.flac\", press Start."
  exec "$sim" --boards 1,2,3,4 --view window "${sim_options[@]}" -- "$sonovar" "$@"
fi

# A prepared folder: boards 1-4 and Pulse/Sweep, TURBO, the first input; the
# demo song is the only input (no sound server, no ALSA device is asked).
work=$build/demo/headless
mkdir -p "$work"
cd "$work"
settings 2 1 1 1 1 2
: > no-devices.conf
export PULSE_SERVER=unix:$work/no-sound-server ALSA_CONFIG_PATH=$work/no-devices.conf
echo "main-job: no board 1-4 and no display: Sonovar captures the demo song on four virtual boards; Ctrl-C ends it."
if [[ -t 1 ]]; then
  # The lamps are drawn on this terminal: Sonovar's own messages go to a file.
  echo "  (Sonovar's messages: $work/sonovar.log)"
  sleep 1
  exec "$sim" --boards 1,2,3,4 "${sim_options[@]}" -- bash -c 'exec "$@" 2>"$0"' "$work/sonovar.log" "$sonovar" --no-window "$@"
fi
exec "$sim" --boards 1,2,3,4 "${sim_options[@]}" -- "$sonovar" --no-window "$@"
