#!/usr/bin/env python3
"""Checks that every package in a dist/ folder carries, for each platform of
scripts/platforms.json, the very library of that platform's C archive:

    package_libraries.py DIST VERSION

For each row with packages, its library is read from its C archive
(lib/<library>.<version> of a Linux archive, bin/<library> of the Windows zip,
the row's slice of lib/<library> in the universal archive of the macOS rows,
taken out with llvm-lipo-19), and must be byte for byte the one in its wheel
(quorent_sdk/<library>), in the npm package (prebuilds/<folder>/<library>) and
in the jar (<folder>/<library>). A package that lacks a platform's library,
or carries another, fails. Prints one line per platform."""

import hashlib
import pathlib
import subprocess
import sys
import tarfile
import tempfile
import zipfile

import platforms  # scripts/platforms.py, beside this file


class Failure(Exception):
    pass


def member(path, name):
    """The bytes of a member of a zip (wheel, jar) or gzip'd tar archive."""
    try:
        if path.suffix in (".whl", ".jar", ".zip"):
            with zipfile.ZipFile(path) as z:
                return z.read(name)
        with tarfile.open(path) as t:
            f = t.extractfile(name)
            if f is None:
                raise KeyError(name)
            return f.read()
    except KeyError:
        raise Failure(f"{path.name} has no {name}")


def slice_of(universal, arch):
    """The `arch` slice of a universal Mach-O file (its bytes)."""
    with tempfile.TemporaryDirectory() as d:
        src, out = pathlib.Path(d) / "universal", pathlib.Path(d) / "thin"
        src.write_bytes(universal)
        r = subprocess.run(["llvm-lipo-19", str(src), "-thin", arch, "-output", str(out)],
                           capture_output=True, text=True)
        if r.returncode != 0:
            raise Failure(f"llvm-lipo-19 -thin {arch}: {r.stderr.strip()}")
        return out.read_bytes()


def archive_library(dist, version, row):
    """(archive file name, the row's library in its C archive)."""
    lib, fmt = row["library"], row["packages"]["archive"]
    group = row.get("universal")
    name = f"quorent-sdk-{version}-{group or row['name']}"
    path = dist / f"{name}.{fmt}"
    if group:
        return path.name, slice_of(member(path, f"{name}/lib/{lib}"), row["machine"])
    if lib.endswith(".dll"):
        return path.name, member(path, f"{name}/bin/{lib}")
    return path.name, member(path, f"{name}/lib/{lib}.{version}")


def check(dist, version):
    rows = [r for r in platforms.load()["platforms"] if r.get("packages", {}).get("archive")]
    lines = []
    for row in rows:
        lib, pk = row["library"], row["packages"]
        source, want = archive_library(dist, version, row)
        carriers = []
        if pk.get("wheel"):
            carriers.append((dist / f"quorent_sdk-{version}-py3-none-{pk['wheel']}.whl", f"quorent_sdk/{lib}"))
        if pk.get("npm"):
            carriers.append((dist / f"quorent-sdk-{version}.tgz", f"package/prebuilds/{pk['npm']['folder']}/{lib}"))
        if pk.get("jar"):
            carriers.append((dist / f"quorent-sdk-{version}.jar", f"{pk['jar']['folder']}/{lib}"))
        for path, name in carriers:
            if member(path, name) != want:
                raise Failure(f"{name} in {path.name} is not the {row['name']} library of {source}")
        digest = hashlib.sha256(want).hexdigest()[:16]
        lines.append(f"{row['name']}: {', '.join(p.name for p, _ in carriers)} carry the library of {source} "
                     f"(SHA-256 {digest}...)")
    return lines


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        for line in check(pathlib.Path(argv[0]), argv[1]):
            print(line)
    except (Failure, OSError, tarfile.TarError, zipfile.BadZipFile) as e:
        print(f"package_libraries: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
