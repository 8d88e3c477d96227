#!/usr/bin/env bash
# The simulator against what can go wrong around it: a node flooded with
# data (SIGTERM must still end it), and a SIGKILL (the command ends with it,
# and the next start removes the folder it left).
set -euo pipefail
sim=$1
work=$(mktemp -d)
flood=
trap '[[ -n "$flood" ]] && kill "$flood" 2>/dev/null; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Waits up to $2 tenths of a second for process $1 to end.
ends_within() {
  for ((i = 0; i < $2; i++)); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

# 1. A flooded node: reports without end (zeros are report id 0 and zero
#    payloads), then SIGTERM.
"$sim" --boards 1 --view none > "$work/exports" &
simulator=$!
waits=0
while [[ ! -s "$work/exports" ]] && ((waits++ < 50)); do sleep 0.1; done
dev=$(sed -n 's/^export QUOREL_DEV_ROOT=//p' "$work/exports")
cat /dev/zero > "$dev/hidraw0" 2>/dev/null &
flood=$!
sleep 1
kill -TERM "$simulator"
if ends_within "$simulator" 50; then
  [[ ! -e "$dev" ]] || fail "flooded: folder left behind"
else
  fail "flooded: SIGTERM not seen within 5 s"
  kill -KILL "$simulator"
fi
wait "$simulator" 2>/dev/null || true
kill "$flood" 2>/dev/null || true
flood=

# 2. SIGKILL: the command is sent SIGTERM by the kernel, and the next start
#    removes the folder.
"$sim" --boards 1 --view none -- bash -c 'echo "$QUOREL_DEV_ROOT" > "$0/folder"; echo $$ > "$0/child"; exec sleep 60' \
  "$work" &
simulator=$!
waits=0
while [[ ! -s "$work/child" ]] && ((waits++ < 50)); do sleep 0.1; done
child=$(cat "$work/child")
folder=$(dirname "$(cat "$work/folder")")
kill -KILL "$simulator"
wait "$simulator" 2>/dev/null || true
ends_within "$child" 30 || { fail "the command outlived a killed simulator"; kill -KILL "$child"; }
[[ -d "$folder" ]] || fail "expected the killed simulator's folder to be there before the next start"
"$sim" --boards 2 --view none -- true || fail "the next start failed"
[[ ! -e "$folder" ]] || { fail "the next start left the abandoned folder $folder"; rm -rf "$folder"; }

((failures == 0)) && echo "simulator hostile: ok"
exit $((failures > 0))
