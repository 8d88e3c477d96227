#!/usr/bin/env bash
# The lights in step with the sound as it is heard: 10 s of clicks behind a
# pipe sink of 64 KiB, whose FIFO holds about 0.3 s that the speaker plays
# at the sound's pace (bench/speaker_timing.sh does the run and the
# pairing). From a click heard to its first report the median must lie
# within 40 ms either way, with at least 10 clicks heard and 8 of them
# lit. Loose on purpose: the machine is shared; the bench gives the figures.
# The sink's monitor has each sound about 0.3 s before it is played: lights
# sent when the sound comes, not when it is heard, fail here.
set -uo pipefail
source_dir=$1
build=$2
command -v pulseaudio >/dev/null || { echo "pulseaudio is not installed: skipped"; exit 77; }
[[ -x $build/tests/support/click-player ]] || { echo "no click-player (it needs libpulse): skipped"; exit 77; }
out=$(SONOVAR_BUILD=$build timeout 45 "$source_dir/bench/speaker_timing.sh" --seconds 10 pipe64k 2>&1)
status=$?
echo "$out"
((status != 77)) || exit 77
((status == 0)) || { echo "FAIL: the run failed (status $status)"; exit 1; }
figures='s/^pipe64k: \([0-9]*\) clicks, \([0-9]*\) paired; heard -> report: median \(-\{0,1\}[0-9.]*\) ms.*/\1 \2 \3/p'
read -r clicks paired median < <(sed -n "$figures" <<<"$out")
[[ -n ${median:-} ]] || { echo "FAIL: no figures in the run's output"; exit 1; }
failures=0
# The instrument first: the speaker and the server agree on when a click is played.
agree=$(sed -n "s/.*server's play times against the speaker's: median \(-\{0,1\}[0-9.]*\) ms.*/\1/p" <<<"$out")
awk -v a="${agree:-x}" 'BEGIN { exit !(a ~ /[0-9]/ && a >= -15 && a <= 15) }' ||
  { echo "FAIL: the speaker and the server disagree on when clicks are played (${agree:-no figure})"; failures=1; }
((clicks >= 10)) || { echo "FAIL: the speaker heard $clicks clicks"; failures=1; }
((paired >= 8)) || { echo "FAIL: only $paired clicks lit the lamps"; failures=1; }
way=late
[[ $median == -* ]] && way=early
awk -v m="$median" 'BEGIN { exit !(m >= -40 && m <= 40) }' ||
  { echo "FAIL: the lights are ${median#-} ms $way (median)"; failures=1; }
exit $failures
