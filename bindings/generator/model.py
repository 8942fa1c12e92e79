"""The interface model every language's emitter renders.

It is read from the interface description, bindings/interface.json, which
quorent_reference writes from the interface table (ffi/src/interface.hpp and
ffi/src/reference.hpp): every operation, argument, record field and result
with its type, documentation, errors and secret mark, the error type, the
contract version and every operation's checksum. A built library is used only
to check that it is the library the description describes:

  load(path) -> Interface     the description
  verify(interface, lib)      stops, naming every mismatch, unless the library's
                              UNIFFI_META_* blobs, checksum functions and contract
                              version agree with the description
  read_blobs(lib) -> Blobs    the library's blobs, parsed

Types are "u8", "u64", "bool", "str", "bytes", "opt:<type>" and
"record:<Name>". Functions are sorted by name.
"""

from __future__ import annotations

import ctypes
import enum
import json
import os
import struct
from dataclasses import dataclass
from typing import Optional

META_PREFIX = "UNIFFI_META_"
CHECKSUM_PREFIX = "uniffi_quorent_sdk_uniffi_checksum_func_"
CONTRACT_VERSION_FN = "ffi_quorent_sdk_uniffi_uniffi_contract_version"
DESCRIPTION = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "interface.json")


# ---- the model ---------------------------------------------------------------------

@dataclass(frozen=True)
class Value:
    """An argument, a record field or a result (whose name is "")."""
    name: str
    type: str
    doc: str = ""
    secret: bool = False


@dataclass(frozen=True)
class Function:
    name: str
    args: tuple
    result: Value
    error: Optional[str]
    doc: str
    checksum: int
    errors: tuple = ()

    @property
    def ret(self):
        return self.result.type


@dataclass(frozen=True)
class Record:
    name: str
    fields: tuple
    doc: str


@dataclass(frozen=True)
class Error:
    name: str
    variants: tuple  # (name, doc)
    doc: str


@dataclass(frozen=True)
class Interface:
    namespace: str
    contract_version: int
    functions: tuple
    records: tuple
    errors: tuple

    def record(self, name):
        for r in self.records:
            if r.name == name:
                return r
        raise SystemExit(f"interface description: no record {name}")

    def type_carries_secret(self, t):
        """Whether a value of type t holds a secret field."""
        while t.startswith("opt:"):
            t = t[4:]
        return t.startswith("record:") and any(self.carries_secret(f) for f in self.record(t[7:]).fields)

    def carries_secret(self, value):
        """Whether a value is secret or holds a secret field."""
        return value.secret or self.type_carries_secret(value.type)


def _value(d, where, name=None):
    try:
        return Value(d["name"] if name is None else name, d["type"], d["doc"], d["secret"])
    except (KeyError, TypeError) as e:
        raise SystemExit(f"interface description: {where}: malformed ({e!r})") from None


def from_json(data):
    """The model of a parsed description."""
    try:
        functions = tuple(sorted((Function(
            name=f["name"], args=tuple(_value(a, f["name"]) for a in f["args"]),
            result=_value(f["result"], f["name"], ""), error=f["error"], doc=f["doc"],
            checksum=f["checksum"], errors=tuple(f["errors"])) for f in data["operations"]), key=lambda f: f.name))
        records = tuple(Record(r["name"], tuple(_value(x, r["name"]) for x in r["fields"]), r["doc"])
                        for r in data["records"])
        errors = tuple(Error(e["name"], tuple((v["name"], v["doc"]) for v in e["variants"]), e["doc"])
                       for e in data["errors"])
        iface = Interface(data["namespace"], data["contract_version"], functions, records, errors)
    except (KeyError, TypeError) as e:
        raise SystemExit(f"interface description: malformed ({e!r})") from None
    known = {e.name for e in errors}
    for f in functions:
        if f.error is not None and f.error not in known:
            raise SystemExit(f"interface description: {f.name}: unknown error type {f.error}")
    return iface


def load(path=DESCRIPTION):
    try:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
    except (OSError, ValueError) as e:
        raise SystemExit(f"{path}: cannot be read as the interface description: {e}") from None
    return from_json(data)


# ---- the blobs' codes ----------------------------------------------------------------
# Named once for the generator; the library names the same codes in its own
# table (ffi/src/interface.hpp), and every blob read below is checked against
# these: a code that is not here stops the generator, naming the blob.

class Kind(enum.IntEnum):
    """What a blob describes: its first byte."""
    FUNCTION = 0
    RECORD = 2
    ERROR = 3
    NAMESPACE = 6


class Code(enum.IntEnum):
    """A type."""
    U8 = 0
    U64 = 3
    BOOL = 10
    STR = 11
    OPTIONAL = 12  # then the inner type
    RECORD = 13  # then the module and the record's name
    ERROR = 14  # then the module and the error's name
    SEQUENCE = 17  # then the element type
    RESULT = 23  # then the value type and the error type


SIMPLE_TYPES = {Code.U8: "u8", Code.U64: "u64", Code.BOOL: "bool", Code.STR: "str"}


# ---- the library's dynamic symbols ---------------------------------------------

def meta_symbols(path):
    """(name, size) of every UNIFFI_META_* symbol defined in the ELF64 file."""
    return [(name, size) for name, size in dynamic_symbols(path, META_PREFIX) if size > 0]


def dynamic_symbols(path, prefix):
    """(name, size) of every dynamic symbol defined in the ELF64 file whose name starts with prefix."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"\x7fELF" or data[4] != 2 or data[5] != 1:
        raise SystemExit(f"{path}: not a little-endian ELF64 file")
    e_shoff, = struct.unpack_from("<Q", data, 0x28)
    e_shentsize, e_shnum = struct.unpack_from("<HH", data, 0x3A)
    sections = []
    for i in range(e_shnum):
        sh = struct.unpack_from("<IIQQQQIIQQ", data, e_shoff + i * e_shentsize)
        sections.append(sh)
    out = []
    for sh_name, sh_type, _flags, _addr, sh_offset, sh_size, sh_link, _info, _align, sh_entsize in sections:
        if sh_type != 11:  # SHT_DYNSYM
            continue
        strtab = sections[sh_link]
        str_off = strtab[4]
        for j in range(sh_size // sh_entsize):
            st_name, _st_info, _st_other, st_shndx, _value, st_size = struct.unpack_from(
                "<IBBHQQ", data, sh_offset + j * sh_entsize)
            if st_shndx == 0:
                continue  # undefined
            end = data.index(b"\0", str_off + st_name)
            name = data[str_off + st_name:end].decode()
            if name.startswith(prefix):
                out.append((name, st_size))
    return sorted(out)


# ---- blob parsing ------------------------------------------------------------------

class Blob:
    def __init__(self, name, data):
        self.name, self.data, self.pos = name, data, 0

    def byte(self):
        if self.pos >= len(self.data):
            raise SystemExit(f"{self.name}: blob ends early")
        b = self.data[self.pos]
        self.pos += 1
        return b

    def short_string(self):
        n = self.byte()
        s = self.data[self.pos:self.pos + n]
        if len(s) != n:
            raise SystemExit(f"{self.name}: blob ends early")
        self.pos += n
        return s.decode()

    def long_string(self):
        n = self.byte() | (self.byte() << 8)
        s = self.data[self.pos:self.pos + n]
        if len(s) != n:
            raise SystemExit(f"{self.name}: blob ends early")
        self.pos += n
        return s.decode()

    def type(self):
        code = self.byte()
        if code in SIMPLE_TYPES:
            return SIMPLE_TYPES[code]
        if code == Code.OPTIONAL:
            return "opt:" + self.type()
        if code == Code.RECORD:
            self.short_string()
            return "record:" + self.short_string()
        if code == Code.ERROR:
            self.short_string()
            return "error:" + self.short_string()
        if code == Code.SEQUENCE:
            inner = self.type()
            if inner != "u8":
                raise SystemExit(f"{self.name}: sequences of {inner} are not supported")
            return "bytes"
        raise SystemExit(f"{self.name}: unknown type code {code}")

    def done(self):
        if self.pos != len(self.data):
            raise SystemExit(f"{self.name}: {len(self.data) - self.pos} bytes left after parsing")


def checksum(data):
    h = 0xCBF29CE484222325
    for b in data:
        h = ((h ^ b) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return (h ^ (h >> 16) ^ (h >> 32) ^ (h >> 48)) & 0xFFFF


@dataclass
class Blobs:
    """What a library's blobs say: namespace, and per name the parsed
    function (with the checksum of its blob), record and error."""
    namespace: Optional[str]
    functions: dict
    records: dict
    errors: dict


def read_blobs(lib_path, lib=None):
    lib = lib or ctypes.CDLL(os.path.abspath(lib_path))
    out = Blobs(None, {}, {}, {})
    for sym, size in meta_symbols(lib_path):
        data = bytes((ctypes.c_uint8 * size).in_dll(lib, sym))
        b = Blob(sym, data)
        kind = b.byte()
        module = b.short_string()
        if kind == Kind.FUNCTION:
            name = b.short_string()
            if b.byte() != 0:
                raise SystemExit(f"{sym}: asynchronous operations are not supported")
            args = []
            for _ in range(b.byte()):
                arg_name, arg_type = b.short_string(), b.type()
                if b.byte() != 0:
                    raise SystemExit(f"{sym}: default values are not supported")
                args.append((arg_name, arg_type))
            error = None
            if b.data[b.pos] == Code.RESULT:
                b.byte()
                ret = b.type()
                error = b.type().split(":", 1)[1]
            else:
                ret = b.type()
            out.functions[name] = dict(args=args, ret=ret, error=error, doc=b.long_string(), checksum=checksum(data))
        elif kind == Kind.RECORD:
            name = b.short_string()
            fields = []
            for _ in range(b.byte()):
                field_name, field_type = b.short_string(), b.type()
                b.byte()
                fields.append((field_name, field_type, b.long_string()))
            out.records[name] = dict(fields=fields, doc=b.long_string())
        elif kind == Kind.ERROR:
            name = b.short_string()
            if b.byte() != 2:
                raise SystemExit(f"{sym}: only errors whose variants carry a message are supported")
            b.byte()
            variants = [(b.short_string(), b.long_string()) for _ in range(b.byte())]
            b.byte()
            out.errors[name] = dict(variants=variants, doc=b.long_string())
        elif kind == Kind.NAMESPACE:
            out.namespace = b.short_string()
        else:
            raise SystemExit(f"{sym}: unknown blob kind {kind}")
        b.done()
        if module != "quorent_sdk_uniffi":
            raise SystemExit(f"{sym}: unexpected module {module}")
    if out.namespace is None:
        raise SystemExit(f"{lib_path}: no namespace blob found")
    return out


# ---- the description against a library -------------------------------------------------

def _differ(out, where, what, described, found):
    if described != found:
        out.append(f"{where}: {what} is {described!r} in the description, {found!r} in the library")


def mismatches(iface, blobs, version, exported):
    """Every way the description differs from a library whose blobs, contract
    version and exported checksums (name -> value, None when the function is
    missing) are given."""
    out = []
    _differ(out, "namespace", "the name", iface.namespace, blobs.namespace)
    _differ(out, "contract version", "the number", iface.contract_version, version)
    described = {f.name: f for f in iface.functions}
    for name in sorted(set(described) | set(blobs.functions)):
        f, b = described.get(name), blobs.functions.get(name)
        if f is None or b is None:
            out.append(f"operation {name}: only in the {'library' if f is None else 'description'}")
            continue
        _differ(out, name, "the argument list", [(a.name, a.type) for a in f.args], b["args"])
        _differ(out, name, "the result type", f.ret, b["ret"])
        _differ(out, name, "the error type", f.error, b["error"])
        _differ(out, name, "the documentation", f.doc, b["doc"])
        _differ(out, name, "the checksum of its blob", f.checksum, b["checksum"])
        _differ(out, name, f"the checksum {CHECKSUM_PREFIX}{name}() returns", f.checksum, exported.get(name))
    records = {r.name: r for r in iface.records}
    for name in sorted(set(records) | set(blobs.records)):
        r, b = records.get(name), blobs.records.get(name)
        if r is None or b is None:
            out.append(f"record {name}: only in the {'library' if r is None else 'description'}")
            continue
        _differ(out, f"record {name}", "the field list", [(x.name, x.type, x.doc) for x in r.fields], b["fields"])
        _differ(out, f"record {name}", "the documentation", r.doc, b["doc"])
    errors = {e.name: e for e in iface.errors}
    for name in sorted(set(errors) | set(blobs.errors)):
        e, b = errors.get(name), blobs.errors.get(name)
        if e is None or b is None:
            out.append(f"error {name}: only in the {'library' if e is None else 'description'}")
            continue
        _differ(out, f"error {name}", "the variants", list(e.variants), b["variants"])
        _differ(out, f"error {name}", "the documentation", e.doc, b["doc"])
    return out


def verify(iface, lib_path, description=DESCRIPTION):
    """Stops, naming every mismatch, unless the library at lib_path is the one
    the description describes."""
    lib = ctypes.CDLL(os.path.abspath(lib_path))
    blobs = read_blobs(lib_path, lib)
    try:
        version_fn = getattr(lib, CONTRACT_VERSION_FN)
    except AttributeError:
        raise SystemExit(f"{lib_path}: no {CONTRACT_VERSION_FN}") from None
    version_fn.argtypes, version_fn.restype = [], ctypes.c_uint32
    exported = {}
    for f in iface.functions:
        try:
            fn = getattr(lib, CHECKSUM_PREFIX + f.name)
        except AttributeError:
            continue
        fn.argtypes, fn.restype = [], ctypes.c_uint16
        exported[f.name] = fn()
    found = mismatches(iface, blobs, version_fn(), exported)
    if found:
        raise SystemExit(f"{os.path.relpath(description)} does not describe {lib_path}:\n  " + "\n  ".join(found) +
                         "\nquorent_reference writes the description from the interface table; rebuild the library "
                         "and run it (build/quorent_reference), then generate again")


def doc_block(lines, indent=""):
    """A /** ... */ comment of the given lines (already escaped for the
    target language), on one line when there is only one."""
    if not lines:
        return ""
    if len(lines) == 1:
        return f"{indent}/** {lines[0]} */\n"
    body = "".join(f"{indent} *{' ' + ln if ln else ''}\n" for ln in lines)
    return f"{indent}/**\n{body}{indent} */\n"
