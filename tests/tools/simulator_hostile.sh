#!/usr/bin/env bash
# The simulator against a node flooded with data (SIGTERM must still end it),
# a SIGKILL (the command ends with it, all of it; the next start removes its
# folder), a simulator in another PID namespace (its folder is not taken for
# abandoned) and owner marks that are no small file.
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
# What the command started goes too, not only the command itself.
"$sim" --boards 1 --view none -- bash -c 'sleep 301 & echo $! > "$0/sleeper"; wait' "$work" &
simulator=$!
wait_for "$work/sleeper" 50
kill -KILL "$simulator"
ends_within "$(cat "$work/sleeper")" 40 || { fail "the command's own child outlived a killed simulator"; kill "$(cat "$work/sleeper")"; }

# Marks that are no small file: neither waited for nor read without end.
mkdir -p "$work/marks/quorel-sim-fifo" "$work/marks/quorel-sim-zero"
mkfifo "$work/marks/quorel-sim-fifo/owner"
ln -s /dev/zero "$work/marks/quorel-sim-zero/owner"
TMPDIR=$work/marks timeout -s KILL 10 "$sim" --boards 1 --view none -- true || fail "owner marks that are no file held the start"

# A simulator in a PID namespace of its own, sharing TMPDIR: its process
# number means nothing here, its lock does.
mkdir "$work/shared"
if unshare --pid --fork --mount-proc true 2>/dev/null; then
  TMPDIR=$work/shared unshare --pid --fork --mount-proc --kill-child "$sim" --boards 1 --view none -- sleep 60 &
  namespaced=$!
  for ((i = 0; i < 50; i++)); do compgen -G "$work/shared/quorel-sim-*" >/dev/null && break; sleep 0.1; done
  first=$(compgen -G "$work/shared/quorel-sim-*" | head -1)
  [[ -n $first ]] || fail "the simulator in its own PID namespace made no folder"
  TMPDIR=$work/shared "$sim" --boards 2 --view none -- true || fail "the second simulator did not start"
  [[ -z $first || -d $first ]] || fail "a running simulator's folder in another PID namespace was removed"
  # unshare passes no SIGTERM on; its end kills the simulator, and so the rest.
  kill -KILL "$namespaced"
  TMPDIR=$work/shared "$sim" --boards 2 --view none -- true || fail "the start after the namespace's end failed"
  [[ -z $first || ! -d $first ]] || fail "the killed namespaced simulator's folder was left"
else
  echo "simulator hostile: no PID namespaces here (needs root): that part is left out"
fi
((failures == 0)) && echo "simulator hostile: ok"
exit $((failures > 0))
