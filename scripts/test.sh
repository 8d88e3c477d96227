#!/usr/bin/env bash
# Set-up, the format of the changed lines, then the whole test suite: the tests in the normal and the
# sanitizer build, a bounded fuzzing run, and the Windows build with its
# tests under wine.
#   FUZZ_SECONDS=60   length of the fuzzing run, all targets together (0 skips it)
#   WINDOWS_TESTS=0   leaves the Windows build and its tests out
set -euo pipefail
cd "$(dirname "$0")/.."
windows=${WINDOWS_TESTS:-1}
SONOVAR_WINDOWS=$windows scripts/setup.sh

scripts/check-format.sh

echo "== tests (RelWithDebInfo)"
ctest --test-dir build --output-on-failure -j "$(nproc)"

echo "== tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)"

# A sixth of the fuzzing time each for the command path and the animation
# files, an eighth each for the descriptor, uevent and settings parsers, and a
# quarter for an OLA server's answers to the module.
seconds=${FUZZ_SECONDS:-60}
if [[ "$seconds" != 0 ]]; then
  corpus=$(mktemp -d)
  trap 'rm -rf "$corpus"' EXIT
  for entry in quorelctl:6 animation:6 descriptor:8 uevent:8 settings:8 ola_server:4; do
    target=${entry%%:*}
    share=$((seconds / ${entry##*:}))
    program=build-fuzz/fuzz/${target}_fuzz
    [[ -x "$program" ]] || continue
    ((share > 0)) || share=1
    echo "== fuzzing $target for ${share}s"
    mkdir -p "$corpus/$target"
    cp fuzz/seeds/"$target"/* "$corpus/$target"/
    # A failing input is kept in fuzz-corpus/ (ignored by git) to be replayed.
    mkdir -p fuzz-corpus
    if ! "$program" -max_total_time="$share" -print_final_stats=1 -artifact_prefix=fuzz-corpus/ "$corpus/$target" \
        >"$corpus/$target.log" 2>&1; then
      tail -n 40 "$corpus/$target.log"
      echo "fuzzing $target found a failure (input in fuzz-corpus/)"
      exit 1
    fi
    grep -E '^(Done|stat::number_of_executed_units)' "$corpus/$target.log" || true
  done
fi

if [[ "$windows" != 0 ]]; then
  scripts/test-windows.sh
else
  echo "== Windows build and tests left out (WINDOWS_TESTS=0)"
fi
