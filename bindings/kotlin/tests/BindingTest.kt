// What only this binding does: u64 and record conversions, refusing
// arguments before any call, refusing a library that does not match, the calling
// path each platform takes, and calls from several threads.
package quorent.sdk.tests

import org.junit.jupiter.api.Assertions.assertEquals
import org.junit.jupiter.api.Assertions.assertFalse
import org.junit.jupiter.api.Assertions.assertTrue
import org.junit.jupiter.api.Test
import org.junit.jupiter.api.assertThrows
import quorent.sdk.*
import java.io.File
import java.util.concurrent.ConcurrentLinkedQueue
import kotlin.concurrent.thread

class BindingTest {
    private val seed = "3f7c76331f79b57a5ad8c28c263a9af2a6bfa3fbb72e4c290cf414a57539f150"
    private val origin = "https://shop.example"

    @Test
    fun u64BoundsSurviveBothDirections() {
        val key = deriveAppKey(seed, 7uL, origin)
        val deed = mintUserDeed(key.secretKeyHex, ULong.MAX_VALUE, "a", origin, "c", 1uL shl 63)
        assertEquals(ULong.MAX_VALUE, deed.tenant)
        assertEquals(1uL shl 63, deed.exp)
        assertEquals(1.toUByte(), deed.v)
        assertTrue("18446744073709551615" in buildClientAssertion("d", 0uL, "n", ULong.MAX_VALUE))
    }

    @Test
    fun recordArgumentRoundTrips() {
        // Absent and present optional fields, empty and non-ASCII texts.
        val deed = mintUserDeed(deriveAppKey(seed, 7uL, origin).secretKeyHex, 7uL, "a", origin, "c", 1uL)
        val edited = deed.copy(root = "", proof = "é東", grants = null)
        val capability = mintCapabilityDeed(edited, "[]", "[]")
        assertEquals(edited, capability.copy(grants = null, delegations = null))
    }

    @Test
    fun argumentsTheLibraryCannotTakeAreRefusedBeforeAnyCall() {
        val deed = mintUserDeed(deriveAppKey(seed, 7uL, origin).secretKeyHex, 7uL, "a", origin, "c", 1uL)
        val before = Triple(Rt.made, Rt.received, Rt.freed)
        assertThrows<IllegalArgumentException>("unpaired surrogate") { normalizeOrigin("https://a\uD800.test") }
        assertThrows<IllegalArgumentException>("unpaired surrogate in a record") {
            mintCapabilityDeed(deed.copy(sub = "\uDC00"), "[]", "[]")
        }
        val huge = String(ByteArray((1 shl 30) + 1) { 0xE9.toByte() }, Charsets.ISO_8859_1) // 2^31 + 2 bytes of UTF-8
        val e = assertThrows<IllegalArgumentException> { userSub(huge) }
        assertTrue(e.message!!.startsWith("pubkeyHex is 2147483650 bytes")) { e.message }
        assertEquals(before, Triple(Rt.made, Rt.received, Rt.freed)) { "a refused call touched the library" }
    }

    @Test
    fun libraryWithAnotherChecksumIsRefusedNamingTheOperation() {
        val lib = Loader.open()
        val altered = CHECKSUMS.map { if (it.first == "normalize_origin") Pair(it.first, it.second xor 1) else it }
        val e = assertThrows<LibraryLoadException> { Loader.checkLibrary(lib, altered.toTypedArray()) }
        assertTrue(e.message!!.startsWith("checksum mismatch for normalize_origin:")) { e.message }
        Loader.checkLibrary(lib, CHECKSUMS)
    }

    @Test
    fun onlyX86_64LinuxTakesTheSystemVDeclarations() {
        assertFalse(Loader.structAbi(linux = true, arch = "x86-64", env = null))
        assertTrue(Loader.structAbi(linux = true, arch = "x86-64", env = "1"))
        assertTrue(Loader.structAbi(linux = true, arch = "aarch64", env = null))
        assertTrue(Loader.structAbi(linux = false, arch = "x86-64", env = null)) { "Windows x64" }
        assertTrue(Loader.supported(linux = false, other = true, is64Bit = true)) { "Windows or macOS" }
        assertFalse(Loader.supported(linux = false, other = true, is64Bit = false))
        assertFalse(Loader.supported(linux = false, other = false, is64Bit = true)) { "FreeBSD" }
    }

    @Test
    fun eachPlatformAndCLibraryTakesItsOwnResource() {
        // Every row of scripts/platforms.json: JNA's prefix, the C library, the file name, the resource.
        for ((prefix, libc, windows, mac, expected) in listOf(
            Row("linux-x86-64", "glibc", false, false, "/linux-x86-64/libquorent_sdk_uniffi.so"),
            Row("linux-aarch64", "glibc", false, false, "/linux-aarch64/libquorent_sdk_uniffi.so"),
            Row("linux-x86-64", "musl", false, false, "/linux-x86-64-musl/libquorent_sdk_uniffi.so"),
            Row("linux-aarch64", "musl", false, false, "/linux-aarch64-musl/libquorent_sdk_uniffi.so"),
            Row("linux-x86-64", null, false, false, "/linux-x86-64/libquorent_sdk_uniffi.so"),
            Row("darwin-aarch64", null, false, true, "/darwin-aarch64/libquorent_sdk_uniffi.dylib"),
            Row("darwin-x86-64", null, false, true, "/darwin-x86-64/libquorent_sdk_uniffi.dylib"),
            Row("win32-x86-64", null, true, false, "/win32-x86-64/quorent_sdk_uniffi.dll"),
        )) {
            assertEquals(expected, Loader.resource(prefix, libc, Loader.fileName(windows, mac)))
        }
        // The C library the process has mapped, not what is on disk.
        val glibc = "7f2a1c000000-7f2a1c028000 r--p 00000000 08:01 1234 /usr/lib/x86_64-linux-gnu/libc.so.6"
        val musl = "7f2a1c000000-7f2a1c014000 r--p 00000000 08:01 99 /lib/ld-musl-aarch64.so.1"
        assertEquals("glibc", Loader.libcOf(sequenceOf("55d0-55d1 r-xp 0 0:0 0 /usr/bin/java", glibc)))
        assertEquals("glibc", Loader.libcOf(sequenceOf("7f-80 r-xp 0 08:01 5 /lib/x86_64-linux-gnu/libc-2.31.so")))
        assertEquals("musl", Loader.libcOf(sequenceOf("55d0-55d1 r-xp 0 0:0 0 /usr/bin/java", musl)))
        assertEquals("musl", Loader.libcOf(sequenceOf("7f-80 r-xp 0 08:01 5 /lib/libc.musl-x86_64.so.1")))
        assertEquals(null, Loader.libcOf(sequenceOf("7f-80 rw-p 0 0:0 0 [heap]", "7f-80 r-xp 0 08:01 5 /opt/libc.so.6.bak")))
        val here = File("/proc/self/maps").useLines { Loader.libcOf(it) }
        assertTrue(here == "glibc" || here == "musl") { "$here" }
    }

    private data class Row(val prefix: String, val libc: String?, val windows: Boolean, val mac: Boolean, val resource: String)

    @Test
    fun callsFromSeveralThreadsEachGetTheirOwnResult() {
        val errors = ConcurrentLinkedQueue<String>()
        (0 until 4).map { t ->
            thread {
                for (i in 0 until 200) {
                    val got = normalizeOrigin("https://Host$t-$i.test:443/")
                    if (got != "https://host$t-$i.test") errors += got
                }
            }
        }.forEach { it.join() }
        assertTrue(errors.isEmpty()) { "threads: $errors" }
    }
}
