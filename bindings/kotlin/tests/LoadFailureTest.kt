// Run (by Surefire's load-failure execution) in a JVM whose QUORENT_SDK_LIB names
// a file that does not exist: every call fails the same way, naming the path and
// the dynamic loader's reason.
package quorent.sdk.tests

import org.junit.jupiter.api.Assertions.assertEquals
import org.junit.jupiter.api.Assertions.assertTrue
import org.junit.jupiter.api.Test
import org.junit.jupiter.api.assertThrows
import quorent.sdk.*
import java.io.File

class LoadFailureTest {
    @Test
    fun missingLibraryIsReportedByEveryCall() {
        val path = System.getenv("QUORENT_SDK_LIB")
        assertTrue(!path.isNullOrEmpty() && !File(path).exists()) { "QUORENT_SDK_LIB must name a missing file: $path" }
        val first = assertThrows<LibraryLoadException> { normalizeOrigin("https://a.test") }
        val again = assertThrows<LibraryLoadException> { generatePkce() }
        assertEquals(first.message, again.message)
        val message = first.message!!
        assertTrue(message.startsWith("cannot load $path named by QUORENT_SDK_LIB: ")) { message }
        assertTrue("No such file or directory" in message) { message }
    }
}
