#!/usr/bin/env bash
# The portable library on a bare system: a Debian 11 root (debootstrap's
# minbase with python3 and nothing else; scripts/bare-root.sh, cached outside
# the tree) where none of this machine's libraries are visible. Inside it, in
# a chroot with its own mount and process namespaces and an empty environment:
#   - the library loads through the Python binding, and what it brings in is
#     the root's C library and our library alone (the root's loader lists its
#     dependencies; /proc/self/maps shows what loading it mapped);
#   - the binding's tests, the shared operation cases among them, pass (run by
#     unittest, which pytest also runs them with elsewhere: the root has
#     Python and no pip, and nothing is copied into it but our files);
#   - a library built on this machine against a newer C library is refused
#     with the binding's ImportError, naming its path and the loader's words.
# needs: 83-portable
set -euo pipefail
cd "$(dirname "$0")/../.."
lib=build-portable/linux-x86_64/libquorent_sdk_uniffi.so
if [ ! -f "$lib" ]; then
  if [ ! -x scripts/portable.sh ]; then
    echo "bare: skipped: no $lib, and no scripts/portable.sh in this tree to build it"
    exit 0
  fi
  scripts/portable.sh linux-x86_64 >/dev/null
fi
bare=$(scripts/bare-root.sh)

scratch=$(mktemp -d "$bare/tmp/quorent-bare.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
in=/tmp/$(basename "$scratch")  # the same directory seen from inside the root
mkdir -p "$scratch/bindings/python" "$scratch/tests/cases" "$scratch/newer"
cp -r bindings/python/quorent_sdk bindings/python/tests "$scratch/bindings/python/"
cp -L "$lib" "$scratch/bindings/python/quorent_sdk/"  # where a wheel carries it
cp tests/cases/operations.json "$scratch/tests/cases/"
cp bindings/interface.json "$scratch/bindings/"  # the secret tests walk it
cp CMakeLists.txt "$scratch/"
find "$scratch" -name __pycache__ -prune -exec rm -rf {} +

in_root() {  # runs a command in the root: fresh /proc, nothing from this environment
  unshare --mount --pid --fork --kill-child -- \
    sh -c 'mount -t proc proc "$0/proc" && exec chroot "$0" "$@"' "$bare" \
    /usr/bin/env -i PATH=/usr/bin:/bin HOME=/root LANG=C.UTF-8 PYTHONDONTWRITEBYTECODE=1 \
    PYTHONPATH="$in/bindings/python" "$@"
}

echo "-- isolation"
in_root python3 - <<'PY' || { echo "bare: the library does not load alone in the root" >&2; exit 1; }
import ctypes, os, subprocess, sys

def mapped():
    seen = []
    with open("/proc/self/maps") as f:
        for line in f:
            name = line.split(None, 5)[5].strip() if len(line.split(None, 5)) == 6 else ""
            if ".so" in name and name not in seen:
                seen.append(name)
    return seen

before = mapped()
import quorent_sdk
from quorent_sdk import _runtime
after = mapped()
ours = _runtime.path
print("bare:", os.confstr("CS_GNU_LIBC_VERSION"), "| Python", sys.version.split()[0], "| loaded", ours)

listed = subprocess.run(["/lib64/ld-linux-x86-64.so.2", "--list", ours],
                        capture_output=True, text=True, check=True).stdout.split("\n")
listed = [" ".join(t for t in l.split() if not t.startswith("(0x")) for l in listed if l.strip()]
print("bare: the root's loader lists:", "; ".join(listed))
allowed = {"linux-vdso.so.1", "libc.so.6", "libm.so.6", "libpthread.so.0", "libdl.so.2",
           "/lib64/ld-linux-x86-64.so.2"}
extra = [l for l in listed if l.split()[0] not in allowed]
assert not extra, f"dependencies beyond the C library: {extra}"

libc = [p for p in after if os.path.basename(p).split("-")[0].split(".")[0] in ("libc", "libm", "ld", "libpthread", "libdl")]
print("bare: C library objects mapped:", ", ".join(libc))
new = [p for p in after if p not in before and "/lib-dynload/" not in p]
print("bare: mapped by loading the library:", ", ".join(new))
assert new == [ours], f"loading the library mapped more than itself: {new}"
foreign = [p for p in after if any(n in p for n in ("libstdc++", "libgcc_s", "libssl", "libcrypto", "libicu", "secp256k1"))]
assert not foreign, f"mapped: {foreign}"
assert quorent_sdk.normalize_origin("https://Shop.Example:443/") == "https://shop.example"
PY

echo "-- python binding tests in the root"
log=$(mktemp)
if ! in_root python3 -m unittest discover -s "$in/bindings/python/tests" -t "$in/bindings/python/tests" >"$log" 2>&1; then
  cat "$log"; rm -f "$log"; echo "bare: the Python binding's tests failed in the root" >&2; exit 1
fi
tail -n 3 "$log"; rm -f "$log"

echo "-- a library needing a newer C library"
cat > "$scratch/newer/newer.c" <<'C'
#include <pthread.h>
static void *run(void *arg) { return arg; }
int newer(void) { pthread_t t; return pthread_create(&t, 0, run, 0) || pthread_join(t, 0); }
C
cc -shared -fPIC -o "$scratch/newer/libquorent_sdk_uniffi.so" "$scratch/newer/newer.c"
needs=$(readelf -V "$scratch/newer/libquorent_sdk_uniffi.so" | grep -o 'GLIBC_2\.3[2-9]' | sort -uV | tail -n 1)
[ -n "$needs" ] || { echo "bare: the test library needs no C library newer than 2.31" >&2; exit 1; }
status=0
in_root env QUORENT_SDK_LIB="$in/newer/libquorent_sdk_uniffi.so" python3 -c "import quorent_sdk" \
  >/dev/null 2>"$scratch/newer/err.txt" || status=$?
message=$(tail -n 1 "$scratch/newer/err.txt")
echo "bare: exit status $status: $message"
[ "$status" -eq 1 ] || { cat "$scratch/newer/err.txt"; echo "bare: not a plain failure" >&2; exit 1; }
case "$message" in
  "ImportError: cannot load libquorent_sdk_uniffi.so; tried: $in/newer/libquorent_sdk_uniffi.so ("*"version \`$needs' not found"*) ;;
  *) echo "bare: the load error does not name the path and the missing $needs" >&2; exit 1 ;;
esac
echo "bare: portable library loaded alone in a Debian 11 root; binding tests passed; newer library refused"
