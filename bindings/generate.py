#!/usr/bin/env python3
"""Generates every language binding from the interface description,
bindings/interface.json (written by quorent_reference from the interface
table), after checking that a built libquorent_sdk_uniffi is the library it
describes.

The description is read once into one model (generator/model.py), and the
library's UNIFFI_META_* blobs, checksum functions and contract version are
compared with it: any difference stops the generator, naming it. Each
language's emitter (generator/<language>.py, exposing outputs(model) ->
{path relative to the repository root: text}) renders its files from that
model. The files are checked into the tree.

    generate.py --lib build/libquorent_sdk_uniffi.so                # (re)write every binding
    generate.py --lib build/libquorent_sdk_uniffi.so --check        # fail if a file is stale
    generate.py --lib build/libquorent_sdk_uniffi.so --lang python  # one language only
"""

import argparse
import importlib
import inspect
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
from generator import model as interface_model  # noqa: E402

LANGUAGES = {"python": "generator.python", "kotlin": "generator.kotlin", "typescript": "generator.typescript"}


def emitters():
    """The emitter module of every language whose emitter is in the tree."""
    out = {}
    for lang, module in LANGUAGES.items():
        if os.path.exists(os.path.join(HERE, *module.split(".")) + ".py"):
            out[lang] = importlib.import_module(module)
    return out


def project_version():
    """The version set once in the top-level CMakeLists.txt (read by scripts/platforms.py)."""
    sys.path.insert(0, os.path.join(ROOT, "scripts"))
    import platforms
    try:
        return platforms.version()
    except platforms.Failure as e:
        raise SystemExit(str(e))


def render(lib, langs, version, description=interface_model.DESCRIPTION):
    """{path relative to the repository root: text} of the chosen languages."""
    model = interface_model.load(description)
    interface_model.verify(model, lib, description)
    available = emitters()
    files = {}
    for lang in langs:
        if lang not in available:
            raise SystemExit(f"no emitter for {lang} (bindings/{LANGUAGES[lang].replace('.', '/')}.py)")
        outputs = available[lang].outputs
        kwargs = {"version": version} if "version" in inspect.signature(outputs).parameters else {}
        files.update(outputs(model, **kwargs))
    return files


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--lib", required=True, help="path of the built libquorent_sdk_uniffi.so")
    p.add_argument("--check", action="store_true", help="fail if a committed file differs from what would be generated")
    p.add_argument("--lang", action="append", choices=sorted(LANGUAGES),
                   help="generate this language only (repeatable; default: every language with an emitter)")
    p.add_argument("--version", help="the package version (default: the version in CMakeLists.txt)")
    p.add_argument("--description", default=interface_model.DESCRIPTION,
                   help="the interface description (default: bindings/interface.json)")
    a = p.parse_args()
    langs = a.lang or sorted(emitters())
    files = render(a.lib, langs, a.version or project_version(), a.description)
    stale = []
    for rel, text in sorted(files.items()):
        path = os.path.join(ROOT, rel)
        try:
            with open(path, encoding="utf-8") as f:
                current = f.read()
        except FileNotFoundError:
            current = None
        if current == text:
            continue
        if a.check:
            stale.append(rel)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        print(f"wrote {rel}")
    if stale:
        sys.exit("out of date with the interface description: " + ", ".join(stale) +
                 f"\nrun: bindings/generate.py --lib {a.lib}")
    if a.check:
        print(f"bindings current ({', '.join(langs)}): {len(files)} generated files match the description, "
              f"which describes {a.lib}")


if __name__ == "__main__":
    main()
