# Lays out the relocatable C/C++ archive of a built library (script mode):
#   cmake -DLIB=<libquorent_sdk_uniffi.so> -DSONAME=<its SONAME> -DINCLUDE_DIR=<dir with both headers>
#         -DVERSION=<x.y.z> -DPLATFORM=<linux-x86_64|...> -DLIBC="<glibc 2.31|musl 1.2>"
#         -DOUT=<empty directory>
#         -P cmake/archive.cmake
#   cmake -DLIB=<quorent_sdk_uniffi.dll> -DIMPLIB=<libquorent_sdk_uniffi.dll.a> -DDEF=<its .def file>
#         -DINCLUDE_DIR=... -DVERSION=... -DPLATFORM=windows-x86_64 -DOUT=... -P cmake/archive.cmake
#   cmake -DLIB=<libquorent_sdk_uniffi.dylib> -DINCLUDE_DIR=... -DVERSION=... -DPLATFORM=macos-universal
#         -DOUT=... -P cmake/archive.cmake
# with, optionally, -DNOTICES=<folder scripts/notices.py wrote>: its NOTICE and
# third-party/ go to share/doc/quorent-sdk/ (with LICENSE), its SBOM to share/sbom/.
# OUT receives lib/libquorent_sdk_uniffi.so.<version> with its SONAME link
# (.so.0) and development link (.so), include/, lib/pkgconfig/ and
# lib/cmake/quorent_sdk_uniffi/ (the same templates as `cmake --install`, with
# every path taken from the files' own place, so the tree works wherever it is
# unpacked), LICENSE and README. For Windows: bin/quorent_sdk_uniffi.dll, its
# MinGW import library lib/libquorent_sdk_uniffi.dll.a and the export list
# lib/quorent_sdk_uniffi.def (from which MSVC's lib.exe makes an import
# library), the same include/, pkg-config and CMake files, LICENSE and README.txt.
# For macOS: lib/libquorent_sdk_uniffi.dylib (install name
# @rpath/libquorent_sdk_uniffi.dylib), the same include/, pkg-config and CMake
# files, LICENSE and README.
cmake_minimum_required(VERSION 3.20)
if(PLATFORM MATCHES "^windows-")
  set(required LIB IMPLIB DEF INCLUDE_DIR VERSION PLATFORM OUT)
elseif(PLATFORM MATCHES "^macos-")
  set(required LIB INCLUDE_DIR VERSION PLATFORM OUT)
else()
  set(required LIB SONAME INCLUDE_DIR VERSION PLATFORM LIBC OUT)
endif()
foreach(var ${required})
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "archive.cmake: -D${var}=... is required")
  endif()
endforeach()
get_filename_component(QUORENT_SRC "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
include(CMakePackageConfigHelpers)

set(PROJECT_VERSION "${VERSION}")
string(REGEX MATCH "^[0-9]+\\.[0-9]+" QUORENT_MAJOR_MINOR "${VERSION}")
set(cmake_dir "${OUT}/lib/cmake/quorent_sdk_uniffi")
file(MAKE_DIRECTORY "${OUT}/lib/pkgconfig" "${OUT}/include" "${cmake_dir}")

if(PLATFORM MATCHES "^windows-")
  # The DLL where programs look for it (next to them, or on PATH: bin/), the
  # import library and the export list where linkers look (lib/).
  file(MAKE_DIRECTORY "${OUT}/bin")
  file(COPY_FILE "${LIB}" "${OUT}/bin/quorent_sdk_uniffi.dll")
  file(COPY_FILE "${IMPLIB}" "${OUT}/lib/libquorent_sdk_uniffi.dll.a")
  file(COPY_FILE "${DEF}" "${OUT}/lib/quorent_sdk_uniffi.def")
  set(QUORENT_IMPORTED_FILES "IMPORTED_LOCATION \"\${_quorent_prefix}/bin/quorent_sdk_uniffi.dll\"
  IMPORTED_IMPLIB \"\${_quorent_prefix}/lib/libquorent_sdk_uniffi.dll.a\"")
  set(readme README-windows.in README.txt)
elseif(PLATFORM MATCHES "^macos-")
  # One file, found by its install name through the programs' rpath.
  file(COPY_FILE "${LIB}" "${OUT}/lib/libquorent_sdk_uniffi.dylib")
  set(QUORENT_IMPORTED_FILES "IMPORTED_LOCATION \"\${_quorent_prefix}/lib/libquorent_sdk_uniffi.dylib\"
  IMPORTED_SONAME \"@rpath/libquorent_sdk_uniffi.dylib\"")
  set(readme README-macos.in README)
else()
  # The library, under its full version, and the two links every build expects.
  set(QUORENT_LIBC "${LIBC}")
  set(QUORENT_LIB_FILE "libquorent_sdk_uniffi.so.${VERSION}")
  set(QUORENT_SONAME "${SONAME}")
  file(COPY_FILE "${LIB}" "${OUT}/lib/${QUORENT_LIB_FILE}")
  file(CREATE_LINK "${QUORENT_LIB_FILE}" "${OUT}/lib/${QUORENT_SONAME}" SYMBOLIC)
  file(CREATE_LINK "${QUORENT_SONAME}" "${OUT}/lib/libquorent_sdk_uniffi.so" SYMBOLIC)
  set(QUORENT_IMPORTED_FILES "IMPORTED_LOCATION \"\${_quorent_prefix}/lib/${QUORENT_LIB_FILE}\"
  IMPORTED_SONAME \"${QUORENT_SONAME}\"")
  set(readme README.in README)
endif()
foreach(header quorent_sdk_uniffi.h quorent_sdk_version.h)
  file(COPY_FILE "${INCLUDE_DIR}/${header}" "${OUT}/include/${header}")
endforeach()

# pkg-config: the prefix is two levels above the .pc file.
set(QUORENT_PC_PREFIX "\${pcfiledir}/../..")
set(QUORENT_PC_LIBDIR "\${prefix}/lib")
set(QUORENT_PC_INCLUDEDIR "\${prefix}/include")
configure_file("${QUORENT_SRC}/cmake/quorent_sdk_uniffi.pc.in" "${OUT}/lib/pkgconfig/quorent_sdk_uniffi.pc" @ONLY)

# CMake: the configuration file and the version file of the distro install;
# the targets file names the files relative to its own directory.
set(CMAKE_INSTALL_PREFIX "${OUT}")
configure_package_config_file("${QUORENT_SRC}/cmake/quorent_sdk_uniffiConfig.cmake.in"
  "${cmake_dir}/quorent_sdk_uniffiConfig.cmake" INSTALL_DESTINATION lib/cmake/quorent_sdk_uniffi)
set(CMAKE_SIZEOF_VOID_P 8)  # every platform is 64-bit: a 32-bit build is refused
write_basic_package_version_file("${cmake_dir}/quorent_sdk_uniffiConfigVersion.cmake"
  VERSION "${VERSION}" COMPATIBILITY SameMinorVersion)
configure_file("${QUORENT_SRC}/cmake/archive/quorent_sdk_uniffiTargets.cmake.in"
  "${cmake_dir}/quorent_sdk_uniffiTargets.cmake" @ONLY)

configure_file("${QUORENT_SRC}/LICENSE" "${OUT}/LICENSE" COPYONLY)
if(DEFINED NOTICES)
  set(doc "${OUT}/share/doc/quorent-sdk")
  file(MAKE_DIRECTORY "${doc}" "${OUT}/share/sbom")
  file(COPY "${NOTICES}/LICENSE" "${NOTICES}/NOTICE" "${NOTICES}/third-party" DESTINATION "${doc}")
  file(COPY "${NOTICES}/quorent-sdk.cdx.json" DESTINATION "${OUT}/share/sbom")
endif()
list(GET readme 0 readme_in)
list(GET readme 1 readme_out)
configure_file("${QUORENT_SRC}/cmake/archive/${readme_in}" "${OUT}/${readme_out}" @ONLY)
