#!/usr/bin/env python3
"""The platforms the library is built for, as listed in scripts/platforms.json
(one row each), and the project's version (set once, in the top-level
CMakeLists.txt).

  platforms.py names [--stage S] [--package P] [--tests T] [--universal U]
                                 the platforms' names in the table's order, one a
                                 line; only those run by test stage S, carried by
                                 package P (wheel, archive, npm, jar), whose
                                 programs run as T (native, qemu, wine, musl, none),
                                 or joined into the universal file U
  platforms.py shell NAME        the row as shell assignments (for eval): every
                                 field below, empty when the row has none
  platforms.py get NAME FIELD    one field (dotted for nested ones: packages.npm.folder)
  platforms.py version           the version
  platforms.py check             checks the table; prints nothing when it is sound

The shell assignments: name system install cc cxx tool_prefix zig_target triple deb_arch
processor openssl_target library machine loader libc_floor os_floor universal max_bytes tests stage
wheel_tag archive_format npm_folder npm_env jar_folder jar_env.
"""
import json
import pathlib
import re
import shlex
import sys

TREE = pathlib.Path(__file__).resolve().parent.parent
TABLE = TREE / "scripts" / "platforms.json"
SYSTEMS = TREE / "scripts" / "platforms"

TESTS = ("native", "qemu", "wine", "musl", "none")
PACKAGES = ("wheel", "archive", "npm", "jar")
REQUIRED = ("name", "system", "install", "toolchain", "triple", "processor", "library", "max_bytes", "tests", "stage")
# Shell name -> dotted path in a row.
SHELL_FIELDS = {
    "name": "name", "system": "system", "install": "install",
    "cc": "toolchain.cc", "cxx": "toolchain.cxx", "tool_prefix": "toolchain.tool_prefix",
    "zig_target": "toolchain.zig_target",
    "triple": "triple", "deb_arch": "deb_arch", "processor": "processor", "openssl_target": "openssl_target",
    "library": "library", "machine": "machine", "loader": "loader", "libc_floor": "libc_floor", "os_floor": "os_floor",
    "universal": "universal",
    "max_bytes": "max_bytes", "tests": "tests", "stage": "stage",
    "wheel_tag": "packages.wheel", "archive_format": "packages.archive",
    "npm_folder": "packages.npm.folder", "npm_env": "packages.npm.env",
    "jar_folder": "packages.jar.folder", "jar_env": "packages.jar.env",
}


class Failure(Exception):
    pass


def load(path=TABLE):
    try:
        return json.loads(pathlib.Path(path).read_text())
    except (OSError, ValueError) as e:
        raise Failure(f"{path}: {e}")


def lookup(row, dotted):
    value = row
    for part in dotted.split("."):
        if not isinstance(value, dict) or part not in value:
            return None
        value = value[part]
    return value


def problems(table, systems=SYSTEMS):
    """What is wrong with the table, one text each (none when it is sound)."""
    found = []
    rows = table.get("platforms")
    if not isinstance(rows, list) or not rows:
        return ["no platforms"]
    seen = set()
    for i, row in enumerate(rows):
        label = row.get("name") or f"row {i + 1}" if isinstance(row, dict) else f"row {i + 1}"
        if not isinstance(row, dict):
            found.append(f"{label}: not an object")
            continue
        for key in REQUIRED:
            if row.get(key) in (None, ""):
                found.append(f"{label}: no {key}")
        name = row.get("name", "")
        # An architecture that is its own system (wasm32) is named alone.
        if not re.fullmatch(r"[a-z0-9]+(-[a-z0-9_]+)*", str(name)):
            found.append(f"{label}: the name {name!r} is not of the form system-arch[-variant] or arch")
        if name in seen:
            found.append(f"{label}: named twice")
        seen.add(name)
        if row.get("tests") not in TESTS:
            found.append(f"{label}: tests {row.get('tests')!r} is not one of {', '.join(TESTS)}")
        if not isinstance(row.get("max_bytes"), int) or row.get("max_bytes", 0) <= 0:
            found.append(f"{label}: max_bytes is not a positive whole number")
        system = row.get("system")
        if system and not (pathlib.Path(systems) / f"{system}.sh").is_file():
            found.append(f"{label}: no platform file scripts/platforms/{system}.sh")
        for key in row.get("packages", {}):
            if key not in PACKAGES:
                found.append(f"{label}: unknown package {key!r}")
        for key in ("npm", "jar"):
            pkg = lookup(row, f"packages.{key}")
            if pkg is not None and not (isinstance(pkg, dict) and pkg.get("folder") and pkg.get("env")):
                found.append(f"{label}: packages.{key} needs a folder and an env")
        for field in ("name", "library", "triple"):
            if isinstance(row.get(field), str) and re.search(r"[\s/'\"$`\\]", row[field]):
                found.append(f"{label}: {field} {row[field]!r} holds a character no file or command name may")
    groups = {}
    for row in rows:
        if isinstance(row, dict) and row.get("universal"):
            groups.setdefault(row["universal"], []).append(row)
    for group, members in groups.items():
        # One file for several architectures of one system: one library name, one archive.
        if len(members) < 2:
            found.append(f"the universal file {group} joins one row")
        for field in ("system", "library", "packages"):
            values = {json.dumps(lookup(r, field if field != "packages" else "packages.archive")) for r in members}
            if len(values) > 1:
                found.append(f"the rows of the universal file {group} differ in "
                             f"{field if field != 'packages' else 'archive format'}")
        if len({r.get("processor") for r in members}) < len(members):
            found.append(f"the universal file {group} joins two rows of one processor")
    for key in ("npm", "jar"):
        folders = [lookup(r, f"packages.{key}.folder") for r in rows if isinstance(r, dict)]
        folders = [f for f in folders if f]
        if len(folders) != len(set(folders)):
            found.append(f"two platforms share a {key} folder")
    return found


def row_of(table, name):
    for row in table["platforms"]:
        if row.get("name") == name:
            return row
    names = ", ".join(r.get("name", "?") for r in table["platforms"])
    raise Failure(f"unknown platform {name!r} (scripts/platforms.json lists {names})")


def shell(row):
    lines = []
    for var, dotted in SHELL_FIELDS.items():
        value = lookup(row, dotted)
        if isinstance(value, (dict, list)):
            raise Failure(f"{row['name']}: {dotted} is not a single value")
        lines.append(f"{var}={shlex.quote('' if value is None else str(value))}")
    return "\n".join(lines)


def names(table, stage=None, package=None, tests=None, universal=None):
    out = []
    for row in table["platforms"]:
        if universal is not None and row.get("universal") != universal:
            continue
        if stage is not None and row.get("stage") != stage:
            continue
        if package is not None and lookup(row, f"packages.{package}") is None:
            continue
        if tests is not None and row.get("tests") != tests:
            continue
        out.append(row["name"])
    return out


def version(cmakelists=TREE / "CMakeLists.txt"):
    text = pathlib.Path(cmakelists).read_text()
    m = re.search(r"^project\(quorent_sdk VERSION ([0-9]+\.[0-9]+\.[0-9]+)[ )]", text, re.M)
    if not m:
        raise Failure(f"{cmakelists}: no project(quorent_sdk VERSION x.y.z ...)")
    return m.group(1)


def main(argv):
    try:
        if argv and argv[0] == "version" and len(argv) == 1:
            print(version())
            return 0
        table = load()
        if argv == ["check"]:
            found = problems(table)
            for p in found:
                print(f"scripts/platforms.json: {p}", file=sys.stderr)
            return 1 if found else 0
        found = problems(table)
        if found:
            raise Failure(f"scripts/platforms.json: {found[0]} (platforms.py check lists every problem)")
        if argv and argv[0] == "names":
            opts, rest = {}, argv[1:]
            while rest:
                if len(rest) < 2 or rest[0] not in ("--stage", "--package", "--tests", "--universal"):
                    raise Failure(f"names: unexpected {' '.join(rest)}")
                opts[rest[0][2:]] = rest[1]
                rest = rest[2:]
            print("\n".join(names(table, **opts)))
        elif len(argv) == 2 and argv[0] == "shell":
            print(shell(row_of(table, argv[1])))
        elif len(argv) == 3 and argv[0] == "get":
            value = lookup(row_of(table, argv[1]), argv[2])
            if value is None or isinstance(value, (dict, list)):
                raise Failure(f"{argv[1]}: no single value at {argv[2]}")
            print(value)
        else:
            print(__doc__, file=sys.stderr)
            return 2
    except Failure as e:
        print(f"platforms.py: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
