#!/usr/bin/env bash
# The Debian packages, made from the existing build tree: which files each
# holds, their dependencies (computed ones and those between them), the
# licence, the desktop file, no run paths, and lintian.
#   package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
source=$(realpath "$2")
for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate readelf lintian; do
  command -v "$tool" >/dev/null || { echo "skip: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
soname=$(readelf -d "$build/quorelctl/libquorelctl.so" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
major=${soname##*.so.}
runtime=libquorelctl$major
version=$(dpkg-deb -f "$work/sonovar_"*.deb Version)
header=$source/quorelctl/include/quorelctl.h
[[ $major == $(sed -n 's/^#define QUORELCTL_VERSION_MAJOR \([0-9]*\)$/\1/p' "$header") ]] ||
  fail "SONAME $soname does not follow the major version of quorelctl.h"

# Every file of every package, each matching a pattern of its own package.
lib='\./usr/lib/([a-z0-9_]+-linux-gnu[a-z]*/)?'
declare -A files=(
  [$runtime]="${lib}libquorelctl\.so\.$major ${lib}libquorelctl\.so\.$major\.[0-9]+\.[0-9]+"
  [libquorelctl-dev]="\./usr/include/quorelctl\.h \./usr/include/quorelctl\.hpp \./usr/include/quorelctl_report\.hpp ${lib}libquorelctl\.so
    ${lib}pkgconfig/quorelctl\.pc ${lib}cmake/quorelctl/quorelctlConfig\.cmake
    ${lib}cmake/quorelctl/quorelctlConfigVersion\.cmake ${lib}cmake/quorelctl/quorelctlTargets\.cmake
    ${lib}cmake/quorelctl/quorelctlTargets-[a-z]+\.cmake"
  [quorel-tools]="\./usr/bin/quorel \./usr/bin/quorel-sim \./usr/lib/udev/rules\.d/70-quorel\.rules
    \./usr/share/man/man1/quorel\.1\.gz \./usr/share/man/man1/quorel-sim\.1\.gz"
  [sonovar]="\./usr/bin/sonovar \./usr/share/man/man1/sonovar\.1\.gz \./usr/share/applications/sonovar\.desktop
    \./usr/share/icons/hicolor/scalable/apps/sonovar\.svg"
  [quorelctl-ola]="${lib}quorelctl/quorelctl-ola\.so"
)
for animation in "$source"/sonovar/animation/shipped/*.qra; do
  files[sonovar]+=" \./usr/share/sonovar/animations/$(basename "$animation" | sed 's/\./\\./g')"
done
# The control's widget for Qt hosts, where the build has it.
widget_debs=("$work"/libquorelctl-widget[0-9]*_*.deb)
if [[ -f ${widget_debs[0]} ]]; then
  widget=${widget_debs[0]##*/}
  widget=${widget%%_*}
  files[$widget]="${lib}libquorelctl_widget\.so\.[0-9]+ ${lib}libquorelctl_widget\.so\.[0-9]+\.[0-9]+\.[0-9]+"
  files[libquorelctl-widget-dev]="\./usr/include/quorelctl_widget\.h ${lib}libquorelctl_widget\.so"
fi
for package in "${!files[@]}"; do
  debs=("$work/${package}_"*.deb)
  [[ -f ${debs[0]} ]] || { fail "no package $package"; continue; }
  deb=${debs[0]}
  patterns=(${files[$package]} "\./usr/share/doc/$package/copyright" "\./usr/share/doc/$package/changelog\.gz")
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' > "$work/$package.files"
  for pattern in "${patterns[@]}"; do
    grep -Eqx "$pattern" "$work/$package.files" || fail "$package lacks $pattern"
  done
  allowed=("${patterns[@]}")
  while read -r file; do
    matched=0
    for pattern in "${allowed[@]}"; do [[ $file =~ ^$pattern$ ]] && matched=1; done
    ((matched)) || fail "$package holds $file, which belongs to no package or another one"
  done < "$work/$package.files"

  mkdir "$work/$package"
  dpkg-deb -x "$deb" "$work/$package"
  cmp -s "$work/$package/usr/share/doc/$package/copyright" "$source/packaging/debian/copyright" ||
    fail "$package has another copyright file"
  # Installed under /usr, nothing needs a run path (and Debian forbids one).
  while read -r elf; do
    [[ $(readelf -d "$elf") =~ RUNPATH|RPATH ]] && fail "$package: ${elf#"$work/$package"} has a run path"
    readelf -d "$elf" | sed -n "s|.*(NEEDED).*\[\(.*\)\]|$package ${elf##*/} \1|p" >> "$work/needed"
  done < <(find "$work/$package" -type f -exec sh -c 'head -c4 "$1" | grep -q ELF && echo "$1"' _ {} \;)
done
ls "$work"/*.deb | sed 's|.*/||; s|_.*||' | sort > "$work/made"
printf '%s\n' "${!files[@]}" | sort | diff -u - "$work/made" || fail "other packages than expected"
# Every library a binary needs comes with one of these packages or is the
# system's: none is left in the build tree.
ldconfig -p > "$work/system-libraries"
while read -r package binary soname; do
  grep -q "/$soname\$" "$work"/*.files || grep -q "^[[:space:]]$soname " "$work/system-libraries" ||
    fail "$package: $binary needs $soname, which no package provides"
done < "$work/needed"

# Dependencies: computed from the binaries, and the right ones between the packages.
field() { dpkg-deb -f "$work/$1_"*.deb "$2"; }
names() { tr ',' '\n' | sed 's/^ *//; s/ .*//' | sort -u | paste -sd' '; }
# What a host needs to build pulls nothing of Qt or of the sound stack.
[[ $(field "$runtime" Depends | names) == "libc6 libgcc-s1 libstdc++6" ]] ||
  fail "$runtime depends on: $(field "$runtime" Depends)"
[[ $(field libquorelctl-dev Depends) == "$runtime (= $version)" ]] ||
  fail "libquorelctl-dev depends on: $(field libquorelctl-dev Depends)"
for package in quorel-tools sonovar; do
  [[ $(field $package Depends) == *"$runtime (>= $version)"* && $(field $package Depends) == *"libc6 "* ]] ||
    fail "$package depends on: $(field $package Depends)"
done
for library in libqt6widgets6 libsndfile1 libpulse0; do
  [[ " $(field sonovar Depends | names) " == *" $library "* ]] || fail "sonovar does not depend on $library"
done
if [[ -n ${widget:-} ]]; then
  [[ $(field sonovar Depends) == *"$widget (>= $version)"* ]] || fail "sonovar does not depend on $widget"
fi
[[ $(field sonovar Recommends) == "quorel-tools, quorelctl-ola" ]] || fail "sonovar recommends: $(field sonovar Recommends)"
# libola is the OLA module's alone: the library loads and drives Quorel boards
# on a machine without OLA (its Depends above name no libola).
[[ $(field quorelctl-ola Depends) == *"$runtime (= $version)"* && " $(field quorelctl-ola Depends | names) " == *" libola1 "* ]] ||
  fail "quorelctl-ola depends on: $(field quorelctl-ola Depends)"
[[ $(field quorelctl-ola Recommends) == ola ]] || fail "quorelctl-ola recommends: $(field quorelctl-ola Recommends)"
[[ $(field "$runtime" Suggests) == quorelctl-ola ]] || fail "$runtime suggests: $(field "$runtime" Suggests)"
# 0.1.0 had everything in sonovar: the packages that took its files say so.
for package in libquorelctl-dev quorel-tools; do
  for relation in Breaks Replaces; do
    [[ $(field $package $relation) == "sonovar (<< 0.2.0)" ]] || fail "$package $relation: $(field $package $relation)"
  done
done
dpkg-deb --ctrl-tarfile "$work/${runtime}_"*.deb | tar -xO ./shlibs ./triggers > "$work/control" 2>/dev/null || true
grep -qx "libquorelctl $major $runtime (>= $version)" "$work/control" || fail "$runtime shlibs: $(cat "$work/control")"
grep -qx "activate-noawait ldconfig" "$work/control" || fail "$runtime does not trigger ldconfig"
grep -qx "prefix=/usr" "$work/libquorelctl-dev/usr/lib/"*/pkgconfig/quorelctl.pc || fail "quorelctl.pc names another prefix"

desktop=$work/sonovar/usr/share/applications/sonovar.desktop
desktop-file-validate "$desktop" || fail "desktop file does not validate"
grep -q '^Icon=sonovar$' "$desktop" || fail "desktop file names another icon"

# Every file installed belongs to a component, so to a package.
cmake --install "$build" --prefix "$work/unspecified" --component Unspecified > /dev/null
[[ -z $(find "$work/unspecified" -type f 2>/dev/null) ]] ||
  fail "installed without a component: $(find "$work/unspecified" -type f)"

# Lintian: no errors, and no warning but the one CPack causes (the README
# says why it stays).
lintian --tag-display-limit 0 "$work"/*.deb > "$work/lintian" 2>&1 || true
grep -v -e '^W: [a-z0-9-]*: maintscript-calls-ldconfig \[post\(inst\|rm\)\]$' \
  -e 'running with root privileges' "$work/lintian" |
  grep . && fail "lintian: see above"

# libola is the module's alone: the library loads and drives Quorel boards
# on a machine without OLA.
library=$(find "$work/$runtime/usr/lib" -name 'libquorelctl.so.*' -type f | head -1)
! readelf -d "$library" | grep -q 'NEEDED.*libola' || fail "the library itself needs libola"

if ((failures)); then
  echo "$failures failed"
  exit 1
fi
echo "packages ${!files[*]} $version: all checks passed"
