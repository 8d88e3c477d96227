#!/usr/bin/env bash
# Checks the lines this branch changed, and nothing else, against
# .clang-format: the tree keeps its hand-made layout, and new code follows
# the style. Compares with FORMAT_BASE when set, else with where the branch
# left main (origin/main or main); on main itself that is the last commit,
# so only changes not yet committed are checked.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v git-clang-format >/dev/null || ! git rev-parse --git-dir >/dev/null 2>&1; then
  echo "== format check skipped: no git-clang-format (package clang-format) or no git work tree"
  exit 0
fi
base=${FORMAT_BASE:-}
if [[ -z $base ]]; then
  for ref in origin/main main; do
    if git rev-parse -q --verify "$ref^{commit}" >/dev/null; then
      base=$(git merge-base HEAD "$ref") && break
    fi
  done
fi
if [[ -z $base ]]; then
  echo "== format check skipped: no main branch to compare with (set FORMAT_BASE)"
  exit 0
fi

echo "== format of the lines changed since $(git rev-parse --short "$base")"
# git clang-format --diff exits 0 whether or not it found something; it says
# so in words when it did not.
out=$(git clang-format --diff "$base" -- 2>&1) || { echo "$out"; exit 1; }
if [[ $out == *"no modified files to format"* || $out == *"did not modify any files"* ]]; then
  echo "format: the changed lines follow .clang-format"
  exit 0
fi
echo "$out"
echo "format: the lines above do not follow .clang-format; 'git clang-format $base' formats them"
exit 1
