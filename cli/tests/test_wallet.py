"""`quorent wallet`, through the real binary ($QUORENT_CLI): keys, addresses
and EIP-191 signatures compared with an independent wallet library, the ways
keys and messages are read, and what is refused."""

import os
import re
import shlex
import subprocess
import tempfile
import unittest

# The tool, behind the emulator that runs it when it is cross-built (Wine).
CLI = [*shlex.split(os.environ.get("QUORENT_CLI_EMULATOR", "")), os.environ.get("QUORENT_CLI", "quorent")]

# From ethers v6 (new Wallet(key).address and .signMessageSync(text)).
KEY1 = "0000000000000000000000000000000000000000000000000000000000000001"
KEY2 = "4c0883a69102937d6231471b5dbb6204fe5129617082792ae468d01a3f362318"
VECTORS = [
    (KEY1, "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf", "",
     "0ac02a3eb3039b7a3ebb6a35f1e0dd31a4ed51781205a2c193354752a25edad5"
     "0593868baf38c519b78bdc61a23c3f55e058c29f8b83d79ae48cc47d931afaed1b"),
    (KEY1, "0x7e5f4552091a69125d5dfcb7b8c2659029395bdf", "hello",
     "e5ddc160e4c8f92de507c7db9b982d4f9b7197bfa421864aeadc586bc96b09ae"
     "0ba0c5b131650ae4994cff1839341d00f3735ef5abc62ac8fe2cf50f65208e2a1b"),
    (KEY2, "0x2c7536e3605d9c16a7a3d7b1898e529396a65c23", "x" * 1000,
     "1c9d56750c30e2e28f902d5fe53ca8b1f644c509692532acd45b886929ecc2f8"
     "190784864c68353345d54ce0aab9364d3a004e2b1c3904cb87ad72ca2ae74a771b"),
    (KEY2, "0x2c7536e3605d9c16a7a3d7b1898e529396a65c23", "h\u00e9llo \u2014 w\u00f6rld",
     "1b32dac944a8fc0bed6ae53ad3690c83aca8aeae899bd3d4568f205def08f36e"
     "10887613f4d858dff81e64f91dde1add86d536a687a16f4700a2173f07aea4441b"),
]
# secp256k1's group order n: a key must lie in [1, n-1].
ORDER = "fffffffffffffffffffffffffffffffebaaedce6af48a03bbfd25e8cd0364141"


def run(*args, stdin=None):
    p = subprocess.run([*CLI, "wallet", *args], input=stdin, capture_output=True, timeout=60)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


class WalletTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def file(self, name, data):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(data.encode() if isinstance(data, str) else data)
        return path

    def ok(self, *args, stdin=None):
        code, out, err = run(*args, stdin=stdin)
        self.assertEqual((code, err), (0, ""), args)
        self.assertTrue(out.endswith("\n"))
        return out[:-1]

    def refused(self, expected, *args, stdin=None, secret=None):
        code, out, err = run(*args, stdin=stdin)
        self.assertEqual((code, out), (2, ""), args)
        self.assertIn(expected, err)
        if secret:
            self.assertNotIn(secret, err)

    def test_addresses_and_signatures_match_an_independent_wallet(self):
        for key, address, text, sig in VECTORS:
            self.assertEqual(self.ok("address", "--secret-key-hex", key), address)
            self.assertEqual(self.ok("sign", "--secret-key-hex", key, "--message=" + text), "0x" + sig)
            # The key from a file (0x and surrounding white space ignored) or standard input;
            # the message from a file or standard input, one final line break dropped.
            key_file = self.file("key", "\n 0x" + key.upper() + " \r\n")
            msg_file = self.file("msg", text + "\n")
            self.assertEqual(self.ok("address", "--secret-key-hex", "@" + key_file), address)
            self.assertEqual(self.ok("sign", "--secret-key-hex", "@" + key_file, "--message", "@" + msg_file),
                             "0x" + sig)
            self.assertEqual(self.ok("sign", "--secret-key-hex", "@" + key_file, "--message", "@-",
                                     stdin=text.encode()), "0x" + sig)
            self.assertEqual(self.ok("sign", "--secret-key-hex", "@-", "--message", "@" + msg_file,
                                     stdin=key.encode()), "0x" + sig)
            # The same bytes given as hex (a binding's bytes may end in a line feed of their own).
            self.assertEqual(self.ok("sign", "--secret-key-hex", key, "--message-hex", "@-",
                                     stdin=(" 0x" + text.encode().hex() + "\n").encode()), "0x" + sig)
        # A message that starts with @ is written with @@.
        self.assertEqual(self.ok("sign", "--secret-key-hex", KEY1, "--message", "@@x"),
                         self.ok("sign", "--secret-key-hex", KEY1, "--message", "@" + self.file("at", "@x")))

    def test_new_keys_are_fresh_usable_and_flagged_for_testing(self):
        keys = set()
        for _ in range(2):
            code, out, err = run("new")
            self.assertEqual(code, 0)
            key = out.strip()
            self.assertRegex(key, r"^[0-9a-f]{64}$")
            self.assertIn("TESTING ONLY", err)
            self.assertNotIn(key, err)
            address = self.ok("address", "--secret-key-hex", "@" + self.file("new", out))
            self.assertIn(address, err)
            keys.add(key)
        self.assertEqual(len(keys), 2)

    def test_signature_feeds_the_root_seed(self):
        origin = "https://shop.test"
        binding = subprocess.run([*CLI, "user-root-binding", "--origin", origin], capture_output=True,
                                 check=True).stdout
        sig = self.ok("sign", "--secret-key-hex", KEY2, "--message", "@-", stdin=binding)
        self.assertRegex(sig, r"^0x[0-9a-f]{128}(1b|1c)$")
        p = subprocess.run([*CLI, "derive-root-seed", "--origin", origin, "--signature1-hex", sig[2:],
                            "--signature2-hex", sig[2:]], capture_output=True, text=True)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertRegex(p.stdout, r"^[0-9a-f]{64}\n$")

    def test_refusals(self):
        for bad in ["", "00", KEY1[:-1] + "g", KEY1 + "00", "0" * 64, ORDER]:
            self.refused("--secret-key-hex", "address", "--secret-key-hex", bad)
            self.refused("--secret-key-hex", "sign", "--secret-key-hex", "@" + self.file("bad", bad),
                         "--message", "m")
        # A key is never echoed, whatever is wrong with it.
        self.refused("--secret-key-hex", "address", "--secret-key-hex", KEY2 + "zz", secret=KEY2)
        self.refused("--secret-key-hex", "address", "--secret-key-hex", "@" + self.file("big", KEY2 + " " * 5000),
                     secret=KEY2)
        for source in [os.path.join(self.dir.name, "none"), self.dir.name]:  # missing, or a directory
            self.refused(f"cannot read file '{source}'", "address", "--secret-key-hex", "@" + source)
            self.refused(f"--message: cannot read file '{source}'", "sign", "--secret-key-hex", KEY1,
                         "--message", "@" + source)
        self.refused("only one option", "sign", "--secret-key-hex", "@-", "--message", "@-", stdin=b"")
        self.refused("missing option --message", "sign", "--secret-key-hex", KEY1)
        self.refused("--message-hex: expected hex", "sign", "--secret-key-hex", KEY1, "--message-hex", "abc")
        self.refused("give the message once", "sign", "--secret-key-hex", KEY1, "--message-hex", "ab", "--message", "m")
        self.refused("missing option --secret-key-hex", "sign", "--message", "m")
        self.refused("given twice", "address", "--secret-key-hex", KEY1, "--secret-key-hex", KEY1)
        self.refused("unknown option --message", "address", "--message", "m")
        self.refused("unexpected argument", "new", "extra")
        self.refused("unknown wallet command", "steal")
        self.refused("missing wallet command")
        code, out, _ = run("--help")
        self.assertEqual(code, 0)
        self.assertTrue(all(re.search(r"\b%s\b" % c, out) for c in ["new", "address", "sign"]))


if __name__ == "__main__":
    unittest.main()
