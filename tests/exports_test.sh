#!/usr/bin/env bash
# The shared library exports exactly the symbols of its interface: nothing
# of its internals or of the libraries it uses.
set -euo pipefail
lib="$1"
header="$2"
expected=$(mktemp)
actual=$(mktemp)
trap 'rm -f "$expected" "$actual"' EXIT
ops=$(grep -o 'uniffi_quorent_sdk_uniffi_fn_func_[a-z0-9_]*(' "$header" | sed 's/^uniffi_quorent_sdk_uniffi_fn_func_//; s/($//' | sort -u)
[ "$(echo "$ops" | wc -l)" -eq 29 ] || { echo "expected 29 operations in the header"; exit 1; }
{
  for op in $ops; do
    echo "uniffi_quorent_sdk_uniffi_fn_func_$op"
    echo "uniffi_quorent_sdk_uniffi_checksum_func_$op"
    echo "UNIFFI_META_QUORENT_SDK_UNIFFI_FUNC_${op^^}"
  done
  for r in APPKEY CLAIMS DEED PKCE; do echo "UNIFFI_META_QUORENT_SDK_UNIFFI_RECORD_$r"; done
  echo UNIFFI_META_QUORENT_SDK_UNIFFI_ERROR_SDKERROR
  echo UNIFFI_META_NAMESPACE_QUORENT_SDK_UNIFFI
  for f in alloc from_bytes free reserve; do echo "ffi_quorent_sdk_uniffi_rustbuffer_$f"; done
  echo ffi_quorent_sdk_uniffi_uniffi_contract_version
  for t in u8 i8 u16 i16 u32 i32 u64 i64 f32 f64 rust_buffer void; do
    for f in poll cancel complete free; do echo "ffi_quorent_sdk_uniffi_rust_future_${f}_$t"; done
  done
} | sort > "$expected"
if [ "$(od -An -tx1 -N4 "$lib" | tr -d ' ')" = 0061736d ]; then
  # A WebAssembly module: the names of its exports, less its memory and
  # _initialize (scripts/platforms/wasm.sh checks those).
  wasm-objdump -j Export -x "$lib" | sed -n 's/.* -> "\(.*\)"$/\1/p' | grep -vxE 'memory|_initialize' | sort > "$actual"
elif [ "$(head -c 2 "$lib")" = MZ ]; then
  # A DLL: the names in its export table.
  x86_64-w64-mingw32-objdump -p "$lib" \
    | awk '/^\[Ordinal\/Name Pointer\] Table/ {t = 1; next} t && /^[[:space:]]*$/ {t = 0} t && /\[ *[0-9]+\]/ {print $NF}' \
    | sort > "$actual"
elif [ "$(od -An -tx1 -N4 "$lib" | tr -d ' ')" = cffaedfe ]; then
  # A 64-bit Mach-O library: the names in its export trie, less the
  # underscore Mach-O puts before C names.
  llvm-objdump-19 --macho --exports-trie "$lib" | awk '/^0x[0-9A-Fa-f]+ / {print $2}' | sed 's/^_//' | sort > "$actual"
else
  nm -D --defined-only "$lib" | awk '{print $3}' | sed 's/@.*//' | sort > "$actual"
fi
if ! diff -u "$expected" "$actual"; then
  echo "exported symbols differ from the interface (- expected, + exported)"
  exit 1
fi
echo "$(wc -l < "$actual") symbols, exactly the interface"
