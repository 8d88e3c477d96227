# Sonovar playing the demo song on bound boards, for the DMX test, the figures
# and the screenshot; sourced after private_olad.sh has started olad.
#   start_show BUILD BINDINGS DISPLAY
# BINDINGS: one "BOARD UNIVERSE CHANNEL" a line, boards 1-4, on the private
# olad. DISPLAY: an X display to start Xvfb on, or "offscreen". Pulse/Sweep
# with Delay 2 and TURBO on the bound boards; the demo song is the only input
# (no sound server, no ALSA device). Sets SHOW_PID (Sonovar) and stops
# everything, olad too, on exit. Runs in $OLAD_DIR/show.
start_show() {
  local build=$1 display=$3 board universe channel active=()
  local work=$OLAD_DIR/show
  mkdir "$work"
  chmod 777 "$OLAD_DIR" "$work"
  cd "$work"
  export QUORELCTL_BOARDS=$work/boards.conf
  while read -r board universe channel; do
    echo "board $board = universe $universe channel $channel server 127.0.0.1:$OLA_PORT"
    active+=("Board${board}Active=1")
  done <<<"$2" >"$QUORELCTL_BOARDS"
  "$build/tools/sonovar-settings/sonovar-settings" Sonovar.SET Delay=2 Decay=3 CyanBias=128 YellowBias=128 RedBias=128 \
    "${active[@]}" Turbo=1 NonTurboDelay=1 InputDevice=0 Effect2Selected=1 'Name=Select File'
  : >no-devices.conf
  _show_xvfb=
  if [[ $display == offscreen ]]; then
    export QT_QPA_PLATFORM=offscreen
  else
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    _show_xvfb=$!
    export DISPLAY=$display
    sleep 0.5
  fi
  SONOVAR_INPUT_FILE=$build/demo/demo-song.flac PULSE_SERVER=unix:$work/none ALSA_CONFIG_PATH=$work/no-devices.conf \
    "$build/sonovar/sonovar" START >sonovar.log 2>&1 &
  SHOW_PID=$!
  trap stop_show EXIT
}

stop_show() {
  kill $SHOW_PID $_show_xvfb 2>/dev/null || true
  wait $SHOW_PID $_show_xvfb 2>/dev/null || true
  stop_olad
}
