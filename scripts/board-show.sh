#!/usr/bin/env bash
# Set-up, then a light show on two virtual boards, drawn live in the terminal
# (Ctrl-C ends it). With real boards, "build/tools/quorel/quorel detect" finds
# them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_ONLY=release scripts/setup.sh
quorel=$PWD/build/tools/quorel/quorel
sim=$PWD/build/tools/quorel-sim/quorel-sim

# Every lamp channel a waveform: saw, square, down, up in turn.
waves=(SAW SQR SDN SUP)
show=("SBA:255,255,255,255,3")
for k in $(seq 1 30); do show+=("$(printf 'P%02d:%s' "$k" "${waves[$(((k - 1) % 4))]}")"); done
if [[ -t 1 ]]; then
  exec "$sim" --boards 1,2 -- bash -c '"$0" send --fast 1,2 "$@" && exec sleep infinity' "$quorel" "${show[@]}"
fi
# Not a terminal: show the reports instead of the lamps.
exec "$sim" --boards 1,2 --view none --log /dev/stdout -- "$quorel" send --fast 1,2 "${show[@]}"
