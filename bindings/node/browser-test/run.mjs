// The package in headless Chromium, as installed from its tarball into an
// empty project:   node run.mjs APP
// APP is that project (APP/node_modules/quorent-sdk); this folder's own
// node_modules (npm ci) holds playwright-core and Vite. Runs, each in a page
// served from 127.0.0.1:
//   page.html     the failures of loading, the shared operation cases and a
//                 worker that starts the module synchronously
//   the example   examples/browser/, signing in with a wallet stub that
//                 answers personal_sign with a known signature
//   a bundle      bundle/ built by Vite with no configuration (APP/dist/)
// and prints "chromium: N passed, N failed"; exits 1 on any failure.
import fs from 'node:fs';
import path from 'node:path';
import { spawnSync } from 'node:child_process';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';
import { serve, browser } from './harness.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const repo = path.resolve(here, '..', '..', '..');
const app = path.resolve(process.argv[2] || '');
if (!fs.existsSync(path.join(app, 'node_modules', 'quorent-sdk', 'package.json'))) {
  console.error(`usage: node run.mjs APP (a project with quorent-sdk installed; not in ${app})`);
  process.exit(2);
}
const SIGNATURE = 'e24f8c8fe1145b5441de654c4f0a83285cb303446326e20fcbabd4f8651a0af7' +
  '53c5568d35073dc957315f1bb34ab5c71b782ddea8298d018eb5b953259082b01b';

// The bundle: bundle/ in the project, built by Vite's command with nothing but its entry.
fs.cpSync(path.join(here, 'bundle'), app, { recursive: true });
const vite = spawnSync(process.execPath, [path.join(here, 'node_modules', 'vite', 'bin', 'vite.js'), 'build'],
  { cwd: app, encoding: 'utf8' });
if (vite.status !== 0) {
  console.error(vite.stdout, vite.stderr);
  console.error('chromium: the Vite build failed');
  process.exit(1);
}
const assets = fs.readdirSync(path.join(app, 'dist', 'assets'));

// What the same calls give in Node, from the same installed package.
const node = createRequire(path.join(app, 'package.json'))('quorent-sdk');
const origin = node.normalizeOrigin('https://Shop.Example:443/');
const bundleKey = node.deriveAppKey(node.deriveRootSeed(origin, SIGNATURE, SIGNATURE), 7n, origin).pubkeyHex;

const modules = path.join(app, 'node_modules');
const site = await serve({
  '/': here,
  '/node_modules/': modules,
  '/cases/operations.json': path.join(repo, 'tests', 'cases', 'operations.json'),
  '/cases/interface.json': path.join(repo, 'bindings', 'interface.json'),
  '/examples/': path.join(repo, 'bindings', 'node', 'examples', 'browser'),
  '/examples/node_modules/': modules,
});
const bundled = await serve({ '/': path.join(app, 'dist') });
const chromium = await browser();
let passed = 0;
const failed = [];
const record = (name, ok, message) => (ok ? passed++ : failed.push({ name, message }));

async function page(name, url, body, init = null) {
  const p = await chromium.newPage();
  const errors = [];
  p.on('pageerror', (e) => errors.push(e.message));
  if (init) await p.addInitScript(init);
  try {
    await p.goto(url);
    await body(p);
  } catch (e) {
    record(name, false, `${e.message}${errors.length ? `; page errors: ${errors.join('; ')}` : ''}`);
  } finally {
    await p.close();
  }
}

try {
  await page('test page', `${site.url}/page.html`, async (p) => {
    await p.waitForFunction(() => window.report !== undefined, null, { timeout: 120000 });
    const report = await p.evaluate(() => window.report);
    passed += report.passed;
    failed.push(...report.failed);
  });

  // A wallet that asks nothing and signs every text with the same known signature.
  const wallet = `window.ethereum = { request: async ({ method }) => method === 'eth_requestAccounts'
    ? ['0x0000000000000000000000000000000000000001'] : method === 'personal_sign' ? '0x${SIGNATURE}' : null };`;
  await page('the sign-in example', `${site.url}/examples/index.html?challenge=c-1`, async (p) => {
    await p.click('#signin:not([disabled])');
    await p.waitForSelector('#out[data-done]');
    const out = await p.textContent('#out');
    const pageOrigin = node.normalizeOrigin(site.url);
    const key = node.deriveAppKey(node.deriveRootSeed(pageOrigin, SIGNATURE, SIGNATURE), 7n, pageOrigin);
    const { sub } = node.mintUserDeed(key.secretKeyHex, 7n, 'https://rp.example', pageOrigin, 'c-1', 1n);
    record('the sign-in example', out === `user-sig deed for ${sub}, tenant 7, app key ${key.pubkeyHex}`, out);
  }, wallet);

  await page('the Vite bundle', `${bundled.url}/`, async (p) => {
    await p.waitForFunction(() => document.getElementById('out').textContent !== '', null, { timeout: 60000 });
    const out = await p.textContent('#out');
    record('the Vite bundle', /^user-sig \S+ /.test(out) && out.endsWith(` ${bundleKey}`) &&
      assets.some((a) => a.endsWith('.wasm')), `${out} (assets: ${assets.join(', ')})`);
  });
} finally {
  await chromium.close();
  await site.close();
  await bundled.close();
}
for (const f of failed) console.log(`FAILED ${f.name}\n  ${f.message.replace(/\n/g, '\n  ')}`);
console.log(`chromium: ${passed} passed, ${failed.length} failed`);
process.exit(failed.length === 0 ? 0 : 1);
