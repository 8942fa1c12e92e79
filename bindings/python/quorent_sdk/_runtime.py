"""The binding's runtime: finds and loads libquorent_sdk_uniffi with ctypes,
checks that it matches the generated declarations, and holds what every
generated operation shares: the buffer types, taking a received buffer
(copied out, then freed), argument errors and status errors."""

import ctypes
import os
import struct
import sys

_PREFIX_CHECKSUM = "uniffi_quorent_sdk_uniffi_checksum_func_"
ENV = "QUORENT_SDK_LIB"


def library_name(platform=sys.platform):
    """The library's file name on a platform (as sys.platform names it): the
    MinGW DLL has no "lib" prefix; macOS takes a .dylib."""
    if platform == "win32":
        return "quorent_sdk_uniffi.dll"
    return "libquorent_sdk_uniffi.dylib" if platform == "darwin" else "libquorent_sdk_uniffi.so"


def system_libc(platform=sys.platform):
    """The C library this process runs on: "glibc" or "musl" on Linux (glibc
    answers CS_GNU_LIBC_VERSION, musl has no such name), None elsewhere."""
    if not platform.startswith("linux"):
        return None
    try:
        return "glibc" if os.confstr("CS_GNU_LIBC_VERSION") else "musl"
    except (ValueError, OSError):
        return "musl"


def needed_libc(file):
    """The C library an ELF shared object was linked against, read from its
    DT_NEEDED entries: "glibc" (libc.so.6), "musl" (libc.so, or Alpine's
    libc.musl-<arch>.so.1), or None when the file is no 64-bit little-endian
    ELF object or names neither (the dynamic loader then has its own say)."""
    try:
        with open(file, "rb") as f:
            data = f.read()
    except OSError:
        return None
    if data[:6] != b"\x7fELF\x02\x01" or len(data) < 64:
        return None
    try:
        phoff, = struct.unpack_from("<Q", data, 32)
        phentsize, phnum = struct.unpack_from("<HH", data, 54)
        headers = [struct.unpack_from("<IIQQQQ", data, phoff + i * phentsize) for i in range(phnum)]
        loads = [h for h in headers if h[0] == 1]  # PT_LOAD: (type, flags, offset, vaddr, paddr, filesz)
        dynamic = next(h for h in headers if h[0] == 2)  # PT_DYNAMIC
        entries, strtab = [], None
        for off in range(dynamic[2], dynamic[2] + dynamic[5], 16):
            tag, value = struct.unpack_from("<qQ", data, off)
            if tag == 0:
                break
            if tag == 1:  # DT_NEEDED
                entries.append(value)
            elif tag == 5:  # DT_STRTAB, an address: back to a file offset
                strtab = next(value - h[3] + h[2] for h in loads if h[3] <= value < h[3] + h[5])
        if strtab is None:
            return None
        names = {data[strtab + v:data.index(b"\0", strtab + v)].decode("latin-1") for v in entries}
    except (struct.error, StopIteration, ValueError):
        return None
    if "libc.so.6" in names:
        return "glibc"
    if "libc.so" in names or any(n.startswith("libc.musl-") for n in names):
        return "musl"
    return None


LIBRARY = library_name()

# A buffer's length travels as a signed 32-bit number.
MAX_LEN = 0x7FFFFFFF
I32, U64, B1 = struct.Struct(">i"), struct.Struct(">Q"), struct.Struct(">B")


class InternalError(Exception):
    """An unexpected failure inside the library (status code 2), or a result
    the binding could not read. Carries the library's message."""

    def __init__(self, message):
        super().__init__(message)
        self.message = message


class IncompatibleLibraryError(ImportError):
    """The loaded library is not the one this binding was generated for."""


class RustBuffer(ctypes.Structure):
    _fields_ = [("capacity", ctypes.c_uint64), ("len", ctypes.c_uint64), ("data", ctypes.c_void_p)]


class ForeignBytes(ctypes.Structure):
    _fields_ = [("len", ctypes.c_int32), ("data", ctypes.c_char_p)]


class RustCallStatus(ctypes.Structure):
    _fields_ = [("code", ctypes.c_int8), ("error_buf", RustBuffer)]


path = None  # the library loaded
_free = None


# ---- loading ---------------------------------------------------------------------------

def candidates(platform=sys.platform, libc=None, here=None):
    """Where the library is looked for, in order: $QUORENT_SDK_LIB alone when
    it is set; otherwise the copy inside this package, then the system's
    library path (under its SONAME first, but on Windows and macOS). On Linux
    the package's copy is passed over when it was built for the other C
    library (a musl build on glibc, or the reverse): `skipped` says why.
    Every platform takes the same calls: ctypes returns a RustBuffer by the
    platform's own convention (a hidden result pointer on Windows x64).
    Returns (candidates, skipped)."""
    env = os.environ.get(ENV)
    if env:
        return [env], None
    name = library_name(platform)
    own = os.path.join(here or os.path.dirname(os.path.abspath(__file__)), name)
    system = [name] if platform in ("win32", "darwin") else [name + ".0", name]
    if not os.path.exists(own):
        return system, None
    libc = libc or system_libc(platform)
    built = needed_libc(own) if libc else None
    if built and built != libc:
        return system, f"{own} passed over: built for {built}, this system's C library is {libc}"
    return [own] + system, None


def library_path():
    """The library the binding loads (or would load first)."""
    return path or candidates()[0][0]


def open_library():
    tried = []
    found, skipped = candidates()
    if skipped:
        tried.append(skipped)
    for candidate in found:
        try:
            return candidate, ctypes.CDLL(candidate)
        except OSError as e:
            tried.append(f"{candidate} ({e})")
    raise ImportError(f"cannot load {LIBRARY}; tried: " + "; ".join(tried) +
                      f". Set {ENV} to the library's path.")


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


def load(gen):
    """Finds, loads and checks the library, then declares every operation."""
    global path, _free
    found, lib = open_library()
    check_library(lib, gen)
    lib.ffi_quorent_sdk_uniffi_rustbuffer_from_bytes.argtypes = [ForeignBytes, ctypes.POINTER(RustCallStatus)]
    lib.ffi_quorent_sdk_uniffi_rustbuffer_from_bytes.restype = RustBuffer
    lib.ffi_quorent_sdk_uniffi_rustbuffer_free.argtypes = [RustBuffer, ctypes.POINTER(RustCallStatus)]
    lib.ffi_quorent_sdk_uniffi_rustbuffer_free.restype = None
    gen._bind(lib)
    path, _free = found, lib.ffi_quorent_sdk_uniffi_rustbuffer_free


# ---- received buffers --------------------------------------------------------------------

def take(buf, st):
    """Copies a received buffer out and frees it; st is a status whose code is 0."""
    data = ctypes.string_at(buf.data, buf.len) if buf.data else b""
    _free(buf, st)
    if st.code:
        wipe(data)  # never handed to the caller, who would wipe it
        raise InternalError("rustbuffer_free failed")
    return data


def text(data):
    """A received text result."""
    try:
        return data.decode()
    except UnicodeDecodeError as e:
        raise InternalError(f"library returned text that is not UTF-8: {e}") from None


def take_str(buf, st):
    return text(take(buf, st))


def wipe(data):
    """Overwrites the binding's own copy of a secret with zeros. Only fresh
    objects of two or more bytes are touched: CPython shares the empty and
    the one-byte bytes objects."""
    if len(data) > 1:
        ctypes.memset(ctypes.cast(ctypes.c_char_p(data), ctypes.c_void_p).value, 0, len(data))


def wipe_all(parts):
    """Wipes every part of a secret's nested form (all the binding's own)."""
    for part in parts:
        wipe(part)


def short_result():
    return InternalError("result buffer is shorter than its declared form")


def lift(data, reader):
    """Reads a whole nested form with a generated reader."""
    try:
        value, pos = reader(data, 0)
    except (IndexError, struct.error):
        raise short_result() from None
    except UnicodeDecodeError as e:
        raise InternalError(f"library returned text that is not UTF-8: {e}") from None
    if pos != len(data):
        raise InternalError(f"junk data left in buffer after lifting (count: {len(data) - pos})")
    return value


def raise_status(st, variants):
    """Raises what a non-zero call status says, after freeing its error buffer:
    the declared error's variant for code 1, InternalError otherwise."""
    code = st.code
    buf = st.error_buf
    st.code = 0
    payload = take(buf, st)
    if code == 1 and variants is not None:
        try:
            variant = I32.unpack_from(payload, 0)[0]
            n = I32.unpack_from(payload, 4)[0]
            message = payload[8:8 + n].decode()
        except (struct.error, UnicodeDecodeError):
            raise InternalError("malformed error buffer") from None
        if n < 0 or len(payload) != 8 + n:
            raise InternalError("malformed error buffer")
        if not 1 <= variant <= len(variants):
            raise InternalError(f"unknown error variant {variant}: {message}")
        raise variants[variant - 1](message)
    if code == 2:
        raise InternalError(payload.decode("utf-8", "replace"))
    raise InternalError(f"unexpected call status {code}")


def buffer_failed(st, *made):
    """rustbuffer_from_bytes failed: frees the argument buffers already made
    and raises."""
    code = st.code
    buf = st.error_buf
    st.code = 0
    message = take(buf, st).decode("utf-8", "replace") if code == 2 else ""
    for b in made:
        _free(b, st)
    raise InternalError("rustbuffer_from_bytes failed: " + message)


# ---- argument errors (the slow paths of the generated checks) ----------------------------

def check_u64(name, value):
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be an int")
    if not 0 <= value <= 0xFFFFFFFFFFFFFFFF:
        raise ValueError(f"{name} must be in 0 .. 2**64 - 1")
    return int(value)


def check_u8(name, value):
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be an int")
    if not 0 <= value <= 255:
        raise ValueError(f"{name} must be in 0 .. 255")
    return int(value)


def check_bool(name, value):
    raise TypeError(f"{name} must be a bool")


def check_str(name, value):
    if not isinstance(value, str):
        raise TypeError(f"{name} must be a str")


def check_bytes(name, value):
    if not isinstance(value, (bytes, bytearray, memoryview)):
        raise TypeError(f"{name} must be bytes")
    return bytes(value)


def copy_bytes(name, value):
    """A secret's bytes as a copy of the binding's own, which it may wipe
    (bytes(value) is value itself when value is bytes)."""
    if not isinstance(value, (bytes, bytearray, memoryview)):
        raise TypeError(f"{name} must be bytes")
    return bytes(memoryview(value))


def too_long(name):
    raise ValueError(f"{name} is longer than 2**31 - 1 bytes")
