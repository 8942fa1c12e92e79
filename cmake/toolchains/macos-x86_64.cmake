# Portable build for macOS on x86-64 (scripts/portable.sh macos-x86_64): Zig
# for x86_64-macos, macOS 11 and later. Built and checked, not run.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/macos-common.cmake)
