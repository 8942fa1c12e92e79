"""The platform table (scripts/platforms.json) and its reader (scripts/platforms.py):
the table in the tree is sound, the reader refuses the mistakes a new row could
bring, and what it hands to the shell scripts survives their eval unchanged."""

import copy
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "scripts"))
import platforms  # noqa: E402


class TableInTree(unittest.TestCase):
    def test_sound_and_every_system_has_its_file(self):
        table = platforms.load()
        self.assertEqual(platforms.problems(table), [])

    def test_every_package_name_is_unique_per_package(self):
        rows = platforms.load()["platforms"]
        for kind in ("wheel", "npm", "jar"):
            values = [json.dumps(platforms.lookup(r, f"packages.{kind}")) for r in rows
                      if platforms.lookup(r, f"packages.{kind}") is not None]
            self.assertEqual(len(values), len(set(values)), kind)

    def test_every_row_has_its_dependencies_listed(self):
        # A row missing from an entry's linked_into would build without that
        # entry in its record (build-portable/<platform>/dependencies.json),
        # so the library's --version and its packages' SBOMs would not name it.
        deps = json.loads((HERE.parent / "scripts" / "dependencies.json").read_text())["dependencies"]
        rows = [r["name"] for r in platforms.load()["platforms"]]
        for e in deps:
            for name in e.get("linked_into", []):
                self.assertIn(name, rows, f"{e['name']} names an unknown platform")
            if e.get("kind") != "toolchain":
                self.assertEqual(sorted(e.get("linked_into", [])), sorted(rows), e["name"])
        for name in rows:
            self.assertTrue(any(name in e.get("linked_into", []) for e in deps if e.get("kind") == "toolchain"),
                            f"{name}: no C++ runtime entry")

    def test_version_is_the_projects(self):
        text = (HERE.parent / "CMakeLists.txt").read_text()
        self.assertIn(f"project(quorent_sdk VERSION {platforms.version()} ", text)


class Refused(unittest.TestCase):
    def setUp(self):
        self.table = platforms.load()
        self.row = self.table["platforms"][0]

    def with_row(self, change):
        table = copy.deepcopy(self.table)
        change(table["platforms"][0])
        return platforms.problems(table)

    def assertRefused(self, change, words):
        found = self.with_row(change)
        self.assertTrue(any(words in p for p in found), found)

    def test_missing_and_malformed_fields(self):
        self.assertRefused(lambda r: r.pop("triple"), "no triple")
        self.assertRefused(lambda r: r.update(tests="emulator"), "is not one of")
        self.assertRefused(lambda r: r.update(max_bytes="4 MB"), "max_bytes")
        self.assertRefused(lambda r: r.update(max_bytes=0), "max_bytes")
        self.assertRefused(lambda r: r.update(name="Linux x86"), "not of the form")

    def test_system_without_its_file(self):
        self.assertRefused(lambda r: r.update(system="plan9"), "scripts/platforms/plan9.sh")

    def test_names_that_would_break_a_command_line(self):
        self.assertRefused(lambda r: r.update(library="lib$(id).so"), "library")
        self.assertRefused(lambda r: r.update(triple="x86_64 linux"), "triple")

    def test_packages(self):
        self.assertRefused(lambda r: r["packages"].update(conda="x"), "unknown package")
        self.assertRefused(lambda r: r["packages"]["npm"].pop("env"), "needs a folder and an env")

    def test_universal_files(self):
        macos = [r["name"] for r in self.table["platforms"] if r.get("universal")]
        self.assertGreaterEqual(len(macos), 2)
        table = copy.deepcopy(self.table)
        for r in table["platforms"]:
            if r["name"] == macos[1]:
                r.update(library="other.dylib")
        found = platforms.problems(table)
        self.assertTrue(any("differ in library" in p for p in found), found)
        table["platforms"] = [r for r in table["platforms"] if r["name"] != macos[1]]
        self.assertTrue(any("joins one row" in p for p in platforms.problems(table)))

    def test_duplicates(self):
        table = copy.deepcopy(self.table)
        table["platforms"].append(copy.deepcopy(table["platforms"][0]))
        found = platforms.problems(table)
        self.assertTrue(any("named twice" in p for p in found), found)
        self.assertTrue(any("share a npm folder" in p for p in found), found)

    def test_version_missing(self):
        with tempfile.TemporaryDirectory() as d:
            f = pathlib.Path(d) / "CMakeLists.txt"
            f.write_text("project(quorent_sdk LANGUAGES C CXX)\n")
            with self.assertRaises(platforms.Failure):
                platforms.version(f)


class Shell(unittest.TestCase):
    def test_eval_gives_back_every_field_as_written(self):
        row = copy.deepcopy(platforms.load()["platforms"][0])
        # What quoting has to survive, in a field no check restricts.
        row["machine"] = "it's \"$HOME\" `x` \\ ; done"
        script = platforms.shell(row) + "\n" + "".join(
            f'printf "%s\\0" "${var}"\n' for var in platforms.SHELL_FIELDS)
        out = subprocess.run(["bash", "-c", script], capture_output=True, check=True).stdout
        values = out.decode().split("\0")[:-1]
        for var, value in zip(platforms.SHELL_FIELDS, values):
            expected = platforms.lookup(row, platforms.SHELL_FIELDS[var])
            self.assertEqual(value, "" if expected is None else str(expected), var)

    def test_command_line(self):
        script = str(HERE.parent / "scripts" / "platforms.py")
        run = lambda *a: subprocess.run([sys.executable, script, *a], capture_output=True, text=True)
        names = run("names").stdout.split()
        self.assertIn("linux-x86_64", names)
        self.assertEqual(run("names", "--tests", "native").stdout.split()[0], "linux-x86_64")
        self.assertEqual(run("get", "linux-x86_64", "packages.npm.folder").stdout, "linux-x64\n")
        bad = run("shell", "no-such")
        self.assertNotEqual(bad.returncode, 0)
        self.assertIn("unknown platform", bad.stderr)
        self.assertNotEqual(run("get", "linux-x86_64", "packages").returncode, 0)
        self.assertNotEqual(run("names", "--colour", "x").returncode, 0)


if __name__ == "__main__":
    unittest.main()
