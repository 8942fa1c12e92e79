#!/usr/bin/env python3
"""Rewrites a package so that its bytes depend on its content alone: every
member dated SOURCE_DATE_EPOCH (a zip cannot date before 1980), owned by 0:0
with no names, mode 0644 (0755 for folders and for files that had an execute
bit), no extra fields, compressed at level 9 with a gzip header that carries
no time or name.

  reproducible.py zip FILE           a zip or jar, its members kept in their order
  reproducible.py zip-dir DIR NAME OUT   a zip of DIR/NAME/..., members sorted
  reproducible.py wheel FILE [SBOM]  a wheel: SBOM (if given) added as
                                     <name>.dist-info/sboms/<its file name>,
                                     RECORD rewritten and kept last
  reproducible.py tgz FILE           a gzip'd tar (the npm tarball), members kept
                                     in their order"""

import base64
import gzip
import hashlib
import io
import os
import sys
import tarfile
import time
import zipfile


def epoch():
    value = os.environ.get("SOURCE_DATE_EPOCH")
    if value is None:
        sys.exit("reproducible: SOURCE_DATE_EPOCH is not set")
    return int(value)


def zip_info(name, executable=False):
    info = zipfile.ZipInfo(name, time.gmtime(max(epoch(), 315532800))[:6])
    info.create_system = 3
    if name.endswith("/"):
        info.external_attr = (0o40755 << 16) | 0x10
        info.compress_type = zipfile.ZIP_STORED
    else:
        info.external_attr = (0o100755 if executable else 0o100644) << 16
        info.compress_type = zipfile.ZIP_DEFLATED
    return info


def write_zip(out, members):
    """members: (name, data or None for a folder, executable)."""
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", compresslevel=9) as z:
        for name, data, executable in members:
            z.writestr(zip_info(name, executable), b"" if data is None else data)
    with open(out, "wb") as f:
        f.write(buf.getvalue())


def read_zip(path):
    with zipfile.ZipFile(path) as z:
        return [(i.filename, None if i.is_dir() else z.read(i), bool((i.external_attr >> 16) & 0o111) and not i.is_dir())
                for i in z.infolist()]


def cmd_zip(path):
    write_zip(path, read_zip(path))


def cmd_zip_dir(base, name, out):
    files = []
    for d, dirs, fs in os.walk(os.path.join(base, name)):
        dirs.sort()
        for f in fs:
            full = os.path.join(d, f)
            files.append((os.path.relpath(full, base).replace(os.sep, "/"), full))
    members = []
    for rel, full in sorted(files):
        with open(full, "rb") as f:
            members.append((rel, f.read(), False))
    write_zip(out, members)


def cmd_wheel(path, sbom=None):
    members = [m for m in read_zip(path) if m[1] is not None]
    record = next(n for n, _, _ in members if n.endswith(".dist-info/RECORD"))
    dist_info = record.rsplit("/", 1)[0]
    members = [m for m in members if m[0] != record]
    if sbom:
        with open(sbom, "rb") as f:
            members.append((f"{dist_info}/sboms/{os.path.basename(sbom)}", f.read(), False))
    # The package first, then .dist-info, RECORD last; each part sorted.
    members.sort(key=lambda m: (m[0].startswith(dist_info + "/"), m[0]))
    rows = []
    for name, data, _ in members:
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        rows.append(f"{name},sha256={digest},{len(data)}\n")
    rows.append(f"{record},,\n")
    write_zip(path, members + [(record, "".join(rows).encode(), False)])


def cmd_tgz(path):
    out = io.BytesIO()
    with tarfile.open(path, "r:gz") as src, tarfile.open(fileobj=out, mode="w", format=tarfile.PAX_FORMAT) as dst:
        for m in src.getmembers():
            data = src.extractfile(m).read() if m.isfile() else None
            m.mtime, m.uid, m.gid, m.uname, m.gname = epoch(), 0, 0, "", ""
            m.mode = 0o755 if m.isdir() or (m.mode & 0o111) else 0o644
            m.pax_headers = {}
            dst.addfile(m, io.BytesIO(data) if data is not None else None)
    with open(path, "wb") as f, gzip.GzipFile(filename="", mode="wb", fileobj=f, compresslevel=9, mtime=0) as gz:
        gz.write(out.getvalue())


def main(argv):
    commands = {"zip": (cmd_zip, 1, 1), "zip-dir": (cmd_zip_dir, 3, 3), "wheel": (cmd_wheel, 1, 2), "tgz": (cmd_tgz, 1, 1)}
    if not argv or argv[0] not in commands or not commands[argv[0]][1] <= len(argv) - 1 <= commands[argv[0]][2]:
        sys.exit(__doc__)
    commands[argv[0]][0](*argv[1:])


if __name__ == "__main__":
    main(sys.argv[1:])
