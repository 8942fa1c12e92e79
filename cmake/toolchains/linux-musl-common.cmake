# Shared by the musl toolchains (scripts/portable.sh, rows of system linux-musl):
# Zig's clang with its own musl and libc++, through the wrappers the script
# writes into QUORENT_ZIG_BIN (cc, c++, ar, ranlib; each names the target).
# libc++, libc++abi and the unwinder are linked statically; musl's libc.so is
# the one library needed at run time.
#   QUORENT_ZIG_BIN     the wrappers (made by scripts/portable.sh)
#   QUORENT_DEPS_PREFIX the static dependencies built for the target
set(CMAKE_SYSTEM_NAME Linux)
set(QUORENT_LIBC musl)
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

set(CMAKE_FIND_ROOT_PATH ${QUORENT_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_C_FLAGS_INIT "-fPIC -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-fPIC -ffunction-sections -fdata-sections")
set(_quorent_link "-Wl,--gc-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_quorent_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_quorent_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_quorent_link}")
