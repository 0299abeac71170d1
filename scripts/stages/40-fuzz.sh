#!/usr/bin/env bash
# Fuzzes the host boundary (fuzz/HostBoundaryFuzzer.cpp) with libFuzzer under AddressSanitizer,
# LeakSanitizer and UndefinedBehaviorSanitizer, on the effect module built with coverage
# counters. First every kept regression input (fuzz/regressions/: inputs that failed once, and
# inputs pinning known hazards) runs once, then the fuzzer runs for a bounded time (60 s) from
# the seed corpus (fuzz/corpus/). A crash, a leak, a sanitizer report or a broken contract check
# fails the stage; the input that caused it is printed in base64 so it can be added to
# fuzz/regressions/.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/sanitizer-options.sh
# Linking libFuzzer puts libstdc++ ahead of the shared sanitizer runtime in the program's library
# list, which the runtime's start-up check refuses. libstdc++ defines none of the functions the
# runtime intercepts (malloc and the like come from libc, after the runtime), so the order is
# harmless here and the check is turned off for the fuzzer alone.
export ASAN_OPTIONS="$ASAN_OPTIONS:verify_asan_link_order=0"

build=build-fuzz
seconds=${VEX_FUZZ_SECONDS:-60}
runtime_dir=$(dirname "$(clang++ -print-file-name=libclang_rt.asan-x86_64.so)")
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVEX_SANITIZE=fuzzer-no-link,address,undefined -DVEX_BUILD_FUZZER=ON \
  -DCMAKE_EXE_LINKER_FLAGS="-shared-libsan -Wl,-rpath,$runtime_dir" \
  -DCMAKE_MODULE_LINKER_FLAGS=-shared-libsan -DCMAKE_SHARED_LINKER_FLAGS=-shared-libsan \
  >/dev/null
cmake --build "$build" -j"$(nproc)" --target host_boundary_fuzzer
fuzzer=$build/fuzz/host_boundary_fuzzer

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"

shopt -s nullglob
regressions=(fuzz/regressions/*)
if [ ${#regressions[@]} -gt 0 ]; then
  "$fuzzer" -runs=1 "${regressions[@]}"
  echo "fuzz-regressions: ${#regressions[@]} passed, 0 failed"
fi

# New inputs go to the scratch corpus (the first directory); the repository's seeds stay as they
# are. -rss_limit_mb: llvmpipe's JIT and the sanitizers' shadow take more than the default 2 GB
# of resident memory over a long run without any leak.
status=0
"$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=4096 \
  -artifact_prefix="$work/" "$work/corpus" fuzz/corpus || status=$?
for artifact in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
  echo "fuzz input that failed, $(basename "$artifact"), base64:"
  base64 -w 0 "$artifact"
  echo
done
exit "$status"
