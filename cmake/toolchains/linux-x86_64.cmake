# Portable build for x86-64 Linux (scripts/portable.sh): gcc 12 against a
# Debian 11 root (glibc 2.31) given as -DQUORENT_SYSROOT.
set(QUORENT_TRIPLE x86_64-linux-gnu)
set(CMAKE_C_COMPILER gcc-12)
set(CMAKE_CXX_COMPILER g++-12)
set(QUORENT_CXX_INCLUDE /usr/include/c++/12 /usr/include/x86_64-linux-gnu/c++/12 /usr/include/c++/12/backward)
include(${CMAKE_CURRENT_LIST_DIR}/portable-common.cmake)
