#!/usr/bin/env bash
# Sets everything up on a fresh machine and runs every test stage. Exits non-zero when any
# stage fails. Each stage is a script of its own under scripts/stages/, run in name order; the
# closing line adds up the test counts that the stages' runners printed.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || { echo "setup failed"; exit 1; }

logdir=$(mktemp -d)
failed=()
for stage in scripts/stages/*.sh; do
  name=$(basename "$stage" .sh)
  echo "=== stage $name"
  start=$(date +%s)
  if bash "$stage" 2>&1 | tee "$logdir/$name.log"; then
    echo "=== stage $name passed ($(( $(date +%s) - start )) s)"
  else
    echo "=== stage $name FAILED ($(( $(date +%s) - start )) s)"
    failed+=("$name")
  fi
done

# CTest closes with "N% tests passed, F tests failed out of T"; other runners print
# "N passed, F failed" themselves.
passed=0 failures=0
while read -r p f; do
  passed=$((passed + p)); failures=$((failures + f))
done < <(cat "$logdir"/*.log | sed -n -E \
  -e 's/^[0-9]+% tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2 \1/p' \
  -e 's/^[A-Za-z-]*:? ?([0-9]+) passed, ([0-9]+) failed.*/\1 \2 plain/p' |
  awk '{ if ($3 == "plain") print $1, $2; else print $1 - $2, $2 }')
rm -rf "$logdir"

if [ ${#failed[@]} -gt 0 ]; then
  echo "failed stages: ${failed[*]}"
  echo "tests: $passed passed, $((failures > 0 ? failures : 1)) failed"
  exit 1
fi
echo "tests: $passed passed, $failures failed"
