#!/usr/bin/env python3
"""The licence notices and the CycloneDX SBOM of one package, made from what
its libraries were built of:

  notices.py --out DIR --name NAME --version V --purl PURL
             --library PLATFORM=FILE=PATH [--library ...] [--component-lists]

Each --library is a copy of libquorent_sdk_uniffi the package carries: its
platform (a row of scripts/platforms.json), the file as it goes
into the package (hashed), and its path inside the package. What is linked
into a platform's library is read from build-portable/<platform>/dependencies.json
(what scripts/portable.sh recorded of that build) when it is there, else from
scripts/dependencies.json (the entries whose linked_into names the platform).
The licence texts and hashes come from the verified sources themselves:
  debian-source  the Debian source package in the portable cache: each file's
                 SHA-256 is checked against its .dsc (and the recorded one);
                 the texts are the entry's license_files and debian/copyright
                 of the unpacked tree
  url            the downloaded file in the Unicode cache (scripts/unicode-data.sh),
                 checked against the entry's sha256; the texts are members of it
  debian-binary  installed toolchain packages: the version dpkg has, the SHA-256
                 of that .deb in Debian's signed index (apt-cache show), the
                 text an excerpt of /usr/share/doc/<package>/copyright
  debian-root    packages of the portable build's Debian root: the .deb it was
                 installed from (debootstrap checked it), its copyright file
  pypi-wheel     a toolchain wheel from the Python package index as installed
                 (scripts/zig.sh, pip checking the entry's sha256): the texts
                 are the entry's license_files, read in the installed package
Writes into DIR:
  LICENSE                  this project's licence
  NOTICE                   what the package carries and what is linked into it
  third-party/<name>.txt   the licence and copyright texts of each linked component
  quorent-sdk.cdx.json     the SBOM (CycloneDX 1.6), timestamped SOURCE_DATE_EPOCH
  components/<platform>.tsv  with --component-lists: name, version, licence and
                           package URL of each component of that platform's library
Output depends on nothing but its inputs: the same inputs give the same bytes.

  notices.py --list PLATFORM [--dependencies FILE]

prints the components of a platform's library, one "name<TAB>version<TAB>licence"
line each, as the SBOM names them, reading the dependency list FILE (by default
as above) and touching no source: what the build prints in `quorent --version`."""

import argparse
import datetime
import glob
import hashlib
import io
import json
import os
import pathlib
import re
import subprocess
import sys
import tarfile
import urllib.parse
import uuid

from deps import dsc_checksums, sha256, upstream_of as upstream  # scripts/deps.py, beside this file
import platforms  # scripts/platforms.py, beside this file

TREE = pathlib.Path(__file__).resolve().parent.parent
CACHE = pathlib.Path(os.environ.get("QUORENT_CACHE") or pathlib.Path.home() / ".cache" / "quorent")
SRC = CACHE / "portable" / "src"
ROOTS = CACHE / "portable" / "roots"
UNICODE_CACHE = pathlib.Path(os.environ.get("QUORENT_UNICODE_CACHE")
                             or pathlib.Path(os.environ.get("XDG_CACHE_HOME") or pathlib.Path.home() / ".cache")
                             / "quorent" / "unicode")
# Each platform's Debian architecture, from its row in scripts/platforms.json.
DEB_ARCH = {r["name"]: r["deb_arch"] for r in platforms.load()["platforms"] if r.get("deb_arch")}
SBOM_NAME = "quorent-sdk.cdx.json"


class Failure(Exception):
    pass


def run(cmd):
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if r.returncode != 0:
        raise Failure(f"{' '.join(cmd)} failed: {r.stderr.strip()}")
    return r.stdout


def entries_for(platform, listing=None):
    """The dependency entries linked into a platform's library (from the file
    `listing` when given)."""
    record = pathlib.Path(listing) if listing else TREE / "build-portable" / platform / "dependencies.json"
    if not record.is_file():
        record = TREE / "scripts" / "dependencies.json"
    listed = json.loads(record.read_text())["dependencies"]
    return [e for e in listed if platform in e.get("linked_into", [platform])]


# ---- resolving an entry: version, hashes, texts ----------------------------------------

def debian_source(e):
    package, version = e["source"]["package"], e["version"]
    fetched = SRC / f"{e['name']}.fetched.json"
    rec = json.loads(fetched.read_text()) if fetched.is_file() else {}
    if rec.get("version") != version:
        rec = {}
    places = [SRC / "dl" / f"{package}_{version}", SRC]
    dsc = next((d / f"{package}_{version.split(':', 1)[-1]}.dsc" for d in places
                if (d / f"{package}_{version.split(':', 1)[-1]}.dsc").is_file()), None)
    if dsc is None:
        raise Failure(f"{e['name']} {version}: no .dsc of the source package in {SRC} (scripts/portable.sh fetches it)")
    listed = {name: digest for name, (digest, _) in dsc_checksums(dsc).items()}
    recorded = {f["name"]: f for f in e.get("files") or rec.get("files") or []}
    uris = {name: f.get("uri") for name, f in recorded.items()}
    if not uris:  # the signed index names where each file is served
        out = subprocess.run(["apt-get", "source", "--print-uris", "-qq", f"{package}={version}"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
        uris = {m[1]: m[0] for m in re.findall(r"^'([^']+)' (\S+) \d+ \S+$", out, re.M)}
    files = []
    for name in sorted(set(listed) | {dsc.name}):
        path = dsc.parent / name
        if not path.is_file():
            raise Failure(f"{e['name']}: {path} is missing")
        digest = sha256(path)
        if name in listed and digest != listed[name]:
            raise Failure(f"{path}: SHA-256 {digest} is not the {listed[name]} of {dsc.name}")
        if name in recorded and digest != recorded[name]["sha256"]:
            raise Failure(f"{path}: SHA-256 {digest} is not the {recorded[name]['sha256']} recorded of the build")
        files.append({"name": name, "sha256": digest, "uri": uris.get(name)})
    trees = [pathlib.Path(rec["directory"])] if rec.get("directory") else []
    trees += [SRC / f"{package}-{version}", SRC / f"{package}-{upstream(version)}"]
    tree = next((t for t in trees if (t / "debian" / "copyright").is_file()), None)
    if tree is None:
        raise Failure(f"{e['name']}: no unpacked source tree with debian/copyright among {[str(t) for t in trees]}")
    texts = [(f"{name} (upstream)", (tree / name).read_text(errors="replace")) for name in e.get("license_files", [])]
    texts.append(("debian/copyright", (tree / "debian" / "copyright").read_text(errors="replace")))
    main = next((f for f in files if ".orig.tar." in f["name"] and not f["name"].endswith(".asc")), files[0])
    return [{"name": e["name"], "version": version, "purl": e["purl"], "sha256": main["sha256"],
             "source": f"Debian source package {package} {version}",
             "refs": [{"url": f["uri"], "sha256": f["sha256"]} for f in files if f["uri"]], "texts": texts}]


def archive_member(path, member):
    """A member of a .deb (its data) or of a tarball, as text."""
    if path.name.endswith(".deb"):
        data = subprocess.run(["dpkg-deb", "--fsys-tarfile", str(path)], stdout=subprocess.PIPE, check=True).stdout
        tar = tarfile.open(fileobj=io.BytesIO(data))
        member = "./" + member.lstrip("./")
    else:
        tar = tarfile.open(path)
    with tar:
        return tar.extractfile(member).read().decode("utf-8", "replace")


def url_source(e):
    url, want = e["source"]["url"], e["source"].get("sha256")
    path = UNICODE_CACHE / url.rsplit("/", 1)[-1]
    if not path.is_file():
        raise Failure(f"{e['name']}: {path} is missing (scripts/unicode-data.sh --check fetches it)")
    digest = sha256(path)
    if not want or digest != want:
        raise Failure(f"{path}: SHA-256 {digest} is not the {want} pinned in scripts/dependencies.json")
    texts = [(f"{name} (in {path.name})", archive_member(path, name)) for name in e.get("license_files", [])]
    return [{"name": e["name"], "version": e["version"], "purl": e["purl"], "sha256": digest,
             "source": path.name, "refs": [{"url": url, "sha256": digest}], "texts": texts}]


def excerpt(text, marks):
    """The lines of text from the one holding marks[0] to the one holding marks[-1]."""
    if not marks:
        return text
    lines = text.splitlines(keepends=True)
    start = next((i for i, l in enumerate(lines) if marks[0] in l), None)
    end = next((i for i, l in enumerate(lines) if start is not None and i >= start and marks[-1] in l), None)
    if start is None or end is None:
        raise Failure(f"the text between {marks[0]!r} and {marks[-1]!r} is not in the copyright file")
    return "".join(lines[start:end + 1])


def debian_binary(e, platform, light=False):
    out = []
    for package in e["source"]["packages"].get(platform, []):
        version, arch = run(["dpkg-query", "-W", "-f=${Version}\t${Architecture}", package]).split("\t")
        if light:
            out.append({"name": package, "version": version})
            continue
        show = subprocess.run(["apt-cache", "show", f"{package}={version}"], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True).stdout
        digest = re.search(r"^SHA256: ([0-9a-f]{64})$", show, re.M)
        copyright_file = pathlib.Path("/usr/share/doc") / package / "copyright"
        text = excerpt(copyright_file.read_text(errors="replace"), e.get("license_excerpt"))
        out.append({"name": package, "version": version, "arch": arch, "sha256": digest and digest[1],
                    "purl": f"pkg:deb/debian/{urllib.parse.quote(package, safe='')}@"
                            f"{urllib.parse.quote(version, safe='')}?arch={arch}",
                    "source": f"Debian package {package} {version} ({arch})", "refs": [],
                    "texts": [(str(copyright_file), text)]})
    return out


def in_root(root, path):
    """A path inside a root, its links resolved inside it."""
    p = root
    for part in pathlib.PurePosixPath(path).parts[1:]:
        p = p / part
        for _ in range(16):
            if not p.is_symlink():
                break
            dest = os.readlink(p)
            p = (root / dest.lstrip("/")) if dest.startswith("/") else (p.parent / dest).resolve()
    return p


def debian_root(e, platform, light=False):
    out, arch = [], DEB_ARCH[platform]
    suite = json.loads((TREE / "scripts" / "dependencies.json").read_text()).get("portable_root", {}).get("suite")
    for package in e["source"]["packages"].get(platform, []):
        debs = sorted(glob.glob(str(ROOTS / f"{suite or '*'}-{arch}" / "var/cache/apt/archives" / f"{package}_*_{arch}.deb")))
        if len(debs) != 1:
            raise Failure(f"{e['name']}: {len(debs)} {package} packages of the {arch} root in {ROOTS}")
        deb = pathlib.Path(debs[0])
        version = urllib.parse.unquote(deb.name.split("_")[1])
        root = deb.parents[4]
        if light:
            out.append({"name": package, "version": version})
            continue
        text = excerpt(in_root(root, f"/usr/share/doc/{package}/copyright").read_text(errors="replace"),
                       e.get("license_excerpt"))
        out.append({"name": package, "version": version, "arch": arch, "sha256": sha256(deb),
                    "purl": f"pkg:deb/debian/{urllib.parse.quote(package, safe='')}@"
                            f"{urllib.parse.quote(version, safe='')}?arch={arch}",
                    "source": f"Debian package {package} {version} ({arch}) of the build's {root.name} root",
                    "refs": [], "texts": [(f"/usr/share/doc/{package}/copyright", text)]})
    return out


def pypi_wheel(e):
    src = e["source"]
    if src["package"] != "ziglang":
        raise Failure(f"{e['name']}: no installer is known for the wheel {src['package']}")
    wheel = src["wheels"].get(os.uname().machine)
    if wheel is None:
        raise Failure(f"{e['name']}: no wheel pinned for this machine ({os.uname().machine})")
    package = pathlib.Path(run([str(TREE / "scripts" / "zig.sh")]).strip()).parent
    texts = [(f"{name} (in the {src['package']} {e['version']} wheel)", (package / name).read_text(errors="replace"))
             for name in e.get("license_files", [])]
    return [{"name": e["name"], "version": e["version"], "purl": e["purl"], "sha256": wheel["sha256"],
             "source": f"the Python package index's {wheel['file']}", "refs": [], "texts": texts}]


def resolve(e, platform, light=False):
    """The components an entry stands for in a platform's library; `light`:
    their names and versions only. $QUORENT_NOTICES_CACHE, when set, is a folder
    that keeps what was found for the same entry and platform (scripts/package.sh
    makes one for a run)."""
    memo = os.environ.get("QUORENT_NOTICES_CACHE")
    if memo and not light:
        key = hashlib.sha256(json.dumps([e, platform], sort_keys=True).encode()).hexdigest()
        path = pathlib.Path(memo) / f"{key}.json"
        if path.is_file():
            return json.loads(path.read_text())
        found = resolve_now(e, platform)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(json.dumps(found))
        return found
    return resolve_now(e, platform, light)


def resolve_now(e, platform, light=False):
    kind = e.get("source", {}).get("kind")
    if light and kind in ("debian-source", "url", "pypi-wheel"):
        found = [{"name": e["name"], "version": e["version"]}]
    elif kind == "debian-binary":
        found = debian_binary(e, platform, light)
    elif kind == "debian-root":
        found = debian_root(e, platform, light)
    elif kind == "debian-source":
        found = debian_source(e)
    elif kind == "url":
        found = url_source(e)
    elif kind == "pypi-wheel":
        found = pypi_wheel(e)
    else:
        raise Failure(f"{e['name']}: unknown source kind {kind!r}")
    for c in found:
        c.update({"entry": e["name"], "license": e["license"], "purpose": e.get("purpose", ""),
                  "notice": e.get("notice")})
        c["ref"] = c.get("purl")
    return found


# ---- writing ------------------------------------------------------------------------------

def licenses(expr):
    simple = re.fullmatch(r"[A-Za-z0-9.+-]+", expr)
    return [{"license": {"id": expr}}] if simple else [{"expression": expr}]


def sbom(args, libraries, components, stamp):
    package_ref = args.purl
    lib_ref = {p: f"libquorent_sdk_uniffi@{args.version}?platform={p}" for p, _, _ in libraries}
    bom = {
        "bomFormat": "CycloneDX",
        "specVersion": "1.6",
        "serialNumber": "",
        "version": 1,
        "metadata": {
            "timestamp": stamp,
            "component": {"type": "library", "bom-ref": package_ref, "name": args.name, "version": args.version,
                          "licenses": licenses("Apache-2.0"), "purl": args.purl},
        },
        "components": [],
        "dependencies": [{"ref": package_ref, "dependsOn": [lib_ref[p] for p, _, _ in libraries]}],
    }
    for platform, file, where in libraries:
        bom["components"].append({
            "type": "library", "bom-ref": lib_ref[platform], "name": "libquorent_sdk_uniffi",
            "version": args.version, "description": f"the library for {platform}, at {where} in the package",
            "licenses": licenses("Apache-2.0"), "hashes": [{"alg": "SHA-256", "content": sha256(file)}],
            "purl": f"pkg:generic/libquorent_sdk_uniffi@{args.version}?platform={platform}",
            "properties": [{"name": "quorent:platform", "value": platform}, {"name": "quorent:path", "value": where}]})
        bom["dependencies"].append({"ref": lib_ref[platform],
                                    "dependsOn": sorted({c["ref"] for c in components[platform]})})
    seen = {}
    for platform, _, _ in libraries:
        for c in components[platform]:
            seen.setdefault(c["ref"], c)
    for ref in sorted(seen):
        c = seen[ref]
        item = {"type": "library", "bom-ref": ref, "name": c["name"], "version": c["version"],
                "description": c["purpose"], "licenses": licenses(c["license"]), "purl": c["purl"]}
        if c["sha256"]:
            item["hashes"] = [{"alg": "SHA-256", "content": c["sha256"]}]
        refs = [{"type": "source-distribution", "url": r["url"], "hashes": [{"alg": "SHA-256", "content": r["sha256"]}]}
                for r in c["refs"]]
        if refs:
            item["externalReferences"] = refs
        item["properties"] = [{"name": "quorent:dependency", "value": c["entry"]},
                              {"name": "quorent:source", "value": c["source"]}]
        bom["components"].append(item)
        bom["dependencies"].append({"ref": ref, "dependsOn": []})
    body = json.dumps(bom, sort_keys=True).encode()
    bom["serialNumber"] = f"urn:uuid:{uuid.uuid5(uuid.NAMESPACE_URL, hashlib.sha256(body).hexdigest())}"
    return json.dumps(bom, indent=2, ensure_ascii=False) + "\n"


def third_party(entry, found):
    """The text of third-party/<entry>.txt: what the component is, then its texts."""
    first = found[0][1]
    lines = [f"{entry}: {first['purpose']}", f"Licence: {first['license']}"]
    for platform, c in found:
        lines.append(f"In the library for {platform}: {c['name']} {c['version']}, from {c['source']}"
                     + (f" (SHA-256 {c['sha256']})" if c["sha256"] else ""))
    if first.get("notice"):
        lines += ["", first["notice"]]
    shown = set()
    for _, c in found:
        for title, text in c["texts"]:
            if text in shown:
                continue
            shown.add(text)
            lines += ["", f"======== {title} ========", "", text.rstrip("\n")]
    return "\n".join(lines) + "\n"


def notice(args, libraries, components):
    lines = [f"{args.name} {args.version}", "",
             "This package carries libquorent_sdk_uniffi, under the Apache License 2.0 (LICENSE):"]
    lines += [f"  {where} (for {platform})" for platform, _, where in libraries]
    lines += ["", "Linked into it, each under its own licence; the texts are in third-party/ beside",
              "this file, one file per component:"]
    entries = {}
    for platform, _, _ in libraries:
        for c in components[platform]:
            entries.setdefault(c["entry"], []).append((platform, c))
    for entry in sorted(entries):
        found = entries[entry]
        versions = sorted({f"{c['name']} {c['version']}" for _, c in found})
        platforms = sorted({p for p, _ in found})
        lines.append(f"  {entry} ({found[0][1]['license']}): {', '.join(versions)}"
                     f" [{', '.join(platforms)}] -> third-party/{entry}.txt")
    lines += ["", f"The SBOM ({SBOM_NAME}, CycloneDX) lists each of them with its package URL",
              "and the SHA-256 of the source it was built from."]
    return "\n".join(lines) + "\n", entries


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--list", metavar="PLATFORM")
    ap.add_argument("--dependencies", metavar="FILE")
    ap.add_argument("--out")
    ap.add_argument("--name")
    ap.add_argument("--version")
    ap.add_argument("--purl")
    ap.add_argument("--library", action="append", help="PLATFORM=FILE=PATH")
    ap.add_argument("--component-lists", action="store_true")
    args = ap.parse_args(argv)
    if args.list:
        rows = sorted((c["name"], c["version"], e["license"]) for e in entries_for(args.list, args.dependencies)
                      for c in resolve(e, args.list, light=True))
        sys.stdout.write("".join("\t".join(r) + "\n" for r in rows))
        return
    if not (args.out and args.name and args.version and args.purl and args.library):
        ap.error("--out, --name, --version, --purl and --library are needed to write the notices")
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if not epoch:
        raise Failure("SOURCE_DATE_EPOCH is not set (scripts/package.sh sets it to the last commit's time)")
    stamp = datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    libraries = [tuple(spec.split("=", 2)) for spec in args.library]
    components = {p: [c for e in entries_for(p) for c in resolve(e, p)] for p, _, _ in libraries}
    out = pathlib.Path(args.out)
    (out / "third-party").mkdir(parents=True, exist_ok=True)
    (out / "LICENSE").write_bytes((TREE / "LICENSE").read_bytes())
    text, entries = notice(args, libraries, components)
    (out / "NOTICE").write_text(text)
    for entry, found in entries.items():
        (out / "third-party" / f"{entry}.txt").write_text(third_party(entry, found))
    (out / SBOM_NAME).write_text(sbom(args, libraries, components, stamp))
    if args.component_lists:
        (out / "components").mkdir(exist_ok=True)
        for platform, _, _ in libraries:
            rows = sorted({(c["name"], c["version"], c["license"], c["purl"]) for c in components[platform]})
            (out / "components" / f"{platform}.tsv").write_text("".join("\t".join(r) + "\n" for r in rows))


if __name__ == "__main__":
    try:
        main(sys.argv[1:])
    except (Failure, OSError, KeyError, subprocess.CalledProcessError) as err:
        sys.exit(f"notices: {err}")
