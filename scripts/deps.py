#!/usr/bin/env python3
"""The third-party sources the portable builds are made of, as listed in
scripts/dependencies.json (the one place their versions are written).

  deps.py get NAME FIELD       a field of an entry (dotted: source.package)
  deps.py root FIELD           a field of the portable Linux root (suite, mirror)
  deps.py apt-sources          the deb-src entries for the suites the entries name
                               (and their -updates and -security suites); apt-get
                               update when they change
  deps.py fetch NAME           fetches and verifies a Debian source package, prints
                               VERSION<TAB>DIRECTORY of the unpacked tree
  deps.py record OUT TARGET    writes what TARGET was built from (versions, the
                               SHA-256 of each source file, the checks made) to OUT
  deps.py check                lists newer versions of each Debian source the
                               configured suites list, and whether they are served

fetch takes the pinned version. When Debian no longer serves it, it takes the
newest served version of the same upstream series (the entry's "series"),
verified the same way, and says so loudly on stderr; the version actually used
is in its record and in `record`'s output. Verification: apt-get source checks
the .dsc and its files against the Sources index of the suite, whose InRelease
is signed by a key of debian-archive-keyring; dpkg-source -x checks the files
against the .dsc; the SHA-256 of each file is compared with the index again;
an upstream signature shipped beside the tarball (.asc) is checked with gpgv
against the upstream keys that the Debian packaging carries
(debian/upstream/signing-key.asc). A file that fails any of these stops the
build, naming the file and the check; there is no fallback then.

Downloads are kept in ${QUORENT_CACHE:-~/.cache/quorent}/portable/src.
"""
import base64
import functools
import hashlib
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import urllib.error
import urllib.parse
import urllib.request

TREE = pathlib.Path(__file__).resolve().parent.parent
DEPS_FILE = TREE / "scripts" / "dependencies.json"
SOURCES_LIST = pathlib.Path("/etc/apt/sources.list.d/quorent-deps.sources")
KEYRING = "/usr/share/keyrings/debian-archive-keyring.gpg"
DEBIAN = "http://deb.debian.org/debian"
DEBIAN_SECURITY = "http://deb.debian.org/debian-security"


class Failure(Exception):
    pass


def load():
    return json.loads(DEPS_FILE.read_text())


def entry(name):
    for e in load()["dependencies"]:
        if e["name"] == name:
            return e
    raise Failure(f"{name}: no such entry in {DEPS_FILE.relative_to(TREE)}")


def debian_source(e):
    if e.get("source", {}).get("kind") != "debian-source":
        raise Failure(f"{e['name']}: not a Debian source package (source.kind is {e.get('source', {}).get('kind')!r})")
    return e["source"]["package"]


def src_dir():
    cache = os.environ.get("QUORENT_CACHE") or os.path.join(os.path.expanduser("~"), ".cache", "quorent")
    d = pathlib.Path(cache) / "portable" / "src"
    d.mkdir(parents=True, exist_ok=True)
    return d


def warn(text):
    bar = "!" * 78
    print(f"{bar}\n{text}\n{bar}", file=sys.stderr)


def run(cmd, cwd=None):
    return subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def newest_first(versions):
    def cmp(a, b):
        if a == b:
            return 0
        return -1 if subprocess.run(["dpkg", "--compare-versions", a, "gt", b]).returncode == 0 else 1
    return sorted(set(versions), key=functools.cmp_to_key(cmp))


def listed(package):
    """(version, suite) of each source version the configured suites list."""
    out = run(["apt-cache", "madison", package]).stdout
    rows = []
    for line in out.splitlines():
        parts = [p.strip() for p in line.split("|")]
        if len(parts) == 3 and parts[0] == package and parts[2].endswith("Sources"):
            rows.append((parts[1], parts[2].split()[1]))
    return rows


def index_files(package, version):
    """The files of a source version as the signed index lists them: name -> (uri, size, sha256)."""
    r = run(["apt-get", "source", "--print-uris", "-qq", f"{package}={version}"])
    files = {}
    for m in re.finditer(r"^'([^']+)' (\S+) (\d+) (\S+)$", r.stdout, re.M):
        algo, _, digest = m.group(4).partition(":")
        files[m.group(2)] = (m.group(1), int(m.group(3)), digest.lower() if algo.upper() == "SHA256" else None)
    return files


def upstream_of(version):
    v = version.split(":", 1)[-1]
    return v.rsplit("-", 1)[0] if "-" in v else v


# ---- apt-sources -------------------------------------------------------------

def suites():
    base = []
    for e in load()["dependencies"]:
        s = e.get("source", {})
        if s.get("kind") == "debian-source" and s["suite"] not in base:
            base.append(s["suite"])
    return base


def cmd_apt_sources():
    base = suites()
    stanza = ("Types: deb-src\nURIs: {uri}\nSuites: {suites}\nComponents: main\n"
              f"Signed-By: {KEYRING}\n")
    main = " ".join(f"{s} {s}-updates" for s in base)
    security = " ".join(f"{s}-security" for s in base)
    text = ("# Debian source packages for scripts/portable.sh (apt-get source), written by\n"
            "# scripts/deps.py from the suites in scripts/dependencies.json\n"
            + stanza.format(uri=DEBIAN, suites=main) + "\n"
            + stanza.format(uri=DEBIAN_SECURITY, suites=security))
    if SOURCES_LIST.exists() and SOURCES_LIST.read_text() == text:
        return
    sudo = [] if os.geteuid() == 0 else ["sudo"]
    subprocess.run(sudo + ["tee", str(SOURCES_LIST)], input=text, text=True, stdout=subprocess.DEVNULL, check=True)
    update_lists()
    print(f"deps: {SOURCES_LIST} now lists deb-src for {main} {security}", file=sys.stderr)


def update_lists():
    sudo = [] if os.geteuid() == 0 else ["sudo"]
    r = run(sudo + ["apt-get", "update", "-qq"])
    if r.returncode != 0:
        raise Failure(f"apt-get update failed:\n{r.stdout}")


# ---- fetch -------------------------------------------------------------------

NOT_SERVED = re.compile(r"404\s+Not Found|Can not find version|Unable to find a source package")
MISMATCH = re.compile(r"Hash Sum mismatch|Size mismatch|Hashes of expected file|File has unexpected size")


def download(package, version, dest):
    """apt-get source --download-only into dest: True when downloaded and
    checked, False when the version is not served; Failure otherwise."""
    r = run(["apt-get", "source", "--download-only", f"{package}={version}"], cwd=dest)
    if r.returncode == 0:
        return True
    errors = [l for l in r.stdout.splitlines() if l.startswith("E:")]
    if MISMATCH.search(r.stdout):
        raise Failure(f"{package} {version}: a downloaded file does not match Debian's signed index "
                      "(apt-get source's hash and size check):\n" + "\n".join(
                          l for l in r.stdout.splitlines() if MISMATCH.search(l) or l.startswith(("E:", "Err:", " "))))
    generic = ("Failed to fetch some archives", "Unable to fetch some archives")
    if errors and all(NOT_SERVED.search(l) or any(g in l for g in generic) for l in errors) \
            and any(NOT_SERVED.search(l) for l in errors):
        return False
    raise Failure(f"{package} {version}: apt-get source failed:\n" + "\n".join(r.stdout.splitlines()[-15:]))


def dsc_checksums(dsc):
    sums, on = {}, False
    for line in dsc.read_text(errors="replace").splitlines():
        if line.startswith("Checksums-Sha256:"):
            on = True
        elif on and line.startswith(" "):
            digest, size, name = line.split()
            sums[name] = (digest.lower(), int(size))
        elif on:
            on = False
    return sums


def dearmor(text):
    """The binary packets of every ASCII-armoured block of a key file."""
    out = b""
    for block in re.findall(r"-----BEGIN PGP PUBLIC KEY BLOCK-----\n(.*?)-----END PGP PUBLIC KEY BLOCK-----",
                            text, re.S):
        body = block.split("\n\n", 1)[1] if "\n\n" in block else block
        lines = [l for l in body.splitlines() if l and not l.startswith("=")]
        out += base64.b64decode("".join(lines))
    return out


def check_upstream_signatures(files, dl, tree):
    """gpgv over each tarball with an .asc beside it, against the upstream keys
    the Debian packaging carries; the checks made, as text."""
    done = []
    key_file = tree / "debian" / "upstream" / "signing-key.asc"
    for name in sorted(files):
        if not name.endswith(".asc"):
            continue
        signed = name[:-4]
        if not key_file.exists():
            done.append(f"{name}: not checked, the package carries no debian/upstream/signing-key.asc")
            continue
        with tempfile.TemporaryDirectory() as tmp:
            keyring = pathlib.Path(tmp) / "upstream.gpg"
            keyring.write_bytes(dearmor(key_file.read_text()))
            r = run(["gpgv", "--keyring", str(keyring), str(dl / name), str(dl / signed)])
        if r.returncode != 0 or "Good signature" not in r.stdout:
            raise Failure(f"{signed}: upstream signature check failed (gpgv of {name} against the keys in "
                          f"debian/upstream/signing-key.asc of the Debian package):\n{r.stdout.strip()}")
        key = re.search(r"using \S+ key ([0-9A-F]+)", r.stdout)
        signer = re.search(r'Good signature from "([^"]+)"', r.stdout)
        done.append(f"{signed}: upstream signature {name} good (gpgv), key {key.group(1) if key else '?'}"
                    f" ({signer.group(1) if signer else '?'}), from debian/upstream/signing-key.asc")
    return done


def fetch_version(package, version, suite, srcdir):
    """Downloads, checks and unpacks one version: its record, or None when
    Debian does not serve it."""
    dl = srcdir / "dl" / f"{package}_{version}"
    tree = srcdir / f"{package}-{version}"
    partial = dl.with_name(dl.name + ".partial")
    shutil.rmtree(partial, ignore_errors=True)
    partial.mkdir(parents=True)
    print(f"-- source {package} {version} ({suite})", file=sys.stderr)
    if not download(package, version, partial):
        shutil.rmtree(partial)
        return None
    index = index_files(package, version)
    dsc_name = next((n for n in index if n.endswith(".dsc")), None)
    if dsc_name is None or not (partial / dsc_name).exists():
        raise Failure(f"{package} {version}: no .dsc among the downloaded files")
    listed_in_dsc = dsc_checksums(partial / dsc_name)
    files = []
    for name in sorted(index):
        path = partial / name
        digest = sha256(path)
        uri, size, want = index[name]
        if want is not None and digest != want:
            raise Failure(f"{name}: SHA-256 {digest} is not the {want} of Debian's signed index ({suite})")
        if name in listed_in_dsc and digest != listed_in_dsc[name][0]:
            raise Failure(f"{name}: SHA-256 {digest} is not the {listed_in_dsc[name][0]} its .dsc lists")
        files.append({"name": name, "size": path.stat().st_size, "sha256": digest, "uri": uri})
    shutil.rmtree(tree, ignore_errors=True)
    r = run(["dpkg-source", "-x", dsc_name, str(tree)], cwd=partial)
    if r.returncode != 0:
        shutil.rmtree(tree, ignore_errors=True)
        raise Failure(f"{package} {version}: dpkg-source -x refused the source (files against the .dsc):\n"
                      + "\n".join(l for l in r.stdout.splitlines() if "error" in l or "warning" in l))
    checks = [f"apt-get source: {dsc_name} and its files against the Sources index of {suite}, "
              f"whose InRelease is signed by a key in {KEYRING}",
              "SHA-256 of each file compared with the index and with the .dsc's Checksums-Sha256",
              "dpkg-source -x: each file's size and checksums against the .dsc"]
    checks += check_upstream_signatures(index, partial, tree)
    shutil.rmtree(dl, ignore_errors=True)
    partial.rename(dl)
    return {"package": package, "version": version, "suite": suite, "directory": str(tree),
            "files": files, "verification": checks}


def cmd_fetch(name):
    e = entry(name)
    package, pinned, series = debian_source(e), e["version"], e.get("series")
    srcdir = src_dir()
    record_path = srcdir / f"{name}.fetched.json"
    if record_path.exists():
        rec = json.loads(record_path.read_text())
        dl = srcdir / "dl" / f"{package}_{rec['version']}"
        if rec.get("requested") == pinned and pathlib.Path(rec["directory"]).is_dir():
            # The files kept from the verified download must still be those.
            changed = [f["name"] for f in rec["files"]
                       if not (dl / f["name"]).is_file() or sha256(dl / f["name"]) != f["sha256"]]
            if not changed:
                if rec["version"] != pinned:
                    warn(f"{name}: {pinned} (pinned in scripts/dependencies.json) was not served; building "
                         f"{rec['version']} from the cache, the newest served {series} version, verified alike.")
                return rec
            warn(f"{name}: {', '.join(changed)} in {dl} no longer match the SHA-256 recorded when they were "
                 "verified: fetching and verifying them again.")
    suite_of = dict(listed(package))
    rec = fetch_version(package, pinned, suite_of.get(pinned, "not listed"), srcdir)
    if rec is None:
        print(f"   {package} {pinned} is not served (404 or no longer listed); updating the lists", file=sys.stderr)
        update_lists()
        suite_of = dict(listed(package))
        for version in [v for v in newest_first(suite_of) if series and upstream_of(v).startswith(series)]:
            rec = fetch_version(package, version, suite_of[version], srcdir)
            if rec is not None:
                break
            print(f"   {package} {version} is not served (404 or no longer listed)", file=sys.stderr)
    if rec is None:
        raise Failure(f"{name}: neither {pinned} nor any other {series} version of the source package "
                      f"{package} is served by the configured suites")
    rec.update({"name": name, "requested": pinned, "fallback": rec["version"] != pinned})
    if rec["fallback"]:
        warn(f"{name}: {pinned}, pinned in scripts/dependencies.json, is no longer served by Debian.\n"
             f"Building {rec['version']} ({rec['suite']}) instead: the newest served {series} version, "
             f"verified the same way.\nUpdate the entry's version (and purl) to make this deliberate.")
    tmp = record_path.with_suffix(".tmp")
    tmp.write_text(json.dumps(rec, indent=2) + "\n")
    tmp.rename(record_path)
    return rec


# ---- record ------------------------------------------------------------------

def purl(package, version):
    return f"pkg:deb/debian/{urllib.parse.quote(package, safe='')}@{urllib.parse.quote(version, safe='')}?arch=source"


def cmd_record(out, target):
    data = load()
    srcdir = src_dir()
    built = []
    for e in data["dependencies"]:
        if target not in e.get("linked_into", []):
            continue
        item = {k: v for k, v in e.items() if k not in ("comment", "linked_into")}
        if e.get("source", {}).get("kind") == "debian-source":
            rec_path = srcdir / f"{e['name']}.fetched.json"
            if not rec_path.exists():
                raise Failure(f"{e['name']} is linked into {target} but was not fetched ({rec_path} is missing)")
            rec = json.loads(rec_path.read_text())
            item.update({"version": rec["version"], "pinned_version": rec["requested"],
                         "fallback": rec["fallback"], "suite": rec["suite"],
                         "purl": purl(rec["package"], rec["version"]),
                         "files": [{k: f[k] for k in ("name", "size", "sha256", "uri")} for f in rec["files"]],
                         "verification": rec["verification"]})
        built.append(item)
    doc = {"target": target, "comment": "What this build was made of: written by scripts/portable.sh "
           "(scripts/deps.py record) from scripts/dependencies.json and the sources it fetched and verified.",
           "dependencies": built}
    pathlib.Path(out).write_text(json.dumps(doc, indent=2) + "\n")


# ---- check -------------------------------------------------------------------

def served(files):
    missing = []
    for name, (uri, _, _) in files.items():
        try:
            urllib.request.urlopen(urllib.request.Request(uri, method="HEAD"), timeout=20).close()
        except urllib.error.HTTPError as err:
            missing.append(f"{name} ({err.code})")
        except (urllib.error.URLError, OSError) as err:
            missing.append(f"{name} ({err})")
    return missing


def cmd_check():
    cmd_apt_sources()  # the suites the list names, configured (a no-op when they are)
    for e in load()["dependencies"]:
        if e.get("source", {}).get("kind") != "debian-source":
            version = f" {e['version']}" if "version" in e else ""
            print(f"{e['name']}{version}: a {e.get('source', {}).get('kind', '?')} source, not checked here")
            continue
        package, pinned, series = e["source"]["package"], e["version"], e.get("series", "")
        rows = listed(package)
        suite_of = {v: s for v, s in rows}
        if not rows:
            print(f"{e['name']} {pinned}: the configured suites list no source {package} (run scripts/deps.py apt-sources)")
            continue
        order = newest_first(suite_of)
        newer = order[:order.index(pinned)] if pinned in order else order
        state = "listed" if pinned in suite_of else "NOT LISTED any more"
        print(f"{e['name']} {pinned} ({state}; series {series or '-'}):")
        if not newer:
            print("  nothing newer")
        for v in newer:
            files = index_files(package, v)
            missing = served(files) if files else ["(no files in the index)"]
            where = "same series" if series and upstream_of(v).startswith(series) else "other series"
            status = "served, every file" if not missing else "listed, not served: " + ", ".join(missing)
            print(f"  {v} in {suite_of[v]} ({where}): {status}")


def main(argv):
    try:
        if len(argv) == 3 and argv[0] == "get":
            value = entry(argv[1])
            for part in argv[2].split("."):
                value = value[part]
            print(value if not isinstance(value, (list, dict)) else json.dumps(value))
        elif len(argv) == 2 and argv[0] == "root":
            print(load()["portable_root"][argv[1]])
        elif argv == ["apt-sources"]:
            cmd_apt_sources()
        elif len(argv) == 2 and argv[0] == "fetch":
            rec = cmd_fetch(argv[1])
            print(f"{rec['version']}\t{rec['directory']}")
        elif len(argv) == 3 and argv[0] == "record":
            cmd_record(argv[1], argv[2])
        elif argv == ["check"]:
            cmd_check()
        else:
            print(__doc__.split("\n\n")[1], file=sys.stderr)
            return 2
    except Failure as err:
        print(f"deps: {err}", file=sys.stderr)
        return 1
    except KeyError as err:
        print(f"deps: {DEPS_FILE.relative_to(TREE)} has no field {err}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
