"""The generator refuses what it cannot render, naming where it found it."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from generator import model, python  # noqa: E402


class GeneratorTest(unittest.TestCase):
    def test_unknown_forms_stop_with_the_blob_named(self):
        for data, message in [(bytes([99]), "UNIFFI_META_X: unknown type code 99"),
                              (bytes([17, 11]), "UNIFFI_META_X: sequences of str are not supported"),
                              (bytes([12]), "UNIFFI_META_X: blob ends early")]:
            with self.assertRaisesRegex(SystemExit, message):
                model.Blob("UNIFFI_META_X", data).type()

    def test_python_names_that_would_clash_are_refused(self):
        f = dict(name="op", args=[("st", "str")], ret="str", error=None, doc="", checksum=1)
        with self.assertRaisesRegex(SystemExit, "argument st of op clashes"):
            python.render("ns", [f], [], [], "1.0")


if __name__ == "__main__":
    unittest.main()
