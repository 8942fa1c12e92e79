'use strict';
// A seeded generator of URL-like strings for the differential run
// (url_differential.js): mutations of the URL corpus, and URLs assembled
// from hosts, ports, userinfo and paths that exercise the host parser
// (IDNA mapping, IPv4 in every radix, IPv6, percent-encoding).

const fs = require('node:fs');
const path = require('node:path');

// xorshift128+ reduced to 32-bit draws: fast, and the same sequence for a
// seed on every machine.
function rng(seed) {
  let a = (seed >>> 0) ^ 0x9e3779b9;
  let b = Math.imul(seed >>> 0, 0x85ebca6b) ^ 0xc2b2ae35;
  let c = 0x27d4eb2f, d = 0x165667b1;
  const next = () => {
    const t = a ^ (a << 11);
    a = b; b = c; c = d;
    d = (d ^ (d >>> 19) ^ (t ^ (t >>> 8))) >>> 0;
    return d;
  };
  for (let i = 0; i < 16; i++) next();
  const r = {
    u32: next,
    int: (n) => next() % n,
    chance: (p) => next() / 4294967296 < p,
    pick: (arr) => arr[next() % arr.length],
  };
  return r;
}

const cp = (n) => String.fromCodePoint(n);

// Code points the IDNA tables map, ignore, refuse or treat specially.
const SPECIAL = [
  0xad, 0x200b, 0x200c, 0x200d, 0x2060, 0xfeff, 0x34f, 0x180b, 0xfe00, // ignored / joiners
  0xff21, 0xff41, 0xff10, 0xff0e, 0x3002, 0xff61, 0xfe52, // fullwidth, ideographic and other full stops
  0xdf, 0x3c2, 0x3a3, 0x130, 0x131, 0x1e9e, 0x212a, 0x2126, 0xfb00, 0x2460, 0x2474, 0x33c7, // mapped
  0xac00, 0x1100, 0x1161, 0x11a8, 0xd7a3, // Hangul syllable and jamo
  0x5d0, 0x5d1, 0x5e9, 0x5b4, 0x627, 0x628, 0x64a, 0x644, 0x660, 0x669, 0x6f0, 0x6f9, 0x661, 0x5c0, 0x6dd, 0x710, 0x7c0, // RTL
  0x300, 0x301, 0x308, 0x94d, 0x93f, 0xe31, // combining marks
  0xfffd, 0xfffc, 0x378, 0x2fffd, 0xe0001, 0xe0100, 0x10ffff, 0xe000, 0x40000, 0x30000, 0x1fbf9, 0x0ff0, // unassigned, private use, tags
  0xa0, 0x2028, 0x3000, 0x1680, 0x85, 0x9c, 0x7f, // spaces and controls above ASCII
  0x2044, 0x2215, 0xff0f, 0xff20, 0xff03, 0xff1f, 0xff1a, 0x2100, 0x2488, // map to forbidden ASCII
  0x1f600, 0x263a, 0xe9, 0xc9, 0x4e2d, 0x56fd, 0x3b1, 0x430, 0x43e, // plain letters and symbols
  0x2f8, 0x1d7ce, 0x1d400, 0xb5, 0x149, 0x17f, 0x3f4,
];
const ASCII_HOST = 'abcdefghijklmnopqrstuvwxyzABCXYZ0123456789-_.~!$&\'()*+,;=';
const ASCII_ALL = ' !"#$%&\'()*+,-./0123456789:;<=>?@ABCXYZ[\\]^_`abcxyz{|}~';
const CONTROLS = [0, 1, 9, 10, 13, 0x1f, 0x7f, 0x20, 0x0b, 0x0c];

function randomCodePoint(r) {
  switch (r.int(7)) {
    case 0: case 1: return r.pick(SPECIAL);
    case 2: return ASCII_ALL.codePointAt(r.int(ASCII_ALL.length));
    case 3: return r.pick(CONTROLS);
    case 4: return 0x80 + r.int(0x800 - 0x80);
    case 5: { // any scalar value of the BMP and beyond, surrogates skipped
      const n = r.chance(0.8) ? r.int(0x10000) : 0x10000 + r.int(0x100000);
      return n >= 0xd800 && n <= 0xdfff ? 0xfffd : n;
    }
    default: return ASCII_HOST.codePointAt(r.int(ASCII_HOST.length));
  }
}

const pct = (byte) => '%' + byte.toString(16).toUpperCase().padStart(2, '0');
function percentEncode(s, r) {
  let out = '';
  for (const b of Buffer.from(s, 'utf8')) out += r.chance(0.5) ? pct(b) : pct(b).toLowerCase();
  return out;
}
function brokenPercent(r) {
  return r.pick(['%', '%%', '%G0', '%0', '%zz', '%2', '%80', '%FF', '%C3', '%C3%28', '%E2%82', '%ED%A0%80', '%F4%90%80%80', '%EF%BB%BF', '%00', '%2e', '%2E%2e', '%25', '%25%34%31']);
}

function label(r) {
  const len = 1 + r.int(r.chance(0.9) ? 8 : 70);
  let s = '';
  for (let i = 0; i < len; i++) {
    const k = r.int(10);
    if (k < 6) s += ASCII_HOST[r.int(ASCII_HOST.length - 22)]; // letters and digits mostly
    else if (k < 8) s += cp(r.pick(SPECIAL));
    else if (k < 9) s += r.chance(0.5) ? percentEncode(cp(randomCodePoint(r)), r) : brokenPercent(r);
    else s += cp(randomCodePoint(r));
  }
  if (r.chance(0.08)) s = 'xn--' + s;
  if (r.chance(0.05)) s = r.pick(['xn--mhb', 'xn--fa-hia', 'xn--4ca', 'xn--a', 'xn--', 'xn--zca', 'xn--1ug', 'xn--a-yoc', 'xn--ls8h', 'XN--53h']);
  return s;
}

function ipv4(r) {
  const part = (max) => {
    const v = r.chance(0.1) ? r.u32() * (r.chance(0.3) ? 300 : 1) : r.int(max + 1);
    switch (r.int(6)) {
      case 0: return '0x' + v.toString(16);
      case 1: return '0X' + v.toString(16).toUpperCase();
      case 2: return '0' + v.toString(8);
      case 3: return r.chance(0.5) ? '0x' : '00' + v;
      default: return String(v);
    }
  };
  const n = 1 + r.int(5);
  const parts = [];
  for (let i = 0; i < n; i++) parts.push(part(i === n - 1 ? 0xffffffff : 255));
  let s = parts.join('.');
  if (r.chance(0.15)) s += '.';
  if (r.chance(0.05)) s += '.';
  if (r.chance(0.1)) s = s.replace(/\d/, (d) => cp(0xff10 + Number(d))); // fullwidth digit
  if (r.chance(0.05)) s = s.replace('.', r.pick(['\u3002', '%2e', '\uff0e']));
  if (r.chance(0.05)) s += r.pick(['a', 'x', '.a', '.0x', '09', '0x1g']);
  return s;
}

function ipv6(r) {
  const n = r.int(9);
  const groups = [];
  for (let i = 0; i < n; i++) {
    let g = r.int(0x10000).toString(16);
    if (r.chance(0.1)) g = r.pick(['0', '00000', 'fffff', 'g', '', 'FFFF', '0000']);
    groups.push(g);
  }
  if (r.chance(0.4)) groups.splice(r.int(groups.length + 1), 0, '');
  let s = groups.join(':');
  if (r.chance(0.3)) s = s.replace(/^:?/, '::');
  if (r.chance(0.25)) s += (s.endsWith(':') || s === '' ? '' : ':') + r.pick([ipv4(r), '127.0.0.1', '1.2.3.4', '1.2.3', '1.2.3.4.5', '256.0.0.1', '01.2.3.4', '0x1.2.3.4']);
  if (r.chance(0.05)) s = r.pick(['::', '::1', '::ffff:127.0.0.1', '1:2:3:4:5:6:7:8', '1::2::3', ':::', '1:2:3:4:5:6:7:8:9', 'fe80::1%eth0', '0::0:0', '::0:0:0:0:0:0:0', '1:0:0:2::', '0:0:0:0:0:ffff:102:304']);
  if (r.chance(0.05)) s = s.toUpperCase();
  return '[' + s + (r.chance(0.97) ? ']' : '');
}

function host(r, corpusHosts) {
  switch (r.int(8)) {
    case 0: return ipv4(r);
    case 1: return ipv6(r);
    case 2: return r.pick(corpusHosts);
    case 3: return r.pick(['localhost', 'example.com', 'EXAMPLE.com', 'xn--nxasmq6b.example', 'a..b', '.', '..', 'a.', 'sub.example.co.uk', '0.0.0.0', '127.0.0.1', '10.0.0.1', 'foo.local', 'x.localhost']);
    default: {
      const n = 1 + r.int(4);
      const labels = [];
      for (let i = 0; i < n; i++) labels.push(label(r));
      return labels.join(r.chance(0.9) ? '.' : r.pick(['\u3002', '\uff0e', '\uff61', '%2e']));
    }
  }
}

function port(r) {
  return r.pick([
    '', '', '80', '443', '8080', '0', '65535', '65536', '99999', '00443', '0080', '4294967296', '1e3', '+1', '-1',
    ' 1', '1 ', '١', '\uff11', String(r.int(70000)), String(r.u32()), '08', '443a',
  ]);
}

function userinfo(r) {
  const part = () => {
    let s = '';
    const n = r.int(6);
    for (let i = 0; i < n; i++) s += r.chance(0.7) ? ASCII_ALL[r.int(ASCII_ALL.length)].replace(/[/?#\\]/, 'a') : cp(randomCodePoint(r));
    return s;
  };
  return r.pick([part(), part() + ':' + part(), ':', ':' + part(), part() + '@' + part(), '']);
}

function pathTail(r) {
  return r.pick([
    '', '', '/', '/a/b', '/./', '/../x', '/a/%2e%2E/b', '/a/.%2e/c', '\\x\\y', '/?q=1', '?x#y', '#frag', '#', '?', '/p?q#f',
    '/%zz', '/\u00e9', '/ x', '/a\tb', '//x', '/.', '/..', '/a/./b/../c', ';x', '/\u0000',
  ]);
}

const SCHEMES = [
  'https://', 'https://', 'https://', 'http://', 'http://', 'HTTPS://', 'HtTp://', 'https:', 'https:/', 'https:\\\\', 'https:///',
  'https:/\\', ' https://', '\thttps://', '\u0000https://', 'ftp://', 'ws://', 'wss://', 'file://', 'foo://', 'javascript:',
  'data:', 'h\ttps://', 'https\n://', 'blob:https://', 'sc:', '',
];

// One mutation of a text: insert, replace or delete a code point, swap in
// a percent-encoding, or duplicate a slice.
function mutate(s, r) {
  const chars = Array.from(s);
  const at = r.int(chars.length + 1);
  switch (r.int(6)) {
    case 0: chars.splice(at, 0, cp(randomCodePoint(r))); break;
    case 1: if (at < chars.length) chars[at] = cp(randomCodePoint(r)); break;
    case 2: chars.splice(at, 1); break;
    case 3: if (at < chars.length) chars[at] = r.chance(0.7) ? percentEncode(chars[at], r) : brokenPercent(r); break;
    case 4: chars.splice(at, 0, ...chars.slice(r.int(chars.length + 1), r.int(chars.length + 1))); break;
    default: chars.splice(at, 0, r.pick(['.', '..', '/', '\\', ':', '@', '[', ']', '%', '#', '?', ' ', '\t', '\n', '0x', '%2e', 'xn--', '\u3002'])); break;
  }
  return chars.join('');
}

function loadCorpus(root) {
  const data = JSON.parse(fs.readFileSync(path.join(root, 'tests/data/url/urltestdata.json'), 'utf8'));
  const inputs = [];
  const hosts = [];
  for (const c of data) {
    if (typeof c !== 'object') continue;
    // Inputs with lone surrogates cannot cross the binding as UTF-8.
    if (/\p{Cs}/u.test(c.input)) continue;
    inputs.push(c.input);
    if (c.hostname) hosts.push(c.hostname);
  }
  return { inputs, hosts };
}

// The generator: next() returns { input, originInput } — a URL-like text,
// and an origin-shaped text (scheme://host[:port]) for normalize_origin.
function generator(seed, root) {
  const r = rng(seed);
  const corpus = loadCorpus(root);
  return () => {
    let input;
    const kind = r.int(10);
    if (kind < 3) {
      input = r.pick(corpus.inputs);
      if (kind > 0) input = 'https://' + input.replace(/^[a-zA-Z][a-zA-Z0-9+.-]*:\/*/, '');
    } else {
      const ui = r.chance(0.15) ? userinfo(r) + '@' : '';
      const p = port(r);
      input = r.pick(SCHEMES) + ui + host(r, corpus.hosts) + (p === '' && r.chance(0.9) ? '' : ':' + p) + pathTail(r);
    }
    const rounds = kind < 3 ? 1 + r.int(3) : r.int(3);
    for (let i = 0; i < rounds; i++) input = mutate(input, r);
    const p = port(r);
    let originInput = r.pick(['https://', 'https://', 'http://', 'HTTPS://']) + host(r, corpus.hosts) + (p ? ':' + p : '');
    if (r.chance(0.2)) originInput = mutate(originInput, r);
    if (r.chance(0.1)) originInput += '/';
    return { input, originInput };
  };
}

module.exports = { generator, rng };
