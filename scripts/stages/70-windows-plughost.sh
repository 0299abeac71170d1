#!/usr/bin/env bash
# plughost.exe against the Linux plughost: under wine on a virtual X display, `info` must list
# the same identity and the eight parameters as the Linux build, and `render` of the built-in
# picture must give the same pixels with several settings (picturediff allows only what a
# float on the other side of a cell or texel boundary explains). Runs after the Linux build
# (stage 10, build/) and the Windows build (stage 60, build-windows/); builds what is missing.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

linux_build=${VEX_LINUX_BUILD_DIR:-$root/build}
windows_build=${VEX_WINDOWS_BUILD_DIR:-$root/build-windows}
export VEX_WINDOWS_BUILD_DIR=$windows_build
size=640x360
# The built-in picture with each of these; one line per run, the --set arguments split on "|".
settings=(
  "default|"
  "source-color|Color Mode=Source Color"
  "invert-small-cells|Invert=on|Char Size=1"
  "hue-white-half-blend|Hue Shift=0.5|Color Mode=White|Blend=0.5"
  "no-cells-edges-contrast|Char Size=0|Edge Boost=1|Contrast=1"
)
parameter_names=("Char Size" "Color Mode" "Edge Boost" "Invert" "Blend" "Contrast" "Hue Shift"
  "Speed")

# wine needs an X display for WGL; one Xvfb serves the whole stage (the Linux plughost uses it
# too).
if [ -z "${VEX_UNDER_XVFB:-}" ]; then
  start=$SECONDS
  # Stage 10 leaves these built; otherwise configure as it does. Up-to-date targets cost nothing.
  if [ ! -f "$linux_build/CMakeCache.txt" ]; then
    cmake -S . -B "$linux_build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  cmake --build "$linux_build" -j2 --target VexASCII plughost picturediff >/dev/null
  log=$(mktemp)
  if ! bash scripts/build-windows.sh >"$log" 2>&1; then
    cat "$log"
    echo "windows-plughost: the Windows build failed"
    exit 1
  fi
  rm -f "$log"
  echo "windows-plughost: builds ready after $((SECONDS - start)) s"
  exec env VEX_UNDER_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo "$(dirname "$(readlink -f "$wine")")/wineserver")
export WINEPREFIX=$windows_build/wineprefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.vex-ready" ]; then
  echo "creating the wine prefix $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1
  "$wineserver" -w
  touch "$WINEPREFIX/.vex-ready"
fi

exe=$windows_build/tools/plughost/plughost.exe
dll=$windows_build/VexASCII.dll
linux_plughost=$linux_build/tools/plughost/plughost
picturediff=$linux_build/tools/picturediff/picturediff
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
pass() {
  echo "PASS $1"
  passed=$((passed + 1))
}
fail() {
  echo "FAIL $1"
  failed=$((failed + 1))
}

# plughost.exe's console output is text mode: lines end in CR LF.
run_windows() { "$wine" "$exe" "$@" | tr -d '\r'; }
# A Windows program takes Windows paths; wine's drive Z: is the Linux root.
windows_path() { local path=$1; echo "Z:${path//\//\\}"; }

# Self-contained like the DLL: the MinGW runtime is linked in, so only system DLLs are imported.
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print $3 }' | xargs)
unexpected=""
for name in $imports; do
  case "${name,,}" in
    kernel32.dll | user32.dll | gdi32.dll | opengl32.dll | msvcrt.dll) ;;
    *) unexpected="$unexpected $name" ;;
  esac
done
if [ -z "$unexpected" ]; then
  pass "plughost.exe imports system DLLs only: $imports"
else
  fail "plughost.exe imports$unexpected, which Windows does not ship"
fi

# info: the eight parameters, and the same catalogue as the Linux build (the first line names
# the module file, which differs).
start=$SECONDS
if run_windows info "$(windows_path "$dll")" >"$work/info-windows.txt" 2>"$work/info-windows.err"; then
  missing=""
  grep -q '^Parameters (8)$' "$work/info-windows.txt" || missing="the count 8"
  for name in "${parameter_names[@]}"; do
    grep -qE "^ +[0-9]+  $name  " "$work/info-windows.txt" || missing="$missing '$name'"
  done
  "$linux_plughost" info "$linux_build/VexASCII.so" >"$work/info-linux.txt"
  if [ -n "$missing" ]; then
    fail "info: the listing lacks $missing"
    cat "$work/info-windows.txt"
  elif ! diff <(tail -n +2 "$work/info-linux.txt") <(tail -n +2 "$work/info-windows.txt"); then
    fail "info: plughost.exe and the Linux plughost describe the module differently"
  else
    pass "info lists the eight parameters, as on Linux"
  fi
else
  fail "info: plughost.exe failed"
  cat "$work/info-windows.err"
fi

# render: each setting on both platforms, compared pixel by pixel.
for entry in "${settings[@]}"; do
  IFS='|' read -r -a fields <<<"$entry"
  label=${fields[0]}
  args=()
  for assignment in "${fields[@]:1}"; do
    [ -z "$assignment" ] || args+=(--set "$assignment")
  done
  if ! run_windows render "$(windows_path "$dll")" --size $size "${args[@]}" \
    -o "$(windows_path "$work/$label-windows.png")" \
    >/dev/null 2>"$work/$label.err"; then
    fail "render $label: plughost.exe failed"
    cat "$work/$label.err"
    continue
  fi
  "$linux_plughost" render "$linux_build/VexASCII.so" --size $size "${args[@]}" \
    -o "$work/$label-linux.png" >/dev/null
  if report=$("$picturediff" "$work/$label-linux.png" "$work/$label-windows.png"); then
    pass "render $label: ${report##*$'\n'}"
  else
    fail "render $label: $report"
  fi
done

# The comparison itself must tell different pictures apart.
if "$picturediff" "$work/default-linux.png" "$work/invert-small-cells-linux.png" >/dev/null; then
  fail "picturediff takes two different settings' pictures for the same"
else
  pass "picturediff tells two settings' pictures apart"
fi
"$wineserver" -w
echo "windows-plughost: wine runs and comparisons took $((SECONDS - start)) s"
echo "windows-plughost: $passed passed, $failed failed"
[ "$failed" = 0 ]
