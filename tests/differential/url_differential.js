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
  // Labels without right-to-left characters that break only condition 1 by
  // starting with a digit: accepted by the data ("1.\u064A" -> "1.xn--mhb").
  if (failing.every((l) => /^[0-9]/.test(l) && bidiRuleHolds('a' + l))) return 'idna-bidi-digit-label-in-rtl-domain';
  return 'idna-bidi-ltr-label-in-rtl-domain';
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
    return { cls: u ? 'scheme:ours-not-web-node-web' : 'accept:ours-only-not-web', detail: '' };
  }
  if (err) {
    if (!u) return null;
    const reason = err.message.replace(/^input: /, '');
    if (reason === 'invalid international domain name') return { cls: 'accept:node-only:' + idnaClass(u.hostname), detail: u.host };
    if (!nodeWeb) return { cls: 'accept:node-only-not-web:' + reason, detail: u.href };
    return { cls: 'accept:node-only:' + reason, detail: u.href };
  }
  if (!u) {
    // Arabic marks of Unicode 14 and later (U+0897-U+089F, U+08CA-U+08E1,
    // Bidi class NSM) that Node refuses after a right-to-left letter.
    const h = punycode.toUnicode(authority(ours).host);
    if (/[\u0897-\u089f\u08ca-\u08e1]/.test(h)) return { cls: 'accept:ours-only:idna-arabic-marks-unicode-14', detail: h };
    return { cls: 'accept:ours-only', detail: ours };
  }
  if (!nodeWeb) return { cls: 'scheme:node-not-web-ours-web', detail: u.href };
  const expected = expectedAuthorize(u);
  if (ours === expected) return null;
  const a = authority(ours), b = authority(expected);
  const part = a.host !== b.host ? 'host' : a.port !== b.port ? 'port' : a.userinfo !== b.userinfo ? 'userinfo' : 'path-query-fragment';
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
