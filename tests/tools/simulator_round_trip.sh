#!/usr/bin/env bash
# The simulator and the quorel tool together: what a host sends arrives byte
# for byte; a missing board is an error; the terminal view draws the lamps.
set -euo pipefail
sim=$1
quorel=$2
library=$3
work=$(mktemp -d)
# A session of its own: other test runs may share the tmux server.
session=quorel-sim-test-$$
trap 'tmux kill-session -t "$session" 2>/dev/null || true; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# 1. Round trip: start-up defaults of board 2, then exactly the two commands.
"$sim" --boards 2 --log "$work/L" --view none -- \
  "$quorel" send 2 "SBA:255,255,255,255,4" "P05:SAW"
cut -d' ' -f2- "$work/L" > "$work/got"
cat > "$work/want" <<'WANT'
2 00 40 00 00 00 00 03 00 00
2 00 30 30 30 30 30 30 30 30
2 00 30 30 30 30 30 30 30 30
2 00 30 30 30 30 30 30 30 30
2 00 30 30 30 30 30 30 30 30
2 00 40 ff ff ff ff 04 00 00
2 00 30 30 30 30 81 30 30 30
2 00 30 30 30 30 30 30 30 30
2 00 30 30 30 30 30 30 30 30
2 00 30 30 30 30 30 30 30 30
WANT
diff -u "$work/want" "$work/got" || fail "log of board 2 differs"
# Times are microseconds since start, rising.
sort -n -c <(cut -d' ' -f1 "$work/L") || fail "log times are not in order"

# 2. A board the simulator does not present: error 16385, non-zero status.
if "$sim" --boards 2 --view none -- "$quorel" send 1 "SBA:1,1,1,1,1" 2>"$work/err"; then
  fail "send to board 1 succeeded"
fi
grep -q "error 16385: Device Number 1 Not Connected" "$work/err" || fail "no 16385: $(cat "$work/err")"

# 2b. Arguments are checked before anything is sent: a bad board list, an
#     absent board among present ones, an empty delay.
for args in "1,,3" "1,5" "--delay '' 1"; do
  status=0
  eval "\"\$sim\" --boards 1,3 --log \"\$work/La\" --view none -- \"\$quorel\" send $args SBA:1,1,1,1,1" \
    2> "$work/err" || status=$?
  ((status != 0)) || fail "send $args succeeded"
  grep -q ' 40 01 01 01 01 01 ' "$work/La" && fail "send $args sent the command to a board"
  [[ -s "$work/err" ]] || fail "send $args gave no message"
done

# 2c. A log that cannot be written is said, and the run fails.
status=0
"$sim" --boards 1 --log /dev/full --view none -- "$quorel" send 1 "SBA:1,1,1,1,1" 2> "$work/err" || status=$?
((status != 0)) || fail "a lost log ended with status 0"
grep -q "cannot write the log /dev/full" "$work/err" || fail "lost log not said: $(cat "$work/err")"

# 3. The simulator's folder, made in $TMPDIR, is gone once it ends; detect sees both boards.
TMPDIR=$work "$sim" --boards 1,3 --view none -- "$quorel" detect > "$work/detect"
grep -q "^Detected 1010000000000000$" "$work/detect" || fail "detect: $(cat "$work/detect")"
grep -q "^board 3 .*hidraw1$" "$work/detect" || fail "detect paths: $(cat "$work/detect")"
folder=$(grep -o "$work/quorel-sim-[A-Za-z0-9]*" "$work/detect" | head -1)
[[ -n "$folder" && ! -e "$folder" ]] || fail "simulator folder $folder left behind"

# 4. A writer that sends garbage and reopens the node does not stop it.
"$sim" --boards 4 --log "$work/L4" --view none -- bash -c '
  printf "hi\n" > "$QUOREL_DEV_ROOT/hidraw0"
  "$0" send --fast 4 "GPS:9"' "$quorel"
grep -q "^[0-9]* 4 00 40 00 00 00 00 09 00 00$" "$work/L4" || fail "report after a stray write lost"

# 5. Permissions: as an unprivileged user, a board node owned by root is explained.
if [[ $(id -u) -eq 0 ]] && command -v runuser >/dev/null; then
  tree="$work/perm"
  mkdir -p "$tree/sys/class/hidraw/hidraw0/device" "$tree/dev"
  printf 'HID_ID=0003:0000E7A1:000000F0\n' > "$tree/sys/class/hidraw/hidraw0/device/uevent"
  mkfifo -m 600 "$tree/dev/hidraw0"
  # The build tree may sit where nobody cannot reach it: run copies.
  mkdir -p "$work/bin"
  cp "$quorel" "$work/bin/quorel"
  cp "$library" "$work/bin/$(readelf -d "$library" | sed -n 's/.*Library soname: \[\(.*\)\]$/\1/p')"
  chmod -R a+rX "$work"
  runuser -u nobody -- env LD_LIBRARY_PATH="$work/bin" QUOREL_SYSFS_ROOT="$tree/sys" QUOREL_DEV_ROOT="$tree/dev" \
    "$work/bin/quorel" devices > "$work/devices" 2>&1 || true
  grep -q "board 1, not usable: cannot be opened: Permission denied" "$work/devices" ||
    fail "devices: $(cat "$work/devices")"
  grep -q 'TAG+="uaccess"' "$work/devices" || fail "devices gives no udev rule"
else
  echo "skip: permission check needs root and runuser"
fi

# 6. The terminal view, in a real terminal under tmux.
if command -v tmux >/dev/null; then
  tmux new-session -d -s "$session" -x 100 -y 30 \
    "$sim --boards 1,3 --view terminal -- bash -c 'echo \$QUOREL_DEV_ROOT > $work/tmux-dev; $quorel send --fast 1 RGB:1,48,0,0 SBA:7,0,0,0,3; sleep 30'"
  sleep 1.5
  tmux capture-pane -t "$session" -p > "$work/screen" || true
  tmux capture-pane -t "$session" -p -e > "$work/screen-colour" || true
  cp "$work/screen" "${SIM_SCREEN_OUT:-/dev/null}" 2>/dev/null || true
  grep -q "Board 1  11 reports  GPS 3" "$work/screen" || fail "view: $(cat "$work/screen")"
  grep -q "Board 3  5 reports  GPS 3" "$work/screen" || fail "view: board 3 missing"
  grep -q $'\e\[48;2;255;0;0m' "$work/screen-colour" || fail "view: lamp 1 of board 1 is not red"
  # Closing the terminal hangs the simulator up: it still removes its folder.
  tmux kill-session -t "$session"
  folder=$(dirname "$(cat "$work/tmux-dev" 2>/dev/null || echo /nonexistent/dev)")
  for _ in $(seq 100); do [[ -e "$folder" ]] || break; sleep 0.05; done
  [[ ! -e "$folder" ]] || fail "folder $folder left behind when the terminal closed"
else
  echo "skip: tmux is not installed"
fi

# 7. A window without a display: a clear message and status 1.
for case in "|needs a display, and DISPLAY is not set" ":9999|cannot open a window (could not connect to display :9999)"; do
  display=${case%%|*}
  if env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display" \
      "$sim" --boards 1 --view window -- true 2>"$work/nowindow"; then
    fail "--view window with DISPLAY='$display' succeeded"
  fi
  grep -qF "${case#*|}" "$work/nowindow" || fail "--view window: $(cat "$work/nowindow")"
done

if ((failures)); then
  echo "$failures failed"
  exit 1
fi
echo "simulator round trip: all checks passed"
