#!/bin/sh
# Usage: check_exports.sh NM MODULE NAME...
# Passes when the module's defined dynamic symbols are exactly the given names.
set -eu
nm="$1"
module="$2"
shift 2
actual=$("$nm" -D --defined-only "$module" | awk 'NF >= 3 { print $3 }' | sort)
expected=$(printf '%s\n' "$@" | sort)
if [ "$actual" != "$expected" ]; then
  echo "exported by $module:"
  echo "$actual"
  echo "expected:"
  echo "$expected"
  exit 1
fi
