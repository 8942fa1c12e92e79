# The library on macOS (the macos-* rows of scripts/platforms.json):
# libquorent_sdk_uniffi.dylib, install name @rpath/libquorent_sdk_uniffi.dylib,
# exporting what ffi/exports.map lets out on Linux and nothing else. The
# exported-symbols list is made from the export map at configure time
# (cmake/exported-symbols.cmake), so that the two never differ.
#   QUORENT_EXPORT_MAP  the export map
#   QUORENT_LD64        the linker of the portable build (toolchains/macos-common.cmake)
set(QUORENT_EXPORTED_SYMBOLS ${CMAKE_CURRENT_BINARY_DIR}/exported_symbols.txt)
include(${CMAKE_CURRENT_LIST_DIR}/exported-symbols.cmake)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUORENT_EXPORT_MAP})

# CMake's Darwin files take the system's version from sw_vers, which a cross
# build has not; without one they take macOS for older than 10.5, which had no
# @rpath, and leave out the run-path flag that @rpath install names need.
if(NOT CMAKE_SHARED_LIBRARY_RUNTIME_C_FLAG)
  set(CMAKE_SHARED_LIBRARY_RUNTIME_C_FLAG "-Wl,-rpath,")
  set(CMAKE_SHARED_LIBRARY_RUNTIME_CXX_FLAG "-Wl,-rpath,")
endif()
set_target_properties(quorent_sdk_uniffi PROPERTIES LINK_DEPENDS ${QUORENT_EXPORTED_SYMBOLS}
                      INSTALL_NAME_DIR @rpath BUILD_WITH_INSTALL_NAME_DIR ON)
if(QUORENT_LD64)
  # Linked by LLD directly (its options as they are, not through a compiler
  # driver): the wrapper adds the architecture, the macOS release, the C++
  # runtime's archives and libSystem; -dead_strip there too.
  target_link_options(quorent_sdk_uniffi PRIVATE -exported_symbols_list ${QUORENT_EXPORTED_SYMBOLS})
  set(CMAKE_CXX_CREATE_SHARED_LIBRARY
      "${QUORENT_LD64} <LINK_FLAGS> -o <TARGET> -install_name <TARGET_INSTALLNAME_DIR><TARGET_SONAME> <OBJECTS> <LINK_LIBRARIES>"
)
else()
  target_link_options(quorent_sdk_uniffi PRIVATE -Wl,-exported_symbols_list,${QUORENT_EXPORTED_SYMBOLS} -Wl,-dead_strip)
endif()
