# The library as a WebAssembly module (the wasm32 row of scripts/platforms.json):
# quorent_sdk_uniffi.wasm, a WASI reactor (no main; its _initialize export runs
# the constructors, once, before any other call) that exports what
# ffi/exports.map lets out on Linux, its memory, and nothing else.
# wasm-ld takes no export map, and --export-dynamic would export the C and C++
# runtimes' own symbols too: the names the library's objects define that the
# map's patterns match are listed at build time (cmake/wasm-exports.cmake) and
# each is exported by name. tests/exports_test.sh checks the result.
#   QUORENT_EXPORT_MAP  the export map
set(QUORENT_WASM_EXPORTS ${CMAKE_CURRENT_BINARY_DIR}/wasm-exports.rsp)
add_custom_command(OUTPUT ${QUORENT_WASM_EXPORTS}
  COMMAND ${CMAKE_COMMAND} -DQUORENT_EXPORT_MAP=${QUORENT_EXPORT_MAP} -DQUORENT_WASM_EXPORTS=${QUORENT_WASM_EXPORTS}
          "-DQUORENT_OBJECTS=$<JOIN:$<TARGET_OBJECTS:quorent_ffi_objects>,|>" -P ${CMAKE_CURRENT_LIST_DIR}/wasm-exports.cmake
  DEPENDS ${QUORENT_EXPORT_MAP} ${CMAKE_CURRENT_LIST_DIR}/wasm-exports.cmake ${CMAKE_CURRENT_LIST_DIR}/export-map.cmake
          $<TARGET_OBJECTS:quorent_ffi_objects>
  VERBATIM)
add_custom_target(quorent_wasm_exports DEPENDS ${QUORENT_WASM_EXPORTS})
add_dependencies(quorent_wasm_exports quorent_ffi_objects)
add_dependencies(quorent_sdk_uniffi quorent_wasm_exports)
target_link_options(quorent_sdk_uniffi PRIVATE -mexec-model=reactor -Wl,@${QUORENT_WASM_EXPORTS})
set_target_properties(quorent_sdk_uniffi PROPERTIES SUFFIX .wasm LINK_DEPENDS ${QUORENT_WASM_EXPORTS})
