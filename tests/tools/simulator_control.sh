#!/usr/bin/env bash
# The simulator's board control with the library end to end (a board
# unplugged during a show lights up again when plugged back), and its end on
# a hang-up: folder removed, the command's whole process group ended.
set -euo pipefail
sim=$1
quorel=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# 1. Unplug and plug back during a show: one host (one control) sends a
#    state command every 20 ms; board 3 is pulled after 25 commands and put
#    back after 50.
bash "$(dirname "$0")/replug_show.sh" "$sim" "$quorel" 3 "$work/L" || fail "show with an unplug: status $?"
cut -d' ' -f2- "$work/L" > "$work/got"
grep -n -x "3 unplugged" "$work/got" > /dev/null || fail "no unplug in the log"
plugged=$(grep -n -x "3 plugged" "$work/got" | cut -d: -f1 || true)
if [[ -z "$plugged" ]]; then
  fail "no plug in the log"
else
  # Back: its whole state first (a state report, four profile reports of 48),
  # then the show goes on to its last command.
  sed -n "$((plugged + 1)),$((plugged + 5))p" "$work/got" > "$work/back"
  {
    grep -c -E '^3 00 40 [0-9a-f]{2} 00 00 00 03 00 00$' "$work/back" | grep -qx 1 &&
      grep -c -x '3 00 30 30 30 30 30 30 30 30' "$work/back" | grep -qx 4
  } || fail "not restored after the plug: $(cat "$work/back")"
  [[ $(tail -n 1 "$work/got") == "3 00 40 96 00 00 00 03 00 00" ]] || fail "show did not go on: $(tail -n 1 "$work/got")"
  # Nothing reaches the board between unplug and plug.
  sed -n "/^3 unplugged$/,/^3 plugged$/p" "$work/got" | grep -q ' 00 40 ' && fail "reports logged while unplugged"
fi
# 2. A hang-up (a closed terminal) ends the simulator like Ctrl-C: its folder
#    is removed and every process of the command's group ends.
"$sim" --boards 1 --view none -- bash -c '
  echo "$QUOREL_DEV_ROOT" > "$0/folder"
  sleep 60 & echo $! > "$0/grandchild"
  wait' "$work" &
simulator=$!
for _ in $(seq 200); do [[ -s "$work/grandchild" ]] && break; sleep 0.05; done
kill -HUP "$simulator"
status=0
wait "$simulator" || status=$?
[[ $status == 129 ]] || fail "hang-up: status $status"
folder=$(dirname "$(cat "$work/folder")")
[[ -n "$folder" && ! -e "$folder" ]] || fail "folder $folder left behind after a hang-up"
if kill -0 "$(cat "$work/grandchild")" 2>/dev/null; then
  kill "$(cat "$work/grandchild")"
  fail "the command's background process was left running"
fi

# 3. A control line that is not a command is said and changes nothing.
"$sim" --boards 2 --view none -- bash -c 'echo "unplug 7" > "$QUOREL_SIM_CONTROL"; sleep 0.2' 2> "$work/err" ||
  fail "bad control line ended the run"
grep -q 'control: "unplug 7" is not' "$work/err" || fail "bad control line not said: $(cat "$work/err")"

if ((failures)); then
  echo "$failures failed"
  exit 1
fi
echo "simulator control: all checks passed"
