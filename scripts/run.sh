#!/usr/bin/env bash
# Set-up, then the main job: start Sonovar. Pick an input ("Monitor of ..."
# follows what the computer plays) and press Start. Without a sound card,
# SONOVAR_INPUT_FILE=some.wav adds the file as an input.
# On a machine with no display, the virtual-board light show runs instead.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "run: no display here; showing the virtual-board light show instead (scripts/board-show.sh)"
  exec scripts/board-show.sh
fi
BUILD_ONLY=release scripts/setup.sh
exec build/sonovar/sonovar "$@"
