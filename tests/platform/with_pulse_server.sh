#!/usr/bin/env bash
# Runs a test program against a private PulseAudio server with a null sink
# (u8, 11025 Hz, stereo), then stops the server. Exit 77 (skipped) with the
# reason when the server cannot start; with SONOVAR_PULSE_OPTIONAL=1 the
# program then runs without one.
set -u
program=$1
shift
without_server() {
  echo "SKIP: $1"
  [[ "${SONOVAR_PULSE_OPTIONAL:-0}" == 1 ]] || exit 77
  exec "$program" "$@"
}
if ! command -v pulseaudio >/dev/null; then
  without_server "pulseaudio is not installed" "$@"
fi
runtime=$(mktemp -d)
saved_home=${HOME:-} saved_runtime_dir=${XDG_RUNTIME_DIR:-}
export XDG_RUNTIME_DIR=$runtime HOME=$runtime PULSE_SERVER=unix:$runtime/native
export SONOVAR_TEST_SINK=sonovar_test
pulseaudio --daemonize=no --exit-idle-time=-1 -n --disable-shm=yes --use-pid-file=no \
  --log-target="file:$runtime/log" \
  -L "module-native-protocol-unix auth-anonymous=1 socket=$runtime/native" \
  -L "module-null-sink sink_name=$SONOVAR_TEST_SINK format=u8 rate=11025 channels=2 norewinds=1" &
server=$!
cleanup() {
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  rm -rf "$runtime"
}
trap cleanup EXIT
for _ in $(seq 50); do
  pactl info >/dev/null 2>&1 && break
  sleep 0.1
done
if ! pactl info >/dev/null 2>&1; then
  tail -n 5 "$runtime/log" 2>/dev/null
  cleanup
  trap - EXIT
  unset PULSE_SERVER
  export HOME=$saved_home XDG_RUNTIME_DIR=$saved_runtime_dir
  without_server "the private PulseAudio server did not start" "$@"
fi
"$program" "$@"
