#!/usr/bin/env bash
# Validates the effect's two GLSL sources offline, with no GL context: the build's dump_shaders
# writes them exactly as the module holds them, each must open with "#version 410 core", and
# glslangValidator checks each stage and then the pair linked together. Fails on any error.
# VEX_BUILD_DIR picks the build directory (default build/, shared with 10-linux.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VEX_BUILD_DIR:-build}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target dump_shaders >/dev/null

sources=$(mktemp -d)
trap 'rm -rf "$sources"' EXIT
"$build/tests/dump_shaders" "$sources"

passed=0 failed=0
check() {
  local name=$1
  shift
  if "$@"; then
    echo "ok   $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name"
    failed=$((failed + 1))
  fi
}
version_line() { [ "$(head -n 1 "$1")" = "#version 410 core" ]; }

for stage in vert frag; do
  file="$sources/ascii.$stage"
  check "ascii.$stage: first line is #version 410 core" version_line "$file"
  check "ascii.$stage: glslangValidator -S $stage" glslangValidator -S "$stage" "$file"
done
check "vertex and fragment stages link" glslangValidator -l "$sources/ascii.vert" "$sources/ascii.frag"

echo "glslang: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
