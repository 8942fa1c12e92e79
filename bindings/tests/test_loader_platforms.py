"""Every binding's loader names each platform of scripts/platforms.json as the
table does: the library's file name, and the folder a package carries it in
(npm's prebuilds/<folder>/, the jar's /<folder>/); and the Python loader tells
each portable build's C library by its ELF dependencies."""

import importlib.util
import json
import os
import shutil
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import platforms  # noqa: E402

# The Python binding's runtime alone: importing the package would load the library.
_spec = importlib.util.spec_from_file_location(
    "quorent_runtime", os.path.join(ROOT, "bindings", "python", "quorent_sdk", "_runtime.py"))
_runtime = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(_runtime)

# The WebAssembly row is no shared library: the Node binding alone takes it,
# by a path of its own (checked below); every other row is a native one.
ALL_ROWS = platforms.load()["platforms"]
ROWS = [r for r in ALL_ROWS if r["system"] != "wasm"]
WASM_ROWS = [r for r in ALL_ROWS if r["system"] == "wasm"]
# A row's system as each runtime names it, and its C library.
SYSTEMS = {"linux-gnu": ("linux", "linux", "glibc"), "linux-musl": ("linux", "linux", "musl"),
           "macos": ("darwin", "darwin", None), "windows": ("win32", "win32", None)}
NODE_ARCH = {"x86_64": "x64", "aarch64": "arm64"}


class LoadersAgreeWithTheTable(unittest.TestCase):
    def test_every_system_of_the_table_is_known_here(self):
        self.assertEqual({r["system"] for r in ROWS} - set(SYSTEMS), set())

    def test_python_names_each_rows_library(self):
        for row in ROWS:
            python_platform = SYSTEMS[row["system"]][0]
            self.assertEqual(_runtime.library_name(python_platform), row["library"], row["name"])

    @unittest.skipUnless(shutil.which("node") and os.path.isdir(os.path.join(ROOT, "bindings", "node", "node_modules",
                                                                             "koffi")), "no node, or npm ci not run")
    def test_node_names_each_rows_library_and_prebuild_folder(self):
        asks = [(SYSTEMS[r["system"]][1], NODE_ARCH[r["processor"]], SYSTEMS[r["system"]][2]) for r in ROWS]
        script = ("const r = require(process.argv[1]);"
                  "const asks = JSON.parse(process.argv[2]);"
                  "console.log(JSON.stringify(asks.map(([p, a, c]) => [r.fileName(p), r.prebuildName(p, a, c)])));")
        out = subprocess.run(["node", "-e", script, os.path.join(ROOT, "bindings", "node", "lib", "runtime.js"),
                              json.dumps(asks)], capture_output=True, text=True, check=True).stdout
        for row, (file, folder) in zip(ROWS, json.loads(out)):
            self.assertEqual(file, row["library"], row["name"])
            npm = platforms.lookup(row, "packages.npm.folder")
            if npm is not None:
                self.assertEqual(folder, npm, row["name"])
            # The musl build's folder is never the glibc one's.
            if row["system"] == "linux-musl":
                self.assertTrue(folder.endswith("-musl"), folder)

    @unittest.skipUnless(shutil.which("node"), "no node")
    def test_node_takes_the_webassembly_build_from_its_rows_npm_folder(self):
        script = ("const r = require(process.argv[1]); const env = { QUORENT_SDK_WASM_FILE: '' };"
                  "console.log(require('path').relative(process.argv[2], r.wasmPath(process.argv[2], env)));")
        out = subprocess.run(["node", "-e", script, os.path.join(ROOT, "bindings", "node", "lib", "runtime.js"),
                              ROOT], capture_output=True, text=True, check=True).stdout.strip()
        self.assertEqual(len(WASM_ROWS), 1)
        row = WASM_ROWS[0]
        self.assertEqual(out, os.path.join("prebuilds", platforms.lookup(row, "packages.npm.folder"), row["library"]))

    def test_the_kotlin_tests_resource_table_has_each_rows_jar_folder(self):
        # The folder is JNA's own name for the platform, so the Kotlin test holds the table
        # the loader is checked against; here, that table against the rows the jar carries.
        with open(os.path.join(ROOT, "bindings", "kotlin", "tests", "BindingTest.kt"), encoding="utf-8") as f:
            test = f.read()
        for row in ROWS:
            folder = platforms.lookup(row, "packages.jar.folder")
            if folder is not None:
                self.assertIn(f'"/{folder}/{row["library"]}"', test, row["name"])

    def test_each_portable_linux_build_is_told_by_its_c_library(self):
        seen = 0
        for row in ROWS:
            lib = os.path.join(ROOT, "build-portable", row["name"], row["library"])
            libc = SYSTEMS[row["system"]][2]
            if libc and os.path.exists(lib):
                self.assertEqual(_runtime.needed_libc(lib), libc, lib)
                seen += 1
        built = os.path.join(ROOT, "build", "libquorent_sdk_uniffi.so")
        if os.path.exists(built):
            self.assertEqual(_runtime.needed_libc(built), _runtime.system_libc())
            seen += 1
        if not seen:
            self.skipTest("no library built")


if __name__ == "__main__":
    unittest.main()
