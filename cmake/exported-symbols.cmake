# Writes QUORENT_EXPORTED_SYMBOLS, the exported-symbols list of a Mach-O
# linker, from QUORENT_EXPORT_MAP, the export map of the Linux builds: each
# name or pattern of its global: section, with the underscore Mach-O puts
# before C names. Included by cmake/macos.cmake; also runs on its own:
#   cmake -DQUORENT_EXPORT_MAP=ffi/exports.map -DQUORENT_EXPORTED_SYMBOLS=out.txt -P cmake/exported-symbols.cmake
if(NOT QUORENT_EXPORT_MAP OR NOT QUORENT_EXPORTED_SYMBOLS)
  message(FATAL_ERROR "exported-symbols.cmake needs QUORENT_EXPORT_MAP and QUORENT_EXPORTED_SYMBOLS")
endif()
file(STRINGS ${QUORENT_EXPORT_MAP} _quorent_map)
set(_quorent_exports "")
set(_quorent_section "")
foreach(_quorent_line IN LISTS _quorent_map)
  string(STRIP "${_quorent_line}" _quorent_line)
  if(_quorent_line MATCHES "^([a-z]+):$")
    set(_quorent_section ${CMAKE_MATCH_1})
  elseif(_quorent_section STREQUAL "global" AND _quorent_line MATCHES "^([A-Za-z_][A-Za-z0-9_]*\\*?);$")
    string(APPEND _quorent_exports "_${CMAKE_MATCH_1}\n")
  elseif(_quorent_section STREQUAL "global" AND NOT _quorent_line STREQUAL "")
    # A form the list could not say the same way (a pattern other than a
    # trailing *, a version node): better no library than one that exports
    # something else.
    message(FATAL_ERROR "${QUORENT_EXPORT_MAP}: '${_quorent_line}' has no equal in an exported-symbols list")
  endif()
endforeach()
if(_quorent_exports STREQUAL "")
  message(FATAL_ERROR "${QUORENT_EXPORT_MAP}: no global names")
endif()
file(CONFIGURE OUTPUT ${QUORENT_EXPORTED_SYMBOLS} CONTENT "${_quorent_exports}")
