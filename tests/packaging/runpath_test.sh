#!/bin/bash
# No ELF file of the build has an empty entry in its RUNPATH or RPATH: the
# loader reads one as the working folder, so that a library planted wherever
# a program is started would be loaded into it.
#   runpath_test.sh BUILD_DIR
set -euo pipefail
build=$1
command -v readelf >/dev/null || { echo "runpath: no readelf"; exit 77; }
checked=0 with_path=0 bad=0
while IFS= read -r -d '' file; do
  [[ $(head -c 4 "$file" | od -An -tx1 | tr -d ' \n') == 7f454c46 ]] || continue
  checked=$((checked + 1))
  while IFS= read -r path; do
    with_path=$((with_path + 1))
    if [[ -z $path || $path == :* || $path == *: || $path == *::* ]]; then
      echo "FAIL: $file: empty entry in [$path]"
      bad=$((bad + 1))
    fi
  done < <(readelf -d "$file" 2>/dev/null | sed -n 's/.*(R\(UN\)\?PATH).*path: \[\(.*\)\]$/\2/p')
done < <(find "$build" -type f \( -perm -u+x -o -name '*.so*' -o -name '*.o' -o -name '*.a' \) -print0)
echo "runpath: $checked ELF files, $with_path search paths, $bad with an empty entry"
# A build with no search path at all would prove nothing.
((checked > 0 && with_path > 0)) || { echo "FAIL: nothing to check in $build"; exit 1; }
((bad == 0))
