"""Secrets, walked from the interface description (bindings/interface.json):
every argument, record field and result it marks secret stays out of the
records' printed forms, and every copy the binding makes of it (the encoded
argument, the received result) is wiped before the call returns or raises.
Calls use the shared operation cases."""

import json
import os
import unittest

import quorent_sdk as q
from quorent_sdk import _generated, _runtime
from test_cases import CASES, from_case

DESCRIPTION = os.environ.get("QUORENT_INTERFACE") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "interface.json")
# Refused by every secret hex argument, longer than every other argument of a case.
MARK = "not-hex:" + "5ec7e7" * 64


def load():
    with open(DESCRIPTION, encoding="utf-8") as f:
        iface = json.load(f)
    with open(CASES, encoding="utf-8") as f:
        cases = json.load(f)["cases"]
    ok = {}
    for c in cases:
        if not c.get("c_only") and ("ok" in c or "ok_pattern" in c):
            ok.setdefault(c["op"], c)
    return iface, ok


class Copies:
    """Records, while a with-block runs, the buffers the binding makes: every
    text it encodes (with the text) and every result it receives (with its
    bytes as received)."""

    def __enter__(self):
        self.encoded, self.received = [], []
        self._encode, self._take = _generated._encode, _runtime.take

        def encode(text):
            b = self._encode(text)
            self.encoded.append((text, b))
            return b

        def take(buf, st):
            b = self._take(buf, st)
            self.received.append((bytes(bytearray(b)), b))
            return b

        _generated._encode, _runtime.take = encode, take
        return self

    def __exit__(self, *exc):
        _generated._encode, _runtime.take = self._encode, self._take

    def holding(self, secret):
        """The copies that held secret."""
        raw = secret.encode()
        return ([b for text, b in self.encoded if text == secret] +
                [b for snapshot, b in self.received if raw in snapshot])

    def assert_wiped(self, test, secret, what):
        held = self.holding(secret)
        test.assertTrue(held, f"{what}: the binding made no copy of the secret to check")
        for b in held:
            test.assertEqual(b, bytes(len(b)), f"{what}: a copy of the secret was left unwiped")


class SecretsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.iface, cls.ok = load()

    def call(self, op, args):
        values = [from_case(a["type"], args[a["name"]]) for a in op["args"]]
        return getattr(q, op["name"])(*values)

    def test_description_marks_secrets_of_every_kind(self):
        ops = self.iface["operations"]
        self.assertTrue(any(a["secret"] for op in ops for a in op["args"]))
        self.assertTrue(any(op["result"]["secret"] for op in ops))
        self.assertTrue(any(x["secret"] for r in self.iface["records"] for x in r["fields"]))

    def test_secret_arguments_are_wiped_on_every_path(self):
        for op in self.iface["operations"]:
            for arg in [a for a in op["args"] if a["secret"]]:
                name = f"{op['name']}({arg['name']})"
                with self.subTest(name):
                    case = self.ok[op["name"]]
                    self.assertEqual(arg["type"], "str", "only text secrets are exercised")
                    with Copies() as c:
                        self.call(op, case["args"])
                    c.assert_wiped(self, case["args"][arg["name"]], name + " returning")
                    # Refused by the library, and by the binding after the copy was made.
                    args = dict(case["args"], **{arg["name"]: MARK})
                    with Copies() as c:
                        try:
                            self.call(op, args)
                        except q.SdkError:
                            pass
                    c.assert_wiped(self, MARK, name + " refused by the library")
                    self.assertTrue(all(len(str(v)) < len(MARK) for v in case["args"].values()))
                    real, _generated._MAX = _generated._MAX, len(MARK) - 1
                    try:
                        with Copies() as c, self.assertRaisesRegex(ValueError, arg["name"] + " is longer"):
                            self.call(op, args)
                    finally:
                        _generated._MAX = real
                    c.assert_wiped(self, MARK, name + " refused by the binding")

    def test_secret_results_are_wiped_once_read(self):
        records = {r["name"]: r for r in self.iface["records"]}
        for op in self.iface["operations"]:
            result = op["result"]
            secret_fields = [x["name"] for x in records[result["type"][7:]]["fields"] if x["secret"]] \
                if result["type"].startswith("record:") else []
            if not result["secret"] and not secret_fields:
                continue
            with self.subTest(op["name"]), Copies() as c:
                value = self.call(op, self.ok[op["name"]]["args"])
            secrets = [getattr(value, f) for f in secret_fields] if secret_fields else [value]
            for s in secrets:
                c.assert_wiped(self, s, op["name"] + " result")

    def test_records_show_every_field_but_the_secret_ones(self):
        for r in self.iface["records"]:
            if not any(x["secret"] for x in r["fields"]):
                continue
            values = {x["name"]: 7 if x["type"].endswith(("u64", "u8")) else f"value-of-{x['name']}"
                      for x in r["fields"]}
            record = getattr(q, r["name"])(**values)
            for shown in (repr(record), str(record), f"{record}"):
                for x in r["fields"]:
                    if x["secret"]:
                        self.assertNotIn(values[x["name"]], shown)
                        self.assertIn(f"{x['name']}=<redacted>", shown)
                    else:
                        self.assertIn(repr(values[x["name"]]), shown)


if __name__ == "__main__":
    unittest.main()
