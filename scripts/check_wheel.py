"""Fails unless auditwheel accepts a wheel for the platform tag in its name:
    python scripts/check_wheel.py WHEEL [TAG]
runs `auditwheel show WHEEL` (the pinned auditwheel of scripts/python-tools.txt,
with the Python running this) and reads its verdict, "... is consistent with
the following platform tag: "manylinux_2_M_<arch>"": the wheel's tag
manylinux_2_N_<arch> is accepted when the architectures agree and M <= N, and
no line reports what rules every manylinux tag out (unsupported ISA
extensions, PyFPE, UCS2). TAG, when given, must be the wheel's tag. Prints
auditwheel's verdict line."""

import re
import subprocess
import sys

VERDICT = re.compile(r'is consistent with the following platform tag: "([^"]+)"')
MANYLINUX = re.compile(r"^manylinux_(\d+)_(\d+)_(\w+)$")
LEGACY = {"manylinux1": (2, 5), "manylinux2010": (2, 12), "manylinux2014": (2, 17)}
RULED_OUT = ("unsupported ISA extensions", "PyFPE_jbuf", "narrow unicode")


def parse_tag(tag):
    """(glibc major, minor, arch) of a manylinux tag, None for any other."""
    m = MANYLINUX.match(tag)
    if m:
        return int(m[1]), int(m[2]), m[3]
    name, _, arch = tag.partition("_")
    if name in LEGACY and arch:
        return (*LEGACY[name], arch)
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
        problems.append(f"the wheel's tag {wheel_tag} is not a manylinux tag")
    elif got is None:
        problems.append(f"auditwheel finds the wheel fit for {verdicts[0]} only")
    elif got[2] != want[2]:
        problems.append(f"auditwheel finds a {got[2]} wheel, tagged {want[2]}")
    elif got[:2] > want[:2]:
        problems.append(f"auditwheel needs glibc {got[0]}.{got[1]}, the tag promises {want[0]}.{want[1]}")
    return problems


def main(argv):
    wheel = argv[1]
    tag = wheel.rsplit("/", 1)[-1].removesuffix(".whl").split("-")[-1]
    if len(argv) > 2 and argv[2] != tag:
        sys.exit(f"check_wheel: {wheel} is tagged {tag}, not {argv[2]}")
    run = subprocess.run([sys.executable, "-m", "auditwheel", "show", wheel],
                         capture_output=True, text=True)
    output = run.stdout + run.stderr
    problems = judge(tag, output) if run.returncode == 0 else [f"auditwheel exited {run.returncode}"]
    verdict = re.search(r'\S+ is consistent with the following platform tag: "[^"]*"\.?', " ".join(output.split()))
    if problems:
        sys.stderr.write(output)
        sys.exit(f"check_wheel: {wheel} is not consistent with its tag {tag}: " + "; ".join(problems))
    print(f"auditwheel: {verdict[0]}")


if __name__ == "__main__":
    main(sys.argv)
