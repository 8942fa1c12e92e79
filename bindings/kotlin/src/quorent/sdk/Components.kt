// What the native library this jar carries is built with, as the jar's SBOM
// (META-INF/sbom/quorent-sdk.cdx.json, CycloneDX) lists it.
package quorent.sdk

import com.sun.jna.Platform

/** A component linked into the native library: [license] is an SPDX expression, [purl] its package URL. */
data class Component(val name: String, val version: String, val license: String, val purl: String)

// JNA's resource folders -> the platforms the SBOM names.
private val SBOM_PLATFORMS = mapOf(
    "linux-x86-64" to "linux-x86_64", "linux-aarch64" to "linux-aarch64", "win32-x86-64" to "windows-x86_64")

/**
 * The components linked into the library this jar carries for this platform, sorted by name,
 * read from META-INF/sbom/quorent-sdk/<platform>.tsv (the SBOM's list for that library); empty
 * when the jar carries no library for the platform.
 */
fun components(): List<Component> {
    val platform = SBOM_PLATFORMS[Platform.RESOURCE_PREFIX] ?: return emptyList()
    val list = Component::class.java.getResourceAsStream("/META-INF/sbom/quorent-sdk/$platform.tsv")
        ?: return emptyList()
    return list.bufferedReader(Charsets.UTF_8).use { reader ->
        reader.readLines().filter { it.isNotEmpty() }.map { line ->
            val (name, version, license, purl) = line.split('\t')
            Component(name, version, license, purl)
        }
    }
}
