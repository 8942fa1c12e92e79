# Writes QUORENT_EXPORTED_SYMBOLS, the exported-symbols list of a Mach-O
# linker, from QUORENT_EXPORT_MAP, the export map of the Linux builds: each
# name or pattern of its global: section, with the underscore Mach-O puts
# before C names. Included by cmake/macos.cmake; also runs on its own:
#   cmake -DQUORENT_EXPORT_MAP=ffi/exports.map -DQUORENT_EXPORTED_SYMBOLS=out.txt -P cmake/exported-symbols.cmake
if(NOT QUORENT_EXPORT_MAP OR NOT QUORENT_EXPORTED_SYMBOLS)
  message(FATAL_ERROR "exported-symbols.cmake needs QUORENT_EXPORT_MAP and QUORENT_EXPORTED_SYMBOLS")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/export-map.cmake)
quorent_export_map_globals(${QUORENT_EXPORT_MAP} _quorent_globals)
list(TRANSFORM _quorent_globals PREPEND "_")
list(JOIN _quorent_globals "\n" _quorent_exports)
string(APPEND _quorent_exports "\n")
file(CONFIGURE OUTPUT ${QUORENT_EXPORTED_SYMBOLS} CONTENT "${_quorent_exports}")
