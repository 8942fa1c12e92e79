"""The generator reads the library's blobs as the library writes them, and
refuses what it cannot render, naming where it found it."""

import ctypes
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
from generator import kotlin, model, python  # noqa: E402

LIB = os.environ.get("QUORENT_SDK_LIB") or os.path.join(HERE, "..", "..", "build", "libquorent_sdk_uniffi.so")


@unittest.skipUnless(os.path.exists(LIB), f"no built library at {LIB}")
class LibraryBlobsTest(unittest.TestCase):
    """The generator's code table against the blobs of a built library."""

    @classmethod
    def setUpClass(cls):
        cls.namespace, functions, records, cls.errors = model.read_interface(LIB)
        cls.functions = {f["name"]: f for f in functions}
        cls.records = {r["name"]: r for r in records}

    def test_every_code_reads_as_the_type_the_reference_gives(self):
        # Types as docs/operations.md lists them; together they use every code.
        f = self.functions
        self.assertEqual((f["decode_bool_return"]["args"], f["decode_bool_return"]["ret"]),
                         ([("ret", "bytes")], "bool"))
        self.assertEqual(f["delegate"]["args"][8:], [("pubkey_hex", "opt:str"), ("signature_hex", "str")])
        self.assertEqual(f["mint_capability_deed"]["args"][0], ("base_deed", "record:Deed"))
        self.assertEqual((f["derive_app_key"]["ret"], f["derive_app_key"]["error"]), ("record:AppKey", "SdkError"))
        self.assertEqual((f["generate_pkce"]["args"], f["generate_pkce"]["ret"], f["generate_pkce"]["error"]),
                         ([], "record:Pkce", None))
        self.assertEqual([t for _, t, _ in self.records["Claims"]["fields"]],
                         ["str", "str", "str", "u64", "u64", "opt:u64", "opt:str"])
        self.assertEqual(self.records["Deed"]["fields"][0][:2], ("v", "u8"))
        self.assertEqual([(e["name"], [v for v, _ in e["variants"]]) for e in self.errors],
                         [("SdkError", ["Sdk", "InsecureOrigin"])])
        self.assertEqual((self.namespace, len(f), sorted(self.records)),
                         ("quorent_sdk_uniffi", 29, ["AppKey", "Claims", "Deed", "Pkce"]))

    def test_each_checksum_is_the_one_the_library_exports(self):
        lib = ctypes.CDLL(os.path.abspath(LIB))
        for name, f in self.functions.items():
            fn = getattr(lib, "uniffi_quorent_sdk_uniffi_checksum_func_" + name)
            fn.restype = ctypes.c_uint16
            self.assertEqual(f["checksum"], fn(), name)


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
