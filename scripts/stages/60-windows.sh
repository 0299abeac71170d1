#!/usr/bin/env bash
# The Windows DLL: cross-builds it, checks that it exports exactly the two entry points and
# imports nothing but DLLs every Windows has, and runs the portable tests against it under
# wine on a virtual X display (WGL there is Mesa's, through wine's X11 driver).
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${VEX_WINDOWS_BUILD_DIR:-$PWD/build-windows}
export VEX_WINDOWS_BUILD_DIR=$build
bash scripts/build-windows.sh

dll=$build/VexASCII.dll
objdump=x86_64-w64-mingw32-objdump
table=$($objdump -p "$dll")

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ { listing = 1; next }
               listing && /^[[:space:]]*$/ { listing = 0 }
               listing && /\[ *[0-9]+\]/ { print $NF }' <<<"$table" | LC_ALL=C sort | xargs)
imports=$(awk '/DLL Name:/ { print $3 }' <<<"$table" | xargs)
echo "VexASCII.dll exports: $exports"
echo "VexASCII.dll imports: $imports"

status=0
if [ "$exports" != "SetLogCallback plugMain" ]; then
  echo "FAIL: the DLL must export exactly plugMain and SetLogCallback"
  status=1
fi
# The system DLLs a plugin may rely on; anything else (libstdc++-6, libgcc_s, libwinpthread,
# glew32) would have to be found beside the host and is a build fault.
for name in $imports; do
  case "${name,,}" in
    kernel32.dll | user32.dll | gdi32.dll | opengl32.dll | msvcrt.dll) ;;
    *)
      echo "FAIL: the DLL imports $name, which Windows does not ship"
      status=1
      ;;
  esac
done
[ $status = 0 ] || exit 1

# wine: Debian's wine64 package keeps its loader outside PATH.
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo "$(dirname "$(readlink -f "$wine")")/wineserver")
export WINEPREFIX=$build/wineprefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko: their installers would open dialogs and wait for a click.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.vex-ready" ]; then
  echo "creating the wine prefix $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  xvfb-run -a "$wine" wineboot -i >/dev/null 2>&1
  "$wineserver" -w
  touch "$WINEPREFIX/.vex-ready"
fi

# CTest runs each test program through wine (the toolchain file's emulator).
xvfb-run -a ctest --test-dir "$build" --output-on-failure
"$wineserver" -w
