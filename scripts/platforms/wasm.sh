# WebAssembly (the row of system wasm in scripts/platforms.json): Debian's
# clang 19 and LLD 19 for wasm32-wasi, with Debian's wasi-libc and LLVM 19's
# libc++, libc++abi and compiler-rt builtins for it, all linked in. The library
# is a WASI reactor module (-mexec-model=reactor: no main, _initialize runs the
# constructors) exporting the interface's functions and data symbols and its
# memory, and importing only the WASI functions the C library needs. That
# libc++ has no threads and no exceptions: everything is built with
# -fno-exceptions, OpenSSL without threads or assembly. Its programs do not run
# here (the module runs in Node and in browsers). Sourced by
# scripts/portable.sh and scripts/check-portable.sh.

# LLVM 19 keeps libc++ for wasm32-wasi in its own tree, where clang does not
# look by itself.
wasm_cxx_include=/usr/lib/llvm-19/include/wasm32-wasi/c++/v1
wasm_cxx_lib=/usr/lib/llvm-19/lib/wasm32-wasi
strip_cmd=llvm-strip-19

platform_prepare() {
  [ -d "$wasm_cxx_include" ] && [ -f "$wasm_cxx_lib/libc++.a" ] \
    || { echo "portable ($target): libc++ for wasm32-wasi is missing (scripts/install-deps.sh wasm)" >&2; exit 1; }
  # The compilers name the target: configure scripts call them as they are.
  local tool
  mkdir -p "$work/bin"
  for tool in cc c++; do
    case "$tool" in
      cc) printf '#!/bin/sh\nexec %s --target=%s "$@"\n' "$cc" "$triple" ;;
      c++) printf '#!/bin/sh\nexec %s --target=%s "$@"\n' "$cxx" "$triple" ;;
    esac > "$work/bin/$tool.tmp"
    chmod +x "$work/bin/$tool.tmp"
    if cmp -s "$work/bin/$tool.tmp" "$work/bin/$tool"; then rm "$work/bin/$tool.tmp"; else mv "$work/bin/$tool.tmp" "$work/bin/$tool"; fi
  done
  cc="$work/bin/cc" cxx="$work/bin/c++"
}

platform_flags() {
  # No -fPIC (the module is linked statically, and position-independent code
  # reaches every global through a table) and no unwind tables to keep.
  base_flags="-O2 -fvisibility=hidden -ffunction-sections -fdata-sections $map_flags"
  cxx_std_flags=""
  ar=llvm-ar-19 ranlib=llvm-ranlib-19 strip=$strip_cmd
  # One thread, no assembly; wasi-libc has no mlock for OpenSSL's secure heap.
  # Its seed from getentropy, and no environment, clock or file system
  # (ffi/portable/wasi_openssl.h); getpid, which OpenSSL takes to notice a
  # fork (a module never forks), is wasi-libc's emulation, a constant
  # (libwasi-emulated-getpid, cmake/portable.cmake).
  openssl_platform_opts=(no-asm no-pic no-threads no-secure-memory --with-rand-seed=getrandom
    "-include$tree/ffi/portable/wasi_openssl.h" -D_WASI_EMULATED_GETPID)
  # OpenSSL compiled for size (the module's limit is 2 MB): of its code the
  # library runs only digests, HMAC and P-256 verification.
  openssl_platform_flags="-Os"
  secp_tools=(AR="$ar" RANLIB="$ranlib")
  secp_pic=--without-pic
  # Field and scalar arithmetic on 32-bit limbs with 64-bit products: wasm32
  # multiplies 64-bit integers natively but has no 128-bit product, which the
  # 64-bit limbs would take from compiler-rt on every multiplication (signing
  # and recovery 2.5 to 3 times slower, measured through the Node binding).
  # Tables by measurement (median of 5 alternating rounds through the Node
  # binding, a loaded 2-CPU machine): verification window 8, 10, 12 and 15
  # take 1,717,852, 1,742,428, 1,840,732 and over 2 MB; recovery 105, 102
  # and 101 us, signing and public keys the same within 3%; the 86 KiB
  # signing table rather than 22 KiB added 65 KB for nothing measurable. The
  # smallest, then: what a browser downloads is the module.
  secp_tables=(--with-ecmult-window=8 --with-ecmult-gen-kb=22 --with-test-override-wide-multiply=int64)
}

platform_cmake_args() {
  cmake_common+=(-DQUORENT_WASM_BIN="$work/bin" -DQUORENT_WASM_CXX_INCLUDE="$wasm_cxx_include" -DQUORENT_WASM_CXX_LIB="$wasm_cxx_lib")
}

# The WASI functions the module may import: random bytes (getentropy, for the
# signing context's blinding and generate_pkce) and what writing a message
# before an abort needs (stderr: write, seek, close of the standard streams).
wasi_imports="fd_close fd_seek fd_write random_get"

# Checks a module: WebAssembly, importing from wasi_snapshot_preview1 only and
# only the functions above, exporting its memory and _initialize besides the
# interface (tests/exports_test.sh checks the interface). Sets status=1 on a
# failure.
# The npm package carries the module as it is built (no other package does).
platform_package() { # built module, folder
  lib=$1 archive_args=()
}

platform_check() { # module
  local lib=$1 imports unexpected extra
  [ "$(od -An -tx1 -N8 "$lib" | tr -d ' ')" = 0061736d01000000 ] || { echo "$lib: not a WebAssembly module" >&2; status=1; return; }
  imports=$(wasm-objdump -j Import -x "$lib" | sed -n 's/.*<- \(.*\)$/\1/p' | sort)
  echo "imports: $(echo $imports)"
  unexpected=$(echo "$imports" | grep -vxE "wasi_snapshot_preview1\.($(echo $wasi_imports | tr ' ' '|'))" || true)
  if [ -n "$unexpected" ]; then echo "unexpected imports: $(echo $unexpected)" >&2; status=1; fi
  extra=$(wasm-objdump -j Export -x "$lib" | sed -n 's/.* -> "\(.*\)"$/\1/p' \
    | grep -vE '^(ffi_quorent_sdk_uniffi_|uniffi_quorent_sdk_uniffi_|UNIFFI_META_)' | sort | paste -sd ' ')
  echo "exported besides the interface: $extra"
  [ "$extra" = "_initialize memory" ] || { echo "exports other than the interface, memory and _initialize: $extra" >&2; status=1; }
}
