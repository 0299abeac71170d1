# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 GCC (posix thread model, so
# std::thread and std::mutex exist; the runtime is linked statically by the project).
# VEX_WINDOWS_DEPS_PREFIX names a prefix holding Windows builds of the dependencies (GLEW,
# googletest) that scripts/build-windows.sh makes; it is searched like the MinGW sysroot.
# When wine is installed, built executables run under it (CTest, try_run, gtest discovery).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VEX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VEX_MINGW_TRIPLE}-windres)

# Passed on to try_compile projects, which see only the variables listed here.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VEX_WINDOWS_DEPS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${VEX_MINGW_TRIPLE})
if(VEX_WINDOWS_DEPS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH ${VEX_WINDOWS_DEPS_PREFIX})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's wine64 package installs the loader outside PATH; the wine package adds "wine".
find_program(VEX_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VEX_WINE})
endif()
