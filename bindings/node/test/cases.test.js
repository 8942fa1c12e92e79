'use strict';
// The operation cases shared by every host (tests/cases/operations.json),
// called through the package as a user calls it.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const sdk = require('..');

const casesPath = process.env.QUORENT_CASES ||
  path.join(__dirname, '..', '..', '..', 'tests', 'cases', 'operations.json');
// The interface description: every operation's and record's types.
const description = JSON.parse(fs.readFileSync(
  process.env.QUORENT_INTERFACE || path.join(__dirname, '..', '..', 'interface.json'), 'utf8'));
const iface = {
  functions: Object.fromEntries(description.operations.map((op) => [op.name,
    { args: Object.fromEntries(op.args.map((a) => [a.name, a.type])), ret: op.result.type }])),
  records: Object.fromEntries(description.records.map((r) => [r.name,
    Object.fromEntries(r.fields.map((f) => [f.name, f.type]))])),
};

const camel = (s) => s.replace(/_([a-z0-9])/g, (_, c) => c.toUpperCase());

// Case form -> JavaScript value, and back.
function toJs(type, v) {
  if (type.startsWith('opt:')) return v === null ? undefined : toJs(type.slice(4), v);
  if (type.startsWith('record:')) {
    const out = {};
    for (const [field, ft] of Object.entries(iface.records[type.slice(7)])) out[camel(field)] = toJs(ft, v[field] ?? null);
    return out;
  }
  if (type === 'u64') return BigInt(v);
  if (type === 'bytes') return Uint8Array.from(Buffer.from(v, 'hex'));
  return v;
}

function fromJs(type, v) {
  if (type.startsWith('opt:')) return v === undefined ? null : fromJs(type.slice(4), v);
  if (type.startsWith('record:')) {
    const out = {};
    for (const [field, ft] of Object.entries(iface.records[type.slice(7)])) out[field] = fromJs(ft, v[camel(field)]);
    return out;
  }
  if (type === 'u64') {
    assert.equal(typeof v, 'bigint');
    return v.toString();
  }
  if (type === 'bytes') {
    assert.ok(v instanceof Uint8Array);
    return Buffer.from(v).toString('hex');
  }
  return v;
}

test('shared operation cases', { skip: !fs.existsSync(casesPath) && `no case file at ${casesPath}` }, async (t) => {
  const { cases } = JSON.parse(fs.readFileSync(casesPath, 'utf8'));
  const seen = new Set();
  for (const c of cases) {
    if (c.c_only) continue;
    await t.test(`${c.op}: ${c.name}`, () => {
      const op = iface.functions[c.op];
      assert.ok(op, `unknown operation ${c.op}`);
      seen.add(c.op);
      const args = Object.entries(op.args).map(([name, type]) => toJs(type, c.args[name]));
      const call = () => sdk[camel(c.op)](...args);
      if ('err' in c) {
        assert.throws(call, (e) => {
          assert.ok(e instanceof sdk.SdkError, `expected SdkError, got ${e}`);
          assert.deepEqual({ variant: e.variant, message: e.message }, c.err);
          return true;
        });
      } else if ('ok_pattern' in c) {
        const got = fromJs(op.ret, call());
        for (const [field, pattern] of Object.entries(c.ok_pattern)) {
          assert.match(got[field], new RegExp(`^(?:${pattern})$`), field);
        }
      } else if ('internal_prefix' in c) {
        assert.throws(call, (e) => e instanceof sdk.InternalError && e.message.startsWith(c.internal_prefix));
      } else {
        assert.ok('ok' in c, `case ${c.name} has no outcome this host can check`);
        assert.deepEqual(fromJs(op.ret, call()), c.ok);
      }
    });
  }
  assert.deepEqual([...seen].sort(), Object.keys(iface.functions).sort(), 'every operation has a case');
  assert.equal(require('../lib/runtime.js').liveBuffers(), 0, 'every buffer received was handed back');
});
