#!/usr/bin/env bash
# Every performance figure of docs/PERFORMANCE.md in one run: a Release build, the frame
# benchmark (copy, six-reads floors, the first shader and the module at 1280x720, 1920x1080 and
# 3840x2160, interleaved; medians; the checks), the shader instruction counts and the module's
# own instructions per DrawFrame under callgrind. Takes about five minutes on two cores.
#
#   scripts/perf/bench.sh [frame_bench options...]     e.g. --frames 41
#
# Builds in $BUILD_DIR (default: build). Other programs running at the same time disturb the
# wall-clock figures; the cpu-time columns and the callgrind counts much less so.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD_DIR:-build}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target frame_bench shader_instructions drawframe_cpu >/dev/null

echo "== frame benchmark"
"$build/bench/frame_bench" "$@"

echo
echo "== renderer instructions per frame (callgrind, 256x256, hue rotation on)"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$out" && LP_NUM_THREADS=0 valgrind --tool=callgrind --collect-atstart=no \
  --smc-check=all-non-file "$OLDPWD/$build/bench/shader_instructions" --size 256x256 \
  >run.log 2>&1) || { cat "$out/run.log"; exit 1; }
for dump in "$out"/callgrind.out.*.*; do
  label=$(sed -n 's/^desc: Trigger: Client Request: //p' "$dump")
  total=$(sed -n 's/^totals: //p' "$dump")
  awk -v label="$label" -v total="$total" \
    'BEGIN { printf "  %-18s %12d instructions, %6.1f per pixel\n", label, total, total / 65536 }'
done

echo
echo "== the module's own work per DrawFrame (callgrind)"
BUILD_DIR="$build" scripts/perf/callgrind.sh
