# Shared by the macOS toolchains (scripts/portable.sh, rows of system macos):
# Zig's clang with its own macOS headers and libc++, through the wrappers the
# script writes into QUORENT_ZIG_BIN (cc, c++, ar, ranlib; each names the
# target and the oldest macOS release). The library itself is linked by
# QUORENT_ZIG_BIN/ld64 (LLD's Mach-O linker with the C++ runtime static, see
# cmake/macos.cmake); the other programs by Zig. Nothing built runs here.
#   QUORENT_ZIG_BIN     the wrappers (made by scripts/portable.sh)
#   QUORENT_DEPS_PREFIX the static dependencies built for the target
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORENT_ZIG_BIN QUORENT_DEPS_PREFIX)
if(NOT QUORENT_ZIG_BIN)
  set(QUORENT_ZIG_BIN $ENV{QUORENT_ZIG_BIN})
endif()
if(NOT QUORENT_ZIG_BIN)
  message(FATAL_ERROR "QUORENT_ZIG_BIN (the Zig wrappers) is not set: use scripts/portable.sh")
endif()
set(CMAKE_C_COMPILER ${QUORENT_ZIG_BIN}/cc)
set(CMAKE_CXX_COMPILER ${QUORENT_ZIG_BIN}/c++)
set(CMAKE_AR ${QUORENT_ZIG_BIN}/ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${QUORENT_ZIG_BIN}/ranlib CACHE FILEPATH "")
set(QUORENT_LD64 ${QUORENT_ZIG_BIN}/ld64)
# No SDK, no xcrun: Zig brings the headers and the target names the release.
set(CMAKE_OSX_SYSROOT "" CACHE PATH "")
set(CMAKE_OSX_DEPLOYMENT_TARGET "" CACHE STRING "")

set(CMAKE_FIND_ROOT_PATH ${QUORENT_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_C_FLAGS_INIT "-fPIC -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-fPIC -ffunction-sections -fdata-sections")
