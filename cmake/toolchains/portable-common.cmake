# Shared by the portable toolchains. Everything (dependencies, the library, its
# tests) is compiled against the old root's C headers and linked against its
# glibc, with gcc 12's own C++ headers and static libstdc++. libgcc is static
# too, its unwinder taken from the root's gcc 10 (libgcc_eh.a, which finds
# frames with dl_iterate_phdr rather than glibc 2.35's _dl_find_object): the
# root keeps that file alone in opt/quorent-libgcc-eh, searched first.
#   QUORENT_SYSROOT     the root (made by scripts/portable.sh)
#   QUORENT_DEPS_PREFIX the static dependencies built for the target
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORENT_SYSROOT QUORENT_DEPS_PREFIX)
if(NOT QUORENT_SYSROOT)
  set(QUORENT_SYSROOT $ENV{QUORENT_SYSROOT})
endif()
if(NOT QUORENT_SYSROOT)
  message(FATAL_ERROR "QUORENT_SYSROOT (the glibc 2.31 root) is not set: use scripts/portable.sh")
endif()
set(CMAKE_SYSROOT ${QUORENT_SYSROOT})
set(CMAKE_FIND_ROOT_PATH ${QUORENT_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

list(TRANSFORM QUORENT_CXX_INCLUDE PREPEND "-isystem " OUTPUT_VARIABLE _quorent_cxx_inc)
string(JOIN " " _quorent_cxx_inc ${_quorent_cxx_inc})
set(CMAKE_C_FLAGS_INIT "-fPIC -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-fPIC -ffunction-sections -fdata-sections -nostdinc++ ${_quorent_cxx_inc}")
# The root's C library and start files come first (-B, -L): gcc's own search
# path names the build machine's (or the cross packages') newer glibc.
set(_quorent_link "-B${QUORENT_SYSROOT}/usr/lib/${QUORENT_TRIPLE}/ -L${QUORENT_SYSROOT}/lib/${QUORENT_TRIPLE} \
-L${QUORENT_SYSROOT}/usr/lib/${QUORENT_TRIPLE} -static-libstdc++ -static-libgcc \
-L${QUORENT_SYSROOT}/opt/quorent-libgcc-eh -Wl,--gc-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_quorent_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_quorent_link}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_quorent_link}")
