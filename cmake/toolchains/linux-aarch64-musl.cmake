# Portable build for aarch64 Linux with musl (scripts/portable.sh
# linux-aarch64-musl): Zig for aarch64-linux-musl. The programs built (tests,
# example) run under qemu-aarch64 with Debian's arm64 musl in the root given as
# -DQUORENT_MUSL_ROOT.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-musl-common.cmake)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORENT_MUSL_ROOT)
if(QUORENT_MUSL_ROOT)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${QUORENT_MUSL_ROOT})
endif()
