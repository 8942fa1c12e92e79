# Portable build for WebAssembly (scripts/portable.sh wasm32): clang 19 for
# wasm32-wasi through the wrappers the script writes (QUORENT_WASM_BIN: cc,
# c++, each naming the target), wasi-libc, and LLVM 19's libc++ and libc++abi
# for wasm32-wasi (no threads, no exceptions: -fno-exceptions throughout). The
# library is a WASI reactor module (cmake/wasm.cmake).
#   QUORENT_WASM_BIN          the wrappers (made by scripts/portable.sh)
#   QUORENT_WASM_CXX_INCLUDE  libc++'s headers for wasm32-wasi
#   QUORENT_WASM_CXX_LIB      libc++ and libc++abi for wasm32-wasi
#   QUORENT_DEPS_PREFIX       the static dependencies built for the target
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(QUORENT_WASM ON)
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORENT_WASM_BIN QUORENT_WASM_CXX_INCLUDE QUORENT_WASM_CXX_LIB
    QUORENT_DEPS_PREFIX)
foreach(_quorent_var QUORENT_WASM_BIN QUORENT_WASM_CXX_INCLUDE QUORENT_WASM_CXX_LIB)
  if(NOT ${_quorent_var})
    set(${_quorent_var} $ENV{${_quorent_var}})
  endif()
  if(NOT ${_quorent_var})
    message(FATAL_ERROR "${_quorent_var} is not set: use scripts/portable.sh wasm32")
  endif()
endforeach()
set(CMAKE_C_COMPILER ${QUORENT_WASM_BIN}/cc)
set(CMAKE_CXX_COMPILER ${QUORENT_WASM_BIN}/c++)
set(CMAKE_AR llvm-ar-19 CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib-19 CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH ${QUORENT_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_C_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections -fno-exceptions -isystem ${QUORENT_WASM_CXX_INCLUDE}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${QUORENT_WASM_CXX_LIB} -Wl,--gc-sections")
