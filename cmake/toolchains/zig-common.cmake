# The Zig wrappers as the compilers of a toolchain, shared by the musl and
# macOS toolchains (included after they name the system):
#   QUORENT_ZIG_BIN     the wrappers scripts/portable.sh writes (cc, c++, ar,
#                       ranlib; each names the target)
#   QUORENT_DEPS_PREFIX the static dependencies built for the target
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
