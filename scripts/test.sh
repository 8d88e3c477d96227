#!/usr/bin/env bash
# Set-up, then the whole test suite: the tests in the normal and the
# sanitizer build, and a bounded fuzzing run.
#   FUZZ_SECONDS=30   length of the fuzzing run (0 skips it)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

echo "== tests (RelWithDebInfo)"
ctest --test-dir build --output-on-failure -j "$(nproc)"

echo "== tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)"

seconds=${FUZZ_SECONDS:-30}
if [[ -x build-fuzz/fuzz/quorelctl_fuzz && "$seconds" != 0 ]]; then
  echo "== fuzzing the command path for ${seconds}s"
  corpus=$(mktemp -d)
  trap 'rm -rf "$corpus"' EXIT
  find fuzz/seeds -maxdepth 1 -type f -exec cp -t "$corpus" {} +  # the command seeds; animation/ has its own target
  if ! build-fuzz/fuzz/quorelctl_fuzz -max_total_time="$seconds" -print_final_stats=1 "$corpus" \
      >"$corpus/log" 2>&1; then
    tail -n 40 "$corpus/log"
    echo "fuzzing found a failure"
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units)' "$corpus/log" || true
fi
