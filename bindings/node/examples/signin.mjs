// A user-sig sign-in from a Node back end: node examples/signin.mjs
import * as sdk from 'quorent-sdk';

// The wallet's EIP-191 signature of the root binding below, made here by a
// publicly known demo key; a real host has the user's wallet sign `message`.
const DEMO_SIGNATURE = 'e24f8c8fe1145b5441de654c4f0a83285cb303446326e20fcbabd4f8651a0af7' +
  '53c5568d35073dc957315f1bb34ab5c71b782ddea8298d018eb5b953259082b01b';

const origin = sdk.normalizeOrigin('https://Shop.Example:443/');        // https://shop.example
const message = sdk.userRootBinding(origin);                             // shown to the wallet, signed twice
const seed = sdk.deriveRootSeed(origin, DEMO_SIGNATURE, DEMO_SIGNATURE); // keep it: it re-derives the app key
const appKey = sdk.deriveAppKey(seed, 7n, origin);
const challenge = 'challenge-from-the-rp';
const deed = sdk.mintUserDeed(appKey.secretKeyHex, 7n, 'https://rp.example', origin, challenge,
  BigInt(Math.floor(Date.now() / 1000) + 300));
console.log(message.split('\n')[0]);
console.log(appKey);                                                     // the secret shows as <redacted>
console.log(`${deed.mode} deed for ${deed.sub}, tenant ${deed.tenant}, signed ${deed.signature.slice(0, 16)}…`);
