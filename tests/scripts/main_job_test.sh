#!/usr/bin/env bash
# The main job without a display, for a few seconds: Sonovar captures the demo
# song on four virtual boards; every board gets "PBA:" reports whose values
# change with the music, and Ctrl-C leaves nothing running.
set -euo pipefail
root=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# In a session of its own, so that what is left of it afterwards can be told
# from other tests' programs.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY SONOVAR_BUILD="$build" setsid --wait bash -c 'echo $$ > "$0/session"; exec "$@"' "$work" \
  timeout -s INT 8 "$root/scripts/main-job.sh" --headless --log "$work/log" >"$work/out" 2>&1 || status=$?
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
((status == 124)) || { fail "the job ended by itself (status $status)"; cat "$work/out"; }
# Without a window, one line says what plays.
grep -q '^sonovar: playing File: demo-song.flac on boards 1, 2, 3, 4 with Pulse/Sweep' "$work/out" ||
  fail "no line says what plays: $(grep '^sonovar:' "$work/out")"
for board in 1 2 3 4; do
  # Profile reports: every report but the state reports (64 first, 0 0 last).
  profiles=$(awk -v b="$board" '$2 == b && !($4 == "40" && $10 == "00" && $11 == "00")' "$work/log" | wc -l)
  distinct=$(awk -v b="$board" '$2 == b { $1 = ""; print }' "$work/log" | sort -u | wc -l)
  ((profiles >= 4 * 100)) || fail "board $board: $profiles profile reports"
  ((distinct >= 20)) || fail "board $board: only $distinct different reports"
done
sleep 0.5
if left=$(pgrep -s "$(cat "$work/session")"); then fail "left running: $(ps -o pid=,args= -p "$left")"; fi
[[ $failures -eq 0 ]] && echo "ok: $(wc -l < "$work/log") reports"
exit $((failures > 0))
