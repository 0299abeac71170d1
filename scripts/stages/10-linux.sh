#!/usr/bin/env bash
# Release build of the module, the tools and the tests; runs the whole CTest suite.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
cd build && ctest --output-on-failure -j2
