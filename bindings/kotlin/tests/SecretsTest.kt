// Secrets, walked from the interface description (bindings/interface.json): every
// argument, record field and result it marks secret stays out of the records'
// toString, and every copy the binding makes of it is wiped before the call returns
// or throws. Calls use the shared operation cases (Cases.kt).
package quorent.sdk.tests

import org.junit.jupiter.api.Assertions.assertFalse
import org.junit.jupiter.api.Assertions.assertTrue
import org.junit.jupiter.api.Test
import quorent.sdk.*
import java.io.File

@Suppress("UNCHECKED_CAST")
class SecretsTest {
    private fun read(property: String, default: String) =
        Json(File(System.getProperty(property) ?: default).readText()).parse() as Map<String, Any?>

    private val iface = read("quorent.interface", "../interface.json")
    private val operations = iface["operations"] as List<Map<String, Any?>>
    private val records = (iface["records"] as List<Map<String, Any?>>).associateBy { it["name"] as String }
    private val okCases = (read("quorent.cases", "../../tests/cases/operations.json")["cases"] as List<Map<String, Any?>>)
        .filter { it["c_only"] != true && ("ok" in it || "ok_pattern" in it) }
        .groupBy { it["op"] as String }.mapValues { it.value.first() }

    private fun camel(s: String) = s.replace(Regex("_([a-z0-9])")) { it.groupValues[1].uppercase() }
    private fun List<*>.maps() = this as List<Map<String, Any?>>
    private fun secrets(fields: Any?) = (fields as List<*>).maps().filter { it["secret"] == true }.map { it["name"] as String }

    /** Runs [call], recording every copy the binding makes as (label, array, its bytes when filled). */
    private fun copies(call: () -> Unit): List<Triple<String, ByteArray, ByteArray>> {
        val made = ArrayList<Triple<String, ByteArray, ByteArray>>()
        Rt.copies = { label, bytes -> made += Triple(label, bytes, bytes.copyOf()) }
        try {
            call()
        } finally {
            Rt.copies = null
        }
        return made
    }

    /** Every copy is wiped, and one of them held [secret] (so that there was something to check). */
    private fun assertWiped(made: List<Triple<String, ByteArray, ByteArray>>, secret: String, what: String) {
        val bytes = secret.toByteArray()
        assertTrue(made.any { (_, _, filled) -> String(filled, Charsets.ISO_8859_1).contains(String(bytes, Charsets.ISO_8859_1)) }) {
            "$what: the binding made no copy of the secret to check"
        }
        for ((label, array, _) in made) assertTrue(array.all { it == 0.toByte() }) { "$what: copy $label left unwiped" }
    }

    private fun run(op: String, args: Map<String, Any?>): Any? = call(op, Args(args))

    @Test
    fun secretArgumentsAreWipedOnEveryPath() {
        val mark = "not-hex:" + "5ec7e7".repeat(16)
        var checked = 0
        for (op in operations) {
            val name = op["name"] as String
            val args = (op["args"] as List<*>).maps()
            for ((i, arg) in args.withIndex()) {
                if (arg["secret"] != true) continue
                val argName = arg["name"] as String
                val case = okCases.getValue(name)["args"] as Map<String, Any?>
                assertWiped(copies { run(name, case) }, case[argName] as String, "$name($argName) returning")
                val refused = LinkedHashMap(case).apply { put(argName, mark) }
                assertWiped(copies {
                    try {
                        run(name, refused)
                    } catch (e: SdkException) {
                    }
                }, mark, "$name($argName) refused by the library")
                // A later text the binding refuses after the secret's copy was made.
                val later = args.drop(i + 1).firstOrNull { it["type"] == "str" }?.get("name") as String?
                if (later != null) {
                    val bad = LinkedHashMap(refused).apply { put(later, "\uD800") }
                    assertWiped(copies {
                        try {
                            run(name, bad)
                            throw AssertionError("$name: an unpaired surrogate was taken")
                        } catch (e: IllegalArgumentException) {
                        }
                    }, mark, "$name($argName) refused by the binding")
                }
                checked++
            }
        }
        assertTrue(checked > 0) { "the description marks no secret argument" }
    }

    @Test
    fun secretResultsAreWipedOnceReadAndRecordsRedactThem() {
        var checked = 0
        for (op in operations) {
            val name = op["name"] as String
            val result = op["result"] as Map<String, Any?>
            val type = result["type"] as String
            val fields = if (type.startsWith("record:")) secrets(records.getValue(type.removePrefix("record:"))["fields"]) else listOf()
            if (result["secret"] != true && fields.isEmpty()) continue
            var value: Any? = null
            val made = copies { value = run(name, okCases.getValue(name)["args"] as Map<String, Any?>) }
            val v = value!!
            val shown = v.toString()
            val values = if (fields.isEmpty()) listOf(v as String) else fields.map { f ->
                v.javaClass.getDeclaredField(camel(f)).apply { isAccessible = true }.get(v) as String
            }
            for ((f, secret) in fields.zip(values)) {
                assertFalse(secret in shown) { "$name: ${camel(f)} shown in $shown" }
                assertTrue("${camel(f)}=<redacted>" in shown) { shown }
            }
            if (fields.isNotEmpty()) {
                for (f in (records.getValue(type.removePrefix("record:"))["fields"] as List<*>).maps()) {
                    val field = camel(f["name"] as String)
                    if (f["secret"] != true) {
                        val x = v.javaClass.getDeclaredField(field).apply { isAccessible = true }.get(v)
                        assertTrue("$field=$x" in shown) { "$name: $field not shown in $shown" }
                    }
                }
            }
            for (secret in values) assertWiped(made, secret, "$name result")
            checked++
        }
        assertTrue(checked > 0) { "the description marks no secret result or record field" }
    }
}
