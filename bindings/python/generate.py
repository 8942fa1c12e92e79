#!/usr/bin/env python3
"""Generates quorent_sdk/_generated.py from the interface-description blobs
of a built libquorent_sdk_uniffi.

The blobs are found through the library's dynamic symbol table (every
UNIFFI_META_* symbol), read from the loaded library with ctypes, parsed, and
turned into the binding's declarations: records as dataclasses, the error
type with its variants, one wrapper per operation, and the checksum of every
operation as computed from its blob now, which the binding compares with the
library's checksum functions when it loads.

    generate.py --lib build/libquorent_sdk_uniffi.so          # (re)write the module
    generate.py --lib build/libquorent_sdk_uniffi.so --check  # fail if it is stale
"""

import argparse
import ctypes
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "quorent_sdk", "_generated.py")
META_PREFIX = "UNIFFI_META_"


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
        simple = {0: "u8", 3: "u64", 10: "bool", 11: "str"}
        if code in simple:
            return simple[code]
        if code == 12:
            return "opt:" + self.type()
        if code == 13:
            self.short_string()
            return "record:" + self.short_string()
        if code == 14:
            self.short_string()
            return "error:" + self.short_string()
        if code == 17:
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
        if kind == 0:
            name = b.short_string()
            if b.byte() != 0:
                raise SystemExit(f"{sym}: asynchronous operations are not supported")
            args = []
            for _ in range(b.byte()):
                arg_name, arg_type = b.short_string(), b.type()
                if b.byte() != 0:
                    raise SystemExit(f"{sym}: default values are not supported")
                args.append((arg_name, arg_type))
            ret = b.type() if b.data[b.pos] != 23 else None
            error = None
            if ret is None:
                b.byte()
                ret = b.type()
                error = b.type().split(":", 1)[1]
            doc = b.long_string()
            functions.append(dict(name=name, args=args, ret=ret, error=error, doc=doc, checksum=checksum(data)))
        elif kind == 2:
            name = b.short_string()
            fields = []
            for _ in range(b.byte()):
                field_name, field_type = b.short_string(), b.type()
                b.byte()
                fields.append((field_name, field_type, b.long_string()))
            records.append(dict(name=name, fields=fields, doc=b.long_string()))
        elif kind == 3:
            name = b.short_string()
            if b.byte() != 2:
                raise SystemExit(f"{sym}: only errors whose variants carry a message are supported")
            b.byte()
            variants = []
            for _ in range(b.byte()):
                variants.append((b.short_string(), b.long_string()))
            b.byte()
            errors.append(dict(name=name, variants=variants, doc=b.long_string()))
        elif kind == 6:
            namespace = b.short_string()
        else:
            raise SystemExit(f"{sym}: unknown blob kind {kind}")
        b.done()
        if module != "quorent_sdk_uniffi":
            raise SystemExit(f"{sym}: unexpected module {module}")
    if namespace is None:
        raise SystemExit("no namespace blob found")
    return namespace, sorted(functions, key=lambda f: f["name"]), records, errors


# ---- code ------------------------------------------------------------------------------

PY_TYPES = {"u8": "int", "u64": "int", "bool": "bool", "str": "str", "bytes": "bytes"}


def py_type(t):
    if t.startswith("opt:"):
        return f"Optional[{py_type(t[4:])}]"
    if t.startswith("record:"):
        return f'"{t[7:]}"'
    return PY_TYPES[t]


def docstring(text, indent):
    text = text.replace("\\", "\\\\").replace('"""', '\\"\\"\\"')
    return f'{indent}"""{text}"""\n' if text else ""


def render(namespace, functions, records, errors):
    out = []
    w = out.append
    w("# Generated by bindings/python/generate.py from the interface description of\n")
    w(f"# the library's namespace {namespace}. Do not edit; run the generator again.\n")
    w("# flake8: noqa\n\n")
    w("from dataclasses import dataclass\n")
    w("from typing import Optional\n\n")
    w("from . import _runtime\n\n")
    w("CONTRACT_VERSION = 30\n\n")
    w("# Checksum of every operation, computed from its description blob.\n")
    w("CHECKSUMS = {\n")
    for f in functions:
        w(f'    "{f["name"]}": {f["checksum"]},\n')
    w("}\n\n")
    for r in records:
        w("\n@dataclass\n")
        w(f"class {r['name']}:\n")
        w(docstring(r["doc"], "    "))
        for name, t, doc in r["fields"]:
            w(f"    {name}: {py_type(t)}\n")
            if doc:
                w(docstring(doc, "    "))
        w("\n")
    w("\nRECORDS = {\n")
    for r in records:
        fields = ", ".join(f'("{n}", "{t}")' for n, t, _ in r["fields"])
        w(f'    "{r["name"]}": ({r["name"]}, [{fields}]),\n')
    w("}\n\n")
    for e in errors:
        w(f"\nclass {e['name']}(Exception):\n")
        w(docstring(e["doc"], "    "))
        w("    def __init__(self, message):\n")
        w("        super().__init__(message)\n")
        w("        self.message = message\n\n")
        w("    def __repr__(self):\n")
        w("        return f\"{type(self).__qualname__}({self.message!r})\"\n\n")
        for variant, doc in e["variants"]:
            w(f"\nclass _{e['name']}_{variant}({e['name']}):\n")
            w(docstring(doc, "    ") or "    pass\n")
            w(f"\n_{e['name']}_{variant}.__name__ = \"{variant}\"\n")
            w(f"_{e['name']}_{variant}.__qualname__ = \"{e['name']}.{variant}\"\n")
            w(f"{e['name']}.{variant} = _{e['name']}_{variant}\n")
        variants = ", ".join(f"_{e['name']}_{v}" for v, _ in e["variants"])
        w("\n# Variant classes by wire number (counting from 1).\n")
        w(f"{e['name'].upper()}_VARIANTS = ({variants},)\n\n")
    w("\nFUNCTIONS = {\n")
    for f in functions:
        args = ", ".join(f'("{n}", "{t}")' for n, t in f["args"])
        error = f'"{f["error"]}"' if f["error"] else "None"
        w(f'    "{f["name"]}": ([{args}], "{f["ret"]}", {error}),\n')
    w("}\n\n")
    for f in functions:
        params = ", ".join(f"{n}: {py_type(t)}" for n, t in f["args"])
        names = "".join(f", {n}" for n, _ in f["args"])
        w(f"\ndef {f['name']}({params}) -> {py_type(f['ret'])}:\n")
        doc = f["doc"] + (f"\n\n    Raises {f['error']}." if f["error"] else "")
        w(docstring(doc, "    "))
        w(f'    return _runtime.call("{f["name"]}"{names})\n\n')
    w("\n__all__ = [\n")
    names = [r["name"] for r in records] + [e["name"] for e in errors] + [f["name"] for f in functions]
    for n in names:
        w(f'    "{n}",\n')
    w("]\n")
    return "".join(out)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--lib", required=True, help="path of the built libquorent_sdk_uniffi.so")
    p.add_argument("--check", action="store_true", help="fail if the committed module differs")
    p.add_argument("--output", default=OUTPUT)
    a = p.parse_args()
    text = render(*read_interface(a.lib))
    if a.check:
        try:
            with open(a.output, encoding="utf-8") as f:
                current = f.read()
        except FileNotFoundError:
            current = None
        if current != text:
            sys.exit(f"{a.output} is out of date with {a.lib}; run bindings/python/generate.py --lib {a.lib}")
        return
    with open(a.output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
