#!/usr/bin/env bash
# Runs a test program against a private PulseAudio server with a null sink
# (u8, 11025 Hz, stereo), then stops the server. Exit 77 (skipped) with the
# reason when the server cannot start.
set -u
program=$1
shift
if ! command -v pulseaudio >/dev/null; then
  echo "SKIP: pulseaudio is not installed"
  exit 77
fi
runtime=$(mktemp -d)
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
  echo "SKIP: the private PulseAudio server did not start:"
  tail -n 5 "$runtime/log" 2>/dev/null
  exit 77
fi
"$program" "$@"
