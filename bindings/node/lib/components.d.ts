/** A component linked into the library, as the package's SBOM lists it. */
export interface Component {
  name: string;
  version: string;
  /** An SPDX licence expression. */
  license: string;
  /** Its package URL. */
  purl: string;
}

/**
 * The components linked into this package's library for a platform (this
 * process's by default), sorted by name; null when the package carries no
 * SBOM or no library for it.
 */
export function components(platform?: string, arch?: string, root?: string): Component[] | null;
