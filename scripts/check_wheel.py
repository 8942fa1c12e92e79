"""Fails unless a wheel is laid out as its tag says and, for a manylinux or
musllinux tag, auditwheel accepts it for that tag:
    python scripts/check_wheel.py WHEEL [TAG]
The layout, for every wheel: its WHEEL file names its one tag, py3-none-<TAG>,
and no pure-Python root; RECORD lists every file with its size and SHA-256,
and they match; the package carries the library of the tag's platform
(quorent_sdk/libquorent_sdk_uniffi.so, an ELF shared object of the tag's
architecture; for win_amd64 quorent_sdk/quorent_sdk_uniffi.dll, an x86-64
PE DLL; for macosx tags quorent_sdk/libquorent_sdk_uniffi.dylib, a Mach-O
dylib of the tag's architecture) and no other; .dist-info/ holds
licenses/LICENSE and licenses/NOTICE (PEP 639) and the SBOM
sboms/quorent-sdk.cdx.json (PEP 770), whose content scripts/check_sbom.py
checks.
For manylinux and musllinux tags it then runs `auditwheel show WHEEL` (the
pinned auditwheel of scripts/python-tools.txt, with the Python running this)
and reads its verdict, "... is consistent with the following platform tag:
"<family>_M_m_<arch>"": the wheel's tag <family>_N_n_<arch> is accepted when
the family and the architecture agree and M.m <= N.n, and no line reports what
rules every such tag out (unsupported ISA extensions, PyFPE, UCS2). TAG, when
given, must be the wheel's tag. Prints what it found."""

import base64
import csv
import hashlib
import io
import re
import struct
import subprocess
import sys
import zipfile

VERDICT = re.compile(r'is consistent with the following platform tag: "([^"]+)"')
POLICY = re.compile(r"^(manylinux|musllinux)_(\d+)_(\d+)_(\w+)$")
LEGACY = {"manylinux1": (2, 5), "manylinux2010": (2, 12), "manylinux2014": (2, 17)}
RULED_OUT = ("unsupported ISA extensions", "PyFPE_jbuf", "narrow unicode")
MACOS = re.compile(r"^macosx_(\d+)_(\d+)_(\w+)$")


def parse_tag(tag):
    """(family, C library major, minor, arch) of a manylinux or musllinux tag,
    None for any other."""
    m = POLICY.match(tag)
    if m:
        return m[1], int(m[2]), int(m[3]), m[4]
    name, _, arch = tag.partition("_")
    if name in LEGACY and arch:
        return ("manylinux", *LEGACY[name], arch)
    return None


def judge(wheel_tag, output):
    """The reasons auditwheel's output `output` rejects `wheel_tag` (none: accepted)."""
    text = " ".join(output.split())  # auditwheel wraps its sentences
    verdicts = VERDICT.findall(text)
    if len(verdicts) != 1:
        return [f"no single verdict in auditwheel's output: {verdicts}"]
    problems = [f"auditwheel reports: {words}" for words in RULED_OUT if words in text]
    want, got = parse_tag(wheel_tag), parse_tag(verdicts[0])
    if want is None:
        problems.append(f"the wheel's tag {wheel_tag} is not a manylinux or musllinux tag")
    elif got is None or got[0] != want[0]:
        problems.append(f"auditwheel finds the wheel fit for {verdicts[0]} only")
    elif got[3] != want[3]:
        problems.append(f"auditwheel finds a {got[3]} wheel, tagged {want[3]}")
    elif got[1:3] > want[1:3]:
        libc = "glibc" if want[0] == "manylinux" else "musl"
        problems.append(f"auditwheel needs {libc} {got[1]}.{got[2]}, the tag promises {want[1]}.{want[2]}")
    return problems


SO, DLL = "quorent_sdk/libquorent_sdk_uniffi.so", "quorent_sdk/quorent_sdk_uniffi.dll"
DYLIB = "quorent_sdk/libquorent_sdk_uniffi.dylib"
ELF_MACHINES = {"x86_64": 62, "aarch64": 183}
MACHO_CPUS = {"x86_64": 0x01000007, "arm64": 0x0100000C}


def library_machine(data):
    """("ELF", e_machine) of a 64-bit little-endian ELF shared object, ("PE",
    Machine) of a PE DLL, ("Mach-O", cputype) of a 64-bit Mach-O dylib, or None."""
    if data[:4] == b"\xcf\xfa\xed\xfe" and len(data) >= 16:
        cpu, _, kind = struct.unpack_from("<III", data, 4)
        return ("Mach-O", cpu) if kind == 6 else None  # MH_DYLIB
    if data[:4] == b"\x7fELF" and data[4:6] == b"\x02\x01" and len(data) >= 20:
        kind, machine = struct.unpack_from("<HH", data, 16)
        return ("ELF", machine) if kind == 3 else None
    if data[:2] == b"MZ" and len(data) >= 64:
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] == b"PE\0\0" and len(data) >= pe + 24:
            machine, characteristics = struct.unpack_from("<H", data, pe + 4)[0], struct.unpack_from("<H", data, pe + 22)[0]
            return ("PE", machine) if characteristics & 0x2000 else None
    return None


def layout(wheel, tag):
    """The faults in the wheel's layout for its tag (none: it is sound)."""
    problems = []
    with zipfile.ZipFile(wheel) as z:
        names = z.namelist()
        info = [n for n in names if re.fullmatch(r"[^/]+\.dist-info/WHEEL", n)]
        if len(info) != 1:
            return [f"{len(info)} WHEEL files"]
        dist_info = info[0].rsplit("/", 1)[0]
        fields = [line.split(":", 1) for line in z.read(info[0]).decode().splitlines() if ":" in line]
        tags = [v.strip() for k, v in fields if k == "Tag"]
        if tags != [f"py3-none-{tag}"]:
            problems.append(f"WHEEL names the tags {tags}, not py3-none-{tag}")
        if [v.strip() for k, v in fields if k == "Root-Is-Purelib"] != ["false"]:
            problems.append("WHEEL does not say Root-Is-Purelib: false")
        problems += [f"the wheel lacks {dist_info}/{n}" for n in
                     ("licenses/LICENSE", "licenses/NOTICE", "sboms/quorent-sdk.cdx.json") if f"{dist_info}/{n}" not in names]
        record = f"{dist_info}/RECORD"
        listed = {}
        for row in csv.reader(io.StringIO(z.read(record).decode())):
            if row:
                listed[row[0]] = row[1:]
        for name in names:
            if name.endswith("/"):
                continue
            if name not in listed:
                problems.append(f"RECORD does not list {name}")
            elif name != record:
                data = z.read(name)
                digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
                if listed[name] != [f"sha256={digest}", str(len(data))]:
                    problems.append(f"RECORD's hash or size of {name} is wrong")
        problems += [f"RECORD lists {n}, which the wheel lacks" for n in listed if n not in names]
        linux, mac = parse_tag(tag), MACOS.match(tag)
        if tag == "win_amd64":
            want = (DLL, ("PE", 0x8664))
        elif linux and linux[3] in ELF_MACHINES:
            want = (SO, ("ELF", ELF_MACHINES[linux[3]]))
        elif mac and mac[3] in MACHO_CPUS:
            want = (DYLIB, ("Mach-O", MACHO_CPUS[mac[3]]))
        else:
            return problems + [f"no library is known for the tag {tag}"]
        for other in {SO, DLL, DYLIB} - {want[0]}:
            if other in names:
                problems.append(f"the wheel carries {other}, which is not for {tag}")
        if want[0] not in names:
            problems.append(f"the wheel lacks {want[0]}")
        elif library_machine(z.read(want[0])) != want[1]:
            problems.append(f"{want[0]} is not a {want[1][0]} library for machine {want[1][1]:#x}")
    return problems


def main(argv):
    wheel = argv[1]
    tag = wheel.rsplit("/", 1)[-1].removesuffix(".whl").split("-")[-1]
    if len(argv) > 2 and argv[2] != tag:
        sys.exit(f"check_wheel: {wheel} is tagged {tag}, not {argv[2]}")
    problems = layout(wheel, tag)
    if not problems:
        print(f"layout: {wheel.rsplit('/', 1)[-1]}: WHEEL tag, RECORD hashes and the {tag} library in place")
    if parse_tag(tag) is None:
        if problems:
            sys.exit(f"check_wheel: {wheel} is not laid out as its tag {tag} says: " + "; ".join(problems))
        return
    run = subprocess.run([sys.executable, "-m", "auditwheel", "show", wheel],
                         capture_output=True, text=True)
    output = run.stdout + run.stderr
    problems += judge(tag, output) if run.returncode == 0 else [f"auditwheel exited {run.returncode}"]
    verdict = re.search(r'\S+ is consistent with the following platform tag: "[^"]*"\.?', " ".join(output.split()))
    if problems:
        sys.stderr.write(output)
        sys.exit(f"check_wheel: {wheel} is not consistent with its tag {tag}: " + "; ".join(problems))
    print(f"auditwheel: {verdict[0]}")

if __name__ == "__main__":
    main(sys.argv)
