#!/bin/bash
# scripts/run.sh started with sudo: only the packages are installed as root;
# the build and the main job run as the user who called sudo, in that user's
# home. setup.sh and main-job.sh are stand-ins that say who ran them.
#   run_sudo_test.sh SOURCE_DIR
set -euo pipefail
source=$1
[[ $(id -u) -eq 0 ]] && id nobody >/dev/null 2>&1 || { echo "run_sudo: needs root and the user nobody"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir "$work/scripts"
cp "$source/scripts/run.sh" "$work/scripts/"
for part in setup main-job; do
  printf '#!/bin/bash\necho "%s ${BUILD_ONLY:-} $(id -u) $HOME${*:+ $*}" >>%s/log\n' "$part" "$work" >"$work/scripts/$part.sh"
done
chmod 755 "$work"/scripts/*.sh
touch "$work/log"
chmod 666 "$work/log"
nobody_uid=$(id -u nobody)
nobody_home=$(getent passwd nobody | cut -d: -f6)

# The checkout is the calling user's, as after a clone of their own.
chown nobody "$work"
SUDO_USER=nobody "$work/scripts/run.sh" START
expected="setup packages 0 ${HOME:-}
setup release $nobody_uid $nobody_home
main-job  $nobody_uid $nobody_home START"
[[ $(<"$work/log") == "$expected" ]] || { echo "FAIL: under sudo:"; cat "$work/log"; exit 1; }

# A checkout of another user's: nothing runs, not even as root.
: >"$work/log"
chown root "$work"
if SUDO_USER=nobody "$work/scripts/run.sh" 2>/dev/null; then echo "FAIL: ran on another user's checkout"; exit 1; fi
[[ ! -s "$work/log" ]] || { echo "FAIL: another user's checkout:"; cat "$work/log"; exit 1; }

# Without sudo: all of it as whoever started it.
: >"$work/log"
env -u SUDO_USER "$work/scripts/run.sh"
[[ $(<"$work/log") == "setup release 0 ${HOME:-}
main-job  0 ${HOME:-}" ]] || { echo "FAIL: without sudo:"; cat "$work/log"; exit 1; }
echo "run_sudo: ok"
