// A module worker that loads the package's WebAssembly build synchronously
// from bytes it fetched itself, then calls it.
import { initSync, normalizeOrigin } from '/node_modules/quorent-sdk/browser.mjs';

try {
  const bytes = await (await fetch('/node_modules/quorent-sdk/prebuilds/wasm32/quorent_sdk_uniffi.wasm')).arrayBuffer();
  initSync(bytes);
  postMessage(normalizeOrigin('https://A.test'));
} catch (e) {
  postMessage(String(e));
}
