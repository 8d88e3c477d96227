#!/usr/bin/env bash
# A show on one virtual board that is unplugged and plugged back: one host
# (one control) sends "SBA:i,0,0,0,3" for i = 1..150, one every 20 ms; the
# board is pulled after command 25 and put back after command 50. The
# simulator's log goes to LOG.
#   replug_show.sh SIMULATOR QUOREL BOARD LOG
set -euo pipefail
sim=$1 quorel=$2 board=$3 log=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$sim" --boards "$board" --log "$log" --view none -- bash -c '
  quorel=$0 board=$1 work=$2
  mkfifo "$work/commands"
  "$quorel" send --fast "$board" - < "$work/commands" & host=$!
  exec 3> "$work/commands"
  for i in $(seq 1 150); do
    echo "SBA:$i,0,0,0,3" >&3
    case $i in
      25) echo "unplug $board" > "$QUOREL_SIM_CONTROL" ;;
      50) echo "plug $board" > "$QUOREL_SIM_CONTROL" ;;
    esac
    sleep 0.02
  done
  exec 3>&-
  wait "$host"' "$quorel" "$board" "$work"
