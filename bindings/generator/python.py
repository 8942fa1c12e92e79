"""Python emitter: renders the interface model (generator/model.py) as
bindings/python/quorent_sdk/_generated.py.

The module holds the public surface (records as dataclasses, the error type
with one subclass per variant, one function per operation) and, per record
and per compound type, a reader and a writer specialised to its fields, so
that a call does no per-value interpretation: each operation's function
checks its arguments, lowers them, calls the library through ctypes and
lifts the result inline. The hand-written _runtime.py loads the library,
checks it and holds the slow paths (argument errors, status errors).

outputs(model, version) -> {path relative to the repository root: text}
"""

OUTPUT = "bindings/python/quorent_sdk/_generated.py"
CONTRACT_VERSION = 30
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


def secret(name):
    """Fields and arguments that carry a secret: redacted in repr, and the
    binding's own intermediate copies wiped once used."""
    return name.startswith(("secret", "root_seed"))


# ---- readers: bytes d, position p ------------------------------------------------------

def read_code(t, var, ind):
    """Lines that read one value of type t at d[p:] into var, advancing p."""
    if t in ("u8", "bool"):
        lines = [f"{ind}{var} = d[p]", f"{ind}p += 1"]
        if t == "bool":
            lines += [f"{ind}if {var} > 1:", f"{ind}    raise _rt.InternalError(\"unexpected byte for Boolean\")",
                      f"{ind}{var} = {var} == 1"]
        return lines
    if t == "u64":
        return [f"{ind}{var} = _U64(d, p)[0]", f"{ind}p += 8"]
    if t in ("str", "bytes"):
        value = "d[p:p + n].decode()" if t == "str" else "d[p:p + n]"
        return [f"{ind}n = _I32(d, p)[0]", f"{ind}p += 4",
                f"{ind}if n < 0 or p + n > len(d):", f"{ind}    raise _rt.short_result()",
                f"{ind}{var} = {value}", f"{ind}p += n"]
    if t.startswith("opt:"):
        return ([f"{ind}tag = d[p]", f"{ind}p += 1", f"{ind}if tag == 0:", f"{ind}    {var} = None",
                 f"{ind}elif tag == 1:"] + read_code(t[4:], var, ind + "    ") +
                [f"{ind}else:", f"{ind}    raise _rt.InternalError(\"unexpected tag byte for Option\")"])
    if t.startswith("record:"):
        return [f"{ind}{var}, p = _read_{ident(t)}(d, p)"]
    raise SystemExit(f"python emitter: cannot read {t}")


def write_code(t, var, label, ind):
    """Lines that check one value of type t and append its nested form to the
    list out; label is the argument's path for error messages."""
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
        return [f"{ind}b = _rt.check_bytes({label}, {var})", f"{ind}if len(b) > _MAX:",
                f"{ind}    _rt.too_long({label})", f"{ind}out.append(_I32P(len(b)))", f"{ind}out.append(b)"]
    if t.startswith("opt:"):
        return ([f"{ind}if {var} is None:", f"{ind}    out.append(b\"\\x00\")", f"{ind}else:",
                 f"{ind}    out.append(b\"\\x01\")"] + write_code(t[4:], var, label, ind + "    "))
    if t.startswith("record:"):
        return [f"{ind}_write_{ident(t)}(out, {var}, {label})"]
    raise SystemExit(f"python emitter: cannot write {t}")


def compound_types(functions, records):
    """Every type that needs a reader or writer function of its own."""
    out = {"record:" + r["name"] for r in records}
    for f in functions:
        for t in [t for _, t in f["args"]] + [f["ret"]]:
            if t not in ("u8", "u64", "bool", "str"):
                out.add(t)
    return sorted(out)


def render_reader(t, records_by_name, w):
    w(f"\n\ndef _read_{ident(t)}(d, p):\n")
    if t.startswith("record:"):
        r = records_by_name[t[7:]]
        for name, ft, _ in r["fields"]:
            w("".join(line + "\n" for line in read_code(ft, "f_" + name, "    ")))
        args = ", ".join("f_" + name for name, _, _ in r["fields"])
        w(f"    return {r['name']}({args}), p\n")
    else:
        w("".join(line + "\n" for line in read_code(t, "v", "    ")))
        w("    return v, p\n")


def render_writer(t, records_by_name, w):
    w(f"\n\ndef _write_{ident(t)}(out, v, label):\n")
    if t.startswith("record:"):
        r = records_by_name[t[7:]]
        w(f"    if not isinstance(v, {r['name']}):\n")
        w(f"        raise TypeError(f\"{{label}} must be a {r['name']}\")\n")
        for name, ft, _ in r["fields"]:
            w(f"    x = v.{name}\n")
            w("".join(line + "\n" for line in write_code(ft, "x", f"label + \".{name}\"", "    ")))
    else:
        w("".join(line + "\n" for line in write_code(t, "v", "label", "    ")))


def render_record(r, w):
    redacted = [name for name, _, _ in r["fields"] if secret(name)]
    w("\n@dataclass(repr=False)\n" if redacted else "\n@dataclass\n")
    w(f"class {r['name']}:\n")
    w(docstring(r["doc"], "    "))
    for name, t, doc in r["fields"]:
        w(f"    {name}: {py_type(t)}\n")
        if doc:
            w(docstring(doc, "    "))
    if redacted:
        parts = ", ".join(f"{name}=<redacted>" if secret(name) else f"{name}={{self.{name}!r}}"
                          for name, _, _ in r["fields"])
        w("\n    def __repr__(self):\n")
        w(f"        return f\"{r['name']}({parts})\"\n")
    w("\n")


def render_error(e, w):
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


def render_function(f, records_by_name, w):
    name, args, ret = f["name"], f["args"], f["ret"]
    for n, _ in args:
        if n in RESERVED or n.startswith("_") or (n[0] in "ab" and n[1:].isdigit()):
            raise SystemExit(f"python emitter: argument {n} of {name} clashes with a generated name")
    params = ", ".join(f"{n}: {py_type(t)}" for n, t in args)
    w(f"\ndef {name}({params}) -> {py_type(ret)}:\n")
    doc = f["doc"] + (f"\n\n    Raises {f['error']}." if f["error"] else "")
    w(docstring(doc, "    "))
    lowered = []
    buffers = []
    # Check and encode every argument before any buffer exists.
    for i, (n, t) in enumerate(args):
        if t == "u64":
            w(f"    if type({n}) is not int or not 0 <= {n} <= 0xFFFFFFFFFFFFFFFF:\n")
            w(f"        {n} = _rt.check_u64(\"{n}\", {n})\n")
            lowered.append(n)
        elif t == "u8":
            w(f"    if type({n}) is not int or not 0 <= {n} <= 255:\n")
            w(f"        {n} = _rt.check_u8(\"{n}\", {n})\n")
            lowered.append(n)
        elif t == "bool":
            w(f"    if type({n}) is not bool:\n")
            w(f"        _rt.check_bool(\"{n}\", {n})\n")
            lowered.append(f"1 if {n} else 0")
        else:
            if t == "str":
                w(f"    if type({n}) is not str:\n")
                w(f"        _rt.check_str(\"{n}\", {n})\n")
                w(f"    b{i} = _encode({n})\n")
            else:
                w("    out = []\n")
                w(f"    _write_{ident(t)}(out, {n}, \"{n}\")\n")
                w(f"    b{i} = b\"\".join(out)\n")
            w(f"    if len(b{i}) > _MAX:\n")
            w(f"        _rt.too_long(\"{n}\")\n")
            lowered.append(f"a{i}")
            buffers.append(i)
    w("    st = _Status()\n")
    made = []
    for i in buffers:
        w(f"    a{i} = _from_bytes(_ForeignBytes(len(b{i}), b{i}), st)\n")
        w("    if st.code:\n")
        w(f"        _rt.buffer_failed(st{''.join(', ' + m for m in made)})\n")
        made.append(f"a{i}")
    for i, (n, _) in enumerate(args):
        if secret(n) and i in buffers:
            w(f"    _rt.wipe(b{i})\n")
    call = f"_fn_{name}({', '.join(lowered + ['st'])})"
    error = f"{f['error'].upper()}_VARIANTS" if f["error"] else "None"
    if ret in ("u64", "u8"):
        w(f"    r = {call}\n")
        w("    if st.code:\n")
        w(f"        _rt.raise_status(st, {error})\n")
        w("    return r\n")
    elif ret == "bool":
        w(f"    r = {call}\n")
        w("    if st.code:\n")
        w(f"        _rt.raise_status(st, {error})\n")
        w("    if r == 0 or r == 1:\n")
        w("        return r == 1\n")
        w("    raise _rt.InternalError(\"unexpected byte for Boolean\")\n")
    else:
        w(f"    r = {call}\n")
        w("    if st.code:\n")
        w(f"        _rt.raise_status(st, {error})\n")
        if ret == "str":
            w("    return _rt.take_str(r, st)\n")
        elif ret.startswith("record:") and any(secret(n) for n, _, _ in records_by_name[ret[7:]]["fields"]):
            w("    d = _rt.take(r, st)\n")
            w("    try:\n")
            w(f"        return _rt.lift(d, _read_{ident(ret)})\n")
            w("    finally:\n")
            w("        _rt.wipe(d)\n")
        else:
            w(f"    return _rt.lift(_rt.take(r, st), _read_{ident(ret)})\n")
    w("\n")


def render(namespace, functions, records, errors, version):
    out = []
    w = out.append
    w("# Generated by bindings/generate.py from the interface description of\n")
    w(f"# the library's namespace {namespace}. Do not edit; run the generator again.\n")
    w("# flake8: noqa\n\n")
    w("from dataclasses import dataclass\n")
    w("from typing import Optional\n\n")
    w("from . import _runtime as _rt\n\n")
    w(f"__version__ = \"{version}\"\n")
    w(f"CONTRACT_VERSION = {CONTRACT_VERSION}\n\n")
    w("# Checksum of every operation, computed from its description blob.\n")
    w("CHECKSUMS = {\n")
    for f in functions:
        w(f'    "{f["name"]}": {f["checksum"]},\n')
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
        fields = ", ".join(f'("{n}", "{t}")' for n, t, _ in r["fields"])
        w(f'    "{r["name"]}": ({r["name"]}, [{fields}]),\n')
    w("}\n\n")
    errors_by_name = {e["name"] for e in errors}
    for e in errors:
        render_error(e, w)
    w("\n# Arguments with their types, result type and error type of every operation.\n")
    w("FUNCTIONS = {\n")
    for f in functions:
        if f["error"] and f["error"] not in errors_by_name:
            raise SystemExit(f"{f['name']}: unknown error type {f['error']}")
        args = ", ".join(f'("{n}", "{t}")' for n, t in f["args"])
        error = f'"{f["error"]}"' if f["error"] else "None"
        w(f'    "{f["name"]}": ([{args}], "{f["ret"]}", {error}),\n')
    w("}\n\n")
    w("\n# ---- readers and writers of the nested forms --------------------------------\n")
    records_by_name = {r["name"]: r for r in records}
    for t in compound_types(functions, records):
        render_reader(t, records_by_name, w)
        render_writer(t, records_by_name, w)
    w("\n\n# ---- operations ------------------------------------------------------------\n")
    w("\ndef _bind(lib):\n")
    w("    \"\"\"Declares every operation of the loaded library.\"\"\"\n")
    w("    g = globals()\n")
    w("    g[\"_from_bytes\"] = lib.ffi_quorent_sdk_uniffi_rustbuffer_from_bytes\n")
    w("    status = _rt.ctypes.POINTER(_Status)\n")
    w("    buffer = _rt.RustBuffer\n")
    for f in functions:
        ctypes_args = [DIRECT.get(t, "buffer") for _, t in f["args"]] + ["status"]
        w(f"    fn = lib.{FN_PREFIX}{f['name']}\n")
        w(f"    fn.argtypes, fn.restype = [{', '.join(ctypes_args)}], {DIRECT.get(f['ret'], 'buffer')}\n")
        w(f"    g[\"_fn_{f['name']}\"] = fn\n")
    w("\n")
    for f in functions:
        render_function(f, records_by_name, w)
    w("\n__all__ = [\n")
    names = [r["name"] for r in records] + [e["name"] for e in errors] + [f["name"] for f in functions]
    for n in names:
        w(f'    "{n}",\n')
    w("]\n")
    return "".join(out)


def outputs(model, version="0.0.0"):
    return {OUTPUT: render(*model, version)}
