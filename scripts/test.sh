#!/usr/bin/env bash
# Sets everything up on a fresh machine and runs every test stage. Exits non-zero when any
# stage fails. Each stage is a script of its own under scripts/stages/, run in name order.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || { echo "setup failed"; exit 1; }

failed=()
for stage in scripts/stages/*.sh; do
  name=$(basename "$stage" .sh)
  echo "=== stage $name"
  start=$(date +%s)
  if bash "$stage"; then
    echo "=== stage $name passed ($(( $(date +%s) - start )) s)"
  else
    echo "=== stage $name FAILED ($(( $(date +%s) - start )) s)"
    failed+=("$name")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "failed stages: ${failed[*]}"
  exit 1
fi
echo "all stages passed"
