// The package loads as an ES module too, with the same functions as require().
import test from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import sdk, { normalizeOrigin, SdkError, InternalError } from 'quorent-sdk';

test('import and require give the same binding', () => {
  const required = createRequire(import.meta.url)('quorent-sdk');
  assert.equal(sdk, required);
  assert.equal(normalizeOrigin, required.normalizeOrigin);
  assert.equal(normalizeOrigin('https://Shop.test:443/'), 'https://shop.test');
  assert.throws(() => normalizeOrigin('http://shop.test/x'), SdkError);
  assert.ok(new InternalError('x') instanceof Error);
});
