"""cmake/exported-symbols.cmake: the macOS exported-symbols list made from the
Linux export map says what the map lets out, and a map it could not translate
faithfully stops the build rather than giving a library other exports."""

import pathlib
import shutil
import subprocess
import tempfile
import unittest

TREE = pathlib.Path(__file__).resolve().parent.parent
SCRIPT = TREE / "cmake" / "exported-symbols.cmake"


def translate(map_text):
    """(exit status, the list's lines, cmake's messages) for a map."""
    with tempfile.TemporaryDirectory() as d:
        src, out = pathlib.Path(d) / "exports.map", pathlib.Path(d) / "list.txt"
        src.write_text(map_text)
        r = subprocess.run(["cmake", f"-DQUORENT_EXPORT_MAP={src}", f"-DQUORENT_EXPORTED_SYMBOLS={out}",
                            "-P", str(SCRIPT)], capture_output=True, text=True)
        lines = out.read_text().splitlines() if out.exists() else None
        return r.returncode, lines, r.stderr


@unittest.skipUnless(shutil.which("cmake"), "no cmake")
class ExportedSymbols(unittest.TestCase):
    def test_the_trees_map(self):
        status, lines, err = translate((TREE / "ffi" / "exports.map").read_text())
        self.assertEqual(status, 0, err)
        self.assertEqual(lines, ["_ffi_quorent_sdk_uniffi_*", "_uniffi_quorent_sdk_uniffi_*",
                                 "_UNIFFI_META_QUORENT_SDK_UNIFFI_*", "_UNIFFI_META_NAMESPACE_QUORENT_SDK_UNIFFI"])

    def test_only_the_global_section_is_let_out(self):
        status, lines, err = translate("{\n  local:\n    hidden_one;\n  global:\n    shown;\n  local:\n    *;\n};\n")
        self.assertEqual(status, 0, err)
        self.assertEqual(lines, ["_shown"])

    def test_what_has_no_equal_stops_the_build(self):
        for entry in ("quorent_*_fn;", "quorent_[ab];", 'extern "C++" {', "shown"):
            with self.subTest(entry=entry):
                status, lines, err = translate(f"{{\n  global:\n    {entry}\n  local:\n    *;\n}};\n")
                self.assertNotEqual(status, 0)
                self.assertIsNone(lines)
                self.assertIn("no equal", err)

    def test_a_map_that_lets_nothing_out(self):
        status, lines, err = translate("{\n  local:\n    *;\n};\n")
        self.assertNotEqual(status, 0)
        self.assertIn("no global names", err)


if __name__ == "__main__":
    unittest.main()
