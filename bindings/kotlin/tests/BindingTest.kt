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
        assertTrue(Loader.supported(linux = false, windows = true, is64Bit = true))
        assertFalse(Loader.supported(linux = false, windows = true, is64Bit = false))
        assertFalse(Loader.supported(linux = false, windows = false, is64Bit = true)) { "macOS" }
    }

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
