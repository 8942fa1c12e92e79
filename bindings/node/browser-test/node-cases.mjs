// The shared operation cases through a package installed in a project, as
// Node loads it there:   QUORENT_SDK_WASM=1 node node-cases.mjs APP
// Prints "node-<backend>: N passed, N failed" (backend: native or wasm,
// which QUORENT_EXPECT_BACKEND, when set, must equal); exits 1 on a failure.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';
import { caseChecks } from './cases.mjs';

const repo = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..', '..');
const require = createRequire(path.join(path.resolve(process.argv[2] || ''), 'package.json'));
const sdk = require('quorent-sdk');
const backend = require(path.join(path.dirname(require.resolve('quorent-sdk')), 'lib', 'runtime.js')).backend();
const read = (...p) => JSON.parse(fs.readFileSync(path.join(repo, ...p), 'utf8'));
const failed = [];
let passed = 0;
for (const c of caseChecks(sdk, read('bindings', 'interface.json'), read('tests', 'cases', 'operations.json'), assert)) {
  try {
    c.run();
    passed++;
  } catch (e) {
    failed.push(c.name);
    console.log(`FAILED ${c.name}: ${e.message}`);
  }
}
const want = process.env.QUORENT_EXPECT_BACKEND;
if (want && want !== backend) failed.push(`the ${want} build (${backend} was loaded)`);
console.log(`node-${backend}: ${passed} passed, ${failed.length} failed`);
process.exit(failed.length === 0 ? 0 : 1);
