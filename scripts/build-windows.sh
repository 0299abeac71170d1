#!/usr/bin/env bash
# Cross-builds VexASCII.dll for 64-bit Windows with MinGW-w64, and the Windows test programs.
# GLEW (from Debian's source package) and googletest (from /usr/src/googletest) are built for
# Windows once into third_party_build/windows/, which git ignores; later runs reuse them and
# only rebuild what changed. Run scripts/setup.sh first.
#
#   scripts/build-windows.sh          the DLL, plughost.exe and the tests, in build-windows/
#   VEX_WINDOWS_TESTS=0 ...           the DLL alone (no googletest)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VEX_WINDOWS_BUILD_DIR:-$root/build-windows}
deps=${VEX_WINDOWS_DEPS_DIR:-$root/third_party_build/windows}
prefix=$deps/prefix
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=${VEX_JOBS:-2}
with_tests=${VEX_WINDOWS_TESTS:-1}

say() { echo "build-windows: $*" >&2; }
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# apt-get source needs source entries; Debian images often list binary ones only.
enable_deb_src() {
  local changed=0 file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    if grep -qE '^Types:' "$file" && ! grep -qE '^Types:.*deb-src' "$file"; then
      as_root sed -i -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb deb-src/' "$file"
      changed=1
    fi
  done
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    if grep -qE '^deb[[:space:]]' "$file" && ! grep -qE '^deb-src[[:space:]]' "$file"; then
      sed -n -E 's/^deb([[:space:]])/deb-src\1/p' "$file" | as_root tee -a "$file" >/dev/null
      changed=1
    fi
  done
  [ $changed = 0 ] || say "enabled deb-src entries in the apt sources"
  as_root apt-get update -qq
}

fetch_glew_source() {
  mkdir -p "$deps/src"
  # As root, apt would hand the download to its sandbox user, who cannot write here.
  local fetch=(apt-get source -qq)
  [ "$(id -u)" -ne 0 ] || fetch+=(-o APT::Sandbox::User=root)
  local dir
  dir=$(find "$deps/src" -maxdepth 1 -type d -name 'glew-*' | head -n1)
  if [ -z "$dir" ]; then
    say "fetching Debian's GLEW source package"
    if ! (cd "$deps/src" && "${fetch[@]}" glew >/dev/null 2>&1); then
      enable_deb_src
      (cd "$deps/src" && "${fetch[@]}" glew >/dev/null)
    fi
    dir=$(find "$deps/src" -maxdepth 1 -type d -name 'glew-*' | head -n1)
  fi
  [ -n "$dir" ] || { say "no GLEW source after apt-get source glew"; exit 1; }
  echo "$dir"
}

# GLEW's own CMake build makes the static library and the package files (glew-config.cmake)
# through which the project's find_package(GLEW) finds it.
build_glew() {
  [ -f "$prefix/lib/cmake/glew/glew-config.cmake" ] && return
  local source
  source=$(fetch_glew_source)
  say "building GLEW for Windows from $(basename "$source")"
  cmake -S "$source/build/cmake" -B "$deps/glew-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBUILD_UTILS=OFF \
    -DCMAKE_INSTALL_PREFIX="$prefix" -Wno-dev >/dev/null
  cmake --build "$deps/glew-build" --target glew_s -j"$jobs" >/dev/null
  cmake --install "$deps/glew-build" >/dev/null
}

build_googletest() {
  [ -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ] && return
  [ -d /usr/src/googletest ] || { say "/usr/src/googletest is missing (libgtest-dev)"; exit 1; }
  say "building googletest for Windows"
  # Windows' own threading primitives rather than winpthread's.
  cmake -S /usr/src/googletest -B "$deps/googletest-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON \
    -Dgtest_disable_pthreads=ON -DCMAKE_INSTALL_PREFIX="$prefix" -Wno-dev >/dev/null
  cmake --build "$deps/googletest-build" -j"$jobs" >/dev/null
  cmake --install "$deps/googletest-build" >/dev/null
}

build_glew
[ "$with_tests" = 1 ] && build_googletest

tests_flag=OFF
[ "$with_tests" = 1 ] && tests_flag=ON
# Configure once; later builds let CMake re-run itself when a CMakeLists.txt changes.
if [ ! -f "$build/CMakeCache.txt" ] ||
  ! grep -q "^VEX_BUILD_TESTS:BOOL=$tests_flag$" "$build/CMakeCache.txt" ||
  ! grep -q "^VEX_BUILD_TOOLS:BOOL=ON$" "$build/CMakeCache.txt"; then
  say "configuring $build"
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DVEX_WINDOWS_DEPS_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
    -DVEX_BUILD_TESTS=$tests_flag -DVEX_BUILD_TOOLS=ON >/dev/null
fi
cmake --build "$build" -j"$jobs"
say "built $build/VexASCII.dll and $build/tools/plughost/plughost.exe"
