#!/usr/bin/env bash
# The simulator against a node flooded with data (SIGTERM must still end it)
# and a SIGKILL (the command ends with it; the next start removes its folder).
set -euo pipefail
sim=$1
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Up to $2 tenths of a second for file $1 to fill, or for process $1 to end.
wait_for() { for ((i = 0; i < $2; i++)); do [[ -s "$1" ]] && return 0; sleep 0.1; done; return 1; }
ends_within() { for ((i = 0; i < $2; i++)); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done; return 1; }

# Zeros are reports without end (report id 0, zero payload), each one logged,
# from two writers: more than the simulator can take.
"$sim" --boards 1 --view none --log /dev/null > "$work/exports" &
simulator=$!
wait_for "$work/exports" 50
dev=$(sed -n 's/^export QUOREL_DEV_ROOT=//p' "$work/exports")
cat /dev/zero > "$dev/hidraw0" 2>/dev/null &
cat /dev/zero > "$dev/hidraw0" 2>/dev/null &
sleep 1
kill -TERM "$simulator"
# Seen at the next wake (some 60 ms here); unbounded drains took seconds.
ends_within "$simulator" 15 || { fail "flooded: SIGTERM not seen within 1.5 s"; kill -KILL "$simulator"; }
[[ ! -e "$dev" ]] || fail "flooded: folder left behind"

"$sim" --boards 1 --view none -- bash -c 'echo "$QUOREL_DEV_ROOT" > "$0/folder"; echo $$ > "$0/child"; exec sleep 60' \
  "$work" &
simulator=$!
wait_for "$work/child" 50
folder=$(dirname "$(cat "$work/folder")")
kill -KILL "$simulator"
ends_within "$(cat "$work/child")" 30 || fail "the command outlived a killed simulator"
# (Another simulator started meanwhile may have removed it already.)
"$sim" --boards 2 --view none -- true || fail "the next start failed"
[[ ! -e "$folder" ]] || { fail "the next start left the abandoned folder"; rm -rf "$folder"; }
((failures == 0)) && echo "simulator hostile: ok"
exit $((failures > 0))
