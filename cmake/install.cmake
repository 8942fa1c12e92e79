# Installation: the shared library, its header, a pkg-config file and a CMake
# package configuration with the imported target
# quorent_sdk_uniffi::quorent_sdk_uniffi.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUORENT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/quorent_sdk_uniffi)

set_target_properties(quorent_sdk_uniffi PROPERTIES
  PUBLIC_HEADER "${CMAKE_CURRENT_SOURCE_DIR}/ffi/include/quorent_sdk_uniffi.h;${QUORENT_GENERATED_INCLUDE}/quorent_sdk_version.h")
install(TARGETS quorent_sdk_uniffi EXPORT quorent_sdk_uniffiTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT quorent_sdk_uniffiTargets NAMESPACE quorent_sdk_uniffi:: DESTINATION ${QUORENT_CMAKE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/quorent_sdk_uniffiConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/quorent_sdk_uniffiConfig.cmake INSTALL_DESTINATION ${QUORENT_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/quorent_sdk_uniffiConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/quorent_sdk_uniffiConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/quorent_sdk_uniffiConfigVersion.cmake
        DESTINATION ${QUORENT_CMAKE_DIR})

# The pkg-config file locates the prefix from its own place, so that the
# installed tree can be moved (and `cmake --install --prefix` works).
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(QUORENT_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(QUORENT_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(QUORENT_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH QUORENT_PC_UP "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
  string(REGEX REPLACE "/$" "" QUORENT_PC_UP "${QUORENT_PC_UP}")
  set(QUORENT_PC_PREFIX "\${pcfiledir}/${QUORENT_PC_UP}")
  set(QUORENT_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(QUORENT_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/quorent_sdk_uniffi.pc.in ${CMAKE_CURRENT_BINARY_DIR}/quorent_sdk_uniffi.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/quorent_sdk_uniffi.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
