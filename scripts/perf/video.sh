#!/usr/bin/env bash
# plughost video at 1280x720: render-only frames per second (upload, DrawFrame and read-back,
# decoding not counted) against end-to-end frames per second (decode, draw, encode, until the
# output file is complete) on the same clip, with the renderer's default rasterizer threads and
# with LP_NUM_THREADS=1, for an .mp4 output (H.264, -preset veryfast) and an .avi output (MPEG-4
# Visual, a lighter encoder). Prints medians of interleaved runs, the processor time per frame
# (all processes, user + system) and whether end to end reaches 0.8 of render-only.
#
#   scripts/perf/video.sh [--runs N] [--seconds S]     defaults: 5 runs of a 5-second clip
#
# Builds plughost and the module in $BUILD_DIR (default: build). About three minutes on two
# cores. Other programs running at the same time lower both rates, and end to end more.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD_DIR:-build}
runs=5
seconds=5
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--seconds S]" >&2; exit 2 ;;
  esac
done
required_ratio=0.8

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target plughost VexASCII >/dev/null
plughost=$PWD/$build/tools/plughost/plughost
module=$PWD/$build/VexASCII.so

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
clip=$out/clip.mp4
ffmpeg -v error -y -f lavfi -i "testsrc2=size=1280x720:rate=30:duration=$seconds" \
  -f lavfi -i "sine=duration=$seconds" -shortest -pix_fmt yuv420p -c:v libx264 "$clip"
frames=$((seconds * 30))

echo "clip: 1280x720, 30 fps, $frames frames, with audio; $runs runs each, medians"
echo "renderer: $("$plughost" bench "$module" --size 64x64 --frames 1 | sed -n 's/^renderer *//p')"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg) (figures are only fair below ~1)"

# One run of plughost; prints "FPS CPU_SECONDS" (processor time of plughost and its ffmpegs).
run() {
  local threads=$1
  shift
  local env=(env -u LP_NUM_THREADS)
  [ "$threads" = default ] || env+=("LP_NUM_THREADS=$threads")
  local TIMEFORMAT='%U %S' cpu line
  { cpu=$( { time "${env[@]}" "$plughost" video "$module" "$clip" "$@" >"$out/line" \
      2>"$out/err"; } 2>&1 ); } || { cat "$out/err" >&2; exit 1; }
  line=$(cat "$out/line")
  local fps
  fps=$(sed -n -e 's/.* \([0-9.]*\) fps (upload.*/\1/p' -e 's/.*(\([0-9.]*\) fps end to end).*/\1/p' \
    <<<"$line")
  [ -n "$fps" ] || { echo "no rate in: $line" >&2; exit 1; }
  awk -v fps="$fps" -v cpu="$cpu" 'BEGIN { split(cpu, t, " "); print fps, t[1] + t[2] }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

conditions=(default 1)
kinds=(render mp4 avi)
for ((round = 1; round <= runs; ++round)); do
  for threads in "${conditions[@]}"; do
    for kind in "${kinds[@]}"; do
      if [ "$kind" = render ]; then
        result=$(run "$threads" --render-only)
      else
        result=$(run "$threads" "$out/out.$kind")
      fi
      echo "$result" >>"$out/$threads-$kind"
    done
  done
  echo "round $round of $runs done" >&2
done

echo
printf '%-16s %-20s %10s %12s %8s %s\n' "rasterizer" "output" "fps" "cpu ms/frame" "ratio" \
  "0.8 met"
for threads in "${conditions[@]}"; do
  label=$([ "$threads" = default ] && echo "default threads" || echo "LP_NUM_THREADS=$threads")
  render=$(cut -d' ' -f1 "$out/$threads-render" | median)
  renderCpu=$(cut -d' ' -f2 "$out/$threads-render" | median)
  printf '%-16s %-20s %10.1f %12.1f\n' "$label" "render only" "$render" \
    "$(awk -v c="$renderCpu" -v n="$frames" 'BEGIN { print 1000 * c / n }')"
  for kind in mp4 avi; do
    name=$([ "$kind" = mp4 ] && echo ".mp4 (x264 veryfast)" || echo ".avi (mpeg4)")
    fps=$(cut -d' ' -f1 "$out/$threads-$kind" | median)
    cpu=$(cut -d' ' -f2 "$out/$threads-$kind" | median)
    awk -v label="$label" -v name="$name" -v fps="$fps" -v cpu="$cpu" -v n="$frames" \
      -v render="$render" -v need="$required_ratio" 'BEGIN {
        ratio = fps / render
        printf "%-16s %-20s %10.1f %12.1f %8.2f %s\n", label, name, fps, 1000 * cpu / n, ratio,
               (ratio >= need ? "yes" : "no")
      }'
  done
done
echo
echo "render only: frames decoded into memory first, clock on upload, DrawFrame and read-back;"
echo "its cpu ms/frame includes the decoding ffmpeg. End to end: from starting the decoder to"
echo "the encoder's exit. cpu ms/frame: user + system time of plughost and its ffmpegs."
