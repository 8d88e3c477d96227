#!/usr/bin/env bash
# Set-up, then the main job: find the boards and show what was found.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_ONLY=release scripts/setup.sh
exec build/tools/quorel/quorel detect
