# macOS (rows of system macos in scripts/platforms.json): cross-built, never run
# here. Zig (pinned, scripts/zig.sh) compiles for the row's zig_target at the
# row's os_floor, with its own macOS headers and libc++; LLD 19's Mach-O linker
# (Debian's lld-19) links the library, with libc++, libc++abi and Zig's
# compiler-rt static, against libSystem alone, exporting the interface alone
# (an exported-symbols list made from ffi/exports.map: Zig's own Mach-O linker
# reads such a list but exports the C++ runtime's operator new and delete all
# the same). The linker signs the library ad hoc; scripts/rcodesign.sh's
# rcodesign signs it again after strip and verifies the signature.
# Sourced by scripts/portable.sh, scripts/check-portable.sh and scripts/package.sh.

# The row's machine is the Mach-O name of its architecture (arm64, x86_64).
macho_arch=$machine
strip_cmd=llvm-strip-19

# Zig, its cache, the wrappers every build calls ($work/bin/{cc,c++,ar,ranlib})
# and the library's linker ($work/bin/ld64): LLD with the C++ runtime Zig
# builds for the target and Zig's libSystem stub.
# shellcheck source=shared/zig.sh
. scripts/platforms/shared/zig.sh
platform_prepare() {
  local libdir archives empty tbd
  zig_prepare "$zig_target.$os_floor"
  # The C++ runtime's archives, as Zig builds them for the target (in its
  # cache): the ones its own linker would be handed for a C++ library.
  empty="$work/build/zig-runtime"
  mkdir -p "$empty"
  : > "$empty/empty.c"
  archives=$(cd "$empty" && "$zig" build-lib -dynamic -target "$zig_target.$os_floor" -OReleaseFast -lc++ \
    -femit-bin="$empty/runtime.dylib" empty.c --verbose-link 2>&1 | tr ' ' '\n' \
    | grep -E '/lib(c\+\+abi|c\+\+|compiler_rt)\.a$' || true)
  [ "$(echo "$archives" | grep -c .)" = 3 ] \
    || { echo "portable ($target): Zig named no libc++, libc++abi and compiler-rt archives: $archives" >&2; exit 1; }
  # Zig's libSystem stub lists its symbols for x86_64 and arm64e, which its own
  # linker takes for arm64 as well, and for arm64e.x1, which LLD 19 does not
  # know: LLD is given a copy that names arm64 where it names arm64e, without
  # the arm64e.x1 targets.
  libdir=$("$zig" env | sed -n 's/^ *\.lib_dir = "\(.*\)",$/\1/p')
  tbd="$work/bin/libSystem.tbd"
  sed -E 's/,? *arm64e\.x1-(macos|maccatalyst)//g; s/\barm64e-/arm64-/g' "$libdir/libc/darwin/libSystem.tbd" > "$tbd.tmp"
  if cmp -s "$tbd.tmp" "$tbd"; then rm "$tbd.tmp"; else mv "$tbd.tmp" "$tbd"; fi
  # LLD signs arm64 output ad hoc by itself; -adhoc_codesign asks it for x86-64 too.
  write_wrapper ld64 "exec ld64.lld-19 -arch $macho_arch -platform_version macos $os_floor $os_floor -dylib \
-dead_strip -adhoc_codesign \"\$@\" $(echo $archives) '$tbd'"
}
platform_flags() {
  zig_flags "$strip_cmd"
  # libsecp256k1's configure would take the build machine's ar, which
  # indexes no Mach-O object.
  secp_tools=(AR="$ar" RANLIB="$ranlib")
}

platform_cmake_args() { cmake_common+=(-DQUORENT_ZIG_BIN="$zig_bin"); }
# The library a package carries: the dylib as scripts/portable.sh stripped and
# signed it (any edit would leave its signature stale) -> lib. Its C archive
# is that of the universal file (scripts/macos-universal.sh) -> no archive_args.
platform_package() { # built library, folder
  lib=$1 archive_args=()
}
# strip leaves the file's signature stale: rcodesign signs it again (ad hoc).
platform_after_strip() { # file
  local rcodesign
  rcodesign=$(scripts/rcodesign.sh) || { echo "portable ($target): rcodesign could not be installed" >&2; exit 1; }
  "$rcodesign" sign --binary-identifier "$library" "$1" >"$logs/rcodesign-sign.log" 2>&1 \
    || fail "ad-hoc signature" "$logs/rcodesign-sign.log"
}

# Checks a library: a Mach-O dylib of the row's architecture, for macOS at its
# os_floor, named @rpath/<library>, that needs /usr/lib/libSystem.B.dylib alone
# and nothing of the C++ runtime from it (libc++ and libc++abi are inside), and whose ad-hoc signature rcodesign
# verifies against the file's contents. Sets status=1 on a failure.
platform_check() { # lib
  local lib=$1 headers kind dylibs id minos cxx rcodesign
  headers=$(llvm-objdump-19 --macho --private-headers "$lib") || { echo "$lib: not a Mach-O file" >&2; status=1; return; }
  # The Mach header: magic, CPU type, subtype, capabilities, file type...
  kind=$(echo "$headers" | awk '$1 == "MH_MAGIC_64" {print tolower($2), $5; exit}')
  echo "Mach-O: $kind"
  [ "$kind" = "$macho_arch DYLIB" ] || { echo "not a 64-bit $macho_arch dylib: $kind" >&2; status=1; }
  minos=$(echo "$headers" | awk '$1 == "cmd" && $2 == "LC_BUILD_VERSION" {b = 1} b && $1 == "platform" {p = $2} b && $1 == "minos" {print p, $2; exit}')
  echo "build version: $minos"
  [ "$minos" = "macos $os_floor" ] || { echo "not built for macOS $os_floor (LC_BUILD_VERSION: $minos)" >&2; status=1; }
  id=$(llvm-objdump-19 --macho --dylib-id "$lib" | sed -n 2p)
  echo "install name: $id"
  [ "$id" = "@rpath/$library" ] || { echo "the install name is $id, not @rpath/$library" >&2; status=1; }
  dylibs=$(echo "$headers" | awk '$1 == "cmd" {c = $2} c ~ /^LC_(LOAD|LOAD_WEAK|REEXPORT|LAZY_LOAD|LOAD_UPWARD)_DYLIB$/ && $1 == "name" {print $2; c = ""}')
  echo "libraries needed: $(echo $dylibs)"
  [ "$dylibs" = /usr/lib/libSystem.B.dylib ] || { echo "needs more than /usr/lib/libSystem.B.dylib: $(echo $dylibs)" >&2; status=1; }
  # libc++ and libc++abi are inside: no C++ symbol is left for libSystem to
  # provide (the unwinder's C functions are libSystem's own on macOS).
  cxx=$(llvm-nm-19 -u "$lib" | awk '$NF ~ /^__Z/ {print $NF}')
  if [ -n "$cxx" ]; then echo "C++ runtime symbols left to the loader: $(echo $cxx | head -c 300)" >&2; status=1; fi
  echo "$headers" | grep -E '^ *cmd LC_CODE_SIGNATURE$' >/dev/null || { echo "no code signature" >&2; status=1; }
  rcodesign=$(scripts/rcodesign.sh) || { echo "rcodesign could not be installed" >&2; status=1; return; }
  signature_check "$rcodesign" "$lib" || status=1
}

# An ad-hoc signature that holds: a code directory flagged ADHOC whose every
# digest rcodesign verify recomputes from the file and finds equal. verify
# (0.29) also counts the absence of a certificate's signature as a problem,
# which an ad-hoc signature is by definition: named "no cryptographic
# signature present", or, when the signature carries the empty CMS blob that
# codesign and rcodesign put in ad-hoc signatures, "CMS error: missing further
# values (at position 0)". Those are let through; anything else it reports (a
# digest that differs, a malformed blob) fails.
signature_check() { # rcodesign, file
  local rcodesign=$1 file=$2 info problems
  info=$("$rcodesign" print-signature-info "$file" 2>&1) || { echo "$file: no signature rcodesign can read" >&2; return 1; }
  echo "$info" | grep -E '^ *flags: CodeSignatureFlags\(.*ADHOC' >/dev/null \
    || { echo "$file: not signed ad hoc" >&2; return 1; }
  problems=$("$rcodesign" verify "$file" 2>&1 | grep -vxE '\(the verify command is known to be buggy.*\)|no cryptographic signature present|CMS error: missing further values \(at position 0\)|Error: problems reported during verification' || true)
  if [ -n "$problems" ]; then echo "$file: the code signature does not verify: $problems" >&2; return 1; fi
  echo "code signature: ad hoc, every digest verified (rcodesign verify)"
}
