// A user-sig sign-in in the page: the wallet (window.ethereum, EIP-1193)
// signs the root binding for this page's origin with personal_sign, twice;
// the library derives the root seed and the app key from the signatures and
// mints a deed for the relying party's challenge. Secrets stay in the page:
// the seed and the app key never leave it.
import { init, normalizeOrigin, userRootBinding, deriveRootSeed, deriveAppKey, mintUserDeed } from 'quorent-sdk';

const TENANT = 7n;
const AUDIENCE = 'https://rp.example';
const button = document.getElementById('signin');
const out = document.getElementById('out');

const hex = (bytes) => Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');
const strip0x = (s) => (s.startsWith('0x') ? s.slice(2) : s);

async function signIn() {
  const { ethereum } = window;
  if (!ethereum) throw new Error('no wallet in this browser');
  const [account] = await ethereum.request({ method: 'eth_requestAccounts' });
  const origin = normalizeOrigin(location.origin);
  const message = userRootBinding(origin);
  const sign = () => ethereum.request({
    method: 'personal_sign',
    params: ['0x' + hex(new TextEncoder().encode(message)), account],
  });
  // Two signatures of the same text: a wallet that signs deterministically
  // gives the same one twice, which is what keeps the derived key stable.
  const first = strip0x(await sign());
  const second = strip0x(await sign());
  const seed = deriveRootSeed(origin, first, second);
  const appKey = deriveAppKey(seed, TENANT, origin);
  // The relying party's challenge: from its own sign-in endpoint in a real page.
  const challenge = new URLSearchParams(location.search).get('challenge') || 'challenge-from-the-rp';
  const deed = mintUserDeed(appKey.secretKeyHex, TENANT, AUDIENCE, origin, challenge,
    BigInt(Math.floor(Date.now() / 1000) + 300));
  out.textContent = `${deed.mode} deed for ${deed.sub}, tenant ${deed.tenant}, app key ${appKey.pubkeyHex}`;
  out.dataset.done = 'yes';
}

await init(); // fetches and compiles the WebAssembly build, once
button.disabled = false;
button.addEventListener('click', () => signIn().catch((e) => {
  out.textContent = `sign-in failed: ${e.message}`;
  out.dataset.done = 'failed';
}));
