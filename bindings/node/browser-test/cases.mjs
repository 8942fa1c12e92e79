// The operation cases shared by every host (tests/cases/operations.json) as
// checks over a loaded binding, for any JavaScript host: Node's test runner
// (test/cases.test.js) and the browser pages (page.mjs). The interface
// description gives every operation's and record's types.

const camel = (s) => s.replace(/_([a-z0-9])/g, (_, c) => c.toUpperCase());
const hex = (bytes) => Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');
const unhex = (s) => Uint8Array.from(s.match(/../g) || [], (b) => parseInt(b, 16));

/** The description's operations and records, and argsOf(case): the case's
 * arguments as JavaScript values. */
function typesOf(description) {
  const functions = Object.fromEntries(description.operations.map((op) => [op.name,
    { args: op.args.map((a) => [a.name, a.type]), ret: op.result.type }]));
  const records = Object.fromEntries(description.records.map((r) => [r.name, r.fields.map((f) => [f.name, f.type])]));
  function toJs(type, v) {
    if (type.startsWith('opt:')) return v === null ? undefined : toJs(type.slice(4), v);
    if (type.startsWith('record:')) {
      return Object.fromEntries(records[type.slice(7)].map(([field, ft]) => [camel(field), toJs(ft, v[field] ?? null)]));
    }
    if (type === 'u64') return BigInt(v);
    if (type === 'bytes') return unhex(v);
    return v;
  }
  const argsOf = (c) => functions[c.op].args.map(([name, type]) => toJs(type, c.args[name]));
  return { functions, records, argsOf };
}

/** For the benchmarks: { operation: () => result } for each of `ops`, the
 * call of its first case that succeeds. */
export function caseCalls(sdk, description, file, ops) {
  const { argsOf } = typesOf(description);
  return Object.fromEntries(ops.map((op) => {
    const c = file.cases.find((x) => x.op === op && !x.c_only && ('ok' in x || 'ok_pattern' in x));
    if (!c) throw new Error(`no succeeding case of ${op}`);
    const args = argsOf(c);
    const f = sdk[camel(op)];
    return [op, () => f(...args)];
  }));
}

/** [{ name, run }] for each case a JavaScript host can call, then one that
 * every operation had a case. `sdk` is the binding, `description` the
 * parsed bindings/interface.json, `file` the parsed case file, `assert` an
 * object with Node's assert/strict ok, equal, deepEqual, match and throws. */
export function caseChecks(sdk, description, file, assert) {
  const { functions, records, argsOf } = typesOf(description);

  // JavaScript value -> case form.
  function fromJs(type, v) {
    if (type.startsWith('opt:')) return v === undefined ? null : fromJs(type.slice(4), v);
    if (type.startsWith('record:')) {
      return Object.fromEntries(records[type.slice(7)].map(([field, ft]) => [field, fromJs(ft, v[camel(field)])]));
    }
    if (type === 'u64') {
      assert.equal(typeof v, 'bigint');
      return v.toString();
    }
    if (type === 'bytes') {
      assert.ok(v instanceof Uint8Array);
      return hex(v);
    }
    return v;
  }

  const seen = new Set();
  const checks = file.cases.filter((c) => !c.c_only).map((c) => ({
    name: `${c.op}: ${c.name}`,
    run() {
      const op = functions[c.op];
      assert.ok(op, `unknown operation ${c.op}`);
      seen.add(c.op);
      const args = argsOf(c);
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
    },
  }));
  checks.push({
    name: 'every operation has a case',
    run: () => assert.deepEqual([...seen].sort(), Object.keys(functions).sort()),
  });
  return checks;
}
