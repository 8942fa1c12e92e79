'use strict';
// What the libraries this package carries are built with, as its SBOM
// (quorent-sdk.cdx.json, CycloneDX) lists them:
//   require('quorent-sdk/components').components()

const fs = require('node:fs');
const path = require('node:path');

// Node's platform-arch -> the platform the SBOM names.
const PLATFORMS = { 'linux-x64': 'linux-x86_64', 'linux-arm64': 'linux-aarch64', 'win32-x64': 'windows-x86_64' };

/**
 * The components linked into this package's library for a platform (this
 * process's by default): { name, version, license, purl } each, sorted by
 * name; null when the package carries no SBOM or no library for it.
 */
function components(platform = process.platform, arch = process.arch, root = path.join(__dirname, '..')) {
  const file = path.join(root, 'quorent-sdk.cdx.json');
  if (!fs.existsSync(file)) return null;
  const bom = JSON.parse(fs.readFileSync(file, 'utf8'));
  const want = PLATFORMS[`${platform}-${arch}`];
  const library = bom.components.find((c) => (c.properties || [])
    .some((p) => p.name === 'quorent:platform' && p.value === want));
  if (!library) return null;
  const linked = new Set(bom.dependencies.find((d) => d.ref === library['bom-ref']).dependsOn);
  return bom.components.filter((c) => linked.has(c['bom-ref']))
    .map((c) => ({ name: c.name, version: c.version, license: c.licenses[0].license ? c.licenses[0].license.id
      : c.licenses[0].expression, purl: c.purl }))
    .sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
}

module.exports = { components };
