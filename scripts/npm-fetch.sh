# Sourced by scripts that need a package from the npm registry as files (an
# official Node build, a native koffi build): npm_fetch DIR PACKAGE@VERSION
# FOLDER unpacks it once into DIR/FOLDER, by exact version; a later call finds
# it there.
npm_fetch() {
  local dir=$1 spec=$2 folder=$3 tmp
  [ -d "$dir/$folder" ] && return
  mkdir -p "$dir"
  tmp=$(mktemp -d "$dir/.fetch.XXXXXX")
  (cd "$tmp" && npm pack --silent "$spec" >/dev/null && mkdir x && tar xzf ./*.tgz -C x)
  mv "$tmp/x/package" "$dir/$folder"
  rm -rf "$tmp"
}
