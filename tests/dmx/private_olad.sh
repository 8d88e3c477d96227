# A private olad for the tests and the figures.
# Sourced:
#   start_olad PEEK U1 U2      starts olad with the dummy output port patched
#                              to universe U1 and an Art-Net port on the
#                              loopback interface to U2 (a universe needs a
#                              port); sets OLA_PORT and OLAD_DIR, and
#                              stops it and removes its folder on exit
#   stop_olad                  the same at once
# Run (by a test that stops and starts the server during a show):
#   bash private_olad.sh kill OLAD_DIR
#   bash private_olad.sh start OLAD_DIR
# olad refuses to run as root: as root it runs as the user the ola package
# creates. It gets a private config folder, a free RPC port, no web server and
# no DNS-SD (which, without an Avahi daemon, keeps retrying at half a core),
# and every plugin but the dummy one and Art-Net on the loopback interface is
# switched off, so nothing goes out on the network. Its pid, port and the peek program are kept in its folder.

OLAD_DIR=${OLAD_DIR:-}
OLA_PORT=${OLA_PORT:-}

_olad_plugins="e131 espnet ftdidmx gpio karate kinet milinst opendmx openpixelcontrol osc pathport
  renard sandnet shownet spi stageprofi uartdmx usbdmx usbserial"

_olad_launch() {
  local as=() port peek pid i
  port=$(cat "$OLAD_DIR/port") peek=$(cat "$OLAD_DIR/peek")
  if [ "$(id -u)" = 0 ]; then as=(setpriv --reuid=olad --regid="$(id -g olad)" --init-groups); fi
  local http=(--no-http)
  if [ -n "${OLAD_HTTP_PORT:-}" ]; then http=(-p "$OLAD_HTTP_PORT" --no-http-quit); fi
  "${as[@]}" olad -c "$OLAD_DIR/conf" -r "$port" "${http[@]}" --no-register-with-dns-sd -l 1 \
    >>"$OLAD_DIR/olad.log" 2>&1 </dev/null &
  pid=$!
  echo "$pid" >"$OLAD_DIR/pid"
  # Ready when it answers; a port someone else took makes it end at once.
  for i in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || return 1
    "$peek" ready "$port" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

_olad_kill() {
  local pid i
  pid=$(cat "$OLAD_DIR/pid" 2>/dev/null) || return 0
  rm -f "$OLAD_DIR/pid"
  kill "$pid" 2>/dev/null || true
  for i in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

start_olad() {
  local peek=$1 u1=$2 u2=$3 p
  OLAD_DIR=$(mktemp -d)
  trap stop_olad EXIT
  trap "exit 129" HUP
  trap "exit 130" INT
  trap "exit 143" TERM
  mkdir "$OLAD_DIR/conf"
  for p in $_olad_plugins; do echo "enabled = false" >"$OLAD_DIR/conf/ola-$p.conf"; done
  printf 'enabled = true\nnetwork_device_count = 0\nsensor_device_count = 0\n' >"$OLAD_DIR/conf/ola-dummy.conf"
  printf 'enabled = true\nip = 127.0.0.1\n' >"$OLAD_DIR/conf/ola-artnet.conf"
  printf '1-1-O-0 = %s\n2-1-O-0 = %s\n' "$u1" "$u2" >"$OLAD_DIR/conf/ola-port.conf"
  echo "$peek" >"$OLAD_DIR/peek"
  if [ "$(id -u)" = 0 ]; then chown -R olad "$OLAD_DIR"; fi
  for _ in 1 2 3 4 5; do
    OLA_PORT=$((20000 + RANDOM % 30000))
    echo "$OLA_PORT" >"$OLAD_DIR/port"
    _olad_launch && return 0
    _olad_kill
  done
  echo "could not start olad; its log:" >&2
  cat "$OLAD_DIR/olad.log" >&2
  return 1
}

stop_olad() {
  [ -n "$OLAD_DIR" ] || return 0
  _olad_kill
  rm -rf "$OLAD_DIR"
  OLAD_DIR=
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  OLAD_DIR=$2
  case $1 in
    kill) _olad_kill ;;
    start) _olad_launch ;;
    *) echo "usage: private_olad.sh kill|start OLAD_DIR" >&2; exit 2 ;;
  esac
fi
