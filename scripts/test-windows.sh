#!/usr/bin/env bash
# The Windows build and its tests: cross-builds build-windows/, then runs its
# tests under wine64 in a throwaway wine prefix, next to a private sound
# server so that the wave-input tests have devices to capture from. Skips
# (status 0, with the reason) where the cross compiler or wine cannot be had.
set -euo pipefail
cd "$(dirname "$0")/.."

started=$SECONDS
status=0
scripts/build-windows.sh || status=$?
if ((status == 77)); then
  echo "== Windows build and tests SKIPPED: the cross compiler could not be installed"
  exit 0
fi
((status == 0)) || exit "$status"
echo "== Windows cross build took $((SECONDS - started)) s"

wine=$(command -v wine64 || true)
[[ -n "$wine" ]] || { [[ -x /usr/lib/wine/wine64 ]] && wine=/usr/lib/wine/wine64; }
wineserver=$(command -v wineserver || true)
[[ -n "$wineserver" ]] || { [[ -x /usr/lib/wine/wineserver64 ]] && wineserver=/usr/lib/wine/wineserver64; }
if [[ -z "$wine" || -z "$wineserver" ]]; then
  echo "== Windows tests SKIPPED: wine64 (Debian package wine64) is not installed"
  exit 0
fi

started=$SECONDS
prefix=$(mktemp -d /tmp/sonovar-wine-XXXXXX)
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
# No .NET or HTML engine to offer to install.
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  # Every process of this prefix ends with its server.
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# Set up the prefix once, before tests start in parallel.
timeout 180 "$wine" wineboot --init >/dev/null 2>&1 || true
echo "== tests (Windows build, under wine)"
SONOVAR_PULSE_OPTIONAL=1 tests/platform/with_pulse_server.sh \
  ctest --test-dir build-windows --output-on-failure -j 2 --timeout 120
echo "== Windows tests took $((SECONDS - started)) s under wine"
