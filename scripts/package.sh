#!/usr/bin/env bash
# Builds the packages into dist/, for each platform of scripts/platforms.json that
# has packages (its row names each package's name for it: wheel tag, archive, npm
# prebuild folder, JNA resource folder):
#   quorent_sdk-<v>-py3-none-<wheel tag>.whl   the Python wheel of a platform (manylinux_2_31,
#                                              musllinux_1_2, macosx_11_0, win_amd64)
#   quorent-sdk-<v>-<platform>.tar.gz          C and C++ for a Linux platform: the library, its
#                                              headers, pkg-config and CMake files, relocatable
#   quorent-sdk-<v>-macos-universal.tar.gz     the same for macOS, one universal dylib for the
#                                              rows it joins (scripts/macos-universal.sh)
#   quorent-sdk-<v>-windows-x86_64.zip         the DLL, its import library and export list,
#                                              headers, pkg-config and CMake files
# and, carrying every platform's library (the loaders pick by platform and C library):
#   quorent-sdk-<v>.tgz                        the npm package (npm install it), with the
#                                              WebAssembly build (wasm32) as well: the one
#                                              browsers take, and Node where no other is
#   quorent-sdk-<v>.jar, .pom                  the Kotlin/JVM artifact dev.quorent:quorent-sdk
# Each carries the portable library of its platform, build-portable/<platform>/
# (scripts/portable.sh brings it up to date when the script is in the tree): it
# needs nothing but the C library (glibc 2.31 or later, musl 1.2 or later;
# Windows' own DLLs; macOS's libSystem). How a row's library goes into the
# packages and is checked there is its system's (platform_package and
# platform_check in scripts/platforms/<system>.sh): a Linux library must not
# need a glibc symbol newer than its row's floor, and auditwheel (pinned,
# scripts/python-tools.txt) must find each manylinux and musllinux wheel
# consistent with its tag, or the script fails (the other wheels' layout is
# checked alike). QUORENT_PACKAGE_PLATFORMS limits the platforms; a platform
# other than this machine's is skipped with a note when there is neither its
# library nor scripts/portable.sh. QUORENT_PACKAGE_USE_BUILT=1 takes
# build-portable/<platform>/ as it is, without running scripts/portable.sh (the
# reproducibility stage builds the library itself). The distro build in build/ is for
# scripts/demo.sh, cmake --install and pkg-config. The generated sources must
# be current.
# Every package carries the licence texts and notices of what is linked into its
# libraries and a CycloneDX SBOM of them (scripts/notices.py, checked by
# scripts/check_sbom.py): the wheel in .dist-info/licenses/ and .dist-info/sboms/,
# the npm package at its root (LICENSE, NOTICE, third-party/, quorent-sdk.cdx.json),
# the jar in META-INF/ (sbom/ holding the SBOM), the C archives in share/doc/quorent-sdk/
# and share/sbom/. The packages are byte for byte reproducible: every date in them is
# SOURCE_DATE_EPOCH (by default the last commit's time), members sorted, owners and
# modes fixed (scripts/reproducible.py); dist/SHA256SUMS lists their hashes.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
QUORENT_EXTRA_PKGS="python3-venv maven default-jdk-headless" scripts/install-deps.sh demo >/dev/null
platforms=scripts/platforms.py
version=$($platforms version)
# The platform the tools run on here: the generated sources are checked against
# its library, and the npm package and the jar cannot go without it.
host=$($platforms names --tests native | head -n 1)
py=$(scripts/python-tools.sh)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p dist
rm -f dist/quorent_sdk-*.whl dist/quorent-sdk-*-linux-*.tar.gz dist/quorent-sdk-*-windows-*.zip \
  dist/quorent-sdk-*.tgz dist/quorent-sdk-*.jar dist/quorent-sdk-*.pom dist/SHA256SUMS
umask 022
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
export SOURCE_DATE_EPOCH
mtime=$SOURCE_DATE_EPOCH
# The Unicode sources the tables were generated from, fetched and verified, for the notices.
scripts/unicode-data.sh --check >/dev/null

# The licence notices and the SBOM of a package into the folder $1 (scripts/notices.py;
# the rest are its arguments, each --library PLATFORM=FILE=PATH-IN-PACKAGE). Each
# component's sources are read and hashed once a run.
export QUORENT_NOTICES_CACHE=$tmp/notices-cache
notices() {
  local out=$1
  shift
  rm -rf "$out"
  /usr/bin/python3 scripts/notices.py --out "$out" --version "$version" "$@" \
    || { echo "package: the notices and SBOM of $out failed" >&2; exit 1; }
}

# The Python wheel of a platform: built offline (no isolation) from a copy of the
# package that carries its library, then checked (scripts/check_wheel.py).
#   wheel <platform> <library> <file name in the package> <platform tag>
wheel() {
  local stage=$tmp/$1/python out file=quorent_sdk-$version-py3-none-$4.whl
  notices "$tmp/$1/wheel-notices" --name quorent-sdk --purl "pkg:pypi/quorent-sdk@$version?file_name=$file" \
    --library "$1=$2=quorent_sdk/$3"
  mkdir -p "$stage"
  cp -r bindings/python/pyproject.toml bindings/python/setup.py bindings/python/README.md \
    bindings/python/quorent_sdk "$tmp/$1/wheel-notices"/{LICENSE,NOTICE,third-party} "$stage/"
  find "$stage" -name __pycache__ -prune -exec rm -rf {} +
  cp "$2" "$stage/quorent_sdk/$3"
  QUORENT_WHEEL_PLATFORM=$4 PYTHONDONTWRITEBYTECODE=1 "$py" -m build --wheel --no-isolation \
    --outdir "$tmp/$1/wheel" "$stage" > "$tmp/$1/build.log" 2>&1 \
    || { cat "$tmp/$1/build.log" >&2; echo "package: the $1 wheel failed to build" >&2; exit 1; }
  out=$tmp/$1/wheel/$file
  [ -f "$out" ] || { ls "$tmp/$1/wheel" >&2; echo "package: no $(basename "$out")" >&2; exit 1; }
  "$py" scripts/reproducible.py wheel "$out" "$tmp/$1/wheel-notices/quorent-sdk.cdx.json"
  "$py" scripts/check_wheel.py "$out" "$4"
  cp "$out" dist/
}

# The C archive of a platform (or of a universal file, for the rows it joins):
# the relocatable tree laid out by cmake/archive.cmake, in a folder of the
# archive's name, packed reproducibly as the row's format says.
#   archive <name> <format> <library> <library's path in the archive> <notices.py platforms...>
# (archive_args: the system's own arguments for cmake/archive.cmake)
archive() {
  local name=quorent-sdk-$version-$1 format=$2 file=$3 inside=$4 dir p libs=()
  shift 4
  for p in "$@"; do libs+=(--library "$p=$file=$inside"); done
  dir=$tmp/archive-$name
  notices "$dir/notices" --name quorent-sdk --purl "pkg:generic/quorent-sdk@$version?file_name=$name.$format" "${libs[@]}"
  cmake -DLIB="$file" -DINCLUDE_DIR="$include_dir" -DVERSION="$version" -DPLATFORM="${name#quorent-sdk-$version-}" \
    -DNOTICES="$dir/notices" -DOUT="$dir/tree/$name" "${archive_args[@]}" -P cmake/archive.cmake
  case "$format" in
    zip) "$py" scripts/reproducible.py zip-dir "$dir/tree" "$name" "dist/$name.zip" ;;
    tar.gz) tar -C "$dir/tree" --sort=name --owner=0 --group=0 --numeric-owner --mode=u=rwX,go=rX \
      --format=gnu --mtime="@$mtime" -cf - "$name" | gzip -n9 > "dist/$name.tar.gz" ;;
    *) echo "package: unknown archive format $format" >&2; exit 1 ;;
  esac
}

built=()
declare -A packaged_lib  # platform -> the library its packages carry
declare -A universal_of  # universal file -> the rows packaged that it joins
# Every row with a C archive, then those only the npm package carries (the
# WebAssembly build): each built and checked alike; the latter have no wheel
# or archive of their own.
npm_only=$(comm -13 <($platforms names --package archive | sort) <($platforms names --package npm | sort))
for platform in ${QUORENT_PACKAGE_PLATFORMS:-$($platforms names --package archive) $npm_only}; do
  row=$($platforms shell "$platform") || exit 2
  eval "$row"
  [ -n "$archive_format" ] || [ -n "$npm_folder" ] \
    || { echo "package: scripts/platforms.json gives $platform no packages" >&2; exit 2; }
  dir=$root/build-portable/$platform
  if [ -x scripts/portable.sh ] && [ "${QUORENT_PACKAGE_USE_BUILT:-0}" != 1 ]; then
    # Incremental: nothing is rebuilt when the library is current with the tree.
    QUORENT_PORTABLE_SKIP_TESTS=1 scripts/portable.sh "$platform" > "$tmp/portable-$platform.log" 2>&1 \
      || { tail -n 30 "$tmp/portable-$platform.log" >&2; echo "package: scripts/portable.sh $platform failed" >&2; exit 1; }
  elif [ ! -f "$dir/$library" ]; then
    [ "$platform" != "$host" ] || { echo "package: no $dir/$library and no scripts/portable.sh to build it" >&2; exit 1; }
    echo "package: no $platform library and no scripts/portable.sh to build it; skipping $platform" >&2
    continue
  fi
  header_version=$(sed -n 's/^#define QUORENT_SDK_VERSION_STRING "\(.*\)"$/\1/p' "$dir/quorent_sdk_version.h")
  [ "$header_version" = "$version" ] \
    || { echo "package: $dir holds version '$header_version', the tree $version: rebuild it (scripts/portable.sh $platform)" >&2; exit 1; }

  # The library as the packages carry it (the system's platform_package), checked
  # again as scripts/check-portable.sh checks it (the system's platform_check).
  # shellcheck source=platforms/linux-gnu.sh
  . "scripts/platforms/$system.sh"
  mkdir -p "$tmp/$platform"
  platform_package "$dir/$library" "$tmp/$platform"
  status=0
  platform_check "$lib" > "$tmp/$platform/check.log" 2>&1
  [ "$status" = 0 ] || { cat "$tmp/$platform/check.log" >&2; echo "package: the $platform library fails its checks" >&2; exit 1; }
  echo "package: $platform: $(grep -E '^(highest glibc|NEEDED|libraries needed|.* imports from|imports: )' "$tmp/$platform/check.log" | paste -sd ';' | sed 's/;/; /g')"
  packaged_lib[$platform]=$lib
  if [ -z "$archive_format" ]; then
    built+=("$platform")
    continue
  fi

  wheel "$platform" "$lib" "$library" "$wheel_tag"
  include_dir=$dir
  if [ -n "$universal" ]; then
    universal_of[$universal]="${universal_of[$universal]:-} $platform"
  elif [ "$system" = windows ]; then
    archive "$platform" "$archive_format" "$lib" "bin/$library" "$platform"
  else
    archive "$platform" "$archive_format" "$lib" "lib/$library.$version" "$platform"
  fi
  built+=("$platform")
done

# A universal file joins its rows' libraries once each is packaged (its slices
# are their very bytes: scripts/macos-universal.sh checks each again); its C
# archive carries it, named in the SBOM for each of them.
for group in "${!universal_of[@]}"; do
  read -ra rows <<<"${universal_of[$group]}"
  mapfile -t want < <($platforms names --universal "$group")
  if [ "${rows[*]}" != "${want[*]}" ]; then
    echo "package: $group joins ${want[*]}; only ${rows[*]} packaged: no $group archive" >&2
    continue
  fi
  scripts/macos-universal.sh > "$tmp/$group.log" 2>&1 \
    || { cat "$tmp/$group.log" >&2; echo "package: the $group file failed" >&2; exit 1; }
  eval "$($platforms shell "${rows[0]}")"
  include_dir=$root/build-portable/$group archive_args=()
  archive "$group" "$archive_format" "$include_dir/$library" "lib/$library" "${rows[@]}"
done
host_lib=${packaged_lib[$host]:-}
[ -n "$host_lib" ] || { echo "package: no $host library; the npm package and the jar need it" >&2; exit 1; }
/usr/bin/python3 bindings/generate.py --lib "$host_lib" --check >/dev/null

# The npm package and the jar carry every platform's library there is (the table's
# npm and jar folders): a platform not packaged above still has its build-portable/
# library taken (as the binding's own scripts would), and named in their SBOMs.
#   carried npm|jar WHERE  ->  env_of (VARIABLE=library ...) and libs (--library ... for
#                             notices.py), the libraries at WHERE<folder>/ in the package
carried() {
  local kind=$1 where=$2 p file folder var
  env_of=() libs=()
  for p in $($platforms names --package "$kind"); do
    file=${packaged_lib[$p]:-}
    if [ -z "$file" ]; then
      file=$root/build-portable/$p/$($platforms get "$p" library)
      [ -f "$file" ] || continue
    fi
    folder=$($platforms get "$p" "packages.$kind.folder") var=$($platforms get "$p" "packages.$kind.env")
    env_of+=("$var=$file")
    libs+=(--library "$p=$file=$where$folder/$(basename "$($platforms get "$p" library)")")
  done
}

# Node: npm pack copies the libraries and the notices into the package (its prepack script).
if [ -f bindings/node/package.json ] && command -v npm >/dev/null; then
  carried npm prebuilds/
  notices "$tmp/npm-notices" --name quorent-sdk --purl "pkg:npm/quorent-sdk@$version" "${libs[@]}"
  (cd bindings/node && env -u QUORENT_SDK_LIB "${env_of[@]}" \
    QUORENT_SDK_NOTICES="$tmp/npm-notices" npm pack --silent --pack-destination "$root/dist" >/dev/null)
  "$py" scripts/reproducible.py tgz "dist/quorent-sdk-$version.tgz"
else
  echo "package: no Node binding or no npm; skipping the npm package" >&2
fi

# Kotlin/JVM: the binding's own build script makes the jar and POM with Maven (its tests
# run in the Kotlin stage).
if [ -x bindings/kotlin/build.sh ]; then
  carried jar ""
  notices "$tmp/jar-notices" --name quorent-sdk --purl "pkg:maven/dev.quorent/quorent-sdk@$version?type=jar" \
    --component-lists "${libs[@]}"
  env "${env_of[@]}" QUORENT_SDK_NOTICES="$tmp/jar-notices" \
    bindings/kotlin/build.sh --no-tests > "$tmp/kotlin.log" 2>&1 \
    || { cat "$tmp/kotlin.log" >&2; echo "package: the Kotlin build failed" >&2; exit 1; }
  "$py" scripts/reproducible.py zip "dist/quorent-sdk-$version.jar"
else
  echo "package: no Kotlin binding; skipping the jar" >&2
fi
echo "package: platforms ${built[*]}"
# Each package's notices and SBOM: in place, valid CycloneDX, naming the very bytes it carries.
packages=()
for f in dist/quorent_sdk-"$version"-*.whl dist/quorent-sdk-"$version"{-*.tar.gz,-*.zip,.tgz,.jar}; do
  [ -f "$f" ] && packages+=("$f")
done
"$py" scripts/check_sbom.py "${packages[@]}" | sed 's/^/package: /'
[ ! -f "dist/quorent-sdk-$version.pom" ] || packages+=("dist/quorent-sdk-$version.pom")
(cd dist && sha256sum "${packages[@]#dist/}" > SHA256SUMS)
ls -1 dist
