#!/usr/bin/env bash
# Set-up, then the main job (scripts/main-job.sh says what it runs): Sonovar
# on the boards that are connected, or on four virtual boards playing the
# demo song when none is.
# Started with sudo, only the packages are installed as root: the build and
# the main job run as the user who called sudo, with that user's settings
# and bindings (~/.config/quorelctl), never root's.
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)
user=${SUDO_USER:-}
if [[ $(id -u) -ne 0 || -z $user || $user == root ]]; then
  BUILD_ONLY=release "$scripts/setup.sh"
  exec "$scripts/main-job.sh" "$@"
fi

checkout=$(stat -c %U "$scripts/..")
if [[ $checkout != "$user" ]]; then
  echo "run.sh: this checkout belongs to $checkout, not to $user, who would build and run it:" >&2
  echo "  run scripts/run.sh as $checkout, or give $user the checkout" >&2
  exit 1
fi
BUILD_ONLY=packages "$scripts/setup.sh"
home=$(getent passwd "$user" | cut -d: -f6)
as_user() {  # command... : as the calling user, with that user's home
  runuser -u "$user" -- env HOME="$home" USER="$user" LOGNAME="$user" "$@"
}
# A build folder left by an earlier run as root is handed to the user.
build=$scripts/../build
if [[ -d $build && $(stat -c %u "$build") == 0 ]]; then
  chown -R --no-dereference "$user:" "$build"
fi
as_user env BUILD_ONLY=release "$scripts/setup.sh"
exec runuser -u "$user" -- env HOME="$home" USER="$user" LOGNAME="$user" "$scripts/main-job.sh" "$@"
