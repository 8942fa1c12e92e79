"""Fails unless each package carries its notices and an SBOM that describes it:
    python scripts/check_sbom.py PACKAGE...
PACKAGE is a wheel (.whl), the npm tarball (.tgz), the jar (.jar) or a C
archive (.tar.gz, .zip), found where scripts/package.sh puts each:
  wheel    .dist-info/sboms/quorent-sdk.cdx.json, .dist-info/licenses/
  npm      package/quorent-sdk.cdx.json, package/{LICENSE,NOTICE,third-party/}
  jar      META-INF/sbom/quorent-sdk.cdx.json, META-INF/{LICENSE,NOTICE,third-party/},
           META-INF/sbom/quorent-sdk/<platform>.tsv
  archive  <top>/share/sbom/quorent-sdk.cdx.json, <top>/share/doc/quorent-sdk/
The SBOM must be valid CycloneDX 1.6 (cyclonedx-python-lib's strict JSON
schema validation, with format checks); name the package's version; describe
every copy of the library the package carries, each with the SHA-256 of the
very bytes at its path; give every other component a version, a licence, a
package URL and a SHA-256, each linked into one of the libraries. LICENSE must
be this project's, NOTICE name every component, and third-party/ hold a text
for each; the jar's lists must be the SBOM's. Prints what it found."""

import hashlib
import io
import json
import pathlib
import re
import sys
import tarfile
import zipfile

from cyclonedx.schema import SchemaVersion
from cyclonedx.validation.json import JsonStrictValidator

TREE = pathlib.Path(__file__).resolve().parent.parent
LIBRARY = re.compile(r"(^|/)(libquorent_sdk_uniffi\.(so(\.[0-9.]+)?|dylib)|quorent_sdk_uniffi\.(dll|wasm))$")


def members(path):
    """name -> bytes of every file in a package (links left out)."""
    if path.endswith((".whl", ".jar", ".zip")):
        with zipfile.ZipFile(path) as z:
            return {i.filename: z.read(i) for i in z.infolist() if not i.is_dir()}
    with tarfile.open(path, "r:gz") as t:
        return {m.name: t.extractfile(m).read() for m in t.getmembers() if m.isfile()}


def layout(path, files):
    """(prefix of the paths the SBOM gives, the SBOM's name, the notices' folder, version)."""
    base = path.rsplit("/", 1)[-1]
    if base.endswith(".whl"):
        dist_info = next(n.split("/")[0] for n in files if n.split("/")[0].endswith(".dist-info"))
        return "", f"{dist_info}/sboms/quorent-sdk.cdx.json", f"{dist_info}/licenses/", base.split("-")[1]
    if base.endswith(".tgz"):
        return "package/", "package/quorent-sdk.cdx.json", "package/", base[len("quorent-sdk-"):-len(".tgz")]
    if base.endswith(".jar"):
        return "", "META-INF/sbom/quorent-sdk.cdx.json", "META-INF/", base[len("quorent-sdk-"):-len(".jar")]
    top = base.removesuffix(".tar.gz").removesuffix(".zip")
    version = top.split("-")[2]
    return f"{top}/", f"{top}/share/sbom/quorent-sdk.cdx.json", f"{top}/share/doc/quorent-sdk/", version


def check(path):
    files = members(path)
    prefix, sbom_name, notices, version = layout(path, files)
    if sbom_name not in files:
        return [f"no SBOM at {sbom_name}"], ""
    text = files[sbom_name].decode()
    error = JsonStrictValidator(SchemaVersion.V1_6).validate_str(text)
    if error is not None:
        return [f"{sbom_name} is not valid CycloneDX 1.6: {error}"], ""
    bom = json.loads(text)
    problems = []
    if bom["metadata"]["component"].get("version") != version:
        problems.append(f"the SBOM describes version {bom['metadata']['component'].get('version')}, not {version}")
    graph = {d["ref"]: d.get("dependsOn", []) for d in bom.get("dependencies", [])}
    libraries = [c for c in bom["components"] if c["name"] == "libquorent_sdk_uniffi"]
    described = set()
    for lib in libraries:
        props = {p["name"]: p["value"] for p in lib.get("properties", [])}
        where = prefix + props.get("quorent:path", "?")
        digest = [h["content"] for h in lib.get("hashes", []) if h["alg"] == "SHA-256"]
        if where not in files:
            problems.append(f"the SBOM's library {where} is not in the package")
        elif digest != [hashlib.sha256(files[where]).hexdigest()]:
            problems.append(f"the SBOM's SHA-256 of {where} is not that of its bytes")
        described.add(where)
    carried = {n for n in files if LIBRARY.search(n)}
    problems += [f"the SBOM does not describe the library {n}" for n in sorted(carried - described)]
    linked = {ref for lib in libraries for ref in graph.get(lib["bom-ref"], [])}
    others = [c for c in bom["components"] if c["name"] != "libquorent_sdk_uniffi"]
    for c in others:
        missing = [k for k in ("version", "licenses", "purl") if not c.get(k)]
        if not any(h["alg"] == "SHA-256" for h in c.get("hashes", [])):
            missing.append("SHA-256")
        if missing:
            problems.append(f"{c['name']} lacks {', '.join(missing)}")
        if c["bom-ref"] not in linked:
            problems.append(f"{c['name']} is linked into none of the libraries")
    if files.get(notices + "LICENSE") != (TREE / "LICENSE").read_bytes():
        problems.append(f"{notices}LICENSE is not this project's licence")
    notice = files.get(notices + "NOTICE", b"").decode()
    entries = {p["value"] for c in others for p in c.get("properties", []) if p["name"] == "quorent:dependency"}
    for entry in sorted(entries):
        if f"third-party/{entry}.txt" not in notice:
            problems.append(f"{notices}NOTICE does not name {entry}")
        if len(files.get(f"{notices}third-party/{entry}.txt", b"")) < 200:
            problems.append(f"{notices}third-party/{entry}.txt is missing or holds no licence text")
    if path.endswith(".jar"):
        for lib in libraries:
            platform = next(p["value"] for p in lib["properties"] if p["name"] == "quorent:platform")
            want = sorted(f"{c['name']}\t{c['version']}\t{lic_text(c)}\t{c['purl']}\n" for c in others
                          if c["bom-ref"] in graph[lib["bom-ref"]])
            if files.get(f"META-INF/sbom/quorent-sdk/{platform}.tsv", b"").decode() != "".join(want):
                problems.append(f"META-INF/sbom/quorent-sdk/{platform}.tsv is not the SBOM's list for {platform}")
    summary = (f"{len(libraries)} librar{'y' if len(libraries) == 1 else 'ies'} and {len(others)} components"
               f" ({', '.join(sorted(entries))}), licences and notices in place")
    return problems, summary


def lic_text(c):
    lic = c["licenses"][0]
    return lic["license"]["id"] if "license" in lic else lic["expression"]


def main(argv):
    failed = False
    for path in argv[1:]:
        problems, summary = check(path)
        name = path.rsplit("/", 1)[-1]
        if problems:
            failed = True
            print(f"check_sbom: {name}: " + "; ".join(problems), file=sys.stderr)
        else:
            print(f"sbom: {name}: valid CycloneDX 1.6; {summary}")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main(sys.argv)
