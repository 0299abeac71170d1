#!/usr/bin/env bash
# The module, plughost and the whole test suite built with clang under AddressSanitizer (with
# LeakSanitizer) and UndefinedBehaviorSanitizer, every finding fatal, and run through CTest.
#
# clang rather than gcc: the fuzz stage needs clang's libFuzzer anyway, so both stages share one
# sanitizer runtime, one set of options and one suppressions file; and clang's
# -fsanitize=undefined also checks calls through function pointers against the callee's type
# (-fsanitize=function), which is how a host reaches plugMain and how the module reaches the
# host's log callback. The runtime is linked as a shared library (-shared-libsan): the modules
# are linked with --no-undefined, so they must name the runtime they use, and the test programs
# that load them must share that one runtime.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/sanitizer-options.sh

build=build-asan
runtime_dir=$(dirname "$(clang++ -print-file-name=libclang_rt.asan-x86_64.so)")
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVEX_SANITIZE=address,undefined \
  -DCMAKE_EXE_LINKER_FLAGS="-shared-libsan -Wl,-rpath,$runtime_dir" \
  -DCMAKE_MODULE_LINKER_FLAGS=-shared-libsan -DCMAKE_SHARED_LINKER_FLAGS=-shared-libsan \
  >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build" && ctest --output-on-failure -j2
