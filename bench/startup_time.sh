#!/usr/bin/env bash
# Time from the start of the process to its window shown on an X server
# (Xvfb), with 16 virtual boards present (the control probes all 16 and sends
# each its start-up state), over a number of runs.
#   bench/startup_time.sh [RUNS]     (10 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
build=$PWD/build
for tool in Xvfb xdotool xdpyinfo; do command -v "$tool" >/dev/null || { echo "startup_time: $tool is not installed"; exit 1; }; done
work=$(mktemp -d)
Xvfb :96 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xserver=$!
trap 'kill $xserver 2>/dev/null; rm -rf "$work"' EXIT
export DISPLAY=:96
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
xdpyinfo >/dev/null 2>&1 || { echo "startup_time: Xvfb did not start on :96"; exit 1; }
cd "$work"
# One run: start, wait until the window is mapped, close it.
cat > one.sh <<'ONE'
start=$(date +%s%N)
"$SONOVAR" >/dev/null 2>&1 &
pid=$!
until xdotool search --onlyvisible --name '^Sonovar$' >/dev/null 2>&1; do
  kill -0 $pid 2>/dev/null || { echo "sonovar ended before its window showed" >&2; exit 1; }
  sleep 0.002
done
echo $((($(date +%s%N) - start) / 1000000))
kill $pid; wait $pid 2>/dev/null || true
ONE
times=()
for ((r = 0; r < runs; r++)); do
  times+=("$(SONOVAR=$build/sonovar/sonovar "$build/tools/quorel-sim/quorel-sim" \
    --boards 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16 --view none -- bash one.sh)")
done
printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { printf "start to window shown, 16 boards, %d runs: median %d ms, min %d ms, max %d ms\n", NR, t[int((NR + 1) / 2)], t[1], t[NR] }'
