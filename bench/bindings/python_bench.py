#!/usr/bin/env python3
"""Time per call of normalize_origin and mint_user_deed through the Python
binding against the C ABI itself, measured in one run: abi_time.c (built
here against the same library) times the bare C calls, then the binding
times the same calls; each figure is the best of five rounds.

    bench/bindings/python_bench.py [--lib build/libquorent_sdk_uniffi.so] [--write docs/performance.md]

Prints the rows of the bindings table; --write puts the Python rows into the
"## Bindings" section of the given file, keeping the other languages' rows.
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time
import timeit

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
TARGETS = {"normalize_origin": 5.0, "mint_user_deed": 15.0}  # µs of overhead per call
SECRET = "d1f1e27216d52ba4d0e041d5b813917833be63f827e4e7d0b6f0f3f8fd56c2f0"

SECTION = """## Bindings

Produced by each binding's benchmark (`bench/bindings/`): the time per call of an operation through
the binding and through the C ABI itself (building the argument buffers, the call, freeing the
result), measured one after the other in one run on the same library: CPU time per call, best of
five rounds. The overhead is their difference; its target is per language and operation.

| language | operation | binding µs | C ABI µs | overhead µs | target µs | met |
|---|---|---:|---:|---:|---:|:-:|
"""


def c_abi_times(lib):
    libdir = os.path.dirname(os.path.abspath(lib))
    with tempfile.TemporaryDirectory() as tmp:
        exe = os.path.join(tmp, "abi_time")
        include_dirs = [os.path.join(ROOT, "ffi", "include"), os.path.join(libdir, "include")]
        subprocess.run(["cc", "-O2", *[f"-I{d}" for d in include_dirs], os.path.join(HERE, "abi_time.c"),
                        os.path.abspath(lib), f"-Wl,-rpath,{libdir}", "-o", exe], check=True)
        return json.loads(subprocess.run([exe], check=True, capture_output=True, text=True).stdout)


def binding_times():
    import quorent_sdk as q
    calls = {
        "normalize_origin": (lambda: q.normalize_origin("https://Shop.Example:443/"), 100000),
        "mint_user_deed": (lambda: q.mint_user_deed(SECRET, 7, "shop-api", "https://shop.example",
                                                    "rp-challenge-8f14e45f", 1700000300), 3000),
    }
    return {name: min(timeit.repeat(fn, number=n, repeat=5, timer=time.process_time)) / n * 1e6
            for name, (fn, n) in calls.items()}


def rows(c, py):
    out = []
    for name, target in TARGETS.items():
        overhead = py[name] - c[name]
        out.append(f"| Python | {name} | {py[name]:.2f} | {c[name]:.2f} | {overhead:.2f} | {target:g} | "
                   f"{'yes' if overhead <= target else 'NO'} |")
    return out


def write(path, new_rows):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    start = text.find("\n## Bindings\n")
    if start < 0:
        before, kept, after = text.rstrip("\n") + "\n", [], ""
    else:
        end = text.find("\n## ", start + 1)
        end = len(text) if end < 0 else end
        before, after = text[:start + 1], text[end:]
        kept = [line for line in text[start:end].splitlines()
                if line.startswith("| ") and not line.startswith(("| Python ", "| language ", "|---"))]
    section = SECTION + "\n".join(new_rows + kept) + "\n"
    with open(path, "w", encoding="utf-8") as f:
        f.write(before + ("\n" if start < 0 else "") + section + after)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--lib", default=os.path.join(ROOT, "build", "libquorent_sdk_uniffi.so"))
    p.add_argument("--write", metavar="FILE", help="put the rows into FILE's Bindings section")
    a = p.parse_args()
    os.environ["QUORENT_SDK_LIB"] = os.path.abspath(a.lib)
    sys.path.insert(0, os.path.join(ROOT, "bindings", "python"))
    c = c_abi_times(a.lib)
    py = binding_times()
    out = rows(c, py)
    print("\n".join(out))
    if a.write:
        write(a.write, out)


if __name__ == "__main__":
    main()
