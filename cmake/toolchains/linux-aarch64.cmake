# Portable build for aarch64 Linux (scripts/portable.sh): the arm64 cross gcc 12
# against a Debian 11 arm64 root (glibc 2.31) given as -DQUORENT_SYSROOT; the
# programs built (tests, example) run under qemu-aarch64 with the same root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(QUORENT_TRIPLE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc-12)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++-12)
set(QUORENT_CXX_INCLUDE /usr/aarch64-linux-gnu/include/c++/12 /usr/aarch64-linux-gnu/include/c++/12/aarch64-linux-gnu
    /usr/aarch64-linux-gnu/include/c++/12/backward)
include(${CMAKE_CURRENT_LIST_DIR}/portable-common.cmake)
if(QUORENT_SYSROOT)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${QUORENT_SYSROOT})
endif()
