#!/usr/bin/env python3
"""Writes the seed corpora OUT/<target>/ from the test vectors.

    fuzz/seeds.py OUT

Every C string literal in tests/ (adjacent literals joined, escapes decoded)
is offered to each target's filter, and the URL target also gets the inputs
of the URL conformance corpus (tests/data/url/urltestdata.json) and the
domain inputs of the IDNA corpora (tests/data/idna/*.json) as hosts of
"https://<input>/" URLs, so that it reaches the non-ASCII host path; a target also
gets a few hand-written seeds for forms the tests build programmatically.
Files are named by the SHA-1 of their content, so running this again only
adds what is new. scripts/fuzz.sh runs this before every run; the inputs
kept in fuzz/seeds/<target>/ are given to the targets beside it.
"""
import hashlib
import os
import pathlib
import re
import struct
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"')


def decode(body: str) -> bytes:
    out = bytearray()
    i = 0
    simple = {"n": 10, "t": 9, "r": 13, "0": 0, "\\": 92, '"': 34, "'": 39, "a": 7, "b": 8, "f": 12, "v": 11}
    while i < len(body):
        c = body[i]
        if c != "\\":
            out += c.encode()
            i += 1
            continue
        n = body[i + 1]
        if n == "x":
            m = re.match(r"[0-9A-Fa-f]+", body[i + 2:])
            out.append(int(m.group(0), 16) & 0xFF)
            i += 2 + len(m.group(0))
        elif n in "01234567" and re.match(r"[0-7]{1,3}", body[i + 1:]):
            m = re.match(r"[0-7]{1,3}", body[i + 1:])
            out.append(int(m.group(0), 8) & 0xFF)
            i += 1 + len(m.group(0))
        else:
            out.append(simple.get(n, ord(n)))
            i += 2
    return bytes(out)


def literals():
    found = set()
    for path in sorted((ROOT / "tests").rglob("*.cpp")):
        for line in path.read_text(errors="replace").splitlines():
            joined = re.sub(r'"\s*"', "", line)  # "a" "b" -> "ab"
            for m in LITERAL.finditer(joined):
                try:
                    found.add(decode(m.group(1)))
                except (AttributeError, IndexError):
                    pass
    return found


def be32(n):
    return struct.pack(">i", n)


def nested(b):
    return be32(len(b)) + b


def opt(b):
    return b"\x00" if b is None else b"\x01" + nested(b)


def deed(mode=b"user-sig", optionals=None):
    optionals = optionals or [None] * 11
    return (b"\x01" + nested(mode) + struct.pack(">Q", 7) + nested(b"sub") + nested(b"aud") + nested(b"ch") +
            struct.pack(">Q", 1700000000) + b"".join(opt(o) for o in optionals))


B64 = re.compile(rb"^[A-Za-z0-9_=+/-]*$")
HEX = re.compile(rb"^(0x)*[0-9A-Fa-fxX]*$")

TARGETS = {
    "hex": (lambda s: len(s) <= 300 and HEX.match(s) is not None,
            [b"", b"00", b"ABcd", b"zz", b"abc", b"0x0xff", b"0X12", b"\n0", b"\xc3\xa9",
             b"0x\xe0\xa0\x80", b"\xed\x9f\xbf\xf4\x8f\xbf\xbf", b"abcdef01\xf0\x90\x80"]),
    "base64url": (lambda s: len(s) <= 400 and B64.match(s) is not None,
                  [b"", b"A", b"AA", b"AB", b"AAA", b"AAAA", b"AA==", b"a+b/", b"eyJhbGciOiJFUzI1NiJ9"]),
    "origin": (lambda s: s.startswith(b"http") or s.startswith(b"HTTP") or s.startswith(b"ftp:"),
               [b"https://shop.test", b"https://B\xc3\x9cCHER.test", b"https://host\xc2\xa0x", b"https://h:99999"]),
    "url": (lambda s: 0 < len(s) <= 300 and b"\0" not in s and (b":" in s or b"." in s),
            [b"HTTPS://192.0.2.1:443/x/y?tenant=1#top\0c\0https://192.0.2.9/cb?a=b\0s t\0\0abc",
             b"https://192.0.2.1:8443/realms/a/\0v\0v\0v\0v\0v", b"mailto:x\0a\0b\0c\0d\0e",
             b"https://xn--bcher-kva.test/\0~\0\xc3\xa9\0+\0*-._\0 "]),
    "json": (lambda s: False, []),
    "token": (lambda s: False, []),
    "lift": (lambda s: False,
             [b"\x00\x00", b"\x00\x01", b"\x00\x02",
              b"\x01", b"\x01\x00", b"\x01\x02", b"\x01\x00\xff", b"\x01\x01" + nested(b"02" * 33),
              b"\x01\x01\x80\x00\x00\x00", b"\x01\x01\x00\x00\x00\x01\xff",
              b"\x02" + nested(b"\xaa\xbb"), b"\x02\x00\x00\x00\x02\xaa", b"\x02" + nested(b"\x00" * 31 + b"\x01"),
              b"\x03" + deed(), b"\x03" + deed(b"user-passkey", [None, None, None, b"30", b"04", b"ad", b"eyJ9",
                                                                  b"30", None, b"[]", b"[]"]),
              b"\x03\x01\x00\x00\x00\x08user"]),
    "buffer": (lambda s: False,
               [b"\x00\x00\x05\x00", b"\x01\x00\x03abc\x02\x00\x0a\x00\x03\x00",
                b"\x00\x00\x64\x00\x02\x00\x01\x00\x02\x00\x64\x00\x07\x00\x05\x09",
                b"\x04\x00\x00\x04\x00\x01", b"\x05\x00\x03", b"\x06\x00\x00\x00\x01"]),
}


def url_inputs():
    """Inputs of the URL conformance cases, alone and after a base-less form."""
    import json
    out = set()
    path = ROOT / "tests" / "data" / "url" / "urltestdata.json"
    for case in json.loads(path.read_text()):
        if isinstance(case, dict) and "input" in case:
            out.add(case["input"].encode("utf-8", "surrogatepass"))
    return out


def idna_hosts():
    """The IDNA conformance inputs as hosts: "https://<input>/"."""
    import json
    out = set()
    for path in sorted((ROOT / "tests" / "data" / "idna").glob("*.json")):
        for case in json.loads(path.read_text()):
            if isinstance(case, dict) and "input" in case:
                out.add(b"https://" + case["input"].encode("utf-8", "surrogatepass") + b"/")
    return out


def json_seeds(lits):
    """Every JSON-looking test literal, once for each reader of the target."""
    docs = [s for s in lits if s[:1] in (b"{", b"[") and len(s) <= 4000]
    docs += [b'[{"res":"r","act":["read","write"],"cav":{"exp":1,"max_uses":2,"nb":{"b":1,"a":{"d":2.50,"c":true}}}}]',
             b'{"iss":"a","to":"b","grants":[],"exp":2,"epoch_label":"' + b"AB" * 32 + b'","epoch":3,"sig":"00",'
             b'"pubkey":null,"kind":"x"}',
             b'{"kty":"EC","crv":"P-256","x":"abc","y":"def","kid":"k"}',
             b'{"iss":"i","sub":"s","aud":"a","exp":1000,"iat":1,"tid":7,"nonce":null}',
             b'[1e16,1.5e-7,-0.0,18446744073709551615,-9223372036854775808,"\u0001\t/\u00e9"]']
    return {bytes([mode]) + d for d in docs for mode in range(6)}


def token_seeds(lits):
    """Raw tokens and key sets from the tests; signed forms of typical claims."""
    out = set()
    jwts = [s for s in lits if s.count(b".") == 2 and B64.match(s.replace(b".", b""))]
    sets = [s for s in lits if s.startswith(b'{"keys"')] or [b'{"keys":[]}']
    for j in jwts:
        for k in sets:
            out.add(b"\x00" + j + b"\x00" + k)
    claims = b'{"iss":"https://auth.test/","sub":"u","aud":"app","exp":1000,"iat":1,"tid":7,"nonce":"n"}'
    now = struct.pack(">Q", 1060)
    for header in (b'{"alg":"ES256"}', b'{"alg":"ES256","kid":"k1","typ":"JWT"}', b'{"alg":"es256"}', b'[1]',
                   b'{"alg":"ES256","kid":7}', b'{"alg":"ES256","kid":"other"}',
                   b'{"alg":"ES256","kid":"@T"}'):
        for flags in (0, 1, 2, 4, 6):
            out.add(b"\x01" + now + bytes([flags]) + header + b"\0" + claims + b"\0https://auth.test/\0app")
    out.add(b"\x01" + struct.pack(">Q", 2**64 - 1) + b"\x00" + b'{"alg":"ES256"}\0' +
            b'{"iss":"i","sub":"s","aud":"a","exp":18446744073709551615}\0i\0a')
    out.add(b"\x01" + now + b"\x00" + b'{"alg":"ES256"}\0["i","s","a",5]\0i\0a')
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: fuzz/seeds.py OUT")
    corpus = pathlib.Path(sys.argv[1])
    lits = literals()
    urls = url_inputs() | idna_hosts()
    for name, (accept, extra) in TARGETS.items():
        d = corpus / name
        d.mkdir(parents=True, exist_ok=True)
        pool = lits | urls if name == "url" else lits
        seeds = set(extra) | {s for s in pool if accept(s)}
        if name == "json":
            seeds |= json_seeds(lits)
        if name == "token":
            seeds |= token_seeds(lits)
        for s in seeds:
            (d / hashlib.sha1(s).hexdigest()).write_bytes(s)
        print(f"{name}: {len(list(d.iterdir()))} seeds")


if __name__ == "__main__":
    main()
