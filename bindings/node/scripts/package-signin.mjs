// The sign-in the package stages run from an installed npm package (a fixed
// expiry, so that its output can be compared): node package-signin.mjs
import * as q from 'quorent-sdk';
const origin = q.normalizeOrigin('https://Shop.Example:443/');
console.log(q.userRootBinding(origin)); // the wallet signs this text (EIP-191), twice
const sig = 'e24f8c8fe1145b5441de654c4f0a83285cb303446326e20fcbabd4f8651a0af753c5568d35073dc957315f1bb34ab5c71b782ddea8298d018eb5b953259082b01b';
const key = q.deriveAppKey(q.deriveRootSeed(origin, sig, sig), 7n, origin);
const deed = q.mintUserDeed(key.secretKeyHex, 7n, 'shop-api', origin, 'rp-challenge-8f14e45f', 1700000300n);
console.log(`${deed.mode} deed for ${deed.sub}, signed by ${key}`);
