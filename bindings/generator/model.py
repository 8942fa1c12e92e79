"""Reads the interface description of a built libquorent_sdk_uniffi: every
UNIFFI_META_* blob in its dynamic symbol table, parsed into one model that
every language's emitter renders.

read_interface(path) returns (namespace, functions, records, errors):
  functions: [{name, args: [(name, type)], ret: type, error: name | None,
               doc, checksum}], sorted by name
  records:   [{name, fields: [(name, type, doc)], doc}]
  errors:    [{name, variants: [(name, doc)], doc}]
Types are "u8", "u64", "bool", "str", "bytes", "opt:<type>" and
"record:<Name>". Anything else stops with a message naming the blob.
"""

import ctypes
import enum
import os
import struct

META_PREFIX = "UNIFFI_META_"


# ---- the blobs' codes ------------------------------------------------------------
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
            if name.startswith(META_PREFIX) and st_size > 0:
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


def read_interface(lib_path):
    lib = ctypes.CDLL(os.path.abspath(lib_path))
    functions, records, errors, namespace = [], [], [], None
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
            ret = b.type() if b.data[b.pos] != Code.RESULT else None
            error = None
            if ret is None:
                b.byte()
                ret = b.type()
                error = b.type().split(":", 1)[1]
            doc = b.long_string()
            functions.append(dict(name=name, args=args, ret=ret, error=error, doc=doc, checksum=checksum(data)))
        elif kind == Kind.RECORD:
            name = b.short_string()
            fields = []
            for _ in range(b.byte()):
                field_name, field_type = b.short_string(), b.type()
                b.byte()
                fields.append((field_name, field_type, b.long_string()))
            records.append(dict(name=name, fields=fields, doc=b.long_string()))
        elif kind == Kind.ERROR:
            name = b.short_string()
            if b.byte() != 2:
                raise SystemExit(f"{sym}: only errors whose variants carry a message are supported")
            b.byte()
            variants = []
            for _ in range(b.byte()):
                variants.append((b.short_string(), b.long_string()))
            b.byte()
            errors.append(dict(name=name, variants=variants, doc=b.long_string()))
        elif kind == Kind.NAMESPACE:
            namespace = b.short_string()
        else:
            raise SystemExit(f"{sym}: unknown blob kind {kind}")
        b.done()
        if module != "quorent_sdk_uniffi":
            raise SystemExit(f"{sym}: unexpected module {module}")
    if namespace is None:
        raise SystemExit("no namespace blob found")
    return namespace, sorted(functions, key=lambda f: f["name"]), records, errors


def doc_block(lines, indent=""):
    """A /** ... */ comment of the given lines (already escaped for the
    target language), on one line when there is only one."""
    if not lines:
        return ""
    if len(lines) == 1:
        return f"{indent}/** {lines[0]} */\n"
    body = "".join(f"{indent} *{' ' + ln if ln else ''}\n" for ln in lines)
    return f"{indent}/**\n{body}{indent} */\n"
