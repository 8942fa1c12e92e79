"""What the emitters cannot vouch for themselves: that the interface
description (bindings/interface.json) describes the built library, that a
difference is found and named, that what the bindings declare is what the
public header declares, and that the emitters take secrets and the contract
version from the description alone."""

import ctypes
import dataclasses
import os
import re
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
sys.path.insert(0, os.path.join(HERE, ".."))
from generator import kotlin, model, python, typescript  # noqa: E402

LIB = os.environ.get("QUORENT_SDK_LIB") or os.path.join(ROOT, "build", "libquorent_sdk_uniffi.so")


def edit(iface, function=None, record=None, **changes):
    """A copy of the description with one function's or record's parts replaced."""
    if function:
        fs = tuple(dataclasses.replace(f, **changes) if f.name == function else f for f in iface.functions)
        return dataclasses.replace(iface, functions=fs)
    if record:
        rs = tuple(dataclasses.replace(r, **changes) if r.name == record else r for r in iface.records)
        return dataclasses.replace(iface, records=rs)
    return dataclasses.replace(iface, **changes)


def marked(values, secret):
    return tuple(dataclasses.replace(v, secret=v.name in secret) for v in values)


@unittest.skipUnless(os.path.exists(LIB), f"no built library at {LIB}")
class DescriptionTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.iface = model.load()
        lib = ctypes.CDLL(os.path.abspath(LIB))
        cls.blobs = model.read_blobs(LIB, lib)
        version = lib.ffi_quorent_sdk_uniffi_uniffi_contract_version
        version.restype = ctypes.c_uint32
        cls.version = version()
        cls.exported = {}
        for f in cls.iface.functions:
            fn = getattr(lib, model.CHECKSUM_PREFIX + f.name)
            fn.restype = ctypes.c_uint16
            cls.exported[f.name] = fn()

    def mismatches(self, iface):
        return model.mismatches(iface, self.blobs, self.version, self.exported)

    def test_describes_every_operation_the_library_exports(self):
        self.assertEqual(self.mismatches(self.iface), [])
        model.verify(self.iface, LIB)
        exported = {n[len(python.FN_PREFIX):] for n, _ in model.dynamic_symbols(LIB, python.FN_PREFIX)}
        self.assertEqual(exported, {f.name for f in self.iface.functions})

    def test_each_difference_is_found_and_named(self):
        seed = next(f for f in self.iface.functions if f.name == "derive_root_seed")
        key = self.iface.record("AppKey")
        cases = [
            (edit(self.iface, "derive_root_seed", args=seed.args[:2] + (dataclasses.replace(seed.args[2], type="bytes"),)),
             "derive_root_seed: the argument list"),
            (edit(self.iface, "derive_root_seed", checksum=seed.checksum ^ 1),
             "derive_root_seed: the checksum uniffi_quorent_sdk_uniffi_checksum_func_derive_root_seed() returns"),
            (edit(self.iface, "derive_root_seed", error=None), "derive_root_seed: the error type"),
            (edit(self.iface, "derive_root_seed", doc=seed.doc + "."), "derive_root_seed: the documentation"),
            (edit(self.iface, record="AppKey", fields=key.fields[::-1]), "record AppKey: the field list"),
            (edit(self.iface, functions=self.iface.functions[1:]), "operation build_authorize_url: only in the library"),
            (edit(self.iface, contract_version=self.version + 1), "contract version"),
            (edit(self.iface, errors=(dataclasses.replace(self.iface.errors[0], variants=(("Sdk", ""),)),)),
             "error SdkError: the variants"),
        ]
        for iface, named in cases:
            with self.subTest(named):
                found = self.mismatches(iface)
                self.assertEqual(len(found), 1 + ("checksum" in named), found)
                self.assertTrue(found[-1].startswith(named), found)
        # Secrets and argument documentation are the description's own: no blob carries them.
        self.assertEqual(self.mismatches(edit(self.iface, "derive_root_seed", args=marked(seed.args, set()))), [])

    def test_bindings_declare_what_the_header_declares(self):
        with open(os.path.join(ROOT, "ffi", "include", "quorent_sdk_uniffi.h"), encoding="utf-8") as f:
            header = f.read()
        declared = {m[2]: ([p.rsplit(" ", 1)[0] for p in m[3].split(", ")][:-1], m[1]) for m in re.finditer(
            r"QUORENT_API (\w+) " + python.FN_PREFIX + r"(\w+)\(([^)]*)\);", header)}
        self.assertEqual(set(declared), {f.name for f in self.iface.functions})
        as_kotlin = {"RustBuffer": "RustBuffer.ByValue", "uint64_t": "Long", "int8_t": "Byte", "uint8_t": "Byte"}
        as_ctypes = {"RustBuffer": "buffer", "uint64_t": "_c_uint64", "int8_t": "_c_int8", "uint8_t": "_c_uint8"}
        py = python.render(self.iface, "0")
        for f in self.iface.functions:
            params, ret = declared[f.name]
            with self.subTest(f.name):
                self.assertEqual([t for _, t, _ in kotlin.struct_params(f)][:-1], [as_kotlin[p] for p in params])
                self.assertEqual(kotlin.struct_return(f.ret), as_kotlin[ret])
                self.assertIn(f"fn = lib.{python.FN_PREFIX}{f.name}\n    fn.argtypes, fn.restype = "
                              f"[{', '.join([as_ctypes[p] for p in params] + ['status'])}], {as_ctypes[ret]}\n", py)

    def test_emitters_take_secrets_and_the_contract_version_from_the_description(self):
        seed = next(f for f in self.iface.functions if f.name == "derive_root_seed")
        # The seed's origin marked secret and its signatures not; Claims.iss marked
        # secret and AppKey's secret key not.
        iface = edit(self.iface, "derive_root_seed", args=marked(seed.args, {"origin"}))
        iface = edit(iface, record="Claims", fields=marked(iface.record("Claims").fields, {"iss"}))
        iface = edit(iface, record="AppKey", fields=marked(iface.record("AppKey").fields, set()))
        iface = edit(iface, contract_version=977)
        py = python.render(iface, "0")
        fn = py[py.index("def derive_root_seed("):py.index("def generate_pkce(")]
        self.assertIn("_rt.wipe(b0)", fn)
        self.assertNotIn("_rt.wipe(b1)", fn)
        self.assertIn("iss=<redacted>", py)
        self.assertNotIn("secret_key_hex=<redacted>", py)
        kt = kotlin.render(iface)
        self.assertIn("iss=<redacted>", kt)
        self.assertNotIn("secretKeyHex=<redacted>", kt)
        js = typescript.outputs(iface)["bindings/node/lib/binding.js"]
        self.assertIn("shown.iss = REDACTED", js)
        self.assertNotIn("shown.secretKeyHex", js)
        for text in (py, kt, js):
            self.assertRegex(text, r"CONTRACT_VERSION = 977\b")


class BlobTest(unittest.TestCase):
    def test_unknown_forms_stop_with_the_blob_named(self):
        for data, message in [(bytes([99]), "UNIFFI_META_X: unknown type code 99"),
                              (bytes([17, 11]), "UNIFFI_META_X: sequences of str are not supported"),
                              (bytes([12]), "UNIFFI_META_X: blob ends early")]:
            with self.assertRaisesRegex(SystemExit, message):
                model.Blob("UNIFFI_META_X", data).type()


if __name__ == "__main__":
    unittest.main()
