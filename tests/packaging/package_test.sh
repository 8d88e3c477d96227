#!/usr/bin/env bash
# The Debian package, made from the existing build tree: its file list, its
# computed dependencies, the desktop file and where the program looks for
# its library.
#   package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate readelf; do
  command -v "$tool" >/dev/null || { echo "skip: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
debs=("$work"/sonovar_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || { echo "FAIL: no single sonovar_*.deb: ${debs[*]}"; exit 1; }
deb=${debs[0]}

dpkg-deb -c "$deb" | awk '{print $6}' > "$work/files"
want=(
  '^\./usr/bin/sonovar$' '^\./usr/bin/quorel$' '^\./usr/bin/quorel-sim$'
  '^\./usr/lib/(.*/)?libquorelctl\.so\.0$' '^\./usr/include/quorelctl\.h$'
  '^\./usr/lib/udev/rules\.d/70-quorel\.rules$'
  '^\./usr/lib/(.*/)?quorelctl/quorelctl-ola\.so$'
  '^\./usr/share/applications/sonovar\.desktop$'
  '^\./usr/share/icons/hicolor/scalable/apps/sonovar\.svg$'
)
for animation in "$source"/sonovar/animation/shipped/*.qra; do
  want+=("^\./usr/share/sonovar/animations/$(basename "$animation" | sed 's/\./\\./g')\$")
done
for pattern in "${want[@]}"; do
  grep -Eq "$pattern" "$work/files" || fail "no file matching $pattern in the package"
done

# Dependencies come from the binaries, not from a hand-written list.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libqt6widgets6 libsndfile1; do
  [[ $depends == *"$library "* || $depends == *"$library," || $depends == *"$library" ]] ||
    fail "Depends lacks $library: $depends"
done

[[ $(dpkg-deb -f "$deb" Recommends) == *ola* ]] || fail "the package does not recommend ola"

mkdir "$work/root"
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/sonovar.desktop" || fail "desktop file does not validate"
grep -q '^Icon=sonovar$' "$work/root/usr/share/applications/sonovar.desktop" || fail "desktop file names another icon"
# The installed program finds the library beside it, never in the build tree.
runpath=$(readelf -d "$work/root/usr/bin/sonovar" | grep -E 'RUNPATH|RPATH' || true)
[[ $runpath == *'[$ORIGIN/../lib'* && $runpath != *"$build"* ]] || fail "sonovar's run path: $runpath"

# libola is the module's alone: the library loads and drives Quorel boards
# on a machine without OLA.
library=$(find "$work/root/usr/lib" -name 'libquorelctl.so.*' -type f | head -1)
! readelf -d "$library" | grep -q 'NEEDED.*libola' || fail "the library itself needs libola"

if ((failures)); then
  echo "$failures failed"
  exit 1
fi
echo "package $(basename "$deb"): all checks passed"
