#!/usr/bin/env bash
# End-to-end delay from a loud onset in the demo song to the first report
# that carries it: the headless main job (Pulse/Sweep on four virtual boards)
# runs for a while, then the simulator's log is laid against the song's known
# onsets. The song starts with the capture, one buffer (23.2 ms) before the
# capture's first "PBA:" reaches board 1; a bass drum is a red trigger, which
# pushes a red group (red > 0, green and blue 0) in at outputs 1-3.
#   bench/onset_delay.sh [SECONDS]     (30 by default, at most one pass of the song)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=${SONOVAR_BUILD:-$PWD/build}
onsets=$build/demo/demo-song.onsets
[[ -f $onsets ]] || { echo "onset_delay: $onsets is missing (the build makes it)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
env -u DISPLAY -u WAYLAND_DISPLAY SONOVAR_BUILD="$build" \
  timeout -s INT "$seconds" scripts/main-job.sh --headless --log "$work/log" >/dev/null 2>&1 || true
# Board 1's profile groups once the capture runs (after the effect's state
# report, GPS 4): the time of the first report of each group, and whether it
# carries a red push (red > 0, green and blue 0).
awk '$2 == 1 && $4 == "40" && $9 == "04" { capturing = 1; next }
  capturing && $2 == 1 && !($4 == "40" && $10 == "00" && $11 == "00") {
  if (n++ % 4 == 0) print $1 / 1000, ($4 != "00" && $5 == "00" && $6 == "00")
}' "$work/log" > "$work/groups"
awk -v period=23.22 '
  FNR == NR { if ($2 == "bass-drum") onset[++n] = $1 * 1000; next }
  { t[++g] = $1; red[g] = $2 }
  END {
    start = t[1] - period  # the song starts with the capture
    for (i = 1; i <= n; i++) {
      at = start + onset[i]
      if (at > t[g]) break
      for (k = 1; k <= g; k++)
        if (t[k] >= at && red[k]) { printf "%.2f\n", t[k] - at; break }
    }
  }' "$onsets" "$work/groups" | sort -n > "$work/delays"
[[ -s $work/delays ]] || { echo "onset_delay: no onset found in the log"; exit 1; }
awk '{ d[NR] = $1; sum += $1 } END {
  p95 = int(0.95 * NR); if (p95 < 0.95 * NR) p95++
  printf "onset to first report: %d bass-drum onsets, median %.1f ms, p95 %.1f ms, mean %.1f ms, min %.1f ms, max %.1f ms\n",
    NR, d[int((NR + 1) / 2)], d[p95], sum / NR, d[1], d[NR] }' "$work/delays"
