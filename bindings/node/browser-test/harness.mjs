// What the browser test and benchmark share: a static file server on the
// loopback address, and Debian's chromium, headless, driven by
// playwright-core.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.mjs': 'text/javascript', '.js': 'text/javascript',
  '.json': 'application/json', '.wasm': 'application/wasm', '.css': 'text/css',
};

/** Serves files from 127.0.0.1 on a port of the system's choice: `mounts`
 * maps a URL path prefix (ending in '/') or a whole path to a folder or a
 * file; the longest prefix wins, and nothing outside a mounted folder is
 * served. Resolves to { url, close }. */
export function serve(mounts) {
  const order = Object.keys(mounts).sort((a, b) => b.length - a.length);
  const server = http.createServer((req, res) => {
    const url = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    const prefix = order.find((p) => (p.endsWith('/') ? url.startsWith(p) : url === p));
    let file = null;
    if (prefix !== undefined) {
      const base = path.resolve(mounts[prefix]);
      file = prefix.endsWith('/') ? path.resolve(base, url.slice(prefix.length) || 'index.html') : base;
      if (file !== base && !file.startsWith(base + path.sep)) file = null;
    }
    if (file === null || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      res.writeHead(404, { 'content-type': 'text/plain' }).end('not found');
      return;
    }
    res.writeHead(200, { 'content-type': TYPES[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(res);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({
    url: `http://127.0.0.1:${server.address().port}`,
    close: () => new Promise((done) => server.close(done)),
  })));
}

/** Debian's chromium ($QUORENT_CHROMIUM, else /usr/bin/chromium), headless. */
export async function browser() {
  const { chromium } = await import('playwright-core');
  return chromium.launch({ executablePath: process.env.QUORENT_CHROMIUM || '/usr/bin/chromium', headless: true });
}
