"""What the Python binding adds around the calls: loading and checking the
library, argument checks, buffer ownership on every path, reading results
defensively, and its Python surface (version, redaction)."""

import ctypes
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import types
import unittest
import unittest.mock
from dataclasses import replace

import quorent_sdk as q
from quorent_sdk import _generated, _runtime

SEED = "11" * 32
ORIGIN = "https://shop.test"
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..")


class BufferCounter:
    """Counts the buffers the binding makes and frees while a with-block runs,
    by wrapping the library's two buffer functions where the binding holds them."""

    def __enter__(self):
        self.made, self.freed = 0, 0
        self._made_fn, self._free_fn = _generated._from_bytes, _runtime._free

        def made(*a):
            self.made += 1
            return self._made_fn(*a)

        def freed(*a):
            self.freed += 1
            return self._free_fn(*a)

        _generated._from_bytes, _runtime._free = made, freed
        return self

    def __exit__(self, *exc):
        _generated._from_bytes, _runtime._free = self._made_fn, self._free_fn


class LoadTest(unittest.TestCase):
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

    def test_a_library_that_cannot_be_loaded_names_the_path_the_loaders_words_and_the_variable(self):
        with tempfile.TemporaryDirectory() as d:
            not_elf = os.path.join(d, "libquorent_sdk_uniffi.so")
            with open(not_elf, "w") as f:
                f.write("not a shared object\n")
            for lib, words in (("/nonexistent/libquorent_sdk_uniffi.so", "No such file or directory"),
                               (not_elf, "invalid ELF header|file too short")):
                env = dict(os.environ, QUORENT_SDK_LIB=lib)
                proc = subprocess.run([sys.executable, "-c", "import quorent_sdk"], env=env,
                                      capture_output=True, text=True)
                self.assertEqual(proc.returncode, 1, proc.stderr)
                self.assertRegex(proc.stderr, r"ImportError: cannot load libquorent_sdk_uniffi.so; "
                                              rf"tried: {re.escape(lib)} \(.*({words}).*\)\. Set QUORENT_SDK_LIB")

    def test_each_platform_looks_for_its_own_file_name(self):
        with unittest.mock.patch.dict(os.environ), tempfile.TemporaryDirectory() as d:
            os.environ.pop("QUORENT_SDK_LIB", None)
            # Windows: the MinGW DLL, no "lib" prefix and no SONAME; macOS: the .dylib,
            # no SONAME either; the package's copy comes first when the wheel carries one.
            self.assertEqual(_runtime.candidates("win32", here=d), (["quorent_sdk_uniffi.dll"], None))
            self.assertEqual(_runtime.candidates("darwin", here=d), (["libquorent_sdk_uniffi.dylib"], None))
            self.assertEqual(_runtime.candidates("linux", "glibc", here=d),
                             (["libquorent_sdk_uniffi.so.0", "libquorent_sdk_uniffi.so"], None))
            dylib = os.path.join(d, "libquorent_sdk_uniffi.dylib")
            open(dylib, "wb").close()
            self.assertEqual(_runtime.candidates("darwin", here=d)[0][0], dylib)
            os.environ["QUORENT_SDK_LIB"] = "C:\\sdk\\quorent_sdk_uniffi.dll"
            self.assertEqual(_runtime.candidates("win32"), (["C:\\sdk\\quorent_sdk_uniffi.dll"], None))

    def test_a_build_for_the_other_c_library_is_never_tried(self):
        own = os.path.join(d := tempfile.mkdtemp(), "libquorent_sdk_uniffi.so")
        self.addCleanup(shutil.rmtree, d)
        system = ["libquorent_sdk_uniffi.so.0", "libquorent_sdk_uniffi.so"]
        with unittest.mock.patch.dict(os.environ):
            os.environ.pop("QUORENT_SDK_LIB", None)
            for needed, built in ((["libc.so.6", "libm.so.6"], "glibc"), (["libc.so"], "musl"),
                                  (["libc.musl-x86_64.so.1"], "musl")):
                with open(own, "wb") as f:
                    f.write(elf_needing(needed))
                self.assertEqual(_runtime.needed_libc(own), built)
                for libc in ("glibc", "musl"):
                    found, skipped = _runtime.candidates("linux", libc, here=d)
                    if libc == built:
                        self.assertEqual((found, skipped), ([own] + system, None))
                    else:
                        self.assertEqual(found, system)
                        self.assertEqual(skipped, f"{own} passed over: built for {built}, "
                                                  f"this system's C library is {libc}")
            # What cannot be read as ELF, or names neither C library, is left to the dynamic loader.
            for bytes_ in (elf_needing(["libz.so.1"]), b"\x7fELF\x02\x01" + b"\xff" * 10, b"text"):
                with open(own, "wb") as f:
                    f.write(bytes_)
                self.assertIsNone(_runtime.needed_libc(own))
                self.assertEqual(_runtime.candidates("linux", "musl", here=d), ([own] + system, None))
        self.assertEqual(_runtime.needed_libc(_runtime.path), _runtime.system_libc())
        self.assertEqual(_runtime.system_libc("win32"), None)

    def test_version_is_the_project_version(self):
        with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
            version = re.search(r"project\(\w+ VERSION ([0-9.]+)", f.read()).group(1)
        self.assertEqual(q.__version__, version)


def elf_needing(names):
    """A 64-bit little-endian ELF shared object whose dynamic section needs `names`:
    one PT_LOAD (mapped 0x1000 above its file offset), one PT_DYNAMIC."""
    strtab = b"\0" + b"".join(n.encode() + b"\0" for n in names)
    offsets = [1 + sum(len(n) + 1 for n in names[:i]) for i in range(len(names))]
    dyn_off, str_off = 64 + 2 * 56, 64 + 2 * 56 + 16 * (len(names) + 2)
    dynamic = b"".join(struct.pack("<qQ", 1, o) for o in offsets)
    dynamic += struct.pack("<qQ", 5, str_off + 0x1000) + struct.pack("<qQ", 0, 0)
    size = str_off + len(strtab)
    header = b"\x7fELF\x02\x01\x01" + bytes(9) + struct.pack("<HHIQQQIHHHHHH", 3, 62, 1, 0, 64, 0, 0, 64, 56, 2, 64, 0, 0)
    load = struct.pack("<IIQQQQQQ", 1, 4, 0, 0x1000, 0x1000, size, size, 0x1000)
    dyn = struct.pack("<IIQQQQQQ", 2, 4, dyn_off, dyn_off + 0x1000, dyn_off + 0x1000, len(dynamic), len(dynamic), 8)
    return header + load + dyn + dynamic + strtab


class ArgumentsTest(unittest.TestCase):
    def test_refused_before_any_buffer_is_made(self):
        deed = q.mint_admin_deed_smartwallet("11" * 20, "", 7, "console", "c1", 5)
        cases = [
            (lambda: q.derive_app_key(SEED, -1, ORIGIN), ValueError),
            (lambda: q.derive_app_key(SEED, 1 << 64, ORIGIN), ValueError),
            (lambda: q.derive_app_key(SEED, True, ORIGIN), TypeError),
            (lambda: q.derive_app_key(SEED, 7.0, ORIGIN), TypeError),
            (lambda: q.derive_app_key(SEED, 7, b"https://a"), TypeError),
            (lambda: q.origin_vouch_binding(7, "a", ORIGIN, 1, 2, 1), TypeError),
            (lambda: q.decode_bool_return("00" * 32), TypeError),
            (lambda: q.delegate(1, "a", "b", "[]", 2, "00", 3, "00", 5, "ab"), TypeError),
            (lambda: q.normalize_origin("\udcff"), UnicodeEncodeError),
            (lambda: q.normalize_origin(), TypeError),
            (lambda: q.mint_capability_deed(replace(deed, v=256), "[]", "[]"), ValueError),
            (lambda: q.mint_capability_deed(replace(deed, tenant=-1), "[]", "[]"), ValueError),
            (lambda: q.mint_capability_deed(replace(deed, root=5), "[]", "[]"), TypeError),
            (lambda: q.mint_capability_deed(object(), "[]", "[]"), TypeError),
        ]
        for fn, exc in cases:
            with BufferCounter() as c, self.assertRaises(exc):
                fn()
            self.assertEqual(c.made, 0)

    def test_longer_than_a_signed_32_bit_length_is_refused(self):
        # The limit is lowered so the test need not build 2 GiB values; the
        # checks compare against the same constant.
        real = _generated._MAX
        _generated._MAX = 4
        try:
            with BufferCounter() as c:
                for fn in (lambda: q.normalize_origin("https://a"),
                           lambda: q.decode_bool_return(bytes(8)),
                           lambda: q.delegate(1, "a", "b", "[]", 2, "00", 3, "00", "abcdef", "ab")):
                    with self.assertRaisesRegex(ValueError, r"longer than 2\*\*31 - 1 bytes"):
                        fn()
            self.assertEqual(c.made, 0)
        finally:
            _generated._MAX = real
        self.assertEqual(_generated._MAX, 2**31 - 1)


class BuffersTest(unittest.TestCase):
    def test_every_received_buffer_is_freed(self):
        key = q.derive_app_key(SEED, 7, ORIGIN)
        calls = [
            (lambda: q.normalize_origin("https://Shop.test:443/"), (1, 1)),                        # result
            (lambda: q.mint_user_deed(key.secret_key_hex, 7, "app", ORIGIN, "c", 9), (4, 1)),      # record result
            (lambda: q.origin_vouch_max_ttl_secs(), (0, 0)),                                       # direct result
            (lambda: self.assertRaises(q.SdkError.Sdk, q.normalize_origin, "ftp://x"), (1, 1)),   # error buffer
            (lambda: self.assertRaises(q.SdkError.InsecureOrigin, q.origin_vouch_binding,
                                       7, "web", "http://localhost:3000", 1, 2, False), (2, 1)),
        ]
        for fn, counts in calls:
            with BufferCounter() as c:
                fn()
            self.assertEqual((c.made, c.freed), counts)

    def test_internal_failure_raises_internal_error_and_frees_its_message(self):
        real = _generated._fn_normalize_origin

        def failing(origin, status):
            _runtime._free(origin, status)  # consumed, as the library would
            status.code = 2
            status.error_buf = _generated._from_bytes(_runtime.ForeignBytes(4, b"boom"), status)
            return _runtime.RustBuffer(0, 0, None)

        _generated._fn_normalize_origin = failing
        try:
            with BufferCounter() as c, self.assertRaises(q.InternalError) as cm:
                q.normalize_origin("https://a")
        finally:
            _generated._fn_normalize_origin = real
        self.assertEqual(cm.exception.message, "boom")
        self.assertEqual((c.made, c.freed), (2, 2))

    def test_a_failed_argument_buffer_frees_the_ones_made_before_it(self):
        real, count = _generated._from_bytes, [0]

        def second_fails(fb, status):
            count[0] += 1
            if count[0] == 2:
                status.code = 2
                return _runtime.RustBuffer(0, 0, None)
            return real(fb, status)

        _generated._from_bytes = second_fails
        try:
            with BufferCounter() as c, self.assertRaisesRegex(q.InternalError, "rustbuffer_from_bytes failed"):
                q.derive_root_seed(ORIGIN, "ab", "ab")
        finally:
            _generated._from_bytes = real
        self.assertEqual(c.freed, 2)  # the first argument buffer and the error buffer


class ResultsTest(unittest.TestCase):
    def test_malformed_nested_forms_raise_internal_error(self):
        good = b"\x00\x00\x00\x01a\x00\x00\x00\x01b"
        self.assertEqual(_runtime.lift(good, _generated._read_AppKey), q.AppKey("a", "b"))
        for data, message in [(good[:-1], "shorter"), (good[:5], "shorter"), (good + b"\x00", "junk data"),
                              (b"\xff\xff\xff\xff" + good[4:], "shorter"),
                              (b"\x00\x00\x00\x01\xff" + good[5:], "not UTF-8")]:
            with self.assertRaisesRegex(q.InternalError, message):
                _runtime.lift(data, _generated._read_AppKey)
        with self.assertRaisesRegex(q.InternalError, "tag byte for Option"):
            _runtime.lift(b"\x00\x00\x00\x01a" * 3 + bytes(16) + b"\x02", _generated._read_Claims)

    def test_records(self):
        key = q.derive_app_key(SEED, 7, ORIGIN)
        self.assertNotIn(key.secret_key_hex, repr(key))
        self.assertNotIn(key.secret_key_hex, str(key))
        self.assertIn("secret_key_hex=<redacted>", repr(key))
        self.assertIn(key.pubkey_hex, repr(key))
        self.assertEqual(key, q.derive_app_key(SEED.upper(), 7, "https://Shop.test/"))
        copy, shared = bytes.fromhex(SEED), b"1"
        _runtime.wipe(copy)
        _runtime.wipe(shared)
        self.assertEqual((copy, shared), (bytes(32), b"1"))
        self.assertIs(q.decode_bool_return(bytearray(32)), False)


if __name__ == "__main__":
    unittest.main()
