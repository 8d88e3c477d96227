#!/usr/bin/env bash
# Installs what the project needs from Debian's archive (only what is
# missing), then configures and builds. Safe to run again and again.
#   BUILD_ONLY=release   build only the main configuration
#   BUILD_ONLY=packages  install the packages only
#   SONOVAR_WINDOWS=1    also the Windows cross compiler and wine (for
#                        scripts/build-windows.sh and test-windows.sh); their
#                        absence only skips the Windows part
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  libpulse-dev portaudio19-dev libasound2-dev libsndfile1-dev libsamplerate0-dev
  pulseaudio pulseaudio-utils
  qt6-base-dev qt6-svg-dev libgl-dev fonts-dejavu-core
  locales tmux xvfb
  sox libsox-fmt-base
  dpkg-dev file desktop-file-utils lintian
  ola libola-dev
)

# The Windows cross build (GoogleTest from its source package) and wine.
windows_packages=(g++-mingw-w64-x86-64-posix googletest wine64)

missing() {  # packages... -> those not installed
  local p status
  for p in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || echo "$p"
  done
}
updated=0
install() {  # packages...
  local SUDO=""
  [[ $(id -u) -eq 0 ]] || SUDO="sudo"
  echo "setup: installing $*"
  ((updated)) || $SUDO apt-get update -qq
  updated=1
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

mapfile -t wanted < <(missing "${packages[@]}")
if ((${#wanted[@]})); then install "${wanted[@]}"; fi
if [[ "${SONOVAR_WINDOWS:-0}" == 1 ]]; then
  mapfile -t wanted < <(missing "${windows_packages[@]}")
  if ((${#wanted[@]})) && ! install "${wanted[@]}"; then
    echo "setup: ${wanted[*]} could not be installed: the Windows build and its tests will be skipped"
  fi
fi
[[ "${BUILD_ONLY:-}" == packages ]] && exit 0

# A locale with a decimal comma, so the tests can show numbers are read alike
# whatever the locale of the host.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  localedef -i de_DE -f UTF-8 de_DE.UTF-8 2>/dev/null || echo "setup: could not generate de_DE.UTF-8 (locale test will be skipped)"
fi

jobs=$(nproc)
configure() {  # dir, targets ("all" for everything; several separated by blanks), extra cmake arguments...
  local dir=$1 targets=$2; shift 2
  [[ -f "$dir/build.ninja" ]] || cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  # shellcheck disable=SC2086 # one word per target
  cmake --build "$dir" -j "$jobs" --target $targets
}

configure build all -DCMAKE_BUILD_TYPE=RelWithDebInfo
[[ "${BUILD_ONLY:-}" == release ]] && exit 0
configure build-asan all -DCMAKE_BUILD_TYPE=Debug -DSONOVAR_SANITIZE=ON -DSONOVAR_BENCH=OFF
if command -v clang++ >/dev/null; then
  CC=clang CXX=clang++ configure build-fuzz "quorelctl_fuzz descriptor_fuzz uevent_fuzz animation_fuzz settings_fuzz ola_server_fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONOVAR_FUZZ=ON \
    -DSONOVAR_TESTS=OFF -DSONOVAR_BENCH=OFF
fi
