"""The JSON Schemas in docs/schemas: valid draft 2020-12, met by their examples
and by what the tool ($QUORENT_CLI) prints, and in agreement with the library
on documents it refuses. Exits 77 (skipped) when python3-jsonschema is absent."""

import json
import os
import shlex
import subprocess
import sys
import tempfile

try:
    import jsonschema
except ImportError:
    # The first python3 on PATH may not be Debian's, which has the package.
    if sys.executable != "/usr/bin/python3" and os.path.exists("/usr/bin/python3") \
            and not os.environ.get("QUORENT_SCHEMA_TEST_REEXEC"):
        os.environ["QUORENT_SCHEMA_TEST_REEXEC"] = "1"
        os.execv("/usr/bin/python3", ["/usr/bin/python3", *sys.argv])
    print("SKIP: python3-jsonschema is not installed")
    sys.exit(77)

from jsonschema import Draft202012Validator

HERE = os.path.dirname(os.path.abspath(__file__))
SCHEMAS = os.path.join(HERE, "..", "docs", "schemas")
# The tool, behind the emulator that runs it when it is cross-built (Wine).
CLI = [*shlex.split(os.environ.get("QUORENT_CLI_EMULATOR", "")), os.environ.get("QUORENT_CLI", "quorent")]
ID = "https://schemas.quorent.invalid/"

schemas = {}
for name in sorted(os.listdir(SCHEMAS)):
    if name.endswith(".schema.json"):
        with open(os.path.join(SCHEMAS, name)) as f:
            schemas[name[: -len(".schema.json")]] = json.load(f)

try:
    from referencing import Registry, Resource

    registry = Registry().with_resources((s["$id"], Resource.from_contents(s)) for s in schemas.values())

    def validator(schema):
        return Draft202012Validator(schema, registry=registry)
except ImportError:  # jsonschema before 4.18
    from jsonschema import RefResolver

    store = {s["$id"]: s for s in schemas.values()}

    def validator(schema):
        return Draft202012Validator(schema, resolver=RefResolver.from_schema(schema, store=store))

CHAIN = {"type": "array", "items": {"$ref": ID + "delegation.schema.json"}}
failures = []


def problems(kind, doc):
    """Schema violations of doc; for a deed, also of the JSON its grants and delegations hold."""
    found = [e.message for e in validator(schemas[kind] if isinstance(kind, str) else kind).iter_errors(doc)]
    if kind == "deed" and isinstance(doc, dict):
        for field, schema in (("grants", schemas["grants"]), ("delegations", CHAIN)):
            if isinstance(doc.get(field), str):
                found += [f"{field}: {p}" for p in problems(schema, json.loads(doc[field]))]
    return found


def expect_valid(what, kind, doc):
    found = problems(kind, doc)
    if found:
        failures.append(f"{what}: {found}")


def cli(*args, stdin=None):
    p = subprocess.run([*CLI, *args], input=stdin, capture_output=True, text=True, timeout=60)
    return p.returncode, p.stdout, p.stderr


def ok(*args, stdin=None):
    code, out, err = cli(*args, stdin=stdin)
    if code != 0:
        raise SystemExit(f"FAIL: quorent {' '.join(args)}: {err}")
    return out.rstrip("\n")


# 1. The schemas themselves.
for name, schema in schemas.items():
    Draft202012Validator.check_schema(schema)
    assert schema["$id"] == ID + name + ".schema.json", name

# 2. The examples, and the library reads each back.
examples = os.path.join(SCHEMAS, "examples")
for name in sorted(os.listdir(examples)):
    kind = "deed" if name.startswith("deed") else name[: -len(".json")]
    with open(os.path.join(examples, name)) as f:
        expect_valid("example " + name, kind, json.load(f))
ZERO32 = "00" * 32
LINK = ["--tenant-id", "7", "--iss", "root", "--to", "agent", "--exp", "2000000000", "--epoch-label-hex", "ab" * 32,
        "--epoch", "1", "--parent-ref-hash-hex", ZERO32]
ok("delegation-binding", *LINK, "--grants-json", "@" + os.path.join(examples, "grants.json"))
ok("parent-ref-hash-link", "--parent-link-json", "@" + os.path.join(examples, "delegation.json"))
ok("mint-capability-deed", "--base-deed", "@" + os.path.join(examples, "deed-capability.json"), "--grants-json", "[]",
   "--delegation-chain-json", "[]")

# 3. What the tool prints: deeds of several modes, a signed delegation link, a capability deed.
GRANTS = ('[{"cav":{"nb":{"z":[1,-2,0.5,null,true],"a":{"b":"\\u00e9"}},"max_uses":null},"act":[],"res":"r"},'
          '{"res":"s","act":["read","write"],"cav":{"exp":18446744073709551615}}]')
app = json.loads(ok("derive-app-key", "--root-seed-hex", "11" * 32, "--tenant-id", "7", "--origin", "https://shop.test"))
user = ok("mint-user-deed", "--secret-key-hex", app["secret_key_hex"], "--tenant-id", "7", "--aud", "web",
          "--origin", "https://shop.test", "--challenge", "c", "--exp", "2000000000")
deeds = {
    "user-sig": user,
    "user-1271": ok("mint-user-1271-deed", "--signer-addr-hex", "22" * 20, "--wallet-sig-hex", "abcd", "--tenant-id",
                    "7", "--aud", "web", "--origin", "https://shop.test", "--challenge", "c", "--exp", "1"),
    "admin-sig": ok("mint-admin-deed-smartwallet", "--signer-addr-hex", "33" * 20, "--wallet-sig-hex", "", "--tenant-id",
                    "7", "--aud", "console", "--challenge", "c", "--exp", "1"),
}
root = json.loads(user)["sub"]
parent = ok("parent-ref-hash-root", "--root-id", root)
link_args = ["--tenant-id", "7", "--iss", root, "--to", "agent", "--grants-json", GRANTS, "--exp", "2000000000",
             "--epoch-label-hex", "AB" * 32, "--epoch", "1", "--parent-ref-hash-hex", parent]
binding = ok("delegation-binding", *link_args)
sig = ok("wallet", "sign", "--secret-key-hex", app["secret_key_hex"], "--message-hex", binding)
link = ok("delegate", *link_args, "--signature-hex", sig)
with_key = ok("delegate", *link_args, "--pubkey-hex", "ed25519-key", "--signature-hex", "00")
expect_valid("delegate output", "delegation", json.loads(link))
expect_valid("delegate output with a public key", "delegation", json.loads(with_key))
with tempfile.NamedTemporaryFile("w", suffix=".json") as f:
    f.write(user)
    f.flush()
    deeds["capability"] = ok("mint-capability-deed", "--base-deed", "@" + f.name, "--grants-json", GRANTS,
                             "--delegation-chain-json", f"[{link},{with_key}]")
for mode, printed in deeds.items():
    expect_valid(f"{mode} deed", "deed", json.loads(printed))

# 4. Documents the schemas refuse are refused by the library too.
def grant_list(grant):
    return json.dumps([grant])


BAD_GRANTS = {
    "grant without cav": grant_list({"res": "r", "act": []}),
    "act not an array": grant_list({"res": "r", "act": "read", "cav": {}}),
    "res not a string": grant_list({"res": 1, "act": [], "cav": {}}),
    "negative max_uses": grant_list({"res": "r", "act": [], "cav": {"max_uses": -1}}),
    "exp beyond 64 bits": grant_list({"res": "r", "act": [], "cav": {"exp": 18446744073709551616}}),
    "nb not an object": grant_list({"res": "r", "act": [], "cav": {"nb": []}}),
    "not a list": json.dumps({"res": "r", "act": [], "cav": {}}),
}
for what, text in BAD_GRANTS.items():
    if not problems("grants", json.loads(text)):
        failures.append(f"the grant-list schema accepts {what}")
    if cli("delegation-binding", *LINK, "--grants-json", text)[0] != 1:
        failures.append(f"the library accepts {what}")
good = json.loads(link)
BAD_LINKS = {
    "link without sig": {k: v for k, v in good.items() if k != "sig"},
    "epoch_label of 31 bytes": {**good, "epoch_label": "ab" * 31},
    "epoch as a string": {**good, "epoch": "1"},
    "pubkey not a string": {**good, "pubkey": 5},
}
for what, doc in BAD_LINKS.items():
    if not problems("delegation", doc):
        failures.append(f"the delegation schema accepts {what}")
    if cli("parent-ref-hash-link", "--parent-link-json", json.dumps(doc))[0] != 1:
        failures.append(f"the library accepts {what}")

for f in failures:
    print("FAIL:", f)
print(f"{len(schemas)} schemas; {len(os.listdir(examples))} examples; {len(deeds) + 2} outputs; "
      f"{len(BAD_GRANTS) + len(BAD_LINKS)} refusals; {len(failures)} failures")
sys.exit(1 if failures else 0)
