# Portable build for x86-64 Windows (scripts/portable.sh windows-x86_64):
# Debian's MinGW-w64 gcc with posix threads. Everything is linked statically
# (dependencies, libstdc++, libgcc, winpthreads): the DLL and the programs need
# Windows' own DLLs only. The programs built (tests, example) run under Wine.
#   QUORENT_DEPS_PREFIX the static dependencies built for the target
#   QUORENT_WINEPREFIX  the Wine prefix the programs run in (made by the script)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUORENT_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORENT_DEPS_PREFIX QUORENT_WINEPREFIX)

set(CMAKE_FIND_ROOT_PATH ${QUORENT_DEPS_PREFIX} /usr/${QUORENT_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_C_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(_quorent_link "-static -static-libgcc -static-libstdc++ -Wl,--gc-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_quorent_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_quorent_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_quorent_link}")

if(QUORENT_WINEPREFIX)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${QUORENT_WINEPREFIX})
endif()
