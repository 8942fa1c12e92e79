'use strict';
// The operation cases shared by every host (tests/cases/operations.json),
// called through the package as a user calls it (browser-test/cases.mjs, which
// the browser pages run too).
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('..');

const casesPath = process.env.QUORENT_CASES ||
  path.join(__dirname, '..', '..', '..', 'tests', 'cases', 'operations.json');
const descriptionPath = process.env.QUORENT_INTERFACE || path.join(__dirname, '..', '..', 'interface.json');
const read = (file) => JSON.parse(fs.readFileSync(file, 'utf8'));

test('shared operation cases', { skip: !fs.existsSync(casesPath) && `no case file at ${casesPath}` }, async (t) => {
  const { caseChecks } = await import('../browser-test/cases.mjs');
  for (const c of caseChecks(sdk, read(descriptionPath), read(casesPath), assert)) await t.test(c.name, c.run);
  assert.equal(require('../lib/runtime.js').liveBuffers(), 0, 'every buffer received was handed back');
});
