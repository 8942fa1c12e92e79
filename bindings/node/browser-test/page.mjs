// The browser test page (run.mjs serves it with the installed package under
// /node_modules/): the failures of loading, then the shared operation cases
// through the WebAssembly build, and a worker that starts it synchronously.
// Sets window.report to { passed, failed: [{ name, message }] }.
import * as sdk from 'quorent-sdk';
import { caseChecks } from './cases.mjs';

/** Node's assert/strict as far as the cases use it. */
const fail = (message) => {
  throw new Error(message);
};
const canon = (v) => JSON.stringify(v, (k, x) => (x && typeof x === 'object' && !Array.isArray(x)
  ? Object.fromEntries(Object.entries(x).sort(([a], [b]) => (a < b ? -1 : 1))) : x));
const assert = {
  ok: (v, message) => v || fail(message || 'not true'),
  equal: (a, b) => a === b || fail(`${a} !== ${b}`),
  deepEqual: (a, b) => canon(a) === canon(b) || fail(`${canon(a)} differs from ${canon(b)}`),
  match: (s, re, what) => re.test(s) || fail(`${what}: ${s} does not match ${re}`),
  throws(f, check) {
    try {
      f();
    } catch (e) {
      if (check(e) !== true) fail(`unexpected error ${e}`);
      return;
    }
    fail('no error');
  },
};

const report = { passed: 0, failed: [] };
async function check(name, body) {
  try {
    await body();
    report.passed++;
  } catch (e) {
    report.failed.push({ name, message: String(e && e.stack || e) });
  }
}
async function rejects(promise, pattern) {
  let error = null;
  await promise.catch((e) => {
    error = e;
  });
  assert.ok(error !== null, 'init() did not reject');
  assert.match(error.message, pattern, 'the rejection');
}

try {
  await check('a call before init() says to call it', () => assert.throws(() => sdk.normalizeOrigin('https://a.test'),
    (e) => /not loaded yet: await init\(\)/.test(e.message)));
  const here = location.origin.replace(/[.]/g, '[.]');
  await check('a module that cannot be fetched rejects init() with its URL and the status', () =>
    rejects(sdk.init('/missing.wasm'), new RegExp(`cannot fetch the WebAssembly module ${here}/missing[.]wasm \\(HTTP 404`)));
  await check('a file that is no module rejects init() with its URL and the engine\'s reason', () =>
    rejects(sdk.init(new URL('/page.html', location.href)),
      new RegExp(`cannot compile the WebAssembly module ${here}/page[.]html \\(.*magic`)));
  await check('init() loads the module beside the package', () => sdk.init());

  const [description, cases] = await Promise.all(['/cases/interface.json', '/cases/operations.json']
    .map((u) => fetch(u).then((r) => r.json())));
  for (const c of caseChecks(sdk, description, cases, assert)) await check(c.name, c.run);

  await check('a worker starts the module synchronously (initSync)', () => new Promise((resolve, reject) => {
    const worker = new Worker('/worker.mjs', { type: 'module' });
    worker.onmessage = ({ data }) => (data === 'https://a.test' ? resolve() : reject(new Error(data)));
    worker.onerror = (e) => reject(new Error(e.message));
  }));
} finally {
  window.report = report;
}
