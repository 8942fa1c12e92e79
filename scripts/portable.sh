#!/usr/bin/env bash
# Builds the library as one self-contained shared object for a platform:
#   scripts/portable.sh PLATFORM
#   scripts/portable.sh --stage STAGE   (each platform of a test stage in turn)
# PLATFORM is a row of scripts/platforms.json (scripts/platforms.py names lists
# them): its toolchain, triple, library file and how its tests run come from
# there, and what differs between systems (roots, runtimes, checks) from
# scripts/platforms/<system>.sh.
# Every dependency (OpenSSL, libsecp256k1, the C++ runtime) is linked in
# statically, built from Debian's source packages with -fPIC
# -fvisibility=hidden; for glibc Linux against a Debian 11 root (glibc 2.31),
# so that the library runs on any glibc >= 2.31 system of that architecture and
# exports only its interface. Keccak-256 comes from OpenSSL's libcrypto
# (QUORENT_KECCAK=openssl). The result is build-portable/<target>/<library>
# (stripped) with its header; the checks (scripts/check-portable.sh) and the
# tests (natively, under qemu, Wine or musl's loader, as the row says) run at
# the end.
#
# The musl rows (linux-*-musl) build with Zig (scripts/zig.sh, pinned in
# scripts/dependencies.json), its musl and its libc++ linked statically: the
# library needs musl's libc alone (under Alpine's name, libc.musl-<arch>.so.1).
#
# The versions are those of scripts/dependencies.json, read through
# scripts/deps.py, which fetches and verifies each source (and falls back,
# loudly, to the newest served version of the same series when Debian no
# longer serves the pinned one). build-portable/<target>/dependencies.json
# records what was built: versions, where each came from, the SHA-256 of each
# source file and the checks made.
#
# windows-x86_64 cross-builds the same library as one DLL with Debian's
# MinGW-w64 (posix threads), every dependency and the C++ runtime static:
# build-portable/windows-x86_64/quorent_sdk_uniffi.dll, its import library
# libquorent_sdk_uniffi.dll.a and the header. It needs Windows' own DLLs
# only; the tests (the C++ suite, the C example, and the quorent tool's,
# against quorent.exe built beside the DLL in the build tree) run under Wine,
# with a Wine prefix kept in the cache.
#
# The macOS rows (macos-*) cross-build libquorent_sdk_uniffi.dylib with Zig,
# linked by LLD (Debian's lld-19) against libSystem alone, libc++ and
# libc++abi static, signed ad hoc; its programs are built but do not run here.
#
# Downloads, roots, dependency builds and their logs are cached outside the
# tree, in ${QUORENT_CACHE:-$HOME/.cache/quorent}/portable; a second run
# rebuilds nothing (each step has a stamp keyed by its version and flags).
# QUORENT_PORTABLE_CMAKE_ARGS adds arguments to the library's configuration;
# QUORENT_PORTABLE_SKIP_TESTS=1 leaves out ctest; QUORENT_PORTABLE_JOBS sets the
# parallel jobs (2).
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$PWD
target="${1:-}"
# portable.sh --stage S: every platform whose row names the test stage S, one
# after another, each with the time it took.
if [ "$target" = --stage ] && [ $# = 2 ]; then
  for row in $(scripts/platforms.py names --stage "$2"); do
    echo "-- $row"
    start=$(date +%s)
    scripts/portable.sh "$row"
    echo "$row: $(( $(date +%s) - start )) s"
  done
  exit 0
fi

platforms=scripts/platforms.py
if [ -z "$target" ] || ! row=$($platforms shell "$target"); then
  echo "usage: $0 $($platforms names | paste -sd '|')" >&2; exit 2
fi
eval "$row"
# What a system's file (scripts/platforms/<system>.sh) may define otherwise:
# a step before the library's build, what follows its strip, where the built library is (-> built) and
# where its stripped copy goes (-> lib), the programs check-portable.sh checks
# beside it, and ctest's options.
platform_before_library() { :; }
platform_library() { lib="$out/$library"; built="$bdir/$library"; }
platform_programs() { programs=(); }
platform_test_opts() { test_opts=(-j"$jobs"); }
platform_after_strip() { :; }  # what a system does to a file once stripped (macOS: sign it again)
# shellcheck source=platforms/linux-gnu.sh
. "scripts/platforms/$system.sh"
jobs=${QUORENT_PORTABLE_JOBS:-2}
# Dates in what is built are the last commit's, so that two builds of a commit
# are byte for byte the same (OpenSSL's build information, archives).
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
export SOURCE_DATE_EPOCH

scripts/install-deps.sh "$install"
deps=scripts/deps.py  # python3, installed just now if it was missing

cache="${QUORENT_CACHE:-$HOME/.cache/quorent}/portable"
src_dir="$cache/src"
work="$cache/$target"
prefix="$work/prefix"
logs="$work/logs"
stamps="$work/stamps"
mkdir -p "$src_dir" "$cache/roots" "$prefix" "$logs" "$stamps"
# One build at a time in a cache: the sources, roots and each target's
# dependencies are shared, so another run waits for this one.
exec 9>"$cache/.lock"
if ! flock -n 9; then
  echo "portable ($target): waiting for another build that uses $cache" >&2
  flock 9
fi
out="$tree/build-portable/$target"

fail() { # step, log
  echo "portable ($target): $1 failed; log: $2" >&2
  tail -n 20 "$2" >&2 || true
  exit 1
}
run_logged() { # step, log, command...
  local step=$1 log=$2
  shift 2
  echo "-- $step"
  "$@" >"$log" 2>&1 || fail "$step" "$log"
}
stamp_ok() { [ -f "$stamps/$1" ] && [ "$(cat "$stamps/$1")" = "$2" ]; }
# Builds a dependency once per key: unless its stamp holds the key (its
# version, target and flags), the function runs in an empty build folder $b
# and the stamp is written after it succeeds.
dependency() { # name, key, function
  stamp_ok "$1" "$2" && return 0
  b="$work/build/$1"
  rm -rf "$b"
  mkdir -p "$b"
  "$3"
  echo "$2" > "$stamps/$1"
}

# ---- sources: Debian's source packages, checked by scripts/deps.py -----------
# (apt-get source against the signed index, dpkg-source against the .dsc,
# upstream signatures against the keys in the package; see scripts/deps.py.)
$deps apt-sources
fetch() { # name -> sets src_version and src_tree
  local line
  line=$($deps fetch "$1") || { echo "portable ($target): the source of $1 could not be fetched and verified" >&2; exit 1; }
  src_version=${line%%$'\t'*}
  src_tree=${line#*$'\t'}
}

# ---- the system's root or runtime (scripts/platforms/<system>.sh) ------------
platform_prepare

# ---- compilers and flags ------------------------------------------------------
# The cache's path is mapped out of what the dependencies compile (file names in
# assertions, debug information), so that it never reaches the library.
map_flags="-ffile-prefix-map=$cache=/quorent-deps"
platform_flags

# ---- OpenSSL: libcrypto only, with what the library calls --------------------
# Used: SHA-256 (EVP_Digest*, EVP_MD_fetch), Keccak-256 (KECCAK-256, 3.2 and
# later), HMAC through EVP_MAC, P-256 ECDSA verification (EVP_PKEY from an
# encoded point, ECDSA_SIG), ERR_clear_error and CRYPTO_memcmp/OPENSSL_cleanse;
# the tests also sign P-256 and use HKDF. Error strings are never shown
# (no-err). Assembly stays on: speed first. Left out besides: the post-quantum
# schemes, X25519/Ed25519 (ecx), Argon2 and its thread pool, HTTP, the Windows
# certificate store.
openssl_opts=(no-shared no-tests no-apps no-docs no-makedepend no-engine no-dso no-module no-deprecated
  no-legacy no-ssl3 no-tls no-dtls no-quic no-comp no-err no-ec2m no-sm2 no-sm2-precomp no-sm3 no-sm4
  no-dsa no-dh no-rc2 no-rc4 no-rc5 no-des no-camellia no-aria no-seed no-bf no-cast no-idea no-mdc2
  no-md4 no-rmd160 no-whirlpool no-blake2 no-argon2 no-siphash no-poly1305 no-chacha no-ocb no-siv
  no-scrypt no-cms no-ocsp no-ts no-ct no-srp no-psk no-srtp no-rfc3779 no-cmp no-ui-console no-sock
  no-http no-autoload-config no-gost no-cmac no-multiblock no-async no-ktls no-nextprotoneg
  no-ssl-trace no-filenames no-stdio no-ec_nistp_64_gcc_128 no-dgram no-sctp no-uplink no-ecdh
  no-ecx no-ml-dsa no-ml-kem no-slh-dsa no-thread-pool no-winstore no-autoerrinit)
# What a system adds (scripts/platforms/<system>.sh: the WebAssembly row's no-asm, no-threads).
openssl_opts+=(${openssl_platform_opts[@]+"${openssl_platform_opts[@]}"})
# Nothing unwinds through OpenSSL (no C++ callbacks run inside it): its C
# code goes without unwind tables (0.18 MB); its assembly keeps its own CFI.
# On Windows this matters more: the MinGW linker keeps every function that has
# unwind data (its script KEEPs all of .pdata), so --gc-sections only drops
# the C code that has none. (Stack walks through these frames, which only a
# debugger or a crash report makes, see them as leaf functions.)
openssl_flags="$base_flags -fno-asynchronous-unwind-tables -fno-unwind-tables${openssl_platform_flags:+ $openssl_platform_flags}"
# What the default provider links in but the library never runs (it uses
# neither AES nor RSA): the AVX-512 and AVX-IFMA code of AES-GCM, AES-XTS and
# RSA, 0.77 MB on x86-64. OpenSSL assembles those paths only when the
# assembler knows the extensions, which its perlasm scripts ask of $CC
# (INSTALL.md, "Notes on assembler modules compilation", which shows a
# wrapper of $CC for the same purpose). For these files alone, $CC is a
# wrapper that names GNU as 2.24, which predates AVX-512, when asked which
# assembler it drives (-Wa,-v), names no compiler when asked its version alone
# (-v: the scripts take any clang for one whose assembler knows AVX-512) and
# is the compiler otherwise: the scripts emit their stubs for such an
# assembler (the extension reported absent, so the other code paths run).
old_as=2.24
fetch openssl
ossl_src=$src_tree
openssl_key="$src_version $openssl_target ${openssl_opts[*]} $openssl_flags as-$old_as-wrapper-v2:aes,modes,bn"
build_openssl() {
  (cd "$b" && run_logged "OpenSSL configure" "$logs/openssl-configure.log" \
    env CC="$cc" AR="$ar" RANLIB="$ranlib" perl "$ossl_src/Configure" "$openssl_target" \
      --prefix=/nonexistent --libdir=lib --openssldir=/nonexistent "${openssl_opts[@]}" $openssl_flags)
  stubs=$(sed -nE 's#^(crypto/(aes|modes|bn)/[^:]*(avx512|avxifma)[^:]*\.s):.*#\1#p' "$b/Makefile")
  if [ -n "$stubs" ]; then
    printf '#!/bin/sh\ncase " $* " in *" -Wa,-v "*) echo "GNU assembler version %s"; exit 0 ;; " -v ") exit 0 ;; esac\nexec %s "$@"\n' \
      "$old_as" "$cc" > "$b/as-$old_as"
    chmod +x "$b/as-$old_as"
    # shellcheck disable=SC2086
    run_logged "OpenSSL AVX-512 paths as stubs" "$logs/openssl-stubs.log" make -C "$b" CC="$b/as-$old_as" $stubs
  fi
  run_logged "OpenSSL build (make build_libs)" "$logs/openssl-build.log" make -C "$b" -j"$jobs" build_libs
  run_logged "OpenSSL install" "$logs/openssl-install.log" \
    bash -c "rm -rf '$prefix/include/openssl' && mkdir -p '$prefix/include' '$prefix/lib' && \
             cp -r '$ossl_src/include/openssl' '$b/include/openssl' '$prefix/include/' && \
             cp '$b/libcrypto.a' '$prefix/lib/'"
}
dependency openssl "$openssl_key" build_openssl

# ---- libsecp256k1: recovery on, large tables (they are the speed) ----------
# Verification and recovery at the default window (15, a 1 MB table); signing
# and public keys with the 86 KiB table rather than the default 22 KiB (the
# 64 KiB of versions before 0.5 has no equal now): 65 KB more for signing and
# public-key derivation about 1% faster.
# A system may choose other table sizes (secp_tables) or code that is not
# position-independent (secp_pic) in scripts/platforms/<system>.sh.
secp_tables=(${secp_tables[@]+"${secp_tables[@]}"})
[ ${#secp_tables[@]} != 0 ] || secp_tables=(--with-ecmult-gen-kb=86)
secp_pic=${secp_pic:---with-pic}
secp_opts=(--disable-shared --enable-static "$secp_pic" --enable-module-recovery "${secp_tables[@]}" --disable-module-ecdh
  --disable-module-extrakeys --disable-module-schnorrsig --disable-module-ellswift --disable-tests
  --disable-exhaustive-tests --disable-ctime-tests --disable-benchmark --disable-examples)
# Its C code calls nothing that throws (its callbacks only return), so it
# needs no unwind tables either.
secp_flags="$base_flags -fno-asynchronous-unwind-tables -fno-unwind-tables"
fetch libsecp256k1
secp_src=$src_tree
# The archiver and its index, where configure would not find the right ones by
# the triple's name (the macOS rows: GNU ar indexes no Mach-O object, and an
# archive without an index is useless to the Mach-O linker); unset elsewhere.
secp_tools=(${secp_tools[@]+"${secp_tools[@]}"})
secp_key="$src_version $triple ${secp_opts[*]} $secp_flags${secp_tools[*]:+ ${secp_tools[*]}}"
build_secp256k1() {
  if [ ! -x "$secp_src/configure" ]; then
    run_logged "libsecp256k1 autoreconf" "$logs/secp256k1-autoreconf.log" bash -c "cd '$secp_src' && autoreconf -fi"
  fi
  (cd "$b" && run_logged "libsecp256k1 configure" "$logs/secp256k1-configure.log" \
    "$secp_src/configure" --host="$triple" --prefix="$prefix" --libdir="$prefix/lib" "${secp_opts[@]}" \
      CC="$cc" CFLAGS="$secp_flags" ${secp_tools[@]+"${secp_tools[@]}"})
  run_logged "libsecp256k1 build" "$logs/secp256k1-build.log" make -C "$b" -j"$jobs"
  run_logged "libsecp256k1 install" "$logs/secp256k1-install.log" make -C "$b" install
}
dependency secp256k1 "$secp_key" build_secp256k1

# Keccak-256 is libcrypto's: a cache made when Crypto++ was built in keeps it.
rm -rf "$prefix/include/cryptopp" "$prefix/lib/libcryptopp.a" "$stamps/cryptopp"

# ---- what the tests need: GoogleTest and RapidJSON's headers ----------------
gtest_ver=$(dpkg-query -W -f='${Version}' googletest)
gtest_key="$gtest_ver $triple $base_flags $cxx_std_flags"
toolchain="$tree/cmake/toolchains/$target.cmake"
cmake_common=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQUORENT_DEPS_PREFIX="$prefix" -DQUORENT_KECCAK=openssl)
platform_cmake_args
build_googletest() {
  run_logged "GoogleTest configure" "$logs/googletest-configure.log" \
    cmake -S /usr/src/googletest -B "$b" "${cmake_common[@]}" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON
  run_logged "GoogleTest build" "$logs/googletest-build.log" cmake --build "$b" -j"$jobs"
  run_logged "GoogleTest install" "$logs/googletest-install.log" cmake --install "$b"
  rm -rf "$prefix/include/rapidjson"
  cp -r /usr/include/rapidjson "$prefix/include/"
}
if [ "$tests" = none ]; then
  # No test is built: RapidJSON's headers alone (the configuration looks for them).
  [ -d "$prefix/include/rapidjson" ] || cp -r /usr/include/rapidjson "$prefix/include/"
else
  dependency googletest "$gtest_key" build_googletest
fi

platform_before_library

# ---- the library -------------------------------------------------------------
# What this build is made of, recorded first: `quorent --version` names the
# versions actually fetched (a fallback's too), as the packages' SBOMs do.
mkdir -p "$out"
$deps record "$out/dependencies.json.tmp" "$target"
if cmp -s "$out/dependencies.json.tmp" "$out/dependencies.json"; then rm "$out/dependencies.json.tmp"
else mv "$out/dependencies.json.tmp" "$out/dependencies.json"; fi
bdir="$out/build"
# A row whose programs do not run here (tests: none) builds the library alone.
build_tests=ON
[ "$tests" != none ] || build_tests=OFF
echo "-- library"
cmake -S . -B "$bdir" "${cmake_common[@]}" -DQUORENT_PORTABLE=ON -DCMAKE_BUILD_TYPE=Release \
  -DQUORENT_DEPENDENCIES_JSON="$out/dependencies.json" -DQUORENT_BUILD_TESTS=$build_tests ${QUORENT_PORTABLE_CMAKE_ARGS:-} >"$logs/library-configure.log" 2>&1 \
  || fail "library configure" "$logs/library-configure.log"
cmake --build "$bdir" -j"$jobs" >"$logs/library-build.log" 2>&1 || fail "library build" "$logs/library-build.log"
platform_library
$strip --strip-all -o "$lib.tmp" "$built"
platform_after_strip "$lib.tmp"
if cmp -s "$lib.tmp" "$lib"; then rm "$lib.tmp"; else mv "$lib.tmp" "$lib"; fi
cp -p ffi/include/quorent_sdk_uniffi.h "$bdir/include/quorent_sdk_version.h" "$out/"

# ---- checks ----------------------------------------------------------------
platform_programs
scripts/check-portable.sh "$target" "$lib" "${programs[@]}"

if [ "$tests" = none ]; then
  echo "-- ctest ($target): its programs do not run on this machine; built and checked only"
elif [ "${QUORENT_PORTABLE_SKIP_TESTS:-0}" != 1 ]; then
  case "$tests" in
    native) echo "-- ctest ($target)" ;;
    qemu) echo "-- ctest ($target, under qemu)" ;;
    wine) echo "-- ctest ($target, under Wine)" ;;
    musl) echo "-- ctest ($target, under musl's loader)" ;;
  esac
  start=$(date +%s)
  platform_test_opts
  if ! ctest --test-dir "$bdir" --output-on-failure "${test_opts[@]}" >"$logs/ctest.log" 2>&1; then
    # The failed tests' own output, before the log's tail.
    awk '/\*\*\*(Failed|Exception|Timeout)/{p=1} /^ *Start +[0-9]+:/{p=0} p' "$logs/ctest.log" | tail -n 80 >&2
    fail "ctest" "$logs/ctest.log"
  fi
  grep -E 'tests passed|Total Test time' "$logs/ctest.log"
  echo "ctest took $(( $(date +%s) - start )) s"
fi
echo "portable ($target): $lib"
