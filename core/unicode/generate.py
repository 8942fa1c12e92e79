#!/usr/bin/env python3
"""Writes core/src/unicode_tables.cpp: the compact Unicode tables behind the
URL host parser's domain-to-ASCII (UTS #46 mapping, NFC, the Bidi and
joiner rules) and the credential-key lower-casing.

Inputs (fetched and verified by scripts/unicode-data.sh; see README.md here):
  --ucd DIR     the Unicode Character Database 17.0.0 (usr/share/unicode of
                Debian's unicode-data package)
  --uts46 FILE  uts46data.py of the Python package idna 3.19, read as data
                only (literals are parsed, nothing is executed)

  generate.py --ucd DIR --uts46 FILE            rewrite the committed file
  generate.py --ucd DIR --uts46 FILE --check    fail if it is stale
"""
import argparse
import ast
import os
import sys

UNICODE_VERSION = "17.0.0"
MAX_CP = 0x110000
HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "..", "src", "unicode_tables.cpp")

SOURCES = """\
//   Unicode Character Database 17.0.0, from Debian's unicode-data_17.0.0-2_all.deb
//     http://deb.debian.org/debian/pool/main/u/unicode-data/unicode-data_17.0.0-2_all.deb
//     sha256 6286fdf4e6d4bf1f46a2865f54df44feda9395ab66f50b12cc384d921a9af865
//     license: Unicode License v3 (https://www.unicode.org/license.txt)
//   UTS #46 IDNA mapping table 17.0.0, as data in idna/uts46data.py of the
//   Python package idna 3.19 (sdist idna-3.19.tar.gz)
//     https://files.pythonhosted.org/packages/5f/f7/abb373e5757eaec4b922b92f97ec8d6d7e057cf06778247604fbc4e7c3f3/idna-3.19.tar.gz
//     sha256 5e0811a4383b21dc5838069f801c4fb62113b7447663d2530d2bd6e77b49bf15
//     license: BSD-3-Clause (the package); the table itself is Unicode data
//     under the Unicode License v3"""

# Status codes shared with unicode_tables.hpp.
STATUS = {"V": 0, "M": 1, "I": 2, "D": 3, "X": 4}
BIDI = ["Other", "L", "R", "AL", "AN", "EN", "ES", "CS", "ET", "ON", "BN", "NSM"]
JOINING = ["U", "D", "L", "R", "C", "T"]
# The long value names the '@missing' lines use.
LONG_NAMES = {
    "Left_To_Right": "L", "Right_To_Left": "R", "Arabic_Letter": "AL", "Arabic_Number": "AN",
    "European_Number": "EN", "European_Separator": "ES", "Common_Separator": "CS",
    "European_Terminator": "ET", "Other_Neutral": "ON", "Boundary_Neutral": "BN", "Nonspacing_Mark": "NSM",
    "Non_Joining": "U", "Dual_Joining": "D", "Left_Joining": "L", "Right_Joining": "R", "Join_Causing": "C",
    "Transparent": "T",
}


def data_lines(path):
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                yield [field.strip() for field in line.split(";")]


def code_range(text):
    if ".." in text:
        a, b = text.split("..")
        return int(a, 16), int(b, 16)
    return int(text, 16), int(text, 16)


def missing_lines(path):
    """The '# @missing: RANGE; VALUE' defaults of a derived file."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("# @missing:"):
                rng, value = [x.strip() for x in line[len("# @missing:"):].split(";")[:2]]
                yield code_range(rng), value


def read_unicode_data(ucd):
    """General category, combining class, decomposition, simple lowercase."""
    gc, ccc, decomp, lower = {}, {}, {}, {}
    first = None
    for f in data_lines(os.path.join(ucd, "UnicodeData.txt")):
        cp = int(f[0], 16)
        if f[1].endswith(", First>"):
            first = cp
            continue
        cps = range(first, cp + 1) if f[1].endswith(", Last>") else [cp]
        first = None
        for c in cps:
            gc[c] = f[2]
            if int(f[3]):
                ccc[c] = int(f[3])
        if f[5] and not f[5].startswith("<"):
            decomp[cp] = [int(x, 16) for x in f[5].split()]
        if f[13]:
            lower[cp] = int(f[13], 16)
    return gc, ccc, decomp, lower


def read_property(path, wanted):
    out = set()
    for f in data_lines(path):
        if f[1] == wanted:
            a, b = code_range(f[0])
            out.update(range(a, b + 1))
    return out


def read_enumerated(path, names):
    values = [0] * MAX_CP
    for (a, b), v in missing_lines(path):
        v = LONG_NAMES.get(v, v)
        if v in names:
            for c in range(a, b + 1):
                values[c] = names.index(v)
    for f in data_lines(path):
        a, b = code_range(f[0])
        v = names.index(f[1]) if f[1] in names else 0
        for c in range(a, b + 1):
            values[c] = v
    return values


def read_uts46(path):
    """(starts, statuses, mappings) from the literals of uts46data.py."""
    with open(path, encoding="utf-8") as f:
        tree = ast.parse(f.read())
    found = {}
    for node in tree.body:
        if isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            target, value = node.target.id, node.value
        elif isinstance(node, ast.Assign) and len(node.targets) == 1 and isinstance(node.targets[0], ast.Name):
            target, value = node.targets[0].id, node.value
        else:
            continue
        if isinstance(value, ast.Call) and getattr(value.func, "id", None) == "array":
            value = value.args[1]  # array("I", (...))
        found[target] = ast.literal_eval(value)
    if found.get("__version__") != UNICODE_VERSION:
        sys.exit(f"uts46data.py is for Unicode {found.get('__version__')}, not {UNICODE_VERSION}")
    starts, statuses, mappings = found["uts46_starts"], found["uts46_statuses"], found["uts46_replacements"]
    if not (len(starts) == len(statuses) == len(mappings)) or starts[0] != 0:
        sys.exit("uts46data.py: unexpected layout")
    return list(starts), statuses.decode("ascii"), list(mappings)


def runs(values):
    """(start, value) for each run of equal values over all code points."""
    out = []
    for c in range(MAX_CP):
        if not out or out[-1][1] != values[c]:
            out.append((c, values[c]))
    return out


def block_index(starts):
    """For each 256-code-point block, the run holding its first code point."""
    import bisect
    return [bisect.bisect_right(starts, b << 8) - 1 for b in range(MAX_CP >> 8)] + [len(starts) - 1]


def c_array(ctype, name, items, per_line=8):
    lines = [f"const {ctype} {name}[] = {{"]
    for i in range(0, len(items), per_line):
        lines.append("    " + ", ".join(items[i:i + per_line]) + ",")
    lines.append("};")
    return "\n".join(lines)


def utf8_escape(text):
    out = []
    for b in text.encode("utf-8"):
        out.append(chr(b) if 0x20 <= b < 0x7F and chr(b) not in '\\"?' else f"\\{b:03o}")
    return "".join(out)


def generate(ucd, uts46_path):
    gc, ccc, decomp, simple_lower = read_unicode_data(ucd)
    ext = os.path.join(ucd, "extracted")
    bidi = read_enumerated(os.path.join(ext, "DerivedBidiClass.txt"), BIDI)
    joining = read_enumerated(os.path.join(ext, "DerivedJoiningType.txt"), JOINING)
    core_props = os.path.join(ucd, "DerivedCoreProperties.txt")
    cased = read_property(core_props, "Cased")
    case_ignorable = read_property(core_props, "Case_Ignorable")
    norm_props = os.path.join(ucd, "DerivedNormalizationProps.txt")
    nfc_not_yes = set()
    for f in data_lines(norm_props):
        if f[1] == "NFC_QC" and f[2] in ("N", "M"):
            a, b = code_range(f[0])
            nfc_not_yes.update(range(a, b + 1))
    exclusions = read_property(norm_props, "Full_Composition_Exclusion")

    # Character properties, one 32-bit word per run:
    #   bits 0-3 Bidi class, 4-6 Joining type, 7-14 combining class,
    #   15 General_Category=Mark, 16 Cased, 17 Case_Ignorable, 18 NFC_QC != Yes
    props = [0] * MAX_CP
    for c in range(MAX_CP):
        v = bidi[c] | joining[c] << 4 | ccc.get(c, 0) << 7
        g = gc.get(c, "Cn")
        if g[0] == "M":
            v |= 1 << 15
        if c in cased:
            v |= 1 << 16
        if c in case_ignorable:
            v |= 1 << 17
        if c in nfc_not_yes:
            v |= 1 << 18
        props[c] = v
    prop_runs = runs(props)
    prop_values = sorted(set(v for _, v in prop_runs))
    if len(prop_values) > 0xFFFF:
        sys.exit("too many distinct property words")

    # Full canonical decompositions (Hangul syllables are algorithmic).
    def full(c):
        if c not in decomp:
            return [c]
        return [x for d in decomp[c] for x in full(d)]
    decomp_pool, decomp_entries = [], []
    for c in sorted(decomp):
        d = full(c)
        if len(d) > 7:
            sys.exit(f"decomposition of {c:04X} too long")
        decomp_entries.append(f"{{0x{c:X}, {len(decomp_pool)}, {len(d)}}}")
        decomp_pool.extend(d)
    # Primary composites: canonical pairs not excluded from composition.
    compositions = sorted((d[0], d[1], c) for c, d in decomp.items()
                          if len(d) == 2 and c not in exclusions)

    # Lower-casing: simple mappings, then SpecialCasing's unconditional ones.
    lower_full = {c: [l] for c, l in simple_lower.items()}
    for f in data_lines(os.path.join(ucd, "SpecialCasing.txt")):
        if len(f) > 4 and f[4]:
            continue  # conditional (language or context)
        c = int(f[0], 16)
        lower_full[c] = [int(x, 16) for x in f[1].split()]
    lower_single, lower_multi, lower_pool = [], [], []
    for c in sorted(lower_full):
        l = lower_full[c]
        if l == [c]:
            continue
        if len(l) == 1:
            lower_single.append((c, l[0]))
        else:
            lower_multi.append(f"{{0x{c:X}, {len(lower_pool)}, {len(l)}}}")
            lower_pool.extend(l)

    # UTS #46: runs of one status and one mapping.
    starts, statuses, mappings = read_uts46(uts46_path)
    pool = bytearray()
    pool_index = {}
    idna_entries = []
    for start, status, mapping in zip(starts, statuses, mappings):
        if status not in STATUS:
            sys.exit(f"uts46data.py: unknown status {status!r}")
        offset, length = 0, 0
        if status == "M":
            data = mapping.encode("utf-8")
            if data not in pool_index:
                found = pool.find(data)
                pool_index[data] = found if found >= 0 else len(pool)
                if found < 0:
                    pool.extend(data)
            offset, length = pool_index[data], len(data)
            if length > 0xFF or offset >= 1 << 16:
                sys.exit("mapping pool too large")
        idna_entries.append(f"{{0x{start << 3 | STATUS[status]:X}, {offset}, {length}}}")

    out = []
    out.append(f"""\
// Generated by core/unicode/generate.py from Unicode {UNICODE_VERSION} data; do not edit.
// Regenerate or check with scripts/unicode-data.sh. Sources:
{SOURCES}
#include "unicode_tables.hpp"

namespace quorent::unicode::tables {{
""")
    out.append(f"// UTS #46 mapping: entry = start << 3 | status, then the mapping's UTF-8 bytes\n"
               f"// in kIdnaMappingPool.")
    out.append(c_array("IdnaRange", "kIdnaRanges", idna_entries, 4))
    out.append(f"const std::size_t kIdnaRangeCount = {len(idna_entries)};")
    out.append(c_array("std::uint16_t", "kIdnaBlockIndex", [str(i) for i in block_index(starts)], 16))
    pool_text = utf8_escape(pool.decode("utf-8"))
    chunks = [pool_text[i:i + 100] for i in range(0, len(pool_text), 100)]
    # Keep octal escapes whole at chunk borders.
    fixed, carry = [], ""
    for ch in chunks:
        ch = carry + ch
        cut = ch.rfind("\\")
        if cut >= 0 and len(ch) - cut < 4:
            carry, ch = ch[cut:], ch[:cut]
        else:
            carry = ""
        fixed.append(ch)
    if carry:
        fixed.append(carry)
    out.append(f"const char kIdnaMappingPool[{len(pool) + 1}] =")
    out.append("\n".join(f'    "{c}"' for c in fixed) + ";")
    out.append("")
    out.append("// Character properties: run starts and an index into kPropertyWords.")
    out.append(c_array("std::uint32_t", "kPropertyRunStarts", [f"0x{s:X}" for s, _ in prop_runs], 10))
    out.append(c_array("std::uint16_t", "kPropertyRunWords",
                       [str(prop_values.index(v)) for _, v in prop_runs], 16))
    out.append(f"const std::size_t kPropertyRunCount = {len(prop_runs)};")
    out.append(c_array("std::uint16_t", "kPropertyBlockIndex", [str(i) for i in block_index([r for r, _ in prop_runs])], 16))
    out.append(c_array("std::uint32_t", "kPropertyWords", [f"0x{v:X}" for v in prop_values], 10))
    out.append("")
    out.append("// Full canonical decompositions (Hangul syllables excepted).")
    out.append(c_array("Expansion", "kDecompositions", decomp_entries, 4))
    out.append(f"const std::size_t kDecompositionCount = {len(decomp_entries)};")
    out.append(c_array("char32_t", "kDecompositionPool", [f"0x{c:X}" for c in decomp_pool], 10))
    out.append("// Primary composites by (first, second).")
    out.append(c_array("Composition", "kCompositions",
                       [f"{{0x{a:X}, 0x{b:X}, 0x{c:X}}}" for a, b, c in compositions], 4))
    out.append(f"const std::size_t kCompositionCount = {len(compositions)};")
    out.append("")
    out.append("// Lower-case mappings to one code point, and to several.")
    out.append(c_array("SimpleMapping", "kLowerSingle", [f"{{0x{a:X}, 0x{b:X}}}" for a, b in lower_single], 5))
    out.append(f"const std::size_t kLowerSingleCount = {len(lower_single)};")
    out.append(c_array("Expansion", "kLowerMulti", lower_multi, 4))
    out.append(f"const std::size_t kLowerMultiCount = {len(lower_multi)};")
    out.append(c_array("char32_t", "kLowerPool", [f"0x{c:X}" for c in lower_pool], 10))
    out.append("\n}  // namespace quorent::unicode::tables\n")
    return "\n".join(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--ucd", required=True)
    ap.add_argument("--uts46", required=True)
    ap.add_argument("--check", action="store_true")
    ap.add_argument("--output", default=OUTPUT)
    args = ap.parse_args()
    text = generate(args.ucd, args.uts46)
    if args.check:
        try:
            with open(args.output, encoding="utf-8") as f:
                current = f.read()
        except FileNotFoundError:
            current = None
        if current != text:
            sys.exit(f"{os.path.relpath(args.output)} is stale: run scripts/unicode-data.sh to regenerate it")
        print(f"{os.path.relpath(args.output)} is up to date")
        return
    with open(args.output, "w", encoding="utf-8") as f:
        f.write(text)
    print(f"wrote {os.path.relpath(args.output)}")


if __name__ == "__main__":
    main()
