#!/usr/bin/env bash
# Set-up, then the main job (scripts/main-job.sh says what it runs): Sonovar
# on the boards that are connected, or on four virtual boards playing the
# demo song when none is.
set -euo pipefail
scripts=$(dirname "$0")
BUILD_ONLY=release "$scripts/setup.sh"
exec "$scripts/main-job.sh" "$@"
