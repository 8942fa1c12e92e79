"""The generator refuses what it cannot render, naming where it found it."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from generator import kotlin, model, python  # noqa: E402


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

    def test_kotlin_portable_declaration_keeps_the_c_order_and_types(self):
        # The fast path moves buffers behind the register arguments; the portable
        # one must pass every argument where and as the C signature has it.
        f = dict(name="op", args=[("a", "str"), ("n", "u64"), ("flag", "bool"), ("v", "u8"), ("b", "record:R")],
                 ret="str", error=None, doc="", checksum=1)
        self.assertEqual(kotlin.struct_params(f), [
            ("a", "RustBuffer.ByValue", "c.arg(b, 0)"), ("n", "Long", "n.toLong()"),
            ("flag", "Byte", "Rt.byte(flag)"), ("v", "Byte", "v.toByte()"),
            ("b", "RustBuffer.ByValue", "c.arg(b, 1)"), ("status", "Long", "c.status")])
        self.assertEqual([n for n, _ in kotlin.abi_params(f)][:2], ["result", "n"])
        text = kotlin.render("ns", [f], [], [])
        self.assertIn("fun uniffi_quorent_sdk_uniffi_fn_func_op(a: RustBuffer.ByValue, n: Long, flag: Byte, v: Byte, "
                      "b: RustBuffer.ByValue, status: Long): RustBuffer.ByValue", text)
        self.assertIn("if (Rt.structAbi) c.store(StructAbi.uniffi_quorent_sdk_uniffi_fn_func_op(", text)


if __name__ == "__main__":
    unittest.main()
