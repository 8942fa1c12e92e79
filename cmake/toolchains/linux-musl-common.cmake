# Shared by the musl toolchains (scripts/portable.sh, rows of system linux-musl):
# Zig's clang with its own musl and libc++, through the wrappers the script
# writes into QUORENT_ZIG_BIN (cc, c++, ar, ranlib; each names the target).
# libc++, libc++abi and the unwinder are linked statically; musl's libc is
# the one library needed at run time.
# (cmake/toolchains/zig-common.cmake: QUORENT_ZIG_BIN, QUORENT_DEPS_PREFIX)
set(CMAKE_SYSTEM_NAME Linux)
set(QUORENT_LIBC musl)
include(${CMAKE_CURRENT_LIST_DIR}/zig-common.cmake)

set(CMAKE_C_FLAGS_INIT "-fPIC -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-fPIC -ffunction-sections -fdata-sections")
set(_quorent_link "-Wl,--gc-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_quorent_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_quorent_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_quorent_link}")
