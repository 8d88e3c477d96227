#!/usr/bin/env bash
# The example host of docs/library.md, built the way a programmer outside this
# repository builds it: the library and its development files installed to a
# temporary prefix (components runtime and dev alone), the host built against
# them with pkg-config and with find_package, and run on a virtual board,
# which must receive exactly its bytes.
#   host_example_test.sh BUILD_DIR SOURCE_DIR QUOREL_SIM
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
sim=$3
for tool in cc c++ pkg-config cmake; do
  command -v "$tool" >/dev/null || { echo "skip: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A blank in the prefix, which pkg-config needs escaped.
prefix="$work/pre fix"
for component in runtime dev; do
  cmake --install "$build" --prefix "$prefix" --component "$component" > /dev/null
done
# What a host needs, and nothing else.
(cd "$prefix" && find . -type f -o -type l) | sed 's|^\./||; s|^lib/[a-z0-9_]*-linux-gnu[a-z]*/|lib/|' > "$work/installed"
cat > "$work/expected" <<'FILES'
include/quorelctl.h
include/quorelctl.hpp
include/quorelctl_report.hpp
lib/cmake/quorelctl/quorelctlConfig.cmake
lib/cmake/quorelctl/quorelctlConfigVersion.cmake
lib/cmake/quorelctl/quorelctlTargets-relwithdebinfo.cmake
lib/cmake/quorelctl/quorelctlTargets.cmake
lib/libquorelctl.so
lib/libquorelctl.so.1
lib/libquorelctl.so.VERSION
lib/pkgconfig/quorelctl.pc
share/doc/libquorelctl-dev/changelog.gz
share/doc/libquorelctl-dev/copyright
share/doc/libquorelctlMAJOR/changelog.gz
share/doc/libquorelctlMAJOR/copyright
FILES
header=$source/quorelctl/include/quorelctl.h
version=$(for part in MAJOR MINOR PATCH; do
  sed -n "s/^#define QUORELCTL_VERSION_$part \([0-9]*\)$/\1/p" "$header"; done | paste -sd.)
sed -i "s/VERSION$/$version/; s/MAJOR/${version%%.*}/" "$work/expected"
diff -u "$work/expected" <(sed 's/-[a-z]*\.cmake$/-relwithdebinfo.cmake/' "$work/installed" | sort -u) ||
  fail "the runtime and dev components install other files"
grep -rlF -e "$build" -e "$source" --include='*.pc' --include='*.cmake' "$prefix" &&
  fail "the pkg-config file or the CMake package names the build or source tree"
libdir=$(dirname "$(find "$prefix" -name 'libquorelctl.so.1')")

# The host program and its CMake project, exactly as docs/library.md shows them.
mkdir "$work/host"
for file in host.c CMakeLists.txt; do
  awk -v marker="<!-- $file -->" '$0 == marker { on = 1; next }
    on && /^```/ { if (inside) exit; inside = 1; next }
    on && inside { print }' "$source/docs/library.md" > "$work/host/$file"
  [[ -s $work/host/$file ]] || fail "docs/library.md has no $file"
done

# 1. pkg-config, with warnings as errors so that the header is clean C.
export PKG_CONFIG_PATH=$libdir/pkgconfig
[[ $(pkg-config --modversion quorelctl) == "$version" ]] || fail "pkg-config version: $(pkg-config --modversion quorelctl)"
# As make would run it: the shell undoes the escapes.
flags=$(pkg-config --cflags --libs quorelctl)
eval "cc -std=c11 -Wall -Wextra -Wpedantic -Werror -o \"\$work/host-pc\" \"\$work/host/host.c\" $flags" ||
  fail "the host does not build with pkg-config"
# The C++ wrapper from the installed headers alone.
printf '%s\n' '#include <quorelctl_report.hpp>' \
  'int main() { return quorel::Version() >= QUORELCTL_VERSION && quorel::UnusableBoards(quorel::ListDevices(), {}, "").size() < 9999 ? 0 : 1; }' \
  > "$work/wrapper.cpp"
eval "c++ -std=c++17 -Wall -Wextra -Werror -o \"\$work/wrapper\" \"\$work/wrapper.cpp\" $flags" ||
  fail "the C++ wrapper does not build from the installed headers"

# 2. find_package, outside the source tree.
cmake -S "$work/host" -B "$work/host-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" > "$work/cmake.log" 2>&1 &&
  cmake --build "$work/host-build" > "$work/cmake-build.log" 2>&1 ||
  { cat "$work/cmake.log" "$work/cmake-build.log" 2>/dev/null; fail "the host does not build with CMake"; }
grep -q "^quorelctl_DIR:PATH=$prefix/" "$work/host-build/CMakeCache.txt" ||
  fail "CMake found another quorelctl: $(grep '^quorelctl_DIR' "$work/host-build/CMakeCache.txt")"

# 3. Each host on a virtual board 1: its start-up reports, then all 32 outputs on.
cat > "$work/want" <<'WANT'
1 00 40 00 00 00 00 03 00 00
1 00 30 30 30 30 30 30 30 30
1 00 30 30 30 30 30 30 30 30
1 00 30 30 30 30 30 30 30 30
1 00 30 30 30 30 30 30 30 30
1 00 40 ff ff ff ff 04 00 00
WANT
for host in "$work/host-pc" "$work/host-build/host"; do
  name=$(basename "$host")
  # The library the host runs with is the installed one.
  [[ $(LD_LIBRARY_PATH=$libdir LD_TRACE_LOADED_OBJECTS=1 "$host") == *"$libdir/libquorelctl.so.1 "* ]] ||
    fail "$name does not load the installed library"
  rm -f "$work/log"
  LD_LIBRARY_PATH=$libdir "$sim" --boards 1 --log "$work/log" --view none -- "$host" > "$work/out" 2>&1 ||
    fail "$name failed: $(cat "$work/out")"
  grep -qx "Detected 1000000000000000" "$work/out" || fail "$name printed: $(cat "$work/out")"
  diff -u "$work/want" <(cut -d' ' -f2- "$work/log") || fail "board 1 received other bytes from $name"
done
# Without a board, the host says why and fails.
mkdir -p "$work/empty/sys/class/hidraw" "$work/empty/dev"
if LD_LIBRARY_PATH=$libdir QUOREL_SYSFS_ROOT=$work/empty/sys QUOREL_DEV_ROOT=$work/empty/dev \
    "$work/host-pc" > "$work/out" 2>&1; then
  fail "the host succeeded without a board"
fi
grep -qx "error 16385: Device Number 1 Not Connected" "$work/out" || fail "no board: $(cat "$work/out")"

if ((failures)); then
  echo "$failures failed"
  exit 1
fi
echo "host example: built with pkg-config and CMake against quorelctl $version, board 1 got its bytes"
