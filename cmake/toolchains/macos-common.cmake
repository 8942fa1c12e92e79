# Shared by the macOS toolchains (scripts/portable.sh, rows of system macos):
# Zig's clang with its own macOS headers and libc++, through the wrappers the
# script writes into QUORENT_ZIG_BIN (cc, c++, ar, ranlib; each names the
# target and the oldest macOS release). The library itself is linked by
# QUORENT_ZIG_BIN/ld64 (LLD's Mach-O linker with the C++ runtime static, see
# cmake/macos.cmake); the other programs by Zig. Nothing built runs here.
# (cmake/toolchains/zig-common.cmake: QUORENT_ZIG_BIN, QUORENT_DEPS_PREFIX)
set(CMAKE_SYSTEM_NAME Darwin)
include(${CMAKE_CURRENT_LIST_DIR}/zig-common.cmake)
set(QUORENT_LD64 ${QUORENT_ZIG_BIN}/ld64)
# No SDK, no xcrun: Zig brings the headers and the target names the release.
set(CMAKE_OSX_SYSROOT "" CACHE PATH "")
set(CMAKE_OSX_DEPLOYMENT_TARGET "" CACHE STRING "")

set(CMAKE_C_FLAGS_INIT "-fPIC -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-fPIC -ffunction-sections -fdata-sections")
