# The portable build (scripts/portable.sh, one of cmake/toolchains/*.cmake):
# the dependencies are the static, position-independent builds in
# QUORENT_DEPS_PREFIX instead of Debian's shared libraries, under the same
# target names as in the distribution build.
set(QUORENT_DEPS_PREFIX "" CACHE PATH "Static dependencies of the portable build")
if(NOT QUORENT_DEPS_PREFIX)
  message(FATAL_ERROR "QUORENT_PORTABLE needs QUORENT_DEPS_PREFIX (scripts/portable.sh sets both)")
endif()
if(QUORENT_WASM)
  # One thread per module instance: nothing to link for threads. The module
  # is linked statically: position-independent code would reach every global
  # through an indirection.
  add_library(Threads::Threads INTERFACE IMPORTED)
  set(CMAKE_POSITION_INDEPENDENT_CODE OFF)
else()
  set(THREADS_PREFER_PTHREAD_FLAG ON)
  find_package(Threads REQUIRED)
endif()

function(quorent_static_dependency target file)
  if(NOT EXISTS ${QUORENT_DEPS_PREFIX}/lib/${file})
    message(FATAL_ERROR "${QUORENT_DEPS_PREFIX}/lib/${file} is missing: scripts/portable.sh builds it")
  endif()
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${QUORENT_DEPS_PREFIX}/lib/${file}
    INTERFACE_INCLUDE_DIRECTORIES ${QUORENT_DEPS_PREFIX}/include INTERFACE_LINK_LIBRARIES Threads::Threads)
endfunction()
quorent_static_dependency(OpenSSL::Crypto libcrypto.a)
if(WIN32)
  # libcrypto's Windows parts: its random seed (bcrypt), the event log and
  # the window station it checks before showing a fatal error (advapi32,
  # user32), sockets and certificate stores it names (ws2_32, crypt32). Only
  # the DLLs whose functions are reached end up in the import table.
  set_property(TARGET OpenSSL::Crypto APPEND PROPERTY INTERFACE_LINK_LIBRARIES
               bcrypt advapi32 user32 ws2_32 crypt32)
endif()
if(QUORENT_WASM)
  # wasi-libc's getpid, a constant (a module never forks).
  set_property(TARGET OpenSSL::Crypto APPEND PROPERTY INTERFACE_LINK_LIBRARIES wasi-emulated-getpid)
endif()
quorent_static_dependency(PkgConfig::SECP256K1 libsecp256k1.a)
# Its header (0.5) declares the functions dllimport on Windows unless told the
# library is a static one.
set_property(TARGET PkgConfig::SECP256K1 APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS SECP256K1_STATIC)
if(QUORENT_KECCAK STREQUAL "cryptopp")
  quorent_static_dependency(PkgConfig::CRYPTOPP libcryptopp.a)
endif()

set(RAPIDJSON_INCLUDE_DIR ${QUORENT_DEPS_PREFIX}/include)
add_compile_options(-ffunction-sections -fdata-sections)

if(WIN32)
  # Programs find a DLL beside them: the library, the tests and the example
  # share one directory. libstdc++'s terminate handler is replaced as on Linux;
  # there is no glibc to adapt to.
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  # -O2 rather than -O3 for the library's own code: the MinGW linker keeps
  # whole objects (all of .pdata is KEEP), and the DLL must stay under 5 MB.
  string(REPLACE "-O3" "-O2" CMAKE_C_FLAGS_RELEASE "${CMAKE_C_FLAGS_RELEASE}")
  string(REPLACE "-O3" "-O2" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
  # The origin code (URL parsing, international domain names, Unicode
  # normalisation) is compiled for size: it runs once per call on short
  # texts, and the room it leaves keeps the DLL clear of its limit.
  set_source_files_properties(
    ${CMAKE_CURRENT_LIST_DIR}/../core/src/url.cpp ${CMAKE_CURRENT_LIST_DIR}/../core/src/url_host.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../core/src/url_ip.cpp ${CMAKE_CURRENT_LIST_DIR}/../core/src/url_serialize.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../core/src/idna.cpp ${CMAKE_CURRENT_LIST_DIR}/../core/src/unicode.cpp
    PROPERTIES COMPILE_OPTIONS -Os)
  add_library(quorent_terminate OBJECT ${CMAKE_CURRENT_LIST_DIR}/../ffi/portable/terminate.cpp)
  link_libraries($<BUILD_INTERFACE:quorent_terminate>)
  return()
endif()

if(QUORENT_LIBC STREQUAL "musl" OR APPLE OR QUORENT_WASM)
  # LLVM's libc++ (Zig's with musl or macOS's libSystem, Debian's for
  # WebAssembly): no glibc symbol versions to stay under; libc++abi's terminate
  # handler is replaced as libstdc++'s is, in every target.
  add_library(quorent_terminate OBJECT ${CMAKE_CURRENT_LIST_DIR}/../ffi/portable/terminate_libcxx.cpp)
  link_libraries($<BUILD_INTERFACE:quorent_terminate>)
  return()
endif()

# Everything linked here carries gcc 12's static libstdc++: its shims (the
# glibc symbols it needs beyond 2.31, a terminate handler without the
# demangler) go into every target defined after this point, as objects, so
# that they are there whatever the order of the archives.
add_library(quorent_glibc_compat OBJECT ${CMAKE_CURRENT_LIST_DIR}/../ffi/portable/glibc_compat.c
            ${CMAKE_CURRENT_LIST_DIR}/../ffi/portable/terminate.cpp)
link_libraries($<BUILD_INTERFACE:quorent_glibc_compat>)
