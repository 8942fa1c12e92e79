# Portable build for macOS on Apple silicon (scripts/portable.sh macos-aarch64):
# Zig for aarch64-macos, macOS 11 and later. Built and checked, not run.
set(CMAKE_SYSTEM_PROCESSOR arm64)
include(${CMAKE_CURRENT_LIST_DIR}/macos-common.cmake)
