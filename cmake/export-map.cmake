# quorent_export_map_globals(MAP OUT): the names of MAP's global: section
# (an export map, ffi/exports.map), each a name or a prefix followed by *, as
# a list in OUT. Any other form fails: better no library than one that
# exports something else. Used by cmake/exported-symbols.cmake (macOS) and
# cmake/wasm-exports.cmake (WebAssembly), which take no export map.
function(quorent_export_map_globals map out)
  file(STRINGS ${map} _lines)
  set(_globals "")
  set(_section "")
  foreach(_line IN LISTS _lines)
    string(STRIP "${_line}" _line)
    if(_line MATCHES "^([a-z]+):$")
      set(_section ${CMAKE_MATCH_1})
    elseif(_section STREQUAL "global" AND _line MATCHES "^([A-Za-z_][A-Za-z0-9_]*\\*?);$")
      list(APPEND _globals ${CMAKE_MATCH_1})
    elseif(_section STREQUAL "global" AND NOT _line STREQUAL "")
      message(FATAL_ERROR "${map}: '${_line}' has no equal in an exported-symbols list")
    endif()
  endforeach()
  if(NOT _globals)
    message(FATAL_ERROR "${map}: no global names")
  endif()
  set(${out} ${_globals} PARENT_SCOPE)
endfunction()
