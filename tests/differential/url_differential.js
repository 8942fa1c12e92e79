'use strict';
// Differential run of our URL parser against Node's built-in URL (an
// independent implementation of the URL Standard), through the exported
// operations of the Node binding:
//  - build_authorize_url(input, ...) parses the input as the issuer and
//    returns it with the path replaced by /authorize and our parameters
//    appended; from Node's URL of the same input the same text is built, so
//    success or failure, then href (and within it userinfo, host and port)
//    are compared;
//  - normalize_origin(x) is compared with new URL(x).origin on the inputs
//    both accept.
// Every difference is put in a class; classes listed in known.json (each with
// its reason and the side at fault) are counted, any other fails the run.
//
// Usage: node url_differential.js N [seed]   (QUORENT_SDK_LIB names the library)

const fs = require('node:fs');
const path = require('node:path');
const url = require('node:url');
const root = path.resolve(__dirname, '../..');
const sdk = require(path.join(root, 'bindings/node'));
const { generator } = require('./generate');
process.noDeprecation = true; // node:punycode, only used to print hosts
const punycode = require('node:punycode');

const count = Number(process.argv[2] || 10000);
const seed = Number(process.argv[3] || 1);
const known = JSON.parse(fs.readFileSync(path.join(__dirname, 'known.json'), 'utf8'));

const PARAMS = [['client_id', 'c'], ['redirect_uri', 'https://app.example/cb'], ['state', 's'], ['nonce', 'n'], ['code_challenge', 'x']];
const SUFFIX = 'response_type=code&' + new URLSearchParams(PARAMS).toString() + '&code_challenge_method=S256';
const SCHEME_REFUSAL = 'input: issuer must be an http or https URL';

function nodeParse(x) {
  try { return new URL(x); } catch { return null; }
}

// What build_authorize_url must return for an http(s) URL Node parsed.
function expectedAuthorize(u) {
  const cred = u.username || u.password ? u.username + (u.password ? ':' + u.password : '') + '@' : '';
  const query = u.search.slice(1);
  const hash = u.hash || (u.href.endsWith('#') ? '#' : '');
  return `${u.protocol}//${cred}${u.host}/authorize?${query ? query + '&' : ''}${SUFFIX}${hash}`;
}

// The authority (userinfo, host, port) of a serialized http(s) URL.
function authority(href) {
  const start = href.indexOf('//') + 2;
  const a = href.slice(start, href.indexOf('/', start));
  const at = a.lastIndexOf('@');
  const hp = a.slice(at + 1);
  const m = /^(\[[^\]]*\]|[^:]*)(?::(.*))?$/.exec(hp);
  return { userinfo: at < 0 ? '' : a.slice(0, at), host: m[1], port: m[2] || '' };
}

// Approximate Bidi classes for the characters our generator produces, enough
// to apply RFC 5893 to a label in Unicode form.
const RTL_RANGE = /[\u0590-\u08ff\ufb1d-\ufdff\ufe70-\ufefe\u{10800}-\u{10fff}\u{1e800}-\u{1efff}]/u;
function bidiClass(c) {
  if (/[0-9\u06f0-\u06f9]/.test(c)) return 'EN';
  if (/[\u0600-\u0605\u0660-\u0669\u066b\u066c\u06dd\u0890\u0891\u08e2\u{10d30}-\u{10d39}\u{10e60}-\u{10e7e}]/u.test(c)) return 'AN';
  if (/\p{M}/u.test(c)) return 'NSM';
  if (RTL_RANGE.test(c)) return /[\u0600-\u07bf\u0860-\u08ff\ufb50-\ufdff\ufe70-\ufefe]/.test(c) ? 'AL' : 'R';
  if (/\p{L}/u.test(c)) return 'L';
  if (c === '-') return 'ES';
  return 'ON';
}
function isRtlLabel(label) {
  return Array.from(label).some((c) => ['R', 'AL', 'AN'].includes(bidiClass(c)));
}
// RFC 5893 section 2, conditions 1-6, for one label.
function bidiRuleHolds(label) {
  const cls = Array.from(label).map(bidiClass);
  if (cls.length === 0) return true;
  const last = [...cls].reverse().find((c) => c !== 'NSM');
  if (cls[0] === 'R' || cls[0] === 'AL') {
    if (cls.some((c) => c === 'L')) return false;
    if (!['R', 'AL', 'EN', 'AN'].includes(last)) return false;
    return !(cls.includes('EN') && cls.includes('AN'));
  }
  if (cls[0] === 'L') {
    if (cls.some((c) => c === 'R' || c === 'AL' || c === 'AN')) return false;
    return last === 'L' || last === 'EN';
  }
  return false;
}

// Code points whose UTS #46 answer changed after Unicode 15.0, from the
// Unicode 17.0 data: assigned in 15.1 or 16.0, assigned in 17.0 (DerivedAge.txt), and
// older ones that became mapped or ignored (IdnaMappingTable.txt). U+1E9E
// is apart: it maps to U+00DF now, to "ss" before.
const ASSIGNED_15_1_16_0 = /[\u{897}\u{1B4E}-\u{1B4F}\u{1B7F}\u{1C89}-\u{1C8A}\u{2427}-\u{2429}\u{2FFC}-\u{2FFF}\u{31E4}-\u{31E5}\u{31EF}\u{A7CB}-\u{A7CD}\u{A7DA}-\u{A7DC}\u{105C0}-\u{105F3}\u{10D40}-\u{10D65}\u{10D69}-\u{10D85}\u{10D8E}-\u{10D8F}\u{10EC2}-\u{10EC4}\u{10EFC}\u{11380}-\u{11389}\u{1138B}\u{1138E}\u{11390}-\u{113B5}\u{113B7}-\u{113C0}\u{113C2}\u{113C5}\u{113C7}-\u{113CA}\u{113CC}-\u{113D5}\u{113D7}-\u{113D8}\u{113E1}-\u{113E2}\u{116D0}-\u{116E3}\u{11BC0}-\u{11BE1}\u{11BF0}-\u{11BF9}\u{11F5A}\u{13460}-\u{143FA}\u{16100}-\u{16139}\u{16D40}-\u{16D79}\u{18CFF}\u{1CC00}-\u{1CCF9}\u{1CD00}-\u{1CEB3}\u{1E5D0}-\u{1E5FA}\u{1E5FF}\u{1F8B2}-\u{1F8BB}\u{1F8C0}-\u{1F8C1}\u{1FA89}\u{1FA8F}\u{1FABE}\u{1FAC6}\u{1FADC}\u{1FADF}\u{1FAE9}\u{1FBCB}-\u{1FBEF}\u{2EBF0}-\u{2EE5D}]/u;
const ASSIGNED_17_0 = /[\u{88F}\u{C5C}\u{CDC}\u{1ACF}-\u{1ADD}\u{1AE0}-\u{1AEB}\u{20C1}\u{2B96}\u{A7CE}-\u{A7CF}\u{A7D2}\u{A7D4}\u{A7F1}\u{FBC3}-\u{FBD2}\u{FD90}-\u{FD91}\u{FDC8}-\u{FDCE}\u{10940}-\u{10959}\u{10EC5}-\u{10EC7}\u{10ED0}-\u{10ED8}\u{10EFA}-\u{10EFB}\u{11B60}-\u{11B67}\u{11DB0}-\u{11DDB}\u{11DE0}-\u{11DE9}\u{16EA0}-\u{16EB8}\u{16EBB}-\u{16ED3}\u{16FF2}-\u{16FF6}\u{187F8}-\u{187FF}\u{18D09}-\u{18D1E}\u{18D80}-\u{18DF2}\u{1CCFA}-\u{1CCFC}\u{1CEBA}-\u{1CED0}\u{1CEE0}-\u{1CEF0}\u{1E6C0}-\u{1E6DE}\u{1E6E0}-\u{1E6F5}\u{1E6FE}-\u{1E6FF}\u{1F6D8}\u{1F777}-\u{1F77A}\u{1F8D0}-\u{1F8D8}\u{1FA54}-\u{1FA57}\u{1FA8A}\u{1FA8E}\u{1FAC8}\u{1FACD}\u{1FAEA}\u{1FAEF}\u{1FBFA}\u{2B73A}-\u{2B73F}\u{2CEA2}-\u{2CEAD}\u{323B0}-\u{33479}]/u;
const STATUS_CHANGED = /[\u04C0\u10A0-\u10C5\u115F\u1160\u17B4\u17B5\u1806\u180E\u2061-\u2063\u206A-\u206F\u2132\u2183\u3164\uFFA0\u{1D173}-\u{1D17A}\u{2F868}\u{2F874}\u{2F91F}\u{2F95F}\u{2F9BF}]/u;
const CAPITAL_SHARP_S = /\u1E9E|%E1%BA%9E/i;

// The input with U+1E9E written as U+00DF, which both sides map alike.
function withSmallSharpS(input) {
  return input.replace(/\u1E9E/g, '\u00DF').replace(/%E1%BA%9E/gi, '%C3%9F');
}

// Percent-decoding where the bytes are UTF-8, the rest kept as written.
function percentDecoded(s) {
  return s.replace(/(?:%[0-9a-f]{2})+/gi, (run) => { try { return decodeURIComponent(run); } catch { return run; } });
}

// The class of an input we accepted and Node refused, by the code points
// whose UTS #46 answer changed after Unicode 15.0, in our host (in Unicode
// form) or, for those mapped or ignored, in the input as written. Null if
// there is none.
function newerUnicodeClass(input, host = '') {
  const text = host + '\n' + percentDecoded(input);
  if (STATUS_CHANGED.test(text)) return 'idna-status-changed-after-unicode-15.0';
  if (ASSIGNED_15_1_16_0.test(text)) return 'idna-assigned-in-unicode-15.1-16.0';
  if (ASSIGNED_17_0.test(text)) return 'idna-assigned-in-unicode-17.0';
  return null;
}

// The class of a host Node accepted and we refused as an international
// domain name, judged by the URL Standard's IDNA data (tests/data/idna).
function idnaClass(nodeHost) {
  const ascii = nodeHost.split('.');
  // An "xn--" label whose Punycode starts with its delimiter ("xn---yoc"):
  // RFC 3492 then decodes from the '-', which is no digit.
  if (ascii.some((l) => /^xn---[^-]*$/i.test(l))) return 'idna-punycode-leading-delimiter';
  // An "xn--" label whose Punycode holds only ASCII ("xn--ASCII-" fails, P4).
  if (ascii.some((l) => /^xn--.*-$/i.test(l) && !url.domainToUnicode(l).match(/[^\x00-\x7f]/))) return 'idna-punycode-ascii-only';
  const labels = url.domainToUnicode(nodeHost).split('.');
  // A label starting with a combining mark ("\u09CD\u{11C3D}..." fails, V6).
  if (labels.some((l) => /^\p{M}/u.test(l))) return 'idna-leading-combining-mark';
  if (!labels.some(isRtlLabel)) return 'idna-other';
  // RFC 5893 broken by a label holding a right-to-left character ("\u064Aa" fails).
  if (labels.filter(isRtlLabel).some((l) => !bidiRuleHolds(l))) return 'idna-bidi-rtl-label';
  const failing = labels.filter((l) => l && !isRtlLabel(l) && !bidiRuleHolds(l));
  // A label, not all ASCII and without right-to-left characters, that breaks
  // RFC 5893 (leading digit, leading or trailing symbol): the data holds no
  // such case.
  if (failing.some((l) => /[^\x00-\x7f]/.test(l))) return 'idna-bidi-ltr-label-in-rtl-domain';
  // An all-ASCII label is exempt, as the data has it ("1.\u064A" ->
  // "1.xn--mhb"): if only such labels fail, the fault is ours.
  return failing.length ? 'idna-bidi-ascii-label-in-rtl-domain' : 'idna-other';
}

let bothAccept = 0;
function compareAuthorize(input) {
  const u = nodeParse(input);
  if (u) bothAccept++; // undone below where we refuse
  let ours, err = null;
  try { ours = sdk.buildAuthorizeUrl(input, ...PARAMS.map((p) => p[1])); } catch (e) { err = e; }
  if (u && err && err.message !== SCHEME_REFUSAL) bothAccept--;
  if (err && !(err instanceof sdk.SdkError)) return { cls: 'binding-error:' + err.constructor.name, detail: String(err.message) };
  const nodeWeb = u && (u.protocol === 'http:' || u.protocol === 'https:');
  if (err && err.message === SCHEME_REFUSAL) {
    // Our parser accepted it; the scheme is not a web one.
    if (u && !nodeWeb) return null;
    if (u) return { cls: 'scheme:ours-not-web-node-web', detail: '' };
    const newer = newerUnicodeClass(input);
    return { cls: newer ? 'accept:ours-only:' + newer : 'accept:ours-only-not-web', detail: '' };
  }
  if (err) {
    if (!u) return null;
    const reason = err.message.replace(/^input: /, '');
    if (reason === 'invalid international domain name') {
      // Node maps U+1E9E to "ss", we to U+00DF: with U+00DF in its place
      // Node refuses too, or its host holds our labels.
      const v = CAPITAL_SHARP_S.test(input) ? nodeParse(withSmallSharpS(input)) : u;
      if (!v) return { cls: 'accept:node-only:idna-capital-sharp-s', detail: u.host };
      return { cls: 'accept:node-only:' + idnaClass(v.hostname), detail: u.host };
    }
    if (!nodeWeb) return { cls: 'accept:node-only-not-web:' + reason, detail: u.href };
    return { cls: 'accept:node-only:' + reason, detail: u.href };
  }
  if (!u) {
    const h = punycode.toUnicode(authority(ours).host);
    const newer = newerUnicodeClass(input, h);
    if (newer) return { cls: 'accept:ours-only:' + newer, detail: h };
    // Arabic marks of Unicode 14 and later (U+0897-U+089F, U+08CA-U+08E1,
    // Bidi class NSM) that Node refuses after a right-to-left letter.
    if (/[\u0897-\u089f\u08ca-\u08e1]/.test(h)) return { cls: 'accept:ours-only:idna-arabic-marks-unicode-14', detail: h };
    return { cls: 'accept:ours-only', detail: ours };
  }
  if (!nodeWeb) return { cls: 'scheme:node-not-web-ours-web', detail: u.href };
  const expected = expectedAuthorize(u);
  if (ours === expected) return null;
  const a = authority(ours), b = authority(expected);
  const part = a.host !== b.host ? 'host' : a.port !== b.port ? 'port' : a.userinfo !== b.userinfo ? 'userinfo' : 'path-query-fragment';
  if (part === 'host' && CAPITAL_SHARP_S.test(input)) {
    // Node maps U+1E9E to "ss"; with U+00DF in its place Node's host is ours.
    const v = nodeParse(withSmallSharpS(input));
    if (v && v.host === a.host + (a.port ? ':' + a.port : '')) return { cls: 'href:host:idna-capital-sharp-s', detail: `ours ${a.host} node ${b.host}` };
  }
  return { cls: 'href:' + part, detail: `ours ${ours.slice(0, 120)} node ${expected.slice(0, 120)}` };
}

function compareOrigin(input) {
  const u = nodeParse(input);
  let ours = null, err = null;
  try { ours = sdk.normalizeOrigin(input); } catch (e) { err = e; }
  if (err && !(err instanceof sdk.SdkError)) return { cls: 'binding-error:' + err.constructor.name, detail: String(err.message) };
  if (err || !u) {
    if (err && !u) return null;
    if (err) return { cls: 'origin:narrower', detail: err.message.replace(/^input: origin: /, '').slice(0, 40) };
    const port = /:(\d+)$/.exec(ours);
    return { cls: port && Number(port[1]) > 65535 ? 'origin:ours-only:port-over-65535' : 'origin:ours-only:host', detail: ours };
  }
  if (ours === u.origin) return null;
  const a = authority(ours + '/'), b = authority(u.origin + '/');
  const cls = a.host !== b.host ? 'origin:differs:host-as-written' : 'origin:differs:port-leading-zeros';
  return { cls, detail: `ours ${ours} node ${u.origin}` };
}

function main() {
  const next = generator(seed, root);
  const classes = new Map();
  const ops = { build_authorize_url: [0, 0], normalize_origin: [0, 0] };
  const note = (op, input, d) => {
    ops[op][0]++;
    if (!d) { ops[op][1]++; return; }
    const entry = classes.get(d.cls) || { count: 0, examples: [] };
    entry.count++;
    if (entry.examples.length < 3) entry.examples.push({ input, detail: d.detail });
    classes.set(d.cls, entry);
  };
  for (let i = 0; i < count; i++) {
    const { input, originInput } = next();
    note('build_authorize_url', input, compareAuthorize(input));
    note('normalize_origin', originInput, compareOrigin(originInput));
    note('normalize_origin', input, compareOrigin(input));
  }
  let unlisted = 0;
  console.log(`inputs ${count} (seed ${seed})`);
  for (const [op, [n, agree]] of Object.entries(ops)) console.log(`${op}: ${n} compared, ${agree} agree, ${n - agree} differ`);
  console.log(`  (build_authorize_url: ${bothAccept} inputs both parsers accept)`);
  for (const [cls, e] of [...classes].sort((x, y) => y[1].count - x[1].count)) {
    const k = known.classes[cls];
    if (!k) unlisted++;
    console.log(`${k ? `[${k.side}]` : '[UNLISTED]'} ${cls}: ${e.count}`);
    for (const ex of e.examples) console.log(`    ${JSON.stringify(ex.input)}  ${ex.detail}`);
  }
  if (unlisted) {
    console.log(`${unlisted} unlisted class(es) of difference`);
    process.exitCode = 1;
  }
}

main();
