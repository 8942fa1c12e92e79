// A page as an application bundles it (run.mjs builds it with Vite, given no
// configuration): the package resolved by its browser condition, its
// WebAssembly build found through import.meta.url. A sign-in with a known
// signature, shown in #out.
import { init, normalizeOrigin, deriveRootSeed, deriveAppKey, mintUserDeed } from 'quorent-sdk';

const SIGNATURE = 'e24f8c8fe1145b5441de654c4f0a83285cb303446326e20fcbabd4f8651a0af7' +
  '53c5568d35073dc957315f1bb34ab5c71b782ddea8298d018eb5b953259082b01b';
const out = document.getElementById('out');
try {
  await init();
  const origin = normalizeOrigin('https://Shop.Example:443/');
  const key = deriveAppKey(deriveRootSeed(origin, SIGNATURE, SIGNATURE), 7n, origin);
  const deed = mintUserDeed(key.secretKeyHex, 7n, 'https://rp.example', origin, 'c', 4102444800n);
  out.textContent = `${deed.mode} ${deed.sub} ${key.pubkeyHex}`;
} catch (e) {
  out.textContent = `failed: ${e.message}`;
}
