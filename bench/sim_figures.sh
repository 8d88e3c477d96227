#!/usr/bin/env bash
# Figures of the board simulator: reports per second it takes from one writer
# with FastCom on, its CPU time while idle, and the time from plugging a board
# back in (during a show that sends a command every 20 ms) to the first report
# reaching it again.
#   bench/sim_figures.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
sim=$build/tools/quorel-sim/quorel-sim
quorel=$build/tools/quorel/quorel
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

commands=2000
pba="PBA:$(seq -s, 1 32 | sed 's/[0-9]\+/20/g')"
args=()
for ((i = 0; i < commands; i++)); do args+=("$pba"); done
start=$(date +%s.%N)
"$sim" --boards 1 --view none --log "$work/log" -- "$quorel" send --fast 1 "${args[@]}"
end=$(date +%s.%N)
reports=$(wc -l < "$work/log")
first=$(head -1 "$work/log" | cut -d' ' -f1)
last=$(tail -1 "$work/log" | cut -d' ' -f1)
echo "reports received: $reports in $(echo "$end - $start" | bc) s wall (whole run, start-up included)"
echo "reports per second between first and last report: $(echo "$reports * 1000000 / ($last - $first)" | bc)"

"$sim" --boards 1,2 --view none > /dev/null &
pid=$!
sleep 1
read -r -a before < <(cut -d' ' -f14,15 "/proc/$pid/stat")
sleep 10
read -r -a after < <(cut -d' ' -f14,15 "/proc/$pid/stat")
kill -INT "$pid"
wait "$pid" || true
ticks=$(( (after[0] + after[1]) - (before[0] + before[1]) ))
echo "idle CPU over 10 s: $ticks clock ticks ($(getconf CLK_TCK) per second)"

replug_rounds=${REPLUG_ROUNDS:-5}
for ((round = 1; round <= replug_rounds; round++)); do
  bash "$(dirname "$0")/../tests/tools/replug_show.sh" "$sim" "$quorel" 1 "$work/replug"
  awk '$3 == "plugged" { p = $1; next } p && $2 == 1 { printf "%.0f\n", ($1 - p) / 1000; exit }' "$work/replug"
done > "$work/replug-ms"
echo "replug to first report, ms over $replug_rounds rounds: $(sort -n "$work/replug-ms" | tr '\n' ' ')"
