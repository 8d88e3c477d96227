#!/usr/bin/env bash
# The udev rule matches a hidraw node by its own HID device (kernel name
# BUS:VENDOR:PRODUCT.N, in upper-case hex), never by the ids of an ancestor.
set -euo pipefail
rules=$1
rule=$(grep '^SUBSYSTEM' "$rules")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
[[ $(grep -c '^SUBSYSTEM' "$rules") == 1 ]] || fail "the programs' advice takes one rule line"
[[ "$rule" == *'SUBSYSTEM=="hidraw"'* && "$rule" == *'SUBSYSTEMS=="hid"'* ]] || fail "not a hidraw node of a HID device: $rule"
[[ "$rule" != *ATTRS* ]] || fail "ATTRS match any ancestor: $rule"
[[ "$rule" == *'TAG+="uaccess"'* && "$rule" != *MODE* && "$rule" != *GROUP* ]] || fail "grants more than the seat's user: $rule"
pattern=$(sed -n 's/.*KERNELS=="\([^"]*\)".*/\1/p' <<< "$rule")
[[ -n "$pattern" ]] || fail "no KERNELS match: $rule"
for name in 0003:E7A1:00F0.0001 0003:E7A1:00FF.01A2 0005:E7A1:00F3.0007; do
  # shellcheck disable=SC2053
  [[ $name == $pattern ]] || fail "$name (a board's HID device) not matched by $pattern"
done
for name in 0003:E7A1:00EF.0001 0003:E7A1:0100.0001 0003:046D:C52B.0001 1-1.2 0003:E7A1:00F0; do
  # shellcheck disable=SC2053
  [[ $name != $pattern ]] || fail "$name matched by $pattern"
done
((failures == 0)) && echo "udev rule: ok"
exit $((failures > 0))
