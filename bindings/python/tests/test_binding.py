"""The Python binding against the built library ($QUORENT_SDK_LIB)."""

import ctypes
import hashlib
import json
import os
import sys
import types
import unittest
from dataclasses import replace

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))

import generate  # noqa: E402
import quorent_sdk as q  # noqa: E402
from quorent_sdk import _generated, _runtime  # noqa: E402

DATA = os.path.join(HERE, "..", "..", "..", "tests", "data")
SEED = "11" * 32
ORIGIN = "https://shop.test"


class BufferCounter:
    """Counts buffers the binding creates and frees, by wrapping its two
    buffer functions for the duration of a with-block."""

    def __enter__(self):
        self.made, self.freed = 0, 0
        self._from, self._free = _runtime._from_bytes, _runtime._free

        def counting_from(data):
            self.made += 1
            return self._from(data)

        def counting_free(buf):
            self.freed += 1
            return self._free(buf)

        _runtime._from_bytes, _runtime._free = counting_from, counting_free
        return self

    def __exit__(self, *exc):
        _runtime._from_bytes, _runtime._free = self._from, self._free


class LoadTest(unittest.TestCase):
    def test_generated_module_is_current(self):
        text = generate.render(*generate.read_interface(_runtime.library_path()))
        with open(_generated.__file__, encoding="utf-8") as f:
            self.assertEqual(f.read(), text, "run bindings/python/generate.py")

    def test_generated_declarations(self):
        self.assertEqual(len(_generated.FUNCTIONS), 29)
        self.assertEqual(_generated.CHECKSUMS["generate_pkce"], 49775)
        self.assertEqual(_generated.FUNCTIONS["delegate"][0][8], ("pubkey_hex", "opt:str"))
        self.assertEqual(_generated.FUNCTIONS["pkce_challenge"][2], None)  # declares no error
        self.assertEqual([f for f, _ in _generated.RECORDS["Deed"][1]][:7],
                         ["v", "mode", "tenant", "sub", "aud", "challenge", "exp"])

    def test_contract_version_and_checksums_are_checked(self):
        lib = ctypes.CDLL(_runtime.library_path())
        _runtime.check_library(lib, _generated)  # the real pair matches

        class Stub:
            def __init__(self, version):
                self.ffi_quorent_sdk_uniffi_uniffi_contract_version = lambda: version

        with self.assertRaisesRegex(q.IncompatibleLibraryError, "contract version 29"):
            _runtime.check_library(Stub(29), _generated)
        altered = types.SimpleNamespace(CONTRACT_VERSION=30,
                                        CHECKSUMS=dict(_generated.CHECKSUMS, user_sub=_generated.CHECKSUMS["user_sub"] ^ 1))
        with self.assertRaisesRegex(q.IncompatibleLibraryError, "checksum mismatch for user_sub"):
            _runtime.check_library(lib, altered)
        missing = types.SimpleNamespace(CONTRACT_VERSION=30, CHECKSUMS={"no_such_operation": 1})
        with self.assertRaisesRegex(q.IncompatibleLibraryError, "no operation no_such_operation"):
            _runtime.check_library(lib, missing)


class ErrorsTest(unittest.TestCase):
    def test_sdk_variant(self):
        with self.assertRaises(q.SdkError.Sdk) as cm:
            q.normalize_origin("ftp://x")
        self.assertIsInstance(cm.exception, q.SdkError)
        self.assertEqual(cm.exception.message, "input: origin: must start with https:// or http://")
        self.assertEqual(repr(cm.exception), "SdkError.Sdk('input: origin: must start with https:// or http://')")

    def test_insecure_origin_variant(self):
        with self.assertRaises(q.SdkError.InsecureOrigin) as cm:
            q.origin_vouch_binding(7, "web", "http://localhost:3000", 1, 2, False)
        self.assertEqual(cm.exception.message, "http://localhost:3000: scheme must be https in production")
        self.assertNotIsInstance(cm.exception, q.SdkError.Sdk)
        self.assertTrue(q.origin_vouch_binding(7, "web", "http://localhost:3000", 1, 2, True)
                        .startswith("http://localhost:3000 is claiming"))

    def test_internal_failure_raises_internal_error_and_frees_its_message(self):
        real = _runtime._functions["normalize_origin"]

        def failing(origin, status):
            _runtime._free(origin)  # consumed, as the library would
            status._obj.code = 2
            status._obj.error_buf = _runtime._from_bytes(b"boom")
            return _runtime.RustBuffer(0, 0, None)

        _runtime._functions["normalize_origin"] = failing
        try:
            with BufferCounter() as c, self.assertRaises(q.InternalError) as cm:
                q.normalize_origin("https://a")
        finally:
            _runtime._functions["normalize_origin"] = real
        self.assertEqual(cm.exception.message, "boom")
        self.assertEqual((c.made, c.freed), (2, 2))

    def test_arguments_are_checked_before_any_buffer_is_made(self):
        cases = [
            (lambda: q.derive_app_key(SEED, -1, ORIGIN), ValueError),
            (lambda: q.derive_app_key(SEED, 1 << 64, ORIGIN), ValueError),
            (lambda: q.derive_app_key(SEED, True, ORIGIN), TypeError),
            (lambda: q.derive_app_key(SEED, 7, b"https://a"), TypeError),
            (lambda: q.origin_vouch_binding(7, "a", ORIGIN, 1, 2, 1), TypeError),
            (lambda: q.decode_bool_return("00" * 32), TypeError),
            (lambda: q.normalize_origin("\udcff"), UnicodeEncodeError),
            (lambda: q.normalize_origin(), TypeError),
        ]
        for fn, exc in cases:
            with BufferCounter() as c, self.assertRaises(exc):
                fn()
            self.assertEqual(c.made, 0)


class ValuesTest(unittest.TestCase):
    def test_text_in_text_out_frees_the_result(self):
        with BufferCounter() as c:
            self.assertEqual(q.normalize_origin("https://Shop.test:443/"), ORIGIN)
        self.assertEqual((c.made, c.freed), (1, 1))
        self.assertEqual(q.normalize_origin("https://b\u00dccher.test"), "https://b\u00dccher.test")

    def test_integers_bools_and_byte_sequences(self):
        self.assertEqual(q.origin_vouch_max_ttl_secs(), 7776000)
        calldata = q.is_origin_voucher_calldata((1 << 64) - 1, "0x" + "1" * 40, 2)
        self.assertIsInstance(calldata, bytes)
        self.assertEqual(calldata[:4].hex(), "04e8e8da")
        self.assertEqual(calldata[28:36], b"\xff" * 8)
        self.assertEqual(len(calldata), 100)
        self.assertIs(q.decode_bool_return(bytes(31) + b"\x02"), True)
        self.assertIs(q.decode_bool_return(bytearray(32)), False)
        with BufferCounter() as c, self.assertRaises(q.SdkError.Sdk) as cm:
            q.decode_bool_return(b"")
        self.assertEqual(cm.exception.message, "input: isOriginVoucher returned 0 bytes, expected 32")
        self.assertEqual((c.made, c.freed), (1, 1))  # the error buffer

    def test_pkce_record(self):
        pair = q.generate_pkce()
        self.assertIsInstance(pair, q.Pkce)
        self.assertEqual(len(pair.verifier), 43)
        self.assertEqual(q.pkce_challenge(pair.verifier), pair.challenge)

    def test_app_key_and_deed_records(self):
        key = q.derive_app_key(SEED, 7, "https://Shop.test/")
        self.assertIsInstance(key, q.AppKey)
        self.assertEqual(key, q.derive_app_key(SEED.upper(), 7, ORIGIN))
        deed = q.mint_user_deed(key.secret_key_hex, 7, "app", ORIGIN, "c1", 1700000000)
        self.assertIsInstance(deed, q.Deed)
        self.assertEqual((deed.v, deed.mode, deed.tenant, deed.pubkey, deed.grants, deed.signer),
                         (1, "user-sig", 7, key.pubkey_hex, None, None))
        self.assertEqual(deed.sub, q.user_sub(key.pubkey_hex))
        with self.assertRaises(q.SdkError.Sdk) as cm:
            q.derive_app_key("00", 7, ORIGIN)
        self.assertEqual(cm.exception.message, "input: rootSeedHex must decode to exactly 32 bytes")

    def test_deed_record_as_argument_and_optional_text(self):
        deed = q.mint_admin_deed_smartwallet("11" * 20, "", 7, "console", "c1", 5)
        link_args = (1, "a", "b", "[]", 2, "00" * 32, 3, "00" * 32)
        bare = json.loads(q.delegate(*link_args, None, "ab"))
        keyed = json.loads(q.delegate(*link_args, "ED25519KEY", "ab"))
        self.assertNotIn("pubkey", bare)
        self.assertEqual(keyed["pubkey"], "ED25519KEY")
        base = replace(deed, root="r", proof="p")
        with BufferCounter() as c:
            cap = q.mint_capability_deed(base, "[]", "[" + json.dumps(bare) + "]")
        self.assertEqual((c.made, c.freed), (3, 1))
        self.assertEqual((cap.root, cap.proof, cap.sub, cap.grants), ("r", "p", deed.sub, "[]"))
        self.assertEqual(json.loads(cap.delegations), [bare])
        with self.assertRaises(ValueError):
            q.mint_capability_deed(replace(deed, v=256), "[]", "[]")
        with self.assertRaises(TypeError):
            q.mint_capability_deed(replace(deed, root=5), "[]", "[]")

    def test_claims_record(self):
        with open(os.path.join(DATA, "host_es256_vector.json")) as f:
            v = json.load(f)
        claims = q.verify_token_at(v["jwt"], json.dumps(v["jwks"]), v["iss"], v["aud"], v["now"])
        self.assertIsInstance(claims, q.Claims)
        self.assertEqual(claims, q.Claims(**v["claims"]))
        with self.assertRaises(q.SdkError.Sdk) as cm:
            q.verify_token_at(v["jwt"], json.dumps(v["jwks"]), v["iss"], "other", v["now"])
        self.assertEqual(cm.exception.message, "claim: aud mismatch")

    def test_infallible_text_operation(self):
        self.assertEqual(q.parent_ref_hash_root("r"), hashlib.sha256(b"r").hexdigest())


if __name__ == "__main__":
    unittest.main()
