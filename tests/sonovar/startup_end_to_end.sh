#!/usr/bin/env bash
# The whole program on virtual boards 1 and 3, started with a settings file
# (boards 1 and 3, Pulse/Sweep) and the word START: the simulator's log holds,
# byte for byte, each board's start-up state, the stored boards' click
# commands in ascending order, the effect choice, then one "PBA:" per buffer.
# The settings file is the same afterwards.
set -euo pipefail
sim=$(realpath "$1")
sonovar=$(realpath "$2")
settings_tool=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$settings_tool" Sonovar.SET Delay=0 Decay=3 CyanBias=128 YellowBias=128 RedBias=128 Board1Active=1 Board3Active=1 \
  Turbo=1 NonTurboDelay=1 InputDevice=0 Effect2Selected=1 "Name=Select File" AutoLevel=0
cp Sonovar.SET before.SET

# A square wave of +-40, 11025 Hz unsigned 8-bit stereo: with auto level
# off, as stored above, every buffer has level 22 and no sample in the red or
# yellow band.
frames=11025
{
  printf 'RIFF'; printf "\\x$(printf %02x $(((36 + frames * 2) & 255)))\\x$(printf %02x $(((36 + frames * 2) >> 8 & 255)))\\x00\\x00"
  printf 'WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00\x11\x2b\x00\x00\x22\x56\x00\x00\x02\x00\x08\x00data'
  printf "\\x$(printf %02x $((frames * 2 & 255)))\\x$(printf %02x $((frames * 2 >> 8 & 255)))\\x00\\x00"
  for ((k = 0; k < frames / 2; k++)); do printf '\xa8\xa8\x58\x58'; done
} > square.wav

QT_QPA_PLATFORM=offscreen SONOVAR_INPUT_FILE=$work/square.wav \
  "$sim" --boards 1,3 --view none --log "$work/log" -- timeout -s TERM 1.5 "$sonovar" START || true

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
cmp -s Sonovar.SET before.SET || fail "the settings file changed"

for board in 1 3; do
  awk -v b="$board" '$2 == b { $1 = ""; $2 = ""; print substr($0, 3) }' log > "got$board"
  {
    echo "00 40 00 00 00 00 03 00 00"
    for r in 1 2 3 4; do echo "00 30 30 30 30 30 30 30 30"; done
    for r in 1 2 3 4; do echo "00 00 00 00 00 00 00 00 00"; done
    echo "00 40 ff ff ff ff 03 00 00"
    echo "00 40 ff ff ff ff 04 00 00"
  } > "want$board"
  lines=$(wc -l < "got$board")
  buffers=$(((lines - 11) / 4))
  ((buffers >= 20)) || fail "board $board: only $buffers buffers"
  # Pulse/Sweep at level 22: each buffer pushes (0, 0, 22) in at outputs 1-3.
  for ((b = 1; b <= buffers; b++)); do
    values=()
    for ((i = 1; i <= 32; i++)); do
      if ((i % 3 == 0 && i <= 30 && i / 3 <= b)); then values+=(16); else values+=(00); fi
    done
    for r in 0 1 2 3; do echo "00 ${values[*]:$((8 * r)):8}"; done
  done >> "want$board"
  head -n "$((11 + 4 * buffers))" "got$board" | diff -u "want$board" - > "diff$board" || { cat "diff$board" | head -20; fail "board $board log differs"; }
done
grep -qv '^[0-9]* [13] ' log && fail "reports for a board other than 1 and 3"
[[ $failures -eq 0 ]] && echo "ok: $buffers buffers on each board"
exit $((failures > 0))
