#!/usr/bin/env bash
# The main job: installs what is missing, builds the module and plughost (Release, into
# build/), renders plughost's built-in test picture through VexASCII into a PNG and prints the
# PNG's path.
#
#   scripts/run.sh [OUTPUT.png] [plughost render options...]
#   e.g. scripts/run.sh out.png --size 1920x1080 --set "Color Mode=Source Color"
#
# VEX_BUILD_DIR overrides the build folder (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."

output="${1:-build/vexascii.png}"
[ $# -gt 0 ] && shift
build="${VEX_BUILD_DIR:-build}"

# The main job needs no Windows cross-compiler or wine.
VEX_WITH_WINDOWS=0 bash scripts/setup.sh >&2
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >&2
cmake --build "$build" -j"$(nproc)" --target VexASCII plughost >&2
mkdir -p "$(dirname "$output")"
"$build/tools/plughost/plughost" render "$build/VexASCII.so" -o "$output" "$@" >&2
realpath "$output"
