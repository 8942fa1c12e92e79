# Portable build for x86-64 Linux with musl (scripts/portable.sh
# linux-x86_64-musl): Zig for x86_64-linux-musl. The programs built (tests,
# example) run here under Debian's musl loader (/lib/ld-musl-x86_64.so.1).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-musl-common.cmake)
