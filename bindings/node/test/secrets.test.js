'use strict';
// Secrets, walked from the interface description (bindings/interface.json): every
// argument, record field and result it marks secret stays out of what
// util.inspect and JSON.stringify show of a record, and every copy the runtime
// makes of it (the argument lowered, the result received) is zeroed before the
// call returns or throws. Calls use the shared operation cases.
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const util = require('node:util');
const sdk = require('..');
const rt = require('../lib/runtime.js');

const read = (env, ...rel) => JSON.parse(fs.readFileSync(process.env[env] || path.join(__dirname, ...rel), 'utf8'));
const iface = read('QUORENT_INTERFACE', '..', '..', 'interface.json');
const records = Object.fromEntries(iface.records.map((r) => [r.name, r]));
const okCase = {};
for (const c of read('QUORENT_CASES', '..', '..', '..', 'tests', 'cases', 'operations.json').cases) {
  if (!c.c_only && ('ok' in c || 'ok_pattern' in c) && !(c.op in okCase)) okCase[c.op] = c;
}
const camel = (s) => s.replace(/_([a-z0-9])/g, (_, c) => c.toUpperCase());
const MARK = 'not-hex:' + '5ec7e7'.repeat(16); // refused by every secret hex argument

function call(op, args) {
  const values = op.args.map((a) => {
    assert.ok(['str', 'u64'].includes(a.type), `${op.name}: ${a.type} arguments are not exercised here`);
    return a.type === 'u64' ? BigInt(args[a.name]) : args[a.name];
  });
  return sdk[camel(op.name)](...values);
}

/** Runs `body`; returns every range the runtime filled with a copy meanwhile. */
function copies(body) {
  const made = [];
  rt.traceCopies((buf, from, to) => made.push({ buf, from, to, filled: Buffer.from(buf.subarray(from, to)) }));
  try {
    body();
  } finally {
    rt.traceCopies(null);
  }
  return made;
}

function assertWiped(made, secret, what) {
  const bytes = Buffer.from(secret, 'utf8');
  assert.ok(made.some((m) => m.filled.includes(bytes)), `${what}: the runtime made no copy of the secret to check`);
  for (const m of made) {
    assert.ok(m.buf.subarray(m.from, m.to).every((b) => b === 0), `${what}: a copy was left unzeroed`);
  }
}

test('secret arguments: every copy zeroed, when the call returns and when the library refuses it', () => {
  let checked = 0;
  for (const op of iface.operations) {
    for (const arg of op.args.filter((a) => a.secret)) {
      const what = `${op.name}(${arg.name})`;
      const args = okCase[op.name].args;
      assertWiped(copies(() => call(op, args)), args[arg.name], `${what} returning`);
      assertWiped(copies(() => {
        try {
          call(op, { ...args, [arg.name]: MARK });
        } catch (e) {
          if (!(e instanceof sdk.SdkError)) throw e;
        }
      }), MARK, `${what} refused by the library`);
      checked++;
    }
  }
  assert.ok(checked > 0, 'the description marks no secret argument');
});

test('secret results: every copy zeroed once read; records redact secret fields in inspect and JSON', () => {
  let checked = 0;
  for (const op of iface.operations) {
    const type = op.result.type;
    const fields = type.startsWith('record:') ? records[type.slice(7)].fields : [];
    if (!op.result.secret && !fields.some((f) => f.secret)) continue;
    let value;
    const made = copies(() => {
      value = call(op, okCase[op.name].args);
    });
    const secrets = op.result.secret ? [value] : fields.filter((f) => f.secret).map((f) => value[camel(f.name)]);
    for (const s of secrets) assertWiped(made, s, `${op.name} result`);
    if (fields.length > 0) {
      assert.deepEqual(Object.keys(value), fields.map((f) => camel(f.name)), 'only the fields are enumerable');
      const json = JSON.parse(JSON.stringify(value));
      for (const shown of [util.inspect(value), util.format('%o', [value]), JSON.stringify(value)]) {
        for (const f of fields) {
          const name = camel(f.name);
          if (f.secret) assert.ok(!shown.includes(value[name]), `${op.name}: ${name} shown in ${shown}`);
          else assert.ok(shown.includes(String(value[name])), `${op.name}: ${name} not shown in ${shown}`);
        }
      }
      for (const f of fields) assert.equal(json[camel(f.name)], f.secret ? '<redacted>' : value[camel(f.name)]);
    }
    checked++;
  }
  assert.ok(checked > 0, 'the description marks no secret result or record field');
});
