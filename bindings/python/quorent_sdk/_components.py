"""What the library this package carries is built with, as the SBOM the
wheel carries lists it (.dist-info/sboms/quorent-sdk.cdx.json, CycloneDX)."""

import glob
import json
import os

SBOM = "sboms/quorent-sdk.cdx.json"


def components():
    """The components linked into the library this package carries: one dict
    each of name, version, license (an SPDX expression) and purl, sorted by
    name. None when the package does not come from a wheel that carries an
    SBOM (the binding run from its source tree)."""
    # Found beside the package by name: importlib.metadata would load the
    # archive modules (zlib, bz2, lzma) into every process that imports us.
    site = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    for info in sorted(glob.glob(os.path.join(site, "quorent_sdk-*.dist-info"))):
        path = os.path.join(info, SBOM)
        if os.path.isfile(path):
            break
    else:
        return None
    with open(path, encoding="utf-8") as f:
        bom = json.load(f)
    libraries = {c["bom-ref"] for c in bom["components"] if c["name"] == "libquorent_sdk_uniffi"}
    linked = {ref for d in bom["dependencies"] if d["ref"] in libraries for ref in d["dependsOn"]}
    found = []
    for c in bom["components"]:
        if c["bom-ref"] in linked:
            lic = c["licenses"][0]
            found.append({"name": c["name"], "version": c["version"], "purl": c["purl"],
                          "license": lic["license"]["id"] if "license" in lic else lic["expression"]})
    return sorted(found, key=lambda c: c["name"])
