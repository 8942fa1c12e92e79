"""The quorent tool, through the real binary ($QUORENT_CLI): every
subcommand, the usage errors, the exit statuses, the value sources, the JSON
output, the generated man page and completion ($QUORENT_CLI_DOCS) and the
demo."""

import hashlib
import json
import os
import re
import shlex
import shutil
import subprocess
import tempfile
import unittest

# The tool, behind the emulator that runs it when it is cross-built (Wine).
CLI = [*shlex.split(os.environ.get("QUORENT_CLI_EMULATOR", "")), os.environ.get("QUORENT_CLI", "quorent")]
DOCS = os.environ.get("QUORENT_CLI_DOCS", "")
DATA = os.path.join(os.path.dirname(__file__), "..", "..", "tests", "data")
CASES = os.path.join(DATA, "..", "cases", "operations.json")

# The demo wallet key and signatures made with it by an independent
# EIP-191 implementation (ethers 6).
DEMO_ADDRESS = "0x43f15a5d82ba3fa7da0732f5fa7b56d13474ef03"
ADMIN_SIG = ("b6a6d324e72f66e1eae4639cedec3926de223cb9207c1507e01a7f8f5837bc7f"
             "0c1fe7e90f2f77d9e01a7c31fe27a075f754989a5f113bc691e6d00fa61ae84b1b")
VOUCH_SIG = ("199e97860eb94ddc2da4951220b209d78c22cb603c0fe04929e41f63e9718695"
             "1b66a93fd04b58b07ebf6be570b42f04537b889cb78faefc4b95153d49a3d7ea1c")
SEED = "11" * 32
ZERO32 = "00" * 32

# The Deed record's fields as the tool prints them (and reads them back).
DEED_FIELDS = ["v", "mode", "tenant", "sub", "aud", "challenge", "exp", "root", "proof", "pubkey", "signature",
               "credential_pubkey", "authenticator_data", "client_data_json", "assertion_sig", "signer", "grants",
               "delegations"]


def run(*args, stdin=None, stdout=subprocess.PIPE):
    p = subprocess.run([*CLI, *args], input=stdin, stdout=stdout, stderr=subprocess.PIPE, text=True, timeout=60)
    return p.returncode, p.stdout, p.stderr


def sha256_hex(data):
    return hashlib.sha256(data.encode() if isinstance(data, str) else data).hexdigest()


class CliTestCase(unittest.TestCase):
    def run_cli(self, *args, stdin=None):
        return run(*args, stdin=stdin)

    def ok(self, *args, stdin=None):
        code, out, err = self.run_cli(*args, stdin=stdin)
        self.assertEqual((code, err), (0, ""), args)
        return out

    def ok_text(self, *args, stdin=None):
        out = self.ok(*args, stdin=stdin)
        self.assertTrue(out.endswith("\n"))
        return out[:-1]

    def ok_json(self, *args, stdin=None):
        return json.loads(self.ok(*args, stdin=stdin))

    def fails(self, expected_code, *args, stdin=None):
        code, out, err = self.run_cli(*args, stdin=stdin)
        self.assertEqual(code, expected_code, (args, out, err))
        self.assertEqual(out, "")
        return err

    def sdk_error(self, variant, message, *args, stdin=None):
        err = self.fails(1, *args, stdin=stdin)
        self.assertEqual(err, f"SdkError::{variant}: {message}\n")


class UsageTest(CliTestCase):
    def test_help_lists_every_command_with_its_options(self):
        out = self.ok("--help")
        commands = re.findall(r"^  ([a-z0-9-]+) ", out, re.M)
        self.assertEqual(len(commands), 31)  # demo, wallet and the 29 operations
        completion = self.ok("__bash-completion")
        for command in commands:
            if command == "wallet":  # its own subcommands, tested in test_wallet.py
                continue
            with self.subTest(command=command):
                help_text = self.ok(command, "--help")
                self.assertTrue(help_text.startswith(f"usage: quorent {command}"))
                options = [line.split()[0] for line in help_text.splitlines() if line.startswith("  --")]
                listed = re.search(rf"^ +{command}\) opts=\"([^\"]*)\"", completion, re.M).group(1).split()
                self.assertEqual(listed, options + ["--help", "--json"])
        self.assertIn("--secret-key-hex HEX", self.ok("mint-user-deed", "--help"))
        self.assertIn("@key.hex", self.ok("mint-user-deed", "--help"))

    def test_version(self):
        first, built_with, *components = self.ok_text("--version").splitlines()
        self.assertRegex(first, r"^quorent \d+\.\d+\.\d+ \(libquorent_sdk_uniffi \d+\.\d+\.\d+, contract version 30\)$")
        self.assertEqual(built_with, "built with:")
        names = [re.fullmatch(r"  (\S+) \S*\d\S* \(.+\)", line).group(1) for line in components]
        # OpenSSL, libsecp256k1 and the Unicode data, each once, whichever the build
        self.assertEqual(len(names), len(set(names)))
        self.assertLessEqual({"openssl", "libsecp256k1", "unicode-data"}, set(names))

    def test_no_command_or_unknown_command(self):
        self.assertIn("usage: quorent <command>", self.fails(2))
        self.assertIn("unknown command 'frobnicate'", self.fails(2, "frobnicate"))

    def test_malformed_options_are_usage_errors(self):
        cases = [
            (["normalize-origin"], "missing option --origin"),
            (["normalize-origin", "--origin"], "option --origin needs a value"),
            (["normalize-origin", "--origin", "--x"], "option --origin needs a value"),
            (["normalize-origin", "--bogus", "1"], "unknown option --bogus"),
            (["normalize-origin", "https://a"], "unexpected argument 'https://a'"),
            (["normalize-origin", "--origin", "https://a", "--origin=https://b"], "option --origin given twice"),
            (["parent-ref-hash-root", "--root-id", "x", "--"], "unexpected argument '--'"),
            (["user-binding", "--tenant-id", "-1", "--aud", "a", "--origin", "https://a", "--challenge", "c",
              "--exp", "1"], "--tenant-id: expected an unsigned 64-bit decimal integer, got '-1'"),
            (["origin-vouch-binding", "--tenant-id", "1", "--aud", "a", "--origin", "https://a", "--epoch", "1",
              "--exp", "1", "--allow-insecure-origin=yes"], "takes no value, or =true or =false"),
            (["decode-bool-return", "--ret", "0xabc"], "--ret: expected hex digits"),
            (["mint-capability-deed", "--base-deed", "{", "--grants-json", "[]", "--delegation-chain-json", "[]"],
             "--base-deed: not JSON"),
            (["mint-capability-deed", "--base-deed", '{"v":1,\n"mode":"\\udc00"}', "--grants-json", "[]",
              "--delegation-chain-json", "[]"],
             "--base-deed: not JSON: a \\u escape of an unpaired surrogate at line 2 column 16"),
            # (30000 levels: a Windows command line holds at most 32767 characters.)
            (["mint-capability-deed", "--base-deed", "[" * 30000, "--grants-json", "[]", "--delegation-chain-json",
              "[]"], "--base-deed: not JSON: more than 512 nested arrays and objects at line 1 column 513"),
            (["mint-capability-deed", "--base-deed", '{"v":1}', "--grants-json", "[]",
              "--delegation-chain-json", "[]"], "deed field 'mode' is missing"),
            (["mint-capability-deed", "--base-deed", '{"v":256}', "--grants-json", "[]",
              "--delegation-chain-json", "[]"], "deed field 'v' must be an integer from 0 to 255"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                err = self.fails(2, *args)
                self.assertIn(message, err)
                self.assertIn("--help)", err)

    def test_u64_bounds(self):
        for bad in ["", "x", "1.0", " 1", "+1", "18446744073709551616", "99999999999999999999"]:
            with self.subTest(value=bad):
                self.assertIn("--tenant-id: expected an unsigned 64-bit decimal integer",
                              self.fails(2, "build-client-assertion", "--domain", "d", "--tenant-id", bad,
                                         "--nonce", "n", "--issued-at", "1"))
        out = self.ok_text("build-client-assertion", "--domain", "d", "--tenant-id", "18446744073709551615",
                           "--nonce", "n", "--issued-at", "007")
        self.assertEqual(out.split("\n")[2:], ["tenant: 18446744073709551615", "nonce: n", "issued-at: 7"])

    def test_failed_write_is_an_internal_failure(self):
        if not os.path.exists("/dev/full"):
            self.skipTest("no /dev/full")
        with open("/dev/full", "w") as full:
            code, _, err = run("normalize-origin", "--origin", "https://a", stdout=full)
        self.assertEqual(code, 3)
        self.assertIn("cannot write the output", err)


class ValueSourcesTest(CliTestCase):
    def test_files_stdin_and_literal_at(self):
        with tempfile.TemporaryDirectory() as d:
            def write(name, content):
                path = os.path.join(d, name)
                with open(path, "w") as f:
                    f.write(content)
                return "@" + path
            # Any option: integers and hex lose the white space around them, a text only its final line break.
            key = self.ok_json("derive-app-key", "--root-seed-hex", "@-", "--tenant-id", write("t", " 7\n"),
                               "--origin", write("o", "https://a\r\n"), stdin="\n " + SEED + " \n")
            self.assertEqual(key, self.ok_json("derive-app-key", "--root-seed-hex", SEED, "--tenant-id", "7",
                                               "--origin", "https://a"))
            self.assertEqual(self.ok_text("parent-ref-hash-root", "--root-id", write("r", " x \n")),
                             sha256_hex(" x "))
            self.assertEqual(self.ok_text("decode-bool-return", "--ret", write("ret", "00" * 31 + "01\n")), "true")
            self.assertEqual(self.ok_text("decode-bool-return", "--ret", "0x" + "00" * 32), "false")  # byte options too
            self.assertIn("--tenant-id: expected an unsigned 64-bit decimal integer",
                          self.fails(2, "passkey-sub", "--tenant-id", write("bad", "7 7\n"), "--origin", "https://a",
                                     "--credential-pubkey-hex", "04"))
        self.assertIn("only one option can be read from standard input",
                      self.fails(2, "derive-root-seed", "--origin", "https://a", "--signature1-hex", "@-",
                                 "--signature2-hex", "@-", stdin="ab"))
        self.assertEqual(self.ok_text("parent-ref-hash-root", "--root-id", "@@x"), sha256_hex("@x"))  # a literal @

    def test_unreadable_sources_are_usage_errors(self):
        with tempfile.TemporaryDirectory() as d:
            for path in [d, os.path.join(d, "missing")]:
                with self.subTest(path=path):
                    err = self.fails(2, "mint-user-deed", "--secret-key-hex", "@" + path, "--tenant-id", "7",
                                     "--aud", "a", "--origin", "https://a", "--challenge", "c", "--exp", "1")
                    self.assertIn(f"--secret-key-hex: cannot read file '{path}'", err)

    def test_non_ascii_texts_paths_and_messages_are_utf8(self):
        """Bytes in, bytes out, whatever the platform's code page: é, an em dash,
        CJK and a character outside the BMP (two UTF-16 units on Windows)."""
        text = "h\u00e9llo \u2014 \u4e16\u754c \U0001f511"
        self.assertEqual(self.ok_text("parent-ref-hash-root", "--root-id", text), sha256_hex(text))
        out = self.ok_text("build-client-assertion", "--domain", "d", "--tenant-id", "1", "--nonce", text,
                           "--issued-at", "1")
        self.assertIn("nonce: " + text, out.split("\n"))
        with tempfile.TemporaryDirectory(prefix="d\u00e9j\u00e0 \u4e16-") as d:
            path = os.path.join(d, "cl\u00e9 \u2014 \U0001f511.txt")
            with open(path, "w", encoding="utf-8") as f:
                f.write(text + "\n")
            self.assertEqual(self.ok_text("parent-ref-hash-root", "--root-id", "@" + path), sha256_hex(text))
            key_path = os.path.join(d, "k\u00e9y.hex")
            with open(key_path, "w") as f:
                f.write("00" * 31 + "01\n")
            self.assertEqual(self.ok_text("wallet", "sign", "--secret-key-hex", "@" + key_path, "--message", "@" + path),
                             self.ok_text("wallet", "sign", "--secret-key-hex", "00" * 31 + "01", "--message", text))
            missing = os.path.join(d, "n\u00f6ne \u4e16")
            self.assertIn(f"--root-id: cannot read file '{missing}' (",
                          self.fails(2, "parent-ref-hash-root", "--root-id", "@" + missing))
        self.assertIn("unknown command 'fr\u00f6b \U0001f511'", self.fails(2, "fr\u00f6b \U0001f511"))


class OperationsTest(CliTestCase):
    def test_shared_cases(self):
        """Every case of tests/cases/operations.json, each argument through its option."""
        def option(name, value):
            if isinstance(value, bool):
                return [f"--{name}"] if value else []
            if isinstance(value, dict):  # a record: its u64 fields are JSON numbers here
                value = json.dumps({k: int(v) if k in ("tenant", "exp") else v for k, v in value.items()})
            return [f"--{name}=" + ("@" + value if value.startswith("@") else value)]

        def as_case(out, want):
            if isinstance(want, dict):
                record = json.loads(out)
                return {k: str(v) if isinstance(want[k], str) and isinstance(v, int) else v for k, v in record.items()}
            return out[2:] if out.startswith("0x") and not want.startswith("0x") else out

        with open(CASES, encoding="utf-8") as f:
            cases = [c for c in json.load(f)["cases"] if not c.get("c_only")]
        for case in cases:
            with self.subTest(case["name"]):
                args = [case["op"].replace("_", "-")]
                for name, value in case["args"].items():
                    if value is not None:
                        args += option(name.replace("_", "-"), value)
                if "err" in case:
                    self.sdk_error(case["err"]["variant"], case["err"]["message"], *args)
                elif "ok_pattern" in case:
                    for field, value in self.ok_json(*args).items():
                        self.assertRegex(value, case["ok_pattern"][field])
                else:
                    want = case["ok"]
                    want = {True: "true", False: "false"}.get(want, want) if isinstance(want, bool) else want
                    self.assertEqual(as_case(self.ok_text(*args), want), want)

    def test_vectors_of_an_independent_wallet(self):
        deed = self.ok_json("mint-admin-deed", "--wallet-sig-hex", "0x" + ADMIN_SIG, "--tenant-id", "7",
                            "--aud", "console", "--challenge", "c1", "--exp", "1700000000")
        self.assertEqual((deed["mode"], deed["sub"], deed["signature"], deed["signer"]),
                         ("admin-sig", DEMO_ADDRESS, ADMIN_SIG, None))
        self.assertEqual(self.ok_text("origin-vouch-signer", "--tenant-id", "7", "--aud", "web", "--origin",
                                      "https://shop.test", "--epoch", "3", "--exp", "1700000000",
                                      "--signature-hex", VOUCH_SIG), DEMO_ADDRESS)

    def test_printed_records_read_back(self):
        key = self.ok_json("derive-app-key", "--root-seed-hex", SEED, "--tenant-id", "7", "--origin", "https://a")
        self.assertEqual(list(key), ["secret_key_hex", "pubkey_hex"])
        printed = self.ok("mint-user-deed", "--secret-key-hex", key["secret_key_hex"], "--tenant-id", "7",
                          "--aud", "app", "--origin", "https://a", "--challenge", "c1", "--exp", "1700000000")
        base = json.loads(printed)
        self.assertEqual(list(base), DEED_FIELDS)
        link_args = ["--tenant-id", "1", "--iss", "a", "--to", "b", "--grants-json", "[]", "--exp", "2",
                     "--epoch-label-hex", ZERO32, "--epoch", "3", "--parent-ref-hash-hex", ZERO32]
        link = self.ok_text("delegate", *link_args, "--signature-hex", "0x0xABcd")
        self.assertNotIn("pubkey", json.loads(link))
        pretty = json.dumps(json.loads(link), indent=4)
        self.assertEqual(self.ok_text("parent-ref-hash-link", "--parent-link-json", "@-", stdin=pretty),
                         sha256_hex(link))
        with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
            f.write(printed)
        try:
            deed = self.ok_json("mint-capability-deed", "--base-deed", "@" + f.name, "--grants-json",
                                '[{"act":["read"],"res":"r","cav":{}}]', "--delegation-chain-json",
                                "[" + link + "]")
        finally:
            os.unlink(f.name)
        self.assertEqual({k: v for k, v in deed.items() if k not in ("grants", "delegations")},
                         {k: v for k, v in base.items() if k not in ("grants", "delegations")})
        self.assertEqual((deed["grants"], deed["delegations"]),
                         ('[{"res":"r","act":["read"],"cav":{}}]', "[" + link + "]"))

    def test_generate_pkce_is_fresh_and_consistent(self):
        pair = self.ok_json("generate-pkce")
        self.assertEqual(list(pair), ["verifier", "challenge"])
        self.assertEqual(self.ok_text("pkce-challenge", "--verifier", pair["verifier"]), pair["challenge"])
        self.assertNotEqual(self.ok_json("generate-pkce")["verifier"], pair["verifier"])

    def test_verify_token_at(self):
        with open(os.path.join(DATA, "host_es256_vector.json")) as f:
            v = json.load(f)
        with tempfile.TemporaryDirectory() as d:
            jwks = os.path.join(d, "jwks.json")
            with open(jwks, "w") as f:
                json.dump(v["jwks"], f)
            common = ["--jwks-json", "@" + jwks, "--expected-iss", v["iss"], "--expected-aud", v["aud"]]
            claims = self.ok_json("verify-token-at", "--jwt", "@-", *common, "--now-unix", str(v["now"]),
                                  stdin=v["jwt"] + "\n")
            self.assertEqual(claims, v["claims"])
            self.assertEqual(list(claims), ["iss", "sub", "aud", "exp", "iat", "tid", "nonce"])
            self.sdk_error("Sdk", "claim: expired", "verify-token-at", "--jwt", v["jwt"], *common,
                           "--now-unix", str(v["claims"]["exp"] + 61))
            # Without --now-unix the clock decides: this token expired long ago.
            self.sdk_error("Sdk", "claim: expired", "verify-token-at", "--jwt", v["jwt"], *common)


class JsonOutputTest(CliTestCase):
    def test_every_result_is_one_json_value(self):
        plain = lambda out: out  # noqa: E731
        cases = [
            (["normalize-origin", "--origin", "https://A"], plain),
            (["origin-vouch-max-ttl-secs"], int),
            (["decode-bool-return", "--ret", "00" * 32], lambda out: {"true": True, "false": False}[out]),
            (["is-origin-voucher-calldata", "--tenant-id", "1", "--signer-hex", "11" * 20, "--epoch", "2"], plain),
            (["derive-app-key", "--root-seed-hex", SEED, "--tenant-id", "7", "--origin", "https://a"], json.loads),
        ]
        for args, from_text in cases:
            with self.subTest(args=args):
                out = self.ok(args[0], "--json", *args[1:])
                self.assertEqual(json.loads(out), from_text(self.ok_text(*args)))
                self.assertEqual(out, self.ok("--json", *args))  # before or after the command
        # A text with line breaks stays one line of JSON.
        out = self.ok("--json", "user-root-binding", "--origin", "https://a")
        self.assertEqual(out.count("\n"), 1)
        self.assertTrue(json.loads(out).endswith("quorent-sovereign-user-root-v2"))

    def test_every_error_is_a_json_object_and_the_status_is_kept(self):
        cases = [
            (1, ["normalize-origin", "--origin", "ftp://x"],
             {"variant": "Sdk", "message": "input: origin: must start with https:// or http://"}),
            (1, ["origin-vouch-binding", "--tenant-id", "7", "--aud", "w", "--origin", "http://localhost:3000",
                 "--epoch", "1", "--exp", "1"],
             {"variant": "InsecureOrigin", "message": "http://localhost:3000: scheme must be https in production"}),
            (2, ["normalize-origin"], {"variant": "Usage", "message": "missing option --origin"}),
        ]
        for status, args, expected in cases:
            with self.subTest(args=args):
                err = self.fails(status, "--json", *args)
                self.assertEqual(err.count("\n"), 1)
                self.assertEqual(json.loads(err), expected)


class GeneratedDocsTest(CliTestCase):
    def docs(self, name):
        path = os.path.join(DOCS, name)
        if not DOCS or not os.path.exists(path):
            self.skipTest("QUORENT_CLI_DOCS does not hold the generated " + name)
        with open(path) as f:
            self.assertEqual(f.read(), self.ok("__man" if name.endswith(".1") else "__bash-completion"))
        return path

    def test_man_page_is_clean_roff_naming_every_command(self):
        path = self.docs("quorent.1")
        commands = re.findall(r"^  ([a-z0-9-]+) ", self.ok("--help"), re.M)
        with open(path) as f:
            page = f.read()
        for command in commands:
            self.assertIn("\n.B " + command.replace("-", "\\-") + "\n", page)
        if shutil.which("groff"):
            p = subprocess.run(["groff", "-man", "-z", "-ww", path], capture_output=True, text=True)
            self.assertEqual((p.returncode, p.stderr), (0, ""))
        if shutil.which("man"):
            p = subprocess.run(["man", "--warnings", "-l", path], capture_output=True, text=True,
                               env={**os.environ, "MANPAGER": "cat", "PAGER": "cat", "MANWIDTH": "80"})
            self.assertEqual((p.returncode, p.stderr), (0, ""))
            self.assertIn("verify-token-at", p.stdout)

    def test_bash_completion_completes_commands_options_and_files(self):
        path = os.path.abspath(self.docs("quorent.bash"))
        if not shutil.which("bash"):
            self.skipTest("no bash")

        def complete(*words):
            script = (f'source "{path}"; COMP_WORDS=(quorent {" ".join(words)}); '
                      f'COMP_CWORD={len(words)}; _quorent; printf "%s\\n" "${{COMPREPLY[@]}}"')
            p = subprocess.run(["bash", "-c", script], capture_output=True, text=True, cwd=os.path.dirname(path))
            self.assertEqual(p.returncode, 0, p.stderr)
            return p.stdout.split()

        self.assertEqual(complete("normalize-o"), ["normalize-origin"])
        self.assertEqual(complete("--json", "verify-tok"), ["verify-token-at"])
        self.assertEqual(complete("derive-app-key", "--r"), ["--root-seed-hex"])
        self.assertIn("@quorent.1", complete("derive-app-key", "--root-seed-hex", "@quor"))


class DemoTest(CliTestCase):
    def test_demo_text(self):
        out = self.ok("demo", "--now", "1700000000")
        self.assertIn("DEMO WALLET KEY", out)
        for title in ["Origin", "Root binding", "Wallet signature (DEMO key, host code)", "Root seed", "App key",
                      "User binding", "Deed", "Capability deed with one delegation link", "Origin vouch"]:
            self.assertIn(f". {title}", out)
        self.assertEqual(out, self.ok("demo", "--now", "1700000000"))  # deterministic for a fixed time

    def test_demo_json_flow_is_consistent(self):
        doc = self.ok_json("demo", "--json", "--now", "1700000000", "--origin", "https://Shop.Example:443/",
                           "--tenant-id", "9")
        self.assertIn("DEMO", doc["wallet"]["key"])
        self.assertEqual(doc["wallet"]["address"], DEMO_ADDRESS)
        steps = {s["title"]: s for s in doc["steps"]}
        self.assertEqual(len(doc["steps"]), 9)
        self.assertEqual(steps["Origin"]["canonical"], "https://shop.example")
        wallet = steps["Wallet signature (DEMO key, host code)"]
        self.assertTrue(wallet["second_signature_identical"])
        self.assertEqual(steps["Root seed"]["root_seed_hex"], sha256_hex(bytes.fromhex(wallet["signature"])))
        deed = steps["Deed"]["deed"]
        self.assertEqual((deed["mode"], deed["tenant"], deed["exp"]), ("user-sig", 9, 1700000300))
        self.assertTrue(steps["Deed"]["sub_is_user_sub_of_app_key"])
        self.assertEqual(deed["pubkey"], steps["App key"]["app_key"]["pubkey_hex"])
        cap = steps["Capability deed with one delegation link"]
        chain = json.loads(cap["capability_deed"]["delegations"])
        self.assertEqual(len(chain), 1)
        self.assertEqual((chain[0]["iss"], chain[0]["to"]), (deed["sub"], "agent:demo-assistant"))
        self.assertEqual(cap["parent_ref_hash"], sha256_hex(deed["sub"]))
        vouch = steps["Origin vouch"]
        self.assertEqual(vouch["recovered_signer"], DEMO_ADDRESS)
        self.assertTrue(vouch["signer_is_demo_wallet"])
        self.assertTrue(vouch["registry_call_data"].startswith("0x04e8e8da"))
        self.assertLessEqual(vouch["vouch_lifetime_secs"], vouch["max_vouch_lifetime_secs"])

    def test_demo_usage_and_library_errors(self):
        self.assertIn("--tenant-id: expected an unsigned 64-bit decimal integer",
                      self.fails(2, "demo", "--tenant-id", "x"))
        code, out, err = self.run_cli("demo", "--origin", "http://localhost:3000", "--now", "1")
        self.assertEqual(code, 1)
        self.assertIn("7. Deed", out)  # the steps before the failure were printed
        self.assertEqual(err, "SdkError::InsecureOrigin: http://localhost:3000: scheme must be https in production\n")
        self.ok("demo", "--origin", "http://localhost:3000", "--allow-insecure-origin", "--now", "1")


if __name__ == "__main__":
    unittest.main()
