"""The shared operation cases (tests/cases/operations.json) through the
Python binding: every operation, both error variants, values at the edges
of their types."""

import json
import os
import re
import unittest

import quorent_sdk as q
from quorent_sdk import _generated

CASES = os.environ.get("QUORENT_CASES") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "tests", "cases", "operations.json")


def from_case(t, v):
    """A value in the file's form as the binding takes it."""
    if v is None:
        return None
    if t.startswith("opt:"):
        return from_case(t[4:], v)
    if t == "u64":
        return int(v)
    if t == "bytes":
        return bytes.fromhex(v)
    if t.startswith("record:"):
        cls, fields = _generated.RECORDS[t[7:]]
        return cls(**{n: from_case(ft, v[n]) for n, ft in fields})
    return v


def to_case(t, v):
    """A value the binding returned, in the file's form."""
    if v is None:
        return None
    if t.startswith("opt:"):
        return to_case(t[4:], v)
    if t == "u64":
        return str(v)
    if t == "bytes":
        return v.hex()
    if t.startswith("record:"):
        _, fields = _generated.RECORDS[t[7:]]
        return {n: to_case(ft, getattr(v, n)) for n, ft in fields}
    return v


class SharedCasesTest(unittest.TestCase):
    def test_every_case(self):
        with open(CASES, encoding="utf-8") as f:
            cases = json.load(f)["cases"]
        seen = set()
        for case in cases:
            if case.get("c_only"):
                continue
            with self.subTest(case["name"]):
                args, ret, _ = _generated.FUNCTIONS[case["op"]]
                self.assertEqual([n for n, _ in args], list(case["args"]))
                seen.add(case["op"])
                values = [from_case(t, case["args"][n]) for n, t in args]
                fn = getattr(q, case["op"])
                if "err" in case:
                    with self.assertRaises(q.SdkError) as cm:
                        fn(*values)
                    self.assertEqual(type(cm.exception).__name__, case["err"]["variant"])
                    self.assertEqual(cm.exception.message, case["err"]["message"])
                    continue
                result = to_case(ret, fn(*values))
                if "ok_pattern" in case:
                    for field, pattern in case["ok_pattern"].items():
                        self.assertRegex(result[field], re.compile(pattern))
                else:
                    self.assertEqual(result, case["ok"])
        self.assertEqual(seen, set(_generated.FUNCTIONS), "every operation has a case")


if __name__ == "__main__":
    unittest.main()
