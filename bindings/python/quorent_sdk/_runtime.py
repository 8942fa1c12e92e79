"""The binding's runtime: loads libquorent_sdk_uniffi with ctypes, checks that
it matches the generated declarations, and carries every call across the
buffer protocol (arguments lowered into library-made buffers, results and
errors lifted, every received buffer freed)."""

import ctypes
import ctypes.util
import os
import struct

_PREFIX_FN = "uniffi_quorent_sdk_uniffi_fn_func_"
_PREFIX_CHECKSUM = "uniffi_quorent_sdk_uniffi_checksum_func_"


class InternalError(Exception):
    """An unexpected failure inside the library (status code 2), or a result
    the binding could not read. Carries the library's message."""

    def __init__(self, message):
        super().__init__(message)
        self.message = message


class IncompatibleLibraryError(ImportError):
    """The loaded library is not the one this binding was generated for."""


class RustBuffer(ctypes.Structure):
    _fields_ = [("capacity", ctypes.c_uint64), ("len", ctypes.c_uint64), ("data", ctypes.POINTER(ctypes.c_uint8))]


class ForeignBytes(ctypes.Structure):
    _fields_ = [("len", ctypes.c_int32), ("data", ctypes.POINTER(ctypes.c_uint8))]


class RustCallStatus(ctypes.Structure):
    _fields_ = [("code", ctypes.c_int8), ("error_buf", RustBuffer)]


_lib = None
_gen = None
_functions = {}


def library_path():
    """Where the library is looked for: $QUORENT_SDK_LIB, then the system."""
    path = os.environ.get("QUORENT_SDK_LIB")
    if path:
        return path
    return ctypes.util.find_library("quorent_sdk_uniffi") or "libquorent_sdk_uniffi.so"


def _ctype(t):
    if t == "u64":
        return ctypes.c_uint64
    if t in ("bool", "u8"):
        return ctypes.c_int8
    return RustBuffer


def check_library(lib, gen):
    """Refuses a library whose contract version or operation checksums differ
    from those the binding was generated with."""
    version_fn = lib.ffi_quorent_sdk_uniffi_uniffi_contract_version
    version_fn.argtypes, version_fn.restype = [], ctypes.c_uint32
    version = version_fn()
    if version != gen.CONTRACT_VERSION:
        raise IncompatibleLibraryError(
            f"libquorent_sdk_uniffi has contract version {version}, this binding needs {gen.CONTRACT_VERSION}")
    for name, expected in gen.CHECKSUMS.items():
        try:
            fn = getattr(lib, _PREFIX_CHECKSUM + name)
        except AttributeError:
            raise IncompatibleLibraryError(f"libquorent_sdk_uniffi has no operation {name}") from None
        fn.argtypes, fn.restype = [], ctypes.c_uint16
        actual = fn()
        if actual != expected:
            raise IncompatibleLibraryError(
                f"checksum mismatch for {name}: library {actual}, binding {expected}; regenerate the binding")


def load(gen, path=None):
    """Loads and checks the library, then declares every operation."""
    global _lib, _gen
    lib = ctypes.CDLL(path or library_path())
    check_library(lib, gen)
    lib.ffi_quorent_sdk_uniffi_rustbuffer_from_bytes.argtypes = [ForeignBytes, ctypes.POINTER(RustCallStatus)]
    lib.ffi_quorent_sdk_uniffi_rustbuffer_from_bytes.restype = RustBuffer
    lib.ffi_quorent_sdk_uniffi_rustbuffer_free.argtypes = [RustBuffer, ctypes.POINTER(RustCallStatus)]
    lib.ffi_quorent_sdk_uniffi_rustbuffer_free.restype = None
    functions = {}
    for name, (args, ret, _error) in gen.FUNCTIONS.items():
        try:
            fn = getattr(lib, _PREFIX_FN + name)
        except AttributeError:
            raise IncompatibleLibraryError(f"libquorent_sdk_uniffi does not export {_PREFIX_FN}{name}") from None
        fn.argtypes = [_ctype(t) for _, t in args] + [ctypes.POINTER(RustCallStatus)]
        fn.restype = _ctype(ret)
        functions[name] = fn
    _lib, _gen = lib, gen
    _functions.clear()
    _functions.update(functions)


# ---- buffers -------------------------------------------------------------------------

def _status():
    return RustCallStatus(0, RustBuffer(0, 0, None))


def _from_bytes(data):
    st = _status()
    raw = (ctypes.c_uint8 * len(data)).from_buffer_copy(data) if data else None
    buf = _lib.ffi_quorent_sdk_uniffi_rustbuffer_from_bytes(
        ForeignBytes(len(data), ctypes.cast(raw, ctypes.POINTER(ctypes.c_uint8)) if raw else None), ctypes.byref(st))
    if st.code != 0:
        raise InternalError("rustbuffer_from_bytes failed: " + _take(st.error_buf).decode("utf-8", "replace"))
    return buf


def _free(buf):
    st = _status()
    _lib.ffi_quorent_sdk_uniffi_rustbuffer_free(buf, ctypes.byref(st))
    if st.code != 0:
        raise InternalError("rustbuffer_free failed")


def _take(buf):
    """Copies a received buffer out and frees it."""
    data = ctypes.string_at(buf.data, buf.len) if buf.data else b""
    _free(buf)
    return data


# ---- nested forms ---------------------------------------------------------------------

def _write(t, value, out):
    if t == "u8":
        out += struct.pack(">B", value)
    elif t == "u64":
        out += struct.pack(">Q", value)
    elif t == "bool":
        out += b"\x01" if value else b"\x00"
    elif t == "str":
        data = value.encode("utf-8")
        out += struct.pack(">i", len(data)) + data
    elif t == "bytes":
        out += struct.pack(">i", len(value)) + bytes(value)
    elif t.startswith("opt:"):
        if value is None:
            out += b"\x00"
        else:
            out += b"\x01"
            _write(t[4:], value, out)
    elif t.startswith("record:"):
        _, fields = _gen.RECORDS[t[7:]]
        for name, ft in fields:
            _write(ft, getattr(value, name), out)
    else:
        raise TypeError(f"cannot write a {t}")


class _Reader:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def take(self, n):
        if n < 0 or len(self.data) - self.pos < n:
            raise InternalError("result buffer is shorter than its declared form")
        chunk = self.data[self.pos:self.pos + n]
        self.pos += n
        return chunk

    def read(self, t):
        if t == "u8":
            return self.take(1)[0]
        if t == "u64":
            return struct.unpack(">Q", self.take(8))[0]
        if t == "bool":
            b = self.take(1)[0]
            if b > 1:
                raise InternalError("unexpected byte for Boolean")
            return b == 1
        if t == "str":
            n = struct.unpack(">i", self.take(4))[0]
            return _utf8(self.take(n))
        if t == "bytes":
            n = struct.unpack(">i", self.take(4))[0]
            return self.take(n)
        if t.startswith("opt:"):
            tag = self.take(1)[0]
            if tag == 0:
                return None
            if tag == 1:
                return self.read(t[4:])
            raise InternalError("unexpected tag byte for Option")
        if t.startswith("record:"):
            cls, fields = _gen.RECORDS[t[7:]]
            return cls(**{name: self.read(ft) for name, ft in fields})
        raise InternalError(f"cannot read a {t}")

    def finish(self):
        if self.pos != len(self.data):
            raise InternalError(f"junk data left in buffer after lifting (count: {len(self.data) - self.pos})")


def _utf8(data):
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError as e:
        raise InternalError(f"library returned text that is not UTF-8: {e}") from None


# ---- arguments ----------------------------------------------------------------------

def _check(name, t, value):
    """Validates one argument; returns its direct integer or its buffer bytes."""
    if t == "u64":
        if isinstance(value, bool) or not isinstance(value, int):
            raise TypeError(f"{name} must be an int")
        if not 0 <= value < 1 << 64:
            raise ValueError(f"{name} must be in 0 .. 2**64 - 1")
        return value
    if t == "bool":
        if not isinstance(value, bool):
            raise TypeError(f"{name} must be a bool")
        return 1 if value else 0
    if t == "str":
        if not isinstance(value, str):
            raise TypeError(f"{name} must be a str")
        return value.encode("utf-8")
    if t == "opt:str":
        if value is not None and not isinstance(value, str):
            raise TypeError(f"{name} must be a str or None")
    elif t == "bytes":
        if not isinstance(value, (bytes, bytearray)):
            raise TypeError(f"{name} must be bytes")
    elif t.startswith("record:"):
        cls, fields = _gen.RECORDS[t[7:]]
        if not isinstance(value, cls):
            raise TypeError(f"{name} must be a {cls.__name__}")
        for field, ft in fields:
            _check(f"{name}.{field}", ft, getattr(value, field))
    elif t == "u8":
        if isinstance(value, bool) or not isinstance(value, int) or not 0 <= value < 256:
            raise ValueError(f"{name} must be an int in 0 .. 255")
        return value
    out = bytearray()
    _write(t, value, out)
    return bytes(out)


def call(name, *values):
    """Calls one operation: lowers the arguments, reads the status and the
    result, frees every buffer received, raises the declared error."""
    args, ret, error = _gen.FUNCTIONS[name]
    if len(values) != len(args):
        raise TypeError(f"{name}() takes {len(args)} arguments ({len(values)} given)")
    checked = [_check(n, t, v) for (n, t), v in zip(args, values)]
    fn = _functions[name]
    lowered = []
    try:
        for value in checked:
            lowered.append(_from_bytes(value) if isinstance(value, bytes) else value)
    except BaseException:
        for value in lowered:
            if isinstance(value, RustBuffer):
                _free(value)
        raise
    st = _status()
    result = fn(*lowered, ctypes.byref(st))
    if st.code == 0:
        if isinstance(result, RustBuffer):
            data = _take(result)
            if ret == "str":
                return _utf8(data)
            reader = _Reader(data)
            value = reader.read(ret)
            reader.finish()
            return value
        if ret == "bool":
            if result not in (0, 1):
                raise InternalError("unexpected byte for Boolean")
            return result == 1
        return result
    payload = _take(st.error_buf)
    if st.code == 1 and error is not None:
        reader = _Reader(payload)
        variant = struct.unpack(">i", reader.take(4))[0]
        message = reader.read("str")
        reader.finish()
        variants = getattr(_gen, error.upper() + "_VARIANTS")
        if not 1 <= variant <= len(variants):
            raise InternalError(f"unknown {error} variant {variant}: {message}")
        raise variants[variant - 1](message)
    if st.code == 2:
        raise InternalError(payload.decode("utf-8", "replace"))
    raise InternalError(f"unexpected call status {st.code}")
