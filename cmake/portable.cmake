# The portable build (scripts/portable.sh, one of cmake/toolchains/*.cmake):
# the dependencies are the static, position-independent builds in
# QUORENT_DEPS_PREFIX instead of Debian's shared libraries, under the same
# target names as in the distribution build.
set(QUORENT_DEPS_PREFIX "" CACHE PATH "Static dependencies of the portable build")
if(NOT QUORENT_DEPS_PREFIX)
  message(FATAL_ERROR "QUORENT_PORTABLE needs QUORENT_DEPS_PREFIX (scripts/portable.sh sets both)")
endif()
set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)

function(quorent_static_dependency target file)
  if(NOT EXISTS ${QUORENT_DEPS_PREFIX}/lib/${file})
    message(FATAL_ERROR "${QUORENT_DEPS_PREFIX}/lib/${file} is missing: scripts/portable.sh builds it")
  endif()
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${QUORENT_DEPS_PREFIX}/lib/${file}
    INTERFACE_INCLUDE_DIRECTORIES ${QUORENT_DEPS_PREFIX}/include INTERFACE_LINK_LIBRARIES Threads::Threads)
endfunction()
quorent_static_dependency(OpenSSL::Crypto libcrypto.a)
quorent_static_dependency(PkgConfig::SECP256K1 libsecp256k1.a)
quorent_static_dependency(PkgConfig::CRYPTOPP libcryptopp.a)

set(RAPIDJSON_INCLUDE_DIR ${QUORENT_DEPS_PREFIX}/include)
add_compile_options(-ffunction-sections -fdata-sections)

# Everything linked here carries gcc 12's static libstdc++: the glibc shims go
# (objects, so that they are there whatever the order of the archives) go into
# every target defined after this point.
add_library(quorent_glibc_compat OBJECT ${CMAKE_CURRENT_LIST_DIR}/../ffi/portable/glibc_compat.c)
link_libraries($<BUILD_INTERFACE:quorent_glibc_compat>)
