#!/usr/bin/env bash
# The module's own processor work per DrawFrame, without the GL driver's: runs bench/drawframe_cpu
# under callgrind, counting only inside the plugMain calls of the timed frames, and adds up the
# instructions executed in the module's object alone. Also lists every call the module's code
# makes out of the module, by callee, per frame, and counts calls into the allocator.
#
#   scripts/perf/callgrind.sh [FRAMES]      (default 1000)
#
# Builds drawframe_cpu in $BUILD_DIR (default: build). Exits non-zero when a frame costs the
# module more than $MAX_INSTRUCTIONS instructions (default 1000) or makes any allocator call.
set -euo pipefail
cd "$(dirname "$0")/../.."

frames=${1:-1000}
build=${BUILD_DIR:-build}
limit=${MAX_INSTRUCTIONS:-1000}

command -v valgrind >/dev/null || { echo "callgrind.sh: valgrind is not installed"; exit 1; }
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target drawframe_cpu >/dev/null

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
# One renderer thread: nothing runs beside the counted calls.
LP_NUM_THREADS=0 valgrind --tool=callgrind --collect-atstart=no --compress-strings=no \
  --compress-pos=no --callgrind-out-file="$out/callgrind.out" \
  "$build/bench/drawframe_cpu" "$frames" >"$out/run.log" 2>&1 || {
  cat "$out/run.log"
  echo "callgrind.sh: the driver failed"
  exit 1
}

# Self cost of every function in the module's object (VexASCII.so), and the calls those
# functions make into other objects. After a calls= line the next cost line is the inclusive
# cost of that call, which belongs to the callee, so it is skipped.
awk -v frames="$frames" -v limit="$limit" '
  /^ob=/ { object = substr($0, 4); next }
  /^fn=/ {
    function_name = substr($0, 4)
    in_module = (object ~ /VexASCII[^\/]*\.so$/)
    callee_object = object
    next
  }
  /^cob=/ { callee_object = substr($0, 5); next }
  /^cfn=/ { callee = substr($0, 5); next }
  /^calls=/ {
    split(substr($0, 7), parts, " ")
    if (in_module && callee_object !~ /VexASCII[^\/]*\.so$/) {
      name = callee_object; sub(/.*\//, "", name)
      if (name == "???") name = "GL dispatch"
      outside[callee " [" name "]"] += parts[1]
      if (callee ~ /^(malloc|calloc|realloc|aligned_alloc|posix_memalign|operator new)/) allocations += parts[1]
    }
    skip_next = 1
    callee_object = object  # a call without cob= stays in the caller'"'"'s object
    next
  }
  /^[0-9]/ {
    if (skip_next) { skip_next = 0; next }
    if (in_module) { own += $2; by_function[function_name] += $2 }
    next
  }
  END {
    printf "frames counted: %d\n", frames
    printf "module instructions per DrawFrame: %.1f (limit %d)\n", own / frames, limit
    printf "allocator calls from module code per DrawFrame: %.2f\n", allocations / frames
    print "module instructions per DrawFrame, by function:"
    for (f in by_function) printf "  %6.1f  %s\n", by_function[f] / frames, f
    print "calls out of the module per DrawFrame:"
    for (callee in outside) printf "  %6.2f  %s\n", outside[callee] / frames, callee
    if (own / frames > limit || allocations > 0) exit 1
  }' "$out/callgrind.out"
