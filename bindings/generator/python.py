"""Python emitter: renders the interface model (generator/model.py) as
bindings/python/quorent_sdk/_generated.py.

The module holds the public surface (records as dataclasses, the error type
with one subclass per variant, one function per operation) and, per record
and per compound type, a reader and a writer specialised to its fields, so
that a call does no per-value interpretation: each operation's function
checks its arguments, lowers them, calls the library through ctypes and
lifts the result inline. The hand-written _runtime.py loads the library,
checks it and holds the slow paths (argument errors, status errors).

Secrets, as the description marks them: a record's secret fields read
<redacted> in its repr (and so str); an operation that takes or returns a
secret checks its arguments first, then makes its copies (the encoded
arguments, the received result) inside a try whose finally wipes them, so
that no path, an error's included, leaves one behind. A secret field is read
from the received bytes without an intermediate copy.

outputs(model, version) -> {path relative to the repository root: text}
"""

OUTPUT = "bindings/python/quorent_sdk/_generated.py"
FN_PREFIX = "uniffi_quorent_sdk_uniffi_fn_func_"

PY_TYPES = {"u8": "int", "u64": "int", "bool": "bool", "str": "str", "bytes": "bytes"}
DIRECT = {"u8": "_c_uint8", "u64": "_c_uint64", "bool": "_c_int8"}


def py_type(t):
    if t.startswith("opt:"):
        return f"Optional[{py_type(t[4:])}]"
    if t.startswith("record:"):
        return f'"{t[7:]}"'
    return PY_TYPES[t]


def docstring(text, indent):
    text = text.replace("\\", "\\\\").replace('"""', '\\"\\"\\"')
    return f'{indent}"""{text}"""\n' if text else ""


def ident(t):
    """A Python identifier naming a type's reader and writer."""
    return t.replace("record:", "").replace(":", "_")


SCALARS = ("u8", "u64", "bool")


# ---- readers: bytes d, position p ------------------------------------------------------

def read_code(t, var, ind, secret=False):
    """Lines that read one value of type t at d[p:] into var, advancing p; a
    secret text is decoded from the received bytes in place, not from a copy."""
    if t in ("u8", "bool"):
        lines = [f"{ind}{var} = d[p]", f"{ind}p += 1"]
        if t == "bool":
            lines += [f"{ind}if {var} > 1:", f"{ind}    raise _rt.InternalError(\"unexpected byte for Boolean\")",
                      f"{ind}{var} = {var} == 1"]
        return lines
    if t == "u64":
        return [f"{ind}{var} = _U64(d, p)[0]", f"{ind}p += 8"]
    if t in ("str", "bytes"):
        value = "d[p:p + n]" if t == "bytes" else "str(memoryview(d)[p:p + n], \"utf-8\")" if secret else \
            "d[p:p + n].decode()"
        return [f"{ind}n = _I32(d, p)[0]", f"{ind}p += 4",
                f"{ind}if n < 0 or p + n > len(d):", f"{ind}    raise _rt.short_result()",
                f"{ind}{var} = {value}", f"{ind}p += n"]
    if t.startswith("opt:"):
        return ([f"{ind}tag = d[p]", f"{ind}p += 1", f"{ind}if tag == 0:", f"{ind}    {var} = None",
                 f"{ind}elif tag == 1:"] + read_code(t[4:], var, ind + "    ", secret) +
                [f"{ind}else:", f"{ind}    raise _rt.InternalError(\"unexpected tag byte for Option\")"])
    if t.startswith("record:"):
        return [f"{ind}{var}, p = _read_{ident(t)}(d, p)"]
    raise SystemExit(f"python emitter: cannot read {t}")


def write_code(t, var, label, ind, fresh=False):
    """Lines that check one value of type t and append its nested form to the
    list out; label is the argument's path for error messages. With fresh,
    every part appended is the binding's own (bytes are copied), so that all
    of them can be wiped."""
    if t == "u8":
        return [f"{ind}if type({var}) is not int or not 0 <= {var} <= 255:",
                f"{ind}    {var} = _rt.check_u8({label}, {var})", f"{ind}out.append(_B1({var}))"]
    if t == "u64":
        return [f"{ind}if type({var}) is not int or not 0 <= {var} <= 0xFFFFFFFFFFFFFFFF:",
                f"{ind}    {var} = _rt.check_u64({label}, {var})", f"{ind}out.append(_U64P({var}))"]
    if t == "bool":
        return [f"{ind}if type({var}) is not bool:", f"{ind}    _rt.check_bool({label}, {var})",
                f"{ind}out.append(b\"\\x01\" if {var} else b\"\\x00\")"]
    if t == "str":
        return [f"{ind}if type({var}) is not str:", f"{ind}    _rt.check_str({label}, {var})",
                f"{ind}b = _encode({var})", f"{ind}if len(b) > _MAX:", f"{ind}    _rt.too_long({label})",
                f"{ind}out.append(_I32P(len(b)))", f"{ind}out.append(b)"]
    if t == "bytes":
        check = "_rt.copy_bytes" if fresh else "_rt.check_bytes"
        return [f"{ind}b = {check}({label}, {var})", f"{ind}if len(b) > _MAX:",
                f"{ind}    _rt.too_long({label})", f"{ind}out.append(_I32P(len(b)))", f"{ind}out.append(b)"]
    if t.startswith("opt:"):
        return ([f"{ind}if {var} is None:", f"{ind}    out.append(b\"\\x00\")", f"{ind}else:",
                 f"{ind}    out.append(b\"\\x01\")"] + write_code(t[4:], var, label, ind + "    ", fresh))
    if t.startswith("record:"):
        return [f"{ind}_write_{ident(t)}(out, {var}, {label})"]
    raise SystemExit(f"python emitter: cannot write {t}")


def compound_types(iface):
    """Every type that needs a reader or writer function of its own."""
    out = {"record:" + r.name for r in iface.records}
    for f in iface.functions:
        for t in [a.type for a in f.args] + [f.ret]:
            if t not in SCALARS + ("str",):
                out.add(t)
    return sorted(out)


def render_reader(t, iface, w):
    w(f"\n\ndef _read_{ident(t)}(d, p):\n")
    if t.startswith("record:"):
        r = iface.record(t[7:])
        for x in r.fields:
            w("".join(line + "\n" for line in read_code(x.type, "f_" + x.name, "    ", x.secret)))
        args = ", ".join("f_" + x.name for x in r.fields)
        w(f"    return {r.name}({args}), p\n")
    else:
        w("".join(line + "\n" for line in read_code(t, "v", "    ")))
        w("    return v, p\n")


def render_writer(t, iface, w):
    w(f"\n\ndef _write_{ident(t)}(out, v, label):\n")
    if t.startswith("record:"):
        r = iface.record(t[7:])
        fresh = iface.type_carries_secret(t)
        w(f"    if not isinstance(v, {r.name}):\n")
        w(f"        raise TypeError(f\"{{label}} must be a {r.name}\")\n")
        for x in r.fields:
            w(f"    x = v.{x.name}\n")
            w("".join(line + "\n" for line in write_code(x.type, "x", f"label + \".{x.name}\"", "    ", fresh)))
    else:
        w("".join(line + "\n" for line in write_code(t, "v", "label", "    ")))


def render_record(r, w):
    redacted = [x.name for x in r.fields if x.secret]
    w("\n@dataclass(repr=False)\n" if redacted else "\n@dataclass\n")
    w(f"class {r.name}:\n")
    w(docstring(r.doc, "    "))
    for x in r.fields:
        w(f"    {x.name}: {py_type(x.type)}\n")
        if x.doc:
            w(docstring(x.doc, "    "))
    if redacted:
        parts = ", ".join(f"{x.name}=<redacted>" if x.secret else f"{x.name}={{self.{x.name}!r}}"
                          for x in r.fields)
        w("\n    def __repr__(self):\n")
        w(f"        return f\"{r.name}({parts})\"\n")
    w("\n")


def render_error(e, w):
    e = dict(name=e.name, variants=e.variants, doc=e.doc)
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


# Names the generated functions use for themselves.
RESERVED = {"st", "out", "r", "b", "d", "fn", "g"}


def render_function(f, iface, w):
    name, args, ret = f.name, f.args, f.ret
    for a in args:
        n = a.name
        if n in RESERVED or n.startswith("_") or (n[0] in "abo" and n[1:].isdigit()):
            raise SystemExit(f"python emitter: argument {n} of {name} clashes with a generated name")
    params = ", ".join(f"{a.name}: {py_type(a.type)}" for a in args)
    w(f"\ndef {name}({params}) -> {py_type(ret)}:\n")
    doc = f.doc + (f"\n\n    Raises {f.error}." if f.error else "")
    w(docstring(doc, "    "))
    # The argument copies to wipe, and whether the received result is one.
    wiped = [i for i, a in enumerate(args) if a.type not in SCALARS and iface.carries_secret(a)]
    secret_result = ret not in SCALARS and iface.carries_secret(f.result)
    guarded = bool(wiped) or secret_result
    lowered = []
    buffers = []
    ind = "    "

    def check_scalar(n, t):
        if t == "u64":
            w(f"{ind}if type({n}) is not int or not 0 <= {n} <= 0xFFFFFFFFFFFFFFFF:\n")
            w(f"{ind}    {n} = _rt.check_u64(\"{n}\", {n})\n")
            lowered.append(n)
        elif t == "u8":
            w(f"{ind}if type({n}) is not int or not 0 <= {n} <= 255:\n")
            w(f"{ind}    {n} = _rt.check_u8(\"{n}\", {n})\n")
            lowered.append(n)
        else:
            w(f"{ind}if type({n}) is not bool:\n")
            w(f"{ind}    _rt.check_bool(\"{n}\", {n})\n")
            lowered.append(f"1 if {n} else 0")

    def encode(i, n, t):
        if t == "str":
            if not guarded:
                w(f"{ind}if type({n}) is not str:\n")
                w(f"{ind}    _rt.check_str(\"{n}\", {n})\n")
            w(f"{ind}b{i} = _encode({n})\n")
        elif i in wiped:
            # Every part is the binding's own copy, wiped with the whole.
            w(f"{ind}o{i} = out = []\n")
            w("".join(line + "\n" for line in write_code(t, n, f"\"{n}\"", ind, fresh=True)))
            w(f"{ind}b{i} = b\"\".join(out)\n")
        else:
            w(f"{ind}out = []\n")
            w(f"{ind}_write_{ident(t)}(out, {n}, \"{n}\")\n")
            w(f"{ind}b{i} = b\"\".join(out)\n")
        w(f"{ind}if len(b{i}) > _MAX:\n")
        w(f"{ind}    _rt.too_long(\"{n}\")\n")
        lowered.append(f"a{i}")
        buffers.append(i)

    if guarded:
        # Every check that makes no copy comes first; the copies are made
        # inside the try whose finally wipes them.
        for a in args:
            if a.type in SCALARS:
                check_scalar(a.name, a.type)
            elif a.type == "str":
                w(f"{ind}if type({a.name}) is not str:\n")
                w(f"{ind}    _rt.check_str(\"{a.name}\", {a.name})\n")
        lowered.clear()
        slots = [f"b{i}" for i in wiped] + (["d"] if secret_result else [])
        w(f"{ind}{' = '.join(slots)} = b\"\"\n")
        for i in wiped:
            if args[i].type != "str":
                w(f"{ind}o{i} = ()\n")
        w(f"{ind}try:\n")
        ind = "        "
    for i, a in enumerate(args):
        if a.type in SCALARS:
            if guarded:
                lowered.append(a.name if a.type != "bool" else f"1 if {a.name} else 0")
            else:
                check_scalar(a.name, a.type)
        else:
            encode(i, a.name, a.type)
    w(f"{ind}st = _Status()\n")
    made = []
    for i in buffers:
        w(f"{ind}a{i} = _from_bytes(_ForeignBytes(len(b{i}), b{i}), st)\n")
        w(f"{ind}if st.code:\n")
        w(f"{ind}    _rt.buffer_failed(st{''.join(', ' + m for m in made)})\n")
        made.append(f"a{i}")
    call = f"_fn_{name}({', '.join(lowered + ['st'])})"
    error = f"{f.error.upper()}_VARIANTS" if f.error else "None"
    w(f"{ind}r = {call}\n")
    w(f"{ind}if st.code:\n")
    w(f"{ind}    _rt.raise_status(st, {error})\n")
    if ret in ("u64", "u8"):
        w(f"{ind}return r\n")
    elif ret == "bool":
        w(f"{ind}if r == 0 or r == 1:\n")
        w(f"{ind}    return r == 1\n")
        w(f"{ind}raise _rt.InternalError(\"unexpected byte for Boolean\")\n")
    elif secret_result:
        w(f"{ind}d = _rt.take(r, st)\n")
        w(f"{ind}return _rt.text(d)\n" if ret == "str" else f"{ind}return _rt.lift(d, _read_{ident(ret)})\n")
    elif ret == "str":
        w(f"{ind}return _rt.take_str(r, st)\n")
    else:
        w(f"{ind}return _rt.lift(_rt.take(r, st), _read_{ident(ret)})\n")
    if guarded:
        w("    finally:\n")
        for i in wiped:
            if args[i].type != "str":
                w(f"        _rt.wipe_all(o{i})\n")
            w(f"        _rt.wipe(b{i})\n")
        if secret_result:
            w("        _rt.wipe(d)\n")
    w("\n")


def render(iface, version):
    namespace, functions, records, errors = iface.namespace, iface.functions, iface.records, iface.errors
    out = []
    w = out.append
    w("# Generated by bindings/generate.py from the interface description\n")
    w(f"# (bindings/interface.json) of the library's namespace {namespace}.\n")
    w("# Do not edit; run the generator again.\n")
    w("# flake8: noqa\n\n")
    w("from dataclasses import dataclass\n")
    w("from typing import Optional\n\n")
    w("from . import _runtime as _rt\n\n")
    w(f"__version__ = \"{version}\"\n")
    w(f"CONTRACT_VERSION = {iface.contract_version}\n\n")
    w("# Checksum of every operation, computed from its description blob.\n")
    w("CHECKSUMS = {\n")
    for f in functions:
        w(f'    "{f.name}": {f.checksum},\n')
    w("}\n\n")
    w("_MAX = _rt.MAX_LEN\n")
    w("_I32, _U64 = _rt.I32.unpack_from, _rt.U64.unpack_from\n")
    w("_I32P, _U64P, _B1 = _rt.I32.pack, _rt.U64.pack, _rt.B1.pack\n")
    w("_Status, _ForeignBytes, _encode = _rt.RustCallStatus, _rt.ForeignBytes, str.encode\n")
    w("_c_uint8, _c_uint64, _c_int8 = _rt.ctypes.c_uint8, _rt.ctypes.c_uint64, _rt.ctypes.c_int8\n\n")
    for r in records:
        render_record(r, w)
    w("\n# Fields of every record with their types.\n")
    w("RECORDS = {\n")
    for r in records:
        fields = ", ".join(f'("{x.name}", "{x.type}")' for x in r.fields)
        w(f'    "{r.name}": ({r.name}, [{fields}]),\n')
    w("}\n\n")
    for e in errors:
        render_error(e, w)
    w("\n# Arguments with their types, result type and error type of every operation.\n")
    w("FUNCTIONS = {\n")
    for f in functions:
        args = ", ".join(f'("{a.name}", "{a.type}")' for a in f.args)
        error = f'"{f.error}"' if f.error else "None"
        w(f'    "{f.name}": ([{args}], "{f.ret}", {error}),\n')
    w("}\n\n")
    w("\n# ---- readers and writers of the nested forms --------------------------------\n")
    for t in compound_types(iface):
        render_reader(t, iface, w)
        render_writer(t, iface, w)
    w("\n\n# ---- operations ------------------------------------------------------------\n")
    w("\ndef _bind(lib):\n")
    w("    \"\"\"Declares every operation of the loaded library.\"\"\"\n")
    w("    g = globals()\n")
    w("    g[\"_from_bytes\"] = lib.ffi_quorent_sdk_uniffi_rustbuffer_from_bytes\n")
    w("    status = _rt.ctypes.POINTER(_Status)\n")
    w("    buffer = _rt.RustBuffer\n")
    for f in functions:
        ctypes_args = [DIRECT.get(a.type, "buffer") for a in f.args] + ["status"]
        w(f"    fn = lib.{FN_PREFIX}{f.name}\n")
        w(f"    fn.argtypes, fn.restype = [{', '.join(ctypes_args)}], {DIRECT.get(f.ret, 'buffer')}\n")
        w(f"    g[\"_fn_{f.name}\"] = fn\n")
    w("\n")
    for f in functions:
        render_function(f, iface, w)
    w("\n__all__ = [\n")
    names = [r.name for r in records] + [e.name for e in errors] + [f.name for f in functions]
    for n in names:
        w(f'    "{n}",\n')
    w("]\n")
    return "".join(out)


def outputs(model, version="0.0.0"):
    return {OUTPUT: render(model, version)}
