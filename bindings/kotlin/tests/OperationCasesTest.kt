// The shared operation cases, one test each, then the buffer accounting over all of them.
package quorent.sdk.tests

import org.junit.jupiter.api.Assertions.assertEquals
import org.junit.jupiter.api.Assertions.assertTrue
import org.junit.jupiter.api.DynamicTest
import org.junit.jupiter.api.DynamicTest.dynamicTest
import org.junit.jupiter.api.TestFactory
import com.sun.jna.Platform
import quorent.sdk.*
import java.io.File

class OperationCasesTest {
    @TestFactory
    fun sharedCases(): List<DynamicTest> {
        val path = System.getProperty("quorent.cases") ?: "../../tests/cases/operations.json"
        val file = File(path)
        assertTrue(file.isFile) { "no cases file at $path" }
        @Suppress("UNCHECKED_CAST")
        val cases = (Json(file.readText()).parse() as Map<String, Any?>)["cases"] as List<Map<String, Any?>>
        val received = Rt.received
        val freed = Rt.freed
        val tests = cases.filter { it["c_only"] != true }.map { c -> dynamicTest(c["name"] as String) { runCase(c) } }
        // Every buffer the library handed over (results and error buffers) was freed.
        return tests + dynamicTest("every buffer received was freed") {
            assertTrue(Rt.received > received)
            assertEquals(Rt.received - received, Rt.freed - freed)
        } + dynamicTest("the calls took the path this platform and QUORENT_SDK_JVM_STRUCT_ABI choose") {
            // The build runs these cases once per path; a run that silently took the
            // other one would leave a path untested.
            val portable = Platform.ARCH != "x86-64" || System.getenv("QUORENT_SDK_JVM_STRUCT_ABI") == "1"
            assertEquals(portable, Rt.structAbi)
        }
    }

    private fun runCase(c: Map<String, Any?>) {
        val name = c["name"] as String
        val outcome: Any? = try {
            caseForm(call(c["op"] as String, Args(c["args"] as Map<*, *>)))
        } catch (e: SdkException) {
            mapOf("variant" to e.javaClass.simpleName, "message" to e.message)
        } catch (e: InternalException) {
            "internal: ${e.message}"
        }
        when {
            "ok" in c -> assertEquals(expectedForm(c["ok"]), outcome, name)
            "err" in c -> assertEquals(c["err"], outcome, name)
            "ok_pattern" in c -> {
                val got = outcome as Map<*, *>
                for ((field, pattern) in c["ok_pattern"] as Map<*, *>) {
                    assertTrue(Regex(pattern as String).matches(got[field] as String)) { "$name: $field = ${got[field]}" }
                }
            }
            "internal_prefix" in c ->
                assertTrue((outcome as? String)?.startsWith("internal: ${c["internal_prefix"]}") == true) { "$name: got $outcome" }
            else -> throw AssertionError("$name: no expected outcome")
        }
    }
}
