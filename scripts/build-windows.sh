#!/usr/bin/env bash
# Cross-builds for 64-bit Windows into build-windows/ with Debian's mingw-w64:
# quorelctl.dll (with its import library quorelctl/libquorelctl.dll.a and
# bin/quorelctl.def), quorel.exe, the wave-input service and the Windows
# tests, the programs and the DLL side by side in build-windows/bin/.
# Installs the cross compiler through scripts/setup.sh when it is missing;
# exits 77 with the reason when it cannot be had.
#   BUILD_TYPE=Release   the CMake build type
set -euo pipefail
cd "$(dirname "$0")/.."

compiler=x86_64-w64-mingw32-g++-posix
runs() { "$compiler" --version >/dev/null 2>&1; }
if ! runs || [[ ! -f /usr/src/googletest/CMakeLists.txt ]]; then
  SONOVAR_WINDOWS=1 BUILD_ONLY=packages scripts/setup.sh || true
fi
if ! runs; then
  echo "build-windows: the mingw-w64 cross compiler ($compiler, Debian package g++-mingw-w64-x86-64-posix) could not be installed"
  exit 77
fi

jobs=$(nproc)
((jobs <= 2)) || jobs=2
# Configured every time (about a second), so that a wine installed since is
# found for ctest; the toolchain is given to a new tree only.
toolchain=()
[[ -f build-windows/CMakeCache.txt ]] || toolchain=(--toolchain packaging/windows/mingw-w64-x86_64.cmake)
cmake -S . -B build-windows -G Ninja "${toolchain[@]}" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" \
  -DSONOVAR_BENCH=OFF >/dev/null
cmake --build build-windows -j "$jobs"
