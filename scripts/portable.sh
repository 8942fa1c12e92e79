#!/usr/bin/env bash
# Builds the library as one self-contained shared object for a platform:
#   scripts/portable.sh linux-x86_64|linux-aarch64|windows-x86_64
# Every dependency (OpenSSL, libsecp256k1, the Keccak part of Crypto++, the C++
# runtime) is linked in statically, built from Debian 12's source packages with
# -fPIC -fvisibility=hidden against a Debian 11 root (glibc 2.31), so that the
# library runs on any glibc >= 2.31 system of that architecture and exports only
# its interface. The result is build-portable/<target>/libquorent_sdk_uniffi.so
# (stripped) with its header; the checks and the tests (under qemu for
# aarch64) run at the end.
#
# windows-x86_64 cross-builds the same library as one DLL with Debian's
# MinGW-w64 (posix threads), every dependency and the C++ runtime static:
# build-portable/windows-x86_64/quorent_sdk_uniffi.dll, its import library
# libquorent_sdk_uniffi.dll.a and the header. It needs Windows' own DLLs
# only; the tests (the C++ suite, the C example, and the quorent tool's,
# against quorent.exe built beside the DLL in the build tree) run under Wine,
# with a Wine prefix kept in the cache.
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

# Exact versions: what bookworm (and its security suite) served when this was
# written. A new Debian revision means changing them here, deliberately.
OPENSSL_VERSION=3.0.20-1~deb12u2
SECP256K1_VERSION=0.2.0-2
CRYPTOPP_VERSION=8.7.0+git220824-1
ROOT_SUITE=bullseye
ROOT_MIRROR=http://deb.debian.org/debian

case "$target" in
  linux-x86_64) os=linux arch=amd64 triple=x86_64-linux-gnu ossl_target=linux-x86_64
                cc=gcc-12 cxx=g++-12 tool_prefix="" processor=x86_64 ;;
  linux-aarch64) os=linux arch=arm64 triple=aarch64-linux-gnu ossl_target=linux-aarch64
                 cc=aarch64-linux-gnu-gcc-12 cxx=aarch64-linux-gnu-g++-12 tool_prefix=aarch64-linux-gnu-
                 processor=aarch64 ;;
  windows-x86_64) os=windows arch=amd64 triple=x86_64-w64-mingw32 ossl_target=mingw64
                  cc=x86_64-w64-mingw32-gcc-posix cxx=x86_64-w64-mingw32-g++-posix
                  tool_prefix=x86_64-w64-mingw32- processor=x86_64 ;;
  *) echo "usage: $0 linux-x86_64|linux-aarch64|windows-x86_64" >&2; exit 2 ;;
esac
jobs=${QUORENT_PORTABLE_JOBS:-2}

if [ "$os" = windows ]; then scripts/install-deps.sh windows; else scripts/install-deps.sh portable; fi

cache="${QUORENT_CACHE:-$HOME/.cache/quorent}/portable"
src_dir="$cache/src"
root="$cache/roots/$ROOT_SUITE-$arch"
work="$cache/$target"
prefix="$work/prefix"
logs="$work/logs"
stamps="$work/stamps"
mkdir -p "$src_dir" "$cache/roots" "$prefix" "$logs" "$stamps"
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

# ---- sources: apt-get source checks each file against the signed index -----
# A file of its own: other tools may list other suites in theirs.
sources_list=/etc/apt/sources.list.d/quorent-src-bookworm.sources
if [ ! -f "$sources_list" ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO tee "$sources_list" >/dev/null <<'EOF'
# Debian 12 source packages, for scripts/portable.sh (apt-get source)
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  $SUDO apt-get update -qq
fi

stamp_src() { [ -f "$src_dir/$1.source" ] && [ "$(cat "$src_dir/$1.source")" = "$1=$2" ]; }
get_source() { # package, version -> directory (fetched once, shared by the targets)
  local pkg=$1 ver=$2 dir="$src_dir/$1-${2%-*}"
  if ! stamp_src "$pkg" "$ver" || [ ! -d "$dir" ]; then
    local log="$src_dir/$pkg.fetch.log"
    echo "-- source $pkg $ver" >&2
    rm -rf "$dir"
    (cd "$src_dir" && apt-get source --download-only "$pkg=$ver" && \
     dpkg-source -x "${pkg}_${ver}.dsc" "$dir") >"$log" 2>&1 \
      || fail "fetching and verifying the source of $pkg $ver" "$log"
    echo "$pkg=$ver" > "$src_dir/$pkg.source"
  fi
  echo "$dir"
}

# ---- the Debian 11 root: glibc 2.31 headers and libraries --------------------
# (Linux only: MinGW-w64 brings its own Windows headers and import libraries.)
if [ "$os" = linux ]; then
root_key="$ROOT_SUITE $arch minbase libc6-dev libgcc-10-dev linux-libc-dev v1"
if ! [ -f "$root/.quorent-root" ] || [ "$(cat "$root/.quorent-root")" != "$root_key" ]; then
  log="$cache/roots/$ROOT_SUITE-$arch.log"
  echo "-- Debian 11 root ($arch)"
  rm -rf "$root" "$root.tmp"
  foreign=(); [ "$arch" != amd64 ] && foreign=(--foreign)
  debootstrap --arch="$arch" "${foreign[@]}" --variant=minbase \
    --include=libc6-dev,libgcc-10-dev,linux-libc-dev "$ROOT_SUITE" "$root.tmp" "$ROOT_MIRROR" >"$log" 2>&1 \
    || fail "debootstrap of the $ROOT_SUITE $arch root" "$log"
  if [ "$arch" != amd64 ]; then
    # A foreign root is only unpacked, and only its base: unpack the
    # development packages as well (enough for a sysroot).
    for deb in "$root.tmp"/var/cache/apt/archives/{libc6-dev,libgcc-10-dev,linux-libc-dev,libc6,libgcc-s1}_*.deb; do
      dpkg-deb -x "$deb" "$root.tmp" >>"$log" 2>&1 || fail "unpacking $deb" "$log"
    done
  fi
  echo "$root_key" > "$root.tmp/.quorent-root"
  mv "$root.tmp" "$root"
fi
prep_key="relative links, linker scripts by name, gcc 10 unwinder v1"
if ! [ -f "$root/.quorent-prepared" ] || [ "$(cat "$root/.quorent-prepared")" != "$prep_key" ]; then
  # Absolute links and the absolute names in the linker scripts (libc.so,
  # libm.so...) point at the build machine's files once the root serves as a
  # sysroot: links become relative, scripts name their files only, found in
  # the root's directories that the toolchains put first on the search path.
  while IFS= read -r link; do
    dest=$(readlink "$link")
    ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$root$dest")" "$link"
  done < <(find "$root" -type l -lname '/*')
  for script in "$root/usr/lib/$triple"/*.so; do
    [ -f "$script" ] && [ ! -L "$script" ] || continue
    if head -c 512 "$script" | grep -q 'GROUP\|INPUT'; then
      sed -i -E '/GROUP|INPUT/ s#/([^ ()]*/)?([^/ ()]+)#\2#g' "$script"
    fi
  done
  # gcc 10's unwinder (libgcc_eh.a) finds frames with dl_iterate_phdr; gcc 12's
  # calls _dl_find_object (glibc 2.35). It alone sits in this directory, put
  # ahead of gcc's own on the link line.
  mkdir -p "$root/opt/quorent-libgcc-eh"
  cp "$root/usr/lib/gcc/$triple/10/libgcc_eh.a" "$root/opt/quorent-libgcc-eh/"
  echo "$prep_key" > "$root/.quorent-prepared"
fi
fi

# ---- compilers and flags ------------------------------------------------------
if [ "$os" = windows ]; then
  cxx_inc=()
elif [ "$arch" = amd64 ]; then
  cxx_inc=(/usr/include/c++/12 "/usr/include/$triple/c++/12" /usr/include/c++/12/backward)
else
  cxx_inc=("/usr/$triple/include/c++/12" "/usr/$triple/include/c++/12/$triple" "/usr/$triple/include/c++/12/backward")
fi
if [ "$os" = windows ]; then
  # No sysroot, no position-independent code or ELF visibility: a DLL exports
  # what is marked dllexport (QUORENT_API) and nothing else.
  base_flags="-O2 -ffunction-sections -fdata-sections"
  cxx_std_flags=""
else
  base_flags="--sysroot=$root -O2 -fPIC -fvisibility=hidden -ffunction-sections -fdata-sections"
  cxx_std_flags="-nostdinc++$(printf ' -isystem %s' "${cxx_inc[@]}")"
fi
ar=${tool_prefix}ar
ranlib=${tool_prefix}ranlib

# ---- OpenSSL: libcrypto only, with what the library calls --------------------
# Used: SHA-256 (EVP_Digest*, EVP_MD_fetch), HMAC through EVP_MAC, P-256 ECDSA
# verification (EVP_PKEY from an encoded point, ECDSA_SIG), ERR_clear_error and
# CRYPTO_memcmp/OPENSSL_cleanse; the tests also sign P-256 and use HKDF. Error
# strings are never shown (no-err). Assembly stays on: speed first.
openssl_opts=(no-shared no-tests no-makedepend no-engine no-dso no-module no-deprecated no-legacy
  no-ssl3 no-tls no-dtls no-comp no-err no-ec2m no-sm2 no-sm3 no-sm4 no-dsa no-dh no-rc2 no-rc4 no-rc5
  no-des no-camellia no-aria no-seed no-bf no-cast no-idea no-mdc2 no-md4 no-rmd160 no-whirlpool
  no-blake2 no-siphash no-poly1305 no-chacha no-ocb no-siv no-scrypt no-cms no-ocsp no-ts no-ct
  no-srp no-psk no-srtp no-rfc3779 no-cmp no-ui-console no-sock no-autoload-config no-gost
  no-cmac no-multiblock no-async no-ktls no-nextprotoneg no-ssl-trace no-filenames no-stdio
  no-ec_nistp_64_gcc_128 no-dgram no-sctp no-uplink no-ecdh no-autoerrinit)
# Nothing unwinds through OpenSSL (no C++ callbacks run inside it): its C
# code goes without unwind tables (0.18 MB); its assembly keeps its own CFI.
# On Windows this matters more: the MinGW linker keeps every function that has
# unwind data (its script KEEPs all of .pdata), so --gc-sections only drops
# the C code that has none. (Stack walks through these frames, which only a
# debugger or a crash report makes, see them as leaf functions.)
openssl_flags="$base_flags -fno-asynchronous-unwind-tables -fno-unwind-tables"
openssl_key="$OPENSSL_VERSION $ossl_target ${openssl_opts[*]} $openssl_flags"
if ! stamp_ok openssl "$openssl_key"; then
  ossl_src=$(get_source openssl "$OPENSSL_VERSION")
  b="$work/build/openssl"
  rm -rf "$b"; mkdir -p "$b"
  (cd "$b" && run_logged "OpenSSL configure" "$logs/openssl-configure.log" \
    env CC="$cc" AR="$ar" RANLIB="$ranlib" perl "$ossl_src/Configure" "$ossl_target" \
      --prefix="$prefix" --libdir=lib --openssldir=/nonexistent "${openssl_opts[@]}" $openssl_flags)
  run_logged "OpenSSL build (make build_libs)" "$logs/openssl-build.log" make -C "$b" -j"$jobs" build_libs
  run_logged "OpenSSL install" "$logs/openssl-install.log" \
    bash -c "rm -rf '$prefix/include/openssl' && mkdir -p '$prefix/include' '$prefix/lib' && \
             cp -r '$ossl_src/include/openssl' '$b/include/openssl' '$prefix/include/' && \
             cp '$b/libcrypto.a' '$prefix/lib/'"
  echo "$openssl_key" > "$stamps/openssl"
fi

# ---- libsecp256k1: recovery on, default window (its table is the speed) -----
secp_opts=(--disable-shared --enable-static --with-pic --enable-module-recovery --disable-tests
  --disable-exhaustive-tests --disable-benchmark --disable-examples)
# Its C code calls nothing that throws (its callbacks only return), so it
# needs no unwind tables either.
secp_flags="$base_flags -fno-asynchronous-unwind-tables -fno-unwind-tables"
secp_key="$SECP256K1_VERSION $triple ${secp_opts[*]} $secp_flags"
if ! stamp_ok secp256k1 "$secp_key"; then
  secp_src=$(get_source libsecp256k1 "$SECP256K1_VERSION")
  b="$work/build/secp256k1"
  rm -rf "$b"; mkdir -p "$b"
  if [ ! -x "$secp_src/configure" ]; then
    run_logged "libsecp256k1 autoreconf" "$logs/secp256k1-autoreconf.log" bash -c "cd '$secp_src' && autoreconf -fi"
  fi
  (cd "$b" && run_logged "libsecp256k1 configure" "$logs/secp256k1-configure.log" \
    "$secp_src/configure" --host="$triple" --prefix="$prefix" --libdir="$prefix/lib" "${secp_opts[@]}" \
      CC="$cc" CFLAGS="$secp_flags")
  run_logged "libsecp256k1 build" "$logs/secp256k1-build.log" make -C "$b" -j"$jobs"
  run_logged "libsecp256k1 install" "$logs/secp256k1-install.log" make -C "$b" install
  echo "$secp_key" > "$stamps/secp256k1"
fi

# ---- Crypto++: only the files Keccak-256 needs --------------------------------
# (integer.cpp, which defines one formatting function they use, would bring
# big integers, ASN.1 and iostreams: ffi/portable/cryptopp_inttostring.cpp
# stands in for that function.)
cryptopp_files=(keccak.cpp keccak_core.cpp cryptlib.cpp misc.cpp allocate.cpp fips140.cpp)
cryptopp_extra="$tree/ffi/portable/cryptopp_inttostring.cpp"
cryptopp_flags="$base_flags $cxx_std_flags -std=c++17 -DNDEBUG"
declare -A cryptopp_file_flags=()
if [ "$os" = windows ]; then
  # The MinGW linker keeps every C++ function of an object it takes (all of
  # .pdata is KEEP), so the unused functions of cryptlib.cpp stay and need
  # what they call: filters, queues, parameters, big integers, ASN.1, SHA.
  # integer.cpp is then there itself, and the stand-in goes. The templates
  # that the headers declare extern on Windows are instantiated where the
  # library's own build would (CRYPTOPP_MANUALLY_INSTANTIATE_TEMPLATES).
  # Nothing runs them, so they are compiled for size (-Os): the DLL stays
  # under 5 MB.
  cryptopp_linker_only=(filters.cpp queue.cpp mqueue.cpp algparam.cpp integer.cpp asn.cpp nbtheory.cpp
                        algebra.cpp sha.cpp sha_simd.cpp iterhash.cpp pubkey.cpp cpu.cpp sse_simd.cpp)
  cryptopp_files+=("${cryptopp_linker_only[@]}")
  cryptopp_extra=""
  for f in "${cryptopp_linker_only[@]}"; do cryptopp_file_flags[$f]=-Os; done
  cryptopp_file_flags[integer.cpp]="-Os -DCRYPTOPP_MANUALLY_INSTANTIATE_TEMPLATES"
  cryptopp_file_flags[algparam.cpp]="-Os -DCRYPTOPP_MANUALLY_INSTANTIATE_TEMPLATES"
  cryptopp_file_flags[sha_simd.cpp]="-Os -msse4.1 -msha"
fi
if [ -n "$cryptopp_extra" ]; then
  cryptopp_key="$CRYPTOPP_VERSION ${cryptopp_files[*]} $(sha256sum < "$cryptopp_extra" | cut -c1-16) $cryptopp_flags"
else
  cryptopp_key="$CRYPTOPP_VERSION ${cryptopp_files[*]} ${cryptopp_file_flags[*]} $cryptopp_flags"
fi
if ! stamp_ok cryptopp "$cryptopp_key"; then
  cpp_src=$(get_source libcrypto++ "$CRYPTOPP_VERSION")
  b="$work/build/cryptopp"
  rm -rf "$b"; mkdir -p "$b"
  echo "-- Crypto++ (Keccak subset)"
  for f in "${cryptopp_files[@]}"; do
    # shellcheck disable=SC2086
    $cxx $cryptopp_flags ${cryptopp_file_flags[$f]:-} -c "$cpp_src/$f" -o "$b/${f%.cpp}.o" >>"$logs/cryptopp-build.log" 2>&1 \
      || fail "Crypto++ compile of $f" "$logs/cryptopp-build.log"
  done
  rm -rf "$prefix/include/cryptopp"; mkdir -p "$prefix/include/cryptopp"
  cp "$cpp_src"/*.h "$prefix/include/cryptopp/"
  if [ -n "$cryptopp_extra" ]; then
    # shellcheck disable=SC2086
    $cxx $cryptopp_flags -I"$prefix/include" -c "$cryptopp_extra" -o "$b/inttostring.o" >>"$logs/cryptopp-build.log" 2>&1 \
      || fail "Crypto++ compile of $cryptopp_extra" "$logs/cryptopp-build.log"
  fi
  rm -f "$prefix/lib/libcryptopp.a"
  $ar rcs "$prefix/lib/libcryptopp.a" "$b"/*.o
  echo "$cryptopp_key" > "$stamps/cryptopp"
fi

# ---- what the tests need: GoogleTest and RapidJSON's headers ----------------
gtest_ver=$(dpkg-query -W -f='${Version}' googletest)
gtest_key="$gtest_ver $triple $base_flags $cxx_std_flags"
toolchain="$tree/cmake/toolchains/$target.cmake"
cmake_common=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQUORENT_DEPS_PREFIX="$prefix")
if [ "$os" = windows ]; then
  # The tests run under Wine, in a prefix of their own made once.
  wineprefix="$work/wine"
  cmake_common+=(-DQUORENT_WINEPREFIX="$wineprefix")
else
  cmake_common+=(-DQUORENT_SYSROOT="$root")
fi
if ! stamp_ok googletest "$gtest_key"; then
  b="$work/build/googletest"
  rm -rf "$b"
  run_logged "GoogleTest configure" "$logs/googletest-configure.log" \
    cmake -S /usr/src/googletest -B "$b" "${cmake_common[@]}" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON
  run_logged "GoogleTest build" "$logs/googletest-build.log" cmake --build "$b" -j"$jobs"
  run_logged "GoogleTest install" "$logs/googletest-install.log" cmake --install "$b"
  rm -rf "$prefix/include/rapidjson"
  cp -r /usr/include/rapidjson "$prefix/include/"
  echo "$gtest_key" > "$stamps/googletest"
fi

if [ "$os" = windows ] && [ ! -f "$wineprefix/system.reg" ]; then
  # The toolchain's emulator runs the programs (test discovery at build time,
  # ctest) with WINEPREFIX set to it.
  run_logged "Wine prefix" "$logs/wineprefix.log" \
    env WINEPREFIX="$wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" /usr/lib/wine/wine64 wineboot --init
  env WINEPREFIX="$wineprefix" /usr/lib/wine/wineserver64 -w 2>/dev/null || true
fi

# ---- the library -------------------------------------------------------------
bdir="$out/build"
echo "-- library"
cmake -S . -B "$bdir" "${cmake_common[@]}" -DQUORENT_PORTABLE=ON -DCMAKE_BUILD_TYPE=Release \
  -DQUORENT_BUILD_TESTS=ON ${QUORENT_PORTABLE_CMAKE_ARGS:-} >"$logs/library-configure.log" 2>&1 \
  || fail "library configure" "$logs/library-configure.log"
cmake --build "$bdir" -j"$jobs" >"$logs/library-build.log" 2>&1 || fail "library build" "$logs/library-build.log"
if [ "$os" = windows ]; then
  lib="$out/quorent_sdk_uniffi.dll"
  built="$bdir/bin/quorent_sdk_uniffi.dll"
  cp -p "$bdir/libquorent_sdk_uniffi.dll.a" "$out/"
else
  lib="$out/libquorent_sdk_uniffi.so"
  built="$bdir/libquorent_sdk_uniffi.so"
fi
${tool_prefix}strip --strip-all -o "$lib.tmp" "$built"
if cmp -s "$lib.tmp" "$lib"; then rm "$lib.tmp"; else mv "$lib.tmp" "$lib"; fi
cp -p ffi/include/quorent_sdk_uniffi.h "$bdir/include/quorent_sdk_version.h" "$out/"

# ---- checks ----------------------------------------------------------------
programs=()
[ "$os" = windows ] && programs=("$bdir/bin/quorent.exe")
scripts/check-portable.sh "$target" "$lib" "${programs[@]}"

if [ "${QUORENT_PORTABLE_SKIP_TESTS:-0}" != 1 ]; then
  echo "-- ctest ($target$([ "$arch" != amd64 ] && echo ', under qemu')$([ "$os" = windows ] && echo ', under Wine'))"
  start=$(date +%s)
  # Under Wine the tests run one at a time: two programs starting at the same
  # moment in one prefix now and then fail to start (exit 1, no output; about
  # one run in four with two at a time, none in a row of runs one at a time).
  # A test that fails there once runs a second time; a real fault fails both
  # times, and every failed run's output stays in the log.
  test_opts=(-j"$jobs")
  [ "$os" = windows ] && test_opts=(-j1 --repeat until-pass:2)
  if ! ctest --test-dir "$bdir" --output-on-failure "${test_opts[@]}" >"$logs/ctest.log" 2>&1; then
    # The failed tests' own output, before the log's tail.
    awk '/\*\*\*(Failed|Exception|Timeout)/{p=1} /^ *Start +[0-9]+:/{p=0} p' "$logs/ctest.log" | tail -n 80 >&2
    fail "ctest" "$logs/ctest.log"
  fi
  grep -E 'tests passed|Total Test time' "$logs/ctest.log"
  echo "ctest took $(( $(date +%s) - start )) s"
fi
echo "portable ($target): $lib"
