// How the benchmark times a call, the same in Node and in a page: wall time
// (a page has no CPU clock) per call over a batch of at least 20 ms, the
// best of 5 batches.
export const OPERATIONS = {
  'public key': ['derive_app_key', 'mint_user_deed', 'origin_vouch_signer', 'sign_client_assertion', 'verify_token_at'],
  JSON: ['delegation_binding', 'delegate', 'parent_ref_hash_link', 'mint_capability_deed', 'issuer_key_id'],
  text: ['normalize_origin'],
};

function batch(run, n) {
  const start = performance.now();
  for (let i = 0; i < n; i++) run();
  return performance.now() - start;
}

/** µs per call of `run`. */
export function perCall(run) {
  let n = 1;
  while (batch(run, n) < 20) n *= 2;
  return Math.min(...Array.from({ length: 5 }, () => batch(run, n))) * 1000 / n;
}
