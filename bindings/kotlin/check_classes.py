#!/usr/bin/env python3
"""Checks that the binding's jar can be used by older Kotlin and Java projects.

    check_classes.py JAR --major 52 --metadata 2.0.0 [--stdlib KOTLIN-STDLIB.jar] [--java PACKAGE]

Every class of JAR must have class-file major version --major exactly (52: Java 8), and
every kotlin.Metadata annotation the version (mv) --metadata exactly. With --stdlib, every
class, method and field of the kotlin package that the classes refer to must be in that
standard library (declared there or in a supertype it has), so that a project whose own
kotlin-stdlib is that one runs the binding without NoSuchMethodError. With --java, every
public method of PACKAGE's public classes must have a name Java source can call (not one
Kotlin mangled for an unsigned type, such as deriveAppKey-z13BHRw), apart from a data
class's componentN and copy, which Kotlin alone uses. Prints a summary; exits 1 on a
mismatch.
"""
import argparse
import re
import struct
import sys
import zipfile


class ClassFile:
    """What these checks need of a class file: its constant pool and declarations."""

    def __init__(self, data):
        self.data = data
        self.major = struct.unpack_from(">H", data, 6)[0]
        pool, pos, i = {}, 10, 1
        count = struct.unpack_from(">H", data, 8)[0]
        sizes = {3: 4, 4: 4, 5: 8, 6: 8, 7: 2, 8: 2, 9: 4, 10: 4, 11: 4, 12: 4, 15: 3, 16: 2,
                 17: 4, 18: 4, 19: 2, 20: 2}
        while i < count:
            tag = data[pos]
            if tag == 1:
                n = struct.unpack_from(">H", data, pos + 1)[0]
                # Modified UTF-8: NUL as C0 80, supplementary characters as surrogate pairs.
                text = data[pos + 3:pos + 3 + n].replace(b"\xc0\x80", b"\x00")
                pool[i] = (1, text.decode("utf-8", "surrogatepass"))
                pos += 3 + n
            else:
                pool[i] = (tag, data[pos + 1:pos + 1 + sizes[tag]])
                pos += 1 + sizes[tag]
            i += 2 if tag in (5, 6) else 1
        self.pool = pool
        self.access, this, sup, n = struct.unpack_from(">HHHH", data, pos)
        self.name = self.class_name(this)
        self.supers = [self.class_name(sup)] if sup else []
        self.supers += [self.class_name(struct.unpack_from(">H", data, pos + 8 + 2 * k)[0]) for k in range(n)]
        pos += 8 + 2 * n
        self.members = set()
        self.methods = []  # (access flags, name, descriptor)
        for kind in ("fields", "methods"):
            n = struct.unpack_from(">H", data, pos)[0]
            pos += 2
            for _ in range(n):
                access, name, desc = struct.unpack_from(">HHH", data, pos)
                self.members.add((self.utf8(name), self.utf8(desc)))
                if kind == "methods":
                    self.methods.append((access, self.utf8(name), self.utf8(desc)))
                pos = self.skip_attributes(pos + 6)
        self.attributes_at = pos

    def u2(self, raw, k=0):
        return struct.unpack_from(">H", raw, 2 * k)[0]

    def utf8(self, i):
        return self.pool[i][1]

    def class_name(self, i):
        return self.utf8(self.u2(self.pool[i][1]))

    def skip_attributes(self, pos):
        n = struct.unpack_from(">H", self.data, pos)[0]
        pos += 2
        for _ in range(n):
            pos += 6 + struct.unpack_from(">I", self.data, pos + 2)[0]
        return pos

    def references(self):
        """(owner, name, descriptor) of each field and method referred to; descriptor None for classes."""
        for tag, raw in self.pool.values():
            if tag == 7:
                yield self.utf8(self.u2(raw)), None, None
            elif tag in (9, 10, 11):
                name_type = self.pool[self.u2(raw, 1)][1]
                yield self.class_name(self.u2(raw)), self.utf8(self.u2(name_type)), self.utf8(self.u2(name_type, 1))

    def metadata_version(self):
        """The mv of the class's kotlin.Metadata, or None."""
        pos = self.attributes_at
        n = struct.unpack_from(">H", self.data, pos)[0]
        pos += 2
        for _ in range(n):
            name, length = struct.unpack_from(">HI", self.data, pos)
            if self.utf8(name) == "RuntimeVisibleAnnotations":
                for ann_type, pairs in self.annotations(pos + 6):
                    if ann_type == "Lkotlin/Metadata;" and "mv" in pairs:
                        return ".".join(str(v) for v in pairs["mv"])
            pos += 6 + length
        return None

    def annotations(self, pos):
        n = struct.unpack_from(">H", self.data, pos)[0]
        pos += 2
        for _ in range(n):
            value, pos = self.annotation(pos)
            yield value

    def annotation(self, pos):
        type_index, n = struct.unpack_from(">HH", self.data, pos)
        pos += 4
        pairs = {}
        for _ in range(n):
            name = self.utf8(struct.unpack_from(">H", self.data, pos)[0])
            pairs[name], pos = self.element(pos + 2)
        return (self.utf8(type_index), pairs), pos

    def element(self, pos):
        tag = chr(self.data[pos])
        if tag == "I":
            return struct.unpack(">i", self.pool[struct.unpack_from(">H", self.data, pos + 1)[0]][1])[0], pos + 3
        if tag in "BCDFJSZsc":
            return None, pos + 3
        if tag == "e":
            return None, pos + 5
        if tag == "@":
            return self.annotation(pos + 1)
        n = struct.unpack_from(">H", self.data, pos + 1)[0]  # '['
        values, pos = [], pos + 3
        for _ in range(n):
            value, pos = self.element(pos)
            values.append(value)
        return values, pos


def classes(path):
    with zipfile.ZipFile(path) as z:
        return {n[:-6]: z.read(n) for n in z.namelist()
                if n.endswith(".class") and not n.startswith("META-INF/") and not n.endswith("module-info.class")}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("jar")
    ap.add_argument("--major", type=int, required=True)
    ap.add_argument("--metadata", required=True)
    ap.add_argument("--stdlib")
    ap.add_argument("--java", metavar="PACKAGE")
    a = ap.parse_args()
    errors = []
    parsed = [ClassFile(data) for data in classes(a.jar).values()]
    majors = sorted({c.major for c in parsed})
    versions = sorted({c.metadata_version() for c in parsed} - {None})
    for c in parsed:
        if c.major != a.major:
            errors.append(f"{c.name}: class-file major version {c.major}, not {a.major}")
        mv = c.metadata_version()
        if mv is not None and mv != a.metadata:
            errors.append(f"{c.name}: Kotlin metadata version {mv}, not {a.metadata}")
    summary = f"{len(parsed)} classes, major version {majors}, Kotlin metadata {versions}"
    if a.stdlib:
        stdlib = {name: ClassFile(data) for name, data in classes(a.stdlib).items()}

        def has(owner, member):
            c = stdlib.get(owner)
            return c is not None and (member in c.members or any(has(s, member) for s in c.supers))

        refs = {r for c in parsed for r in c.references() if r[0].startswith("kotlin/")}
        for owner, name, desc in sorted(refs, key=str):
            if owner not in stdlib:
                errors.append(f"{owner} is not in {a.stdlib}")
            elif name is not None and not has(owner, (name, desc)):
                errors.append(f"{owner}.{name}{desc} is not in {a.stdlib}")
        summary += f"; {len(refs)} kotlin-stdlib references, all in {a.stdlib.rsplit('/', 1)[-1]}"
    if a.java:
        public, synthetic = 0x0001, 0x1000
        prefix = a.java.replace(".", "/") + "/"
        seen = 0
        for c in parsed:
            if not c.name.startswith(prefix) or not c.access & public or c.access & synthetic:
                continue
            for access, name, desc in c.methods:
                if not access & public or access & synthetic:
                    continue
                seen += 1
                if not re.fullmatch(r"<init>|<clinit>|[A-Za-z_$][\w$]*|(component\d+|copy)-[\w-]+", name):
                    errors.append(f"{c.name}.{name}{desc}: a name Java cannot call")
        summary += f"; {seen} public methods of {a.java}, each callable from Java"
    for e in errors:
        print(f"check_classes: {e}", file=sys.stderr)
    if errors:
        return 1
    print(summary)
    return 0


if __name__ == "__main__":
    sys.exit(main())
