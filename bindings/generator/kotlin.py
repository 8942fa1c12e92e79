"""Kotlin/JVM emitter: renders the interface model (generator/model.py) as
bindings/kotlin/src/quorent/sdk/Generated.kt.

The generated file holds the public surface (records as data classes, the
error as a sealed exception class, one top-level function per operation)
and, per record, a reader and a writer specialised to its fields. Calls go
through JNA direct mapping, declared twice:
  Abi        the x86-64 System V view of each C signature, in which a
             `RustBuffer` argument (24 bytes, passed in memory) is three
             64-bit words on the stack and a `RustBuffer` result is written
             through a hidden pointer, so no JNA `Structure` is built per call:
             the fast path, the default on x86-64;
  StructAbi  the C signature as it is, `RustBuffer` arguments and results as
             `Structure.ByValue`, laid out by libffi for the platform: the
             path on every other 64-bit platform (aarch64: AAPCS64 passes a
             24-byte structure by reference to a copy and returns it through
             x8, which no list of integer arguments can model), and on x86-64
             when QUORENT_SDK_JVM_STRUCT_ABI=1.
The runtime (Runtime.kt, hand-written) registers one of them at load and sets
Rt.structAbi; each operation calls the one registered.

Java calls the same functions, as static methods of GeneratedKt. Kotlin compiles a
function with an unsigned parameter, and the getter of an unsigned property, under a
mangled JVM name (deriveAppKey-z13BHRw) that Java source cannot name; @JvmName gives
each its Kotlin name (Java passes and reads a ULong as the long of the same bits, a
UByte as the byte), and @Throws declares the operation's error, which Java then
catches by type. A record with an unsigned field has no constructor Java can call:
Java reads records and passes back the ones operations return.

Secrets, as the interface description marks them: a record's secret fields
read <redacted> in its toString. Every copy an operation makes (the encoded
arguments, the received result) is wiped on every path, secret or not: the
arguments in the operation's finally, the result by the runtime once read.

outputs(model) -> {relative path: text}

    python3 bindings/generate.py --lib build/libquorent_sdk_uniffi.so --lang kotlin [--check]
"""


from generator.model import doc_block

OUTPUT = "bindings/kotlin/src/quorent/sdk/Generated.kt"
FN_PREFIX = "uniffi_quorent_sdk_uniffi_fn_func_"
INT_REGISTERS = 6

KT_TYPES = {"u8": "UByte", "u64": "ULong", "bool": "Boolean", "str": "String", "bytes": "ByteArray"}
UNSIGNED = ("u8", "u64")


def camel(name, upper=False):
    parts = name.split("_")
    head = parts[0] if not upper else parts[0][:1].upper() + parts[0][1:]
    return head + "".join(p[:1].upper() + p[1:] for p in parts[1:])


def kt_type(t):
    if t.startswith("opt:"):
        return kt_type(t[4:]) + "?"
    if t.startswith("record:"):
        return t[7:]
    return KT_TYPES[t]


def unsigned(t):
    """Whether `t` is an unsigned type or an optional one, for which Kotlin mangles the
    JVM name of a function taking it and of a member (a getter) returning it."""
    return (t[4:] if t.startswith("opt:") else t) in UNSIGNED


def exception_name(error):
    return error[:-5] + "Exception" if error.endswith("Error") else error + "Exception"


def kdoc(text, indent, extra=()):
    lines = [ln.replace("*/", "*&#47;") for ln in text.split("\n")] if text else []
    if extra and lines:
        lines.append("")
    lines.extend(extra)
    return doc_block(lines, indent)


# ---- nested forms ---------------------------------------------------------------

def read_expr(t):
    if t.startswith("opt:"):
        return f"if (r.tag()) {read_expr(t[4:])} else null"
    if t.startswith("record:"):
        return f"read{t[7:]}(r)"
    return {"u8": "r.u8()", "u64": "r.u64()", "bool": "r.bool()", "str": "r.str()", "bytes": "r.bytes()"}[t]


def write_stmts(t, value, label, indent):
    """Statements writing `value` (an expression of Kotlin type kt_type(t));
    `label` is the Kotlin argument list naming it in error messages."""
    if t.startswith("opt:"):
        inner = write_stmts(t[4:], "it", label, indent + "    ")
        return (f"{indent}{value}?.let {{\n"
                f"{indent}    w.tag(true)\n{inner}{indent}}} ?: w.tag(false)\n")
    if t.startswith("record:"):
        return f'{indent}write{t[7:]}(w, {value}, {label})\n'
    if t in ("str", "bytes"):
        return f'{indent}w.{t}({value}, {label})\n'
    return f"{indent}w.{t}({value})\n"


# ---- the C signature as x86-64 System V passes it ---------------------------------

def abi_params(f):
    """Parameter list of the direct-mapped declaration, and for each model
    argument (plus the status and result slot) the expression it receives:
    returns (names, exprs) in declaration order."""
    regs, stack = [], []
    buf_index = 0

    def integer(name, expr):
        (regs if len(regs) < INT_REGISTERS else stack).append((name, expr))

    if f.ret not in ("u64", "bool", "u8"):
        integer("result", "c.result")
    for a in f.args:
        p, t = camel(a.name), a.type
        if t == "u64":
            integer(p, f"{p}.toLong()")
        elif t == "bool":
            integer(p, f"if ({p}) 1L else 0L")
        elif t == "u8":
            integer(p, f"{p}.toLong()")
        else:
            for part in ("Capacity", "Len", "Data"):
                stack.append((p + part, f"b[{buf_index}]"))
                buf_index += 1
    integer("status", "c.status")
    while len(regs) < INT_REGISTERS:
        regs.append((f"unused{len(regs)}", "0L"))
    return regs + stack


def abi_return(t):
    return {"u64": "Long", "bool": "Byte", "u8": "Byte"}.get(t, "Unit")


# ---- the C signature as it is, for libffi -------------------------------------------

def struct_params(f):
    """Parameters of the portable declaration in the C signature's order, as
    (name, Kotlin type, expression it receives)."""
    out = []
    buf_index = 0
    for a in f.args:
        p, t = camel(a.name), a.type
        if t == "u64":
            out.append((p, "Long", f"{p}.toLong()"))
        elif t == "bool":
            out.append((p, "Byte", f"Rt.byte({p})"))
        elif t == "u8":
            out.append((p, "Byte", f"{p}.toByte()"))
        else:
            out.append((p, "RustBuffer.ByValue", f"c.arg(b, {buf_index})"))
            buf_index += 1
    out.append(("status", "Long", "c.status"))
    return out


def struct_return(t):
    return {"u64": "Long", "bool": "Byte", "u8": "Byte"}.get(t, "RustBuffer.ByValue")


# ---- rendering -----------------------------------------------------------------

def record_uses(functions):
    """Names of the records taken as arguments, and of those returned."""
    def records(t):
        return {t.split("record:", 1)[1]} if "record:" in t else set()
    taken = set().union(*[records(a.type) for f in functions for a in f.args])
    returned = set().union(*[records(f.ret) for f in functions])
    return taken, returned


def render_record(r, w, taken, returned):
    name = r.name
    w("\n" + kdoc(r.doc, ""))
    w(f"data class {name}(\n")
    fields = [(x.name, x.type, x.doc) for x in r.fields]
    for i, (fname, t, doc) in enumerate(fields):
        w(kdoc(doc, "    "))
        if unsigned(t):
            w(f'    @get:JvmName("get{camel(fname, upper=True)}")\n')
        w(f"    val {camel(fname)}: {kt_type(t)}{',' if i < len(fields) - 1 else ''}\n")
    secrets = {x.name for x in r.fields if x.secret}
    if secrets:
        w(") {\n")
        w("    /** Shows every field except the secret ones, which read <redacted>. */\n")
        parts = ", ".join(f"{camel(n)}=<redacted>" if n in secrets else f"{camel(n)}=${camel(n)}"
                          for n, _, _ in fields)
        w(f'    override fun toString(): String = "{name}({parts})"\n')
        w("}\n")
    else:
        w(")\n")
    if any("record:" in t for _, t, _ in fields):
        raise SystemExit(f"record {name}: nested record fields are not supported")
    if name in returned:
        w(f"\ninternal fun read{name}(r: Reader): {name} = {name}(\n")
        for i, (fname, t, _) in enumerate(fields):
            w(f"    {camel(fname)} = {read_expr(t)}{',' if i < len(fields) - 1 else ''}\n")
        w(")\n")
    if name in taken:
        w(f"\ninternal fun write{name}(w: Writer, v: {name}, label: String) {{\n")
        for fname, t, _ in fields:
            w(write_stmts(t, f"v.{camel(fname)}", f'label, "{camel(fname)}"', "    "))
        w("}\n")


def render_error(e, w):
    e = dict(name=e.name, variants=e.variants, doc=e.doc)
    name = exception_name(e["name"])
    w("\n" + kdoc(e["doc"], ""))
    w(f"sealed class {name}(message: String) : Exception(message) {{\n")
    for variant, doc in e["variants"]:
        w(kdoc(doc, "    "))
        w(f"    class {variant}(message: String) : {name}(message)\n")
    w("}\n")
    w(f"\ninternal fun lift{name}(payload: ByteArray): Exception {{\n")
    w("    val r = Reader(payload)\n")
    w("    val variant = r.i32()\n")
    w("    val message = r.str()\n")
    w("    r.finish()\n")
    w("    return when (variant) {\n")
    for i, (variant, _) in enumerate(e["variants"], 1):
        w(f"        {i} -> {name}.{variant}(message)\n")
    w(f'        else -> InternalException("unknown {e["name"]} variant $variant: $message")\n')
    w("    }\n")
    w("}\n")


def render_function(f, w):
    name, ret = f.name, f.ret
    params = ", ".join(f"{camel(a.name)}: {kt_type(a.type)}" for a in f.args)
    extra = []
    if f.error:
        extra.append(f"@throws {exception_name(f.error)} the operation's error")
    extra.append("@throws InternalException an unexpected failure inside the library")
    if any(a.type not in ("u64", "bool", "u8") for a in f.args):
        extra.append("@throws IllegalArgumentException an argument the library cannot take "
                     "(more than 2^31 - 1 bytes, or text that is not valid Unicode)")
    w("\n" + kdoc(f.doc, "", extra))
    if f.error:
        w(f"@Throws({exception_name(f.error)}::class)\n")
    if any(unsigned(t) for t in [ret] + [a.type for a in f.args]):
        w(f'@JvmName("{camel(name)}")\n')
    w(f"fun {camel(name)}({params}): {kt_type(ret)} {{\n")
    w("    val c = Rt.call()\n")
    buffers = [(a.name, a.type) for a in f.args if a.type not in ("u64", "bool", "u8")]
    ind = "    "
    if buffers:
        w(f"    val a = arrayOfNulls<ByteArray>({len(buffers)})\n")
        w("    try {\n")
        ind = "        "
        for i, (n, t) in enumerate(buffers):
            p = camel(n)
            if t == "str":
                w(f'{ind}a[{i}] = Rt.text({p}, "{p}")\n')
            else:
                w(f"{ind}a[{i}] = Writer().let {{ w ->\n")
                w(write_stmts(t, p, f'"{p}"', ind + "    "))
                w(f"{ind}    w.done()\n{ind}}}\n")
        w(f"{ind}val b = c.lower(a)\n")
    call = f"Abi.{FN_PREFIX}{name}(" + ", ".join(e for _, e in abi_params(f)) + ")"
    portable = f"StructAbi.{FN_PREFIX}{name}(" + ", ".join(e for _, _, e in struct_params(f)) + ")"
    if ret in ("u64", "bool", "u8"):
        w(f"{ind}val v = if (Rt.structAbi) {portable} else {call}\n")
    else:
        w(f"{ind}if (Rt.structAbi) c.store({portable}) else {call}\n")
    lift = f"::lift{exception_name(f.error)}" if f.error else "null"
    w(f"{ind}c.check({lift})\n")
    if ret == "u64":
        w(f"{ind}return v.toULong()\n")
    elif ret == "u8":
        w(f"{ind}return v.toUByte()\n")
    elif ret == "bool":
        w(f"{ind}return Rt.bool(v)\n")
    elif ret == "str":
        w(f"{ind}return Rt.text(c.takeResult())\n")
    else:
        w(f"{ind}return Rt.lift(c.takeResult()) {{ r -> {read_expr(ret)} }}\n")
    if buffers:
        w("    } finally {\n")
        w("        Rt.wipe(a)\n")
        w("    }\n")
    w("}\n")


def render_abi(functions, w):
    w("\n/** The exported operations, declared as x86-64 System V passes their arguments. */\n")
    w("internal object Abi {\n")
    for f in functions:
        params = ", ".join(f"{n}: Long" for n, _ in abi_params(f))
        w(f"    @JvmStatic external fun {FN_PREFIX}{f.name}({params}): {abi_return(f.ret)}\n")
    w("}\n")
    w("\n/** The exported operations as their C signatures declare them, for libffi: the portable path. */\n")
    w("internal object StructAbi {\n")
    for f in functions:
        params = ", ".join(f"{n}: {t}" for n, t, _ in struct_params(f))
        w(f"    @JvmStatic external fun {FN_PREFIX}{f.name}({params}): {struct_return(f.ret)}\n")
    w("}\n")


def render(iface):
    functions, records, errors = iface.functions, iface.records, iface.errors
    out = []
    w = out.append
    w("// Generated by bindings/generator/kotlin.py from the interface description\n")
    w(f"// (bindings/interface.json) of the library's namespace {iface.namespace}.\n")
    w("// Do not edit; run the generator again.\n")
    w('@file:Suppress("FunctionName")\n\n')
    w("package quorent.sdk\n\n")
    w(f"internal const val CONTRACT_VERSION = {iface.contract_version}\n\n")
    w("/** Checksum of every operation, computed from its description blob. */\n")
    w("internal val CHECKSUMS: Array<Pair<String, Int>> = arrayOf(\n")
    for i, f in enumerate(functions):
        w(f'    Pair("{f.name}", {f.checksum}){"," if i < len(functions) - 1 else ""}\n')
    w(")\n")
    taken, returned = record_uses(functions)
    for r in records:
        render_record(r, w, taken, returned)
    for e in errors:
        render_error(e, w)
    for f in functions:
        render_function(f, w)
    render_abi(functions, w)
    return "".join(out)


def outputs(model):
    return {OUTPUT: render(model)}
