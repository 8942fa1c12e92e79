#!/usr/bin/env bash
# Installs the Debian packages that are missing for one purpose:
#   install-deps.sh demo   building the library and the quorent tool, and running the demo
#   install-deps.sh portable  what scripts/portable.sh needs besides the demo's: source
#                          packages, a Debian 11 root, the arm64 cross compilers, qemu
#   install-deps.sh windows   what scripts/portable.sh windows-x86_64 needs besides the
#                          demo's: source packages, MinGW-w64 (posix threads), Wine
#   install-deps.sh zig    what scripts/portable.sh needs for the rows built with Zig
#                          (scripts/zig.sh installs Zig itself) besides the demo's: source
#                          packages, musl's loader and libc (and debootstrap for an arm64 one), qemu,
#                          the arm64 binutils
#   install-deps.sh macos  what scripts/portable.sh needs for the macOS rows besides the demo's:
#                          source packages, LLVM 19's Mach-O tools (objdump, nm, strip, lipo)
#                          and LLD 19, whose Mach-O linker links the library (Zig compiles)
#   install-deps.sh wasm   what scripts/portable.sh wasm32 needs besides the demo's: source
#                          packages, clang 19 and LLD 19 with the wasm32-wasi C library, libc++,
#                          libc++abi and compiler-rt, LLVM 19's tools, wabt (wasm-objdump), brotli (its sizes)
#   install-deps.sh browser   what the browser tests need besides the demo's and Node:
#                          Debian's chromium (driven headless by playwright-core)
#   install-deps.sh test   all of the above, plus what the tests, sanitizers, fuzzing and
#                          benchmarks need (the default)
# QUORENT_EXTRA_PKGS adds packages to either list.
set -euo pipefail
purpose="${1:-test}"
demo_pkgs=(build-essential cmake pkg-config g++ libssl-dev libsecp256k1-dev libcrypto++-dev
           rapidjson-dev)
portable_pkgs=(dpkg-dev debootstrap crossbuild-essential-arm64 binutils-aarch64-linux-gnu qemu-user
               googletest perl make autoconf automake libtool python3 gpgv)
windows_pkgs=(dpkg-dev g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
              wine64 googletest perl make autoconf automake libtool python3 gpgv)
zig_pkgs=(dpkg-dev debootstrap musl patchelf qemu-user binutils-aarch64-linux-gnu googletest perl make autoconf automake
          libtool python3 python3-venv gpgv)
macos_pkgs=(dpkg-dev llvm-19 lld-19 googletest perl make autoconf automake libtool python3 python3-venv gpgv)
wasm_pkgs=(dpkg-dev clang-19 lld-19 llvm-19 libc++-19-dev-wasm32 libc++abi-19-dev-wasm32 libclang-rt-19-dev-wasm32
           wasi-libc wabt perl make autoconf automake libtool python3 gpgv brotli)
browser_pkgs=(chromium)
test_pkgs=(libgtest-dev libgmock-dev libbenchmark-dev python3 python3-jsonschema valgrind
           clang libclang-rt-14-dev)
case "$purpose" in
  demo) pkgs=("${demo_pkgs[@]}") ;;
  portable) pkgs=("${demo_pkgs[@]}" "${portable_pkgs[@]}") ;;
  windows) pkgs=("${demo_pkgs[@]}" "${windows_pkgs[@]}") ;;
  zig) pkgs=("${demo_pkgs[@]}" "${zig_pkgs[@]}") ;;
  macos) pkgs=("${demo_pkgs[@]}" "${macos_pkgs[@]}") ;;
  wasm) pkgs=("${demo_pkgs[@]}" "${wasm_pkgs[@]}") ;;
  browser) pkgs=("${demo_pkgs[@]}" "${browser_pkgs[@]}") ;;
  test) pkgs=("${demo_pkgs[@]}" "${portable_pkgs[@]}" "${test_pkgs[@]}") ;;
  *) echo "usage: $0 [demo|portable|windows|zig|macos|wasm|browser|test]" >&2; exit 2 ;;
esac
if [ "${QUORENT_EXTRA_PKGS:-}" != "" ]; then pkgs+=(${QUORENT_EXTRA_PKGS}); fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
