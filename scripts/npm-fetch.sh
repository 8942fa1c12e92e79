# Sourced by scripts that need a package from the npm registry as files (an
# official Node build, a native koffi build):
#   npm_fetch DIR PACKAGE@VERSION FOLDER [INTEGRITY]
# unpacks it once into DIR/FOLDER, by exact version, after checking the tarball
# against INTEGRITY (sha512-<base64>), else against its pin in
# scripts/npm-pins.txt; a package with neither is refused. A later call finds it
# there.
#   node_pin ARCH MAJOR
# prints the version of the official Node build of that line pinned there
# (ARCH x64 or arm64).
npm_pins=$(dirname "${BASH_SOURCE[0]}")/npm-pins.txt
npm_fetch() {
  local dir=$1 spec=$2 folder=$3 want=${4:-} tmp got
  [ -d "$dir/$folder" ] && return
  [ -n "$want" ] || want=$(awk -v s="$spec" '$1 == s { print $2 }' "$npm_pins")
  [ -n "$want" ] || { echo "npm-fetch: $spec is not pinned in $npm_pins" >&2; return 1; }
  mkdir -p "$dir"
  tmp=$(mktemp -d "$dir/.fetch.XXXXXX")
  (cd "$tmp" && npm pack --silent "$spec" >/dev/null)
  got=sha512-$(openssl dgst -sha512 -binary "$tmp"/*.tgz | base64 -w 0)
  if [ "$got" != "$want" ]; then
    rm -rf "$tmp"
    echo "npm-fetch: $spec is $got, not the pinned $want" >&2
    return 1
  fi
  (cd "$tmp" && mkdir x && tar xzf ./*.tgz -C x)
  mv "$tmp/x/package" "$dir/$folder"
  rm -rf "$tmp"
}
node_pin() {
  sed -n "s/^node-linux-$1@\($2\.[0-9.]*\) .*/\1/p" "$npm_pins"
}
