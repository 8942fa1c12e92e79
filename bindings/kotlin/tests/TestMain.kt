// The Kotlin binding's tests: the shared operation cases, then what only this
// binding does (argument refusal, redaction, library checks, buffer accounting).
//   java ... quorent.sdk.tests.TestMainKt [tests/cases/operations.json | --load-failure]
package quorent.sdk.tests

import quorent.sdk.*
import java.io.File
import kotlin.concurrent.thread

private var passed = 0

private fun check(ok: Boolean, what: () -> String) {
    if (!ok) throw AssertionError(what())
    passed++
}

private inline fun <reified E : Throwable> throws(what: String, block: () -> Unit): E {
    try {
        block()
    } catch (e: Throwable) {
        if (e is E) {
            passed++
            return e
        }
        throw AssertionError("$what: expected ${E::class.java.simpleName}, got $e")
    }
    throw AssertionError("$what: expected ${E::class.java.simpleName}, nothing thrown")
}

// ---- a small JSON reader for the cases file ------------------------------------------

/** JSON numbers are kept as their literal text, in [Num]. */
private data class Num(val text: String)

private class Json(private val s: String) {
    private var i = 0

    fun parse(): Any? = value().also { ws(); require(i == s.length) { "trailing JSON at $i" } }

    private fun ws() {
        while (i < s.length && s[i].isWhitespace()) i++
    }

    private fun value(): Any? {
        ws()
        return when (s[i]) {
            '{' -> {
                i++
                val m = LinkedHashMap<String, Any?>()
                ws()
                if (s[i] == '}') i++ else while (true) {
                    ws()
                    val k = string()
                    ws(); require(s[i++] == ':')
                    m[k] = value()
                    ws()
                    if (s[i++] == '}') break
                }
                m
            }
            '[' -> {
                i++
                val l = ArrayList<Any?>()
                ws()
                if (s[i] == ']') i++ else while (true) {
                    l += value()
                    ws()
                    if (s[i++] == ']') break
                }
                l
            }
            '"' -> string()
            't' -> { i += 4; true }
            'f' -> { i += 5; false }
            'n' -> { i += 4; null }
            else -> {
                val start = i
                while (i < s.length && s[i] in "+-0123456789.eE") i++
                Num(s.substring(start, i))
            }
        }
    }

    private fun string(): String {
        require(s[i++] == '"')
        val b = StringBuilder()
        while (true) {
            val c = s[i++]
            when (c) {
                '"' -> return b.toString()
                '\\' -> when (val e = s[i++]) {
                    'n' -> b.append('\n'); 't' -> b.append('\t'); 'r' -> b.append('\r')
                    'b' -> b.append('\b'); 'f' -> b.append('\u000c')
                    'u' -> { b.append(s.substring(i, i + 4).toInt(16).toChar()); i += 4 }
                    else -> b.append(e)
                }
                else -> b.append(c)
            }
        }
    }
}

// ---- values in the cases' form ---------------------------------------------------------

private fun hex(b: ByteArray) = b.joinToString("") { String.format("%02x", it.toInt() and 0xFF) }

private fun unhex(s: String) = ByteArray(s.length / 2) { s.substring(2 * it, 2 * it + 2).toInt(16).toByte() }

private fun snake(camel: String) = camel.replace(Regex("([A-Z])")) { "_" + it.value.toLowerCase() }

/** A result as the cases write it: texts and numbers as strings, records as maps. */
private fun caseForm(v: Any?): Any? = when (v) {
    null, is String, is Boolean -> v
    is ByteArray -> hex(v)
    is ULong, is UByte -> v.toString()
    else -> v.javaClass.declaredFields.filter { !java.lang.reflect.Modifier.isStatic(it.modifiers) }.associate { f ->
        f.isAccessible = true
        val x = f.get(v)
        snake(f.name) to when (f.type) {
            java.lang.Long.TYPE -> java.lang.Long.toUnsignedString(x as Long)
            java.lang.Byte.TYPE -> ((x as Byte).toInt() and 0xFF).toString()
            else -> x?.toString()
        }
    }
}

private fun expectedForm(v: Any?): Any? = when (v) {
    is Num -> v.text
    is Map<*, *> -> v.mapValues { expectedForm(it.value) }
    else -> v
}

private class Args(val m: Map<*, *>) {
    fun s(k: String) = m[k] as String
    fun os(k: String) = m[k] as String?
    fun u(k: String) = (m[k] as String).toULong()
    fun b(k: String) = m[k] as Boolean
    fun bytes(k: String) = unhex(m[k] as String)
    fun deed(k: String): Deed {
        val d = Args(m[k] as Map<*, *>)
        return Deed(
            (d.m["v"] as Num).text.toUByte(), d.s("mode"), d.u("tenant"), d.s("sub"), d.s("aud"), d.s("challenge"),
            d.u("exp"), d.os("root"), d.os("proof"), d.os("pubkey"), d.os("signature"), d.os("credential_pubkey"),
            d.os("authenticator_data"), d.os("client_data_json"), d.os("assertion_sig"), d.os("signer"),
            d.os("grants"), d.os("delegations"))
    }
}

private fun call(op: String, a: Args): Any? = when (op) {
    "build_authorize_url" -> buildAuthorizeUrl(a.s("issuer"), a.s("client_id"), a.s("redirect_uri"), a.s("state"), a.s("nonce"), a.s("code_challenge"))
    "build_client_assertion" -> buildClientAssertion(a.s("domain"), a.u("tenant_id"), a.s("nonce"), a.u("issued_at"))
    "decode_bool_return" -> decodeBoolReturn(a.bytes("ret"))
    "delegate" -> delegate(a.u("tenant_id"), a.s("iss"), a.s("to"), a.s("grants_json"), a.u("exp"), a.s("epoch_label_hex"), a.u("epoch"), a.s("parent_ref_hash_hex"), a.os("pubkey_hex"), a.s("signature_hex"))
    "delegation_binding" -> delegationBinding(a.u("tenant_id"), a.s("iss"), a.s("to"), a.s("grants_json"), a.u("exp"), a.s("epoch_label_hex"), a.u("epoch"), a.s("parent_ref_hash_hex"))
    "derive_app_key" -> deriveAppKey(a.s("root_seed_hex"), a.u("tenant_id"), a.s("origin"))
    "derive_root_seed" -> deriveRootSeed(a.s("origin"), a.s("signature1_hex"), a.s("signature2_hex"))
    "generate_pkce" -> generatePkce()
    "is_origin_voucher_calldata" -> isOriginVoucherCalldata(a.u("tenant_id"), a.s("signer_hex"), a.u("epoch"))
    "issuer_key_id" -> issuerKeyId(a.s("jwk_json"))
    "mint_admin_deed" -> mintAdminDeed(a.s("wallet_sig_hex"), a.u("tenant_id"), a.s("aud"), a.s("challenge"), a.u("exp"))
    "mint_admin_deed_smartwallet" -> mintAdminDeedSmartwallet(a.s("signer_addr_hex"), a.s("wallet_sig_hex"), a.u("tenant_id"), a.s("aud"), a.s("challenge"), a.u("exp"))
    "mint_capability_deed" -> mintCapabilityDeed(a.deed("base_deed"), a.s("grants_json"), a.s("delegation_chain_json"))
    "mint_user_1271_deed" -> mintUser1271Deed(a.s("signer_addr_hex"), a.s("wallet_sig_hex"), a.u("tenant_id"), a.s("aud"), a.s("origin"), a.s("challenge"), a.u("exp"))
    "mint_user_deed" -> mintUserDeed(a.s("secret_key_hex"), a.u("tenant_id"), a.s("aud"), a.s("origin"), a.s("challenge"), a.u("exp"))
    "mint_user_passkey_deed" -> mintUserPasskeyDeed(a.s("credential_pubkey_hex"), a.s("authenticator_data_hex"), a.s("client_data_json_b64url"), a.s("assertion_sig_hex"), a.u("tenant_id"), a.s("aud"), a.s("origin"), a.s("challenge"), a.u("exp"))
    "normalize_origin" -> normalizeOrigin(a.s("origin"))
    "origin_vouch_binding" -> originVouchBinding(a.u("tenant_id"), a.s("aud"), a.s("origin"), a.u("epoch"), a.u("exp"), a.b("allow_insecure_origin"))
    "origin_vouch_max_ttl_secs" -> originVouchMaxTtlSecs()
    "origin_vouch_signer" -> originVouchSigner(a.u("tenant_id"), a.s("aud"), a.s("origin"), a.u("epoch"), a.u("exp"), a.s("signature_hex"))
    "parent_ref_hash_link" -> parentRefHashLink(a.s("parent_link_json"))
    "parent_ref_hash_root" -> parentRefHashRoot(a.s("root_id"))
    "passkey_sub" -> passkeySub(a.u("tenant_id"), a.s("origin"), a.s("credential_pubkey_hex"))
    "pkce_challenge" -> pkceChallenge(a.s("verifier"))
    "sign_client_assertion" -> signClientAssertion(a.s("secret_key_hex"), a.s("domain"), a.u("tenant_id"), a.s("nonce"), a.u("issued_at"))
    "user_binding" -> userBinding(a.u("tenant_id"), a.s("aud"), a.s("origin"), a.s("challenge"), a.u("exp"))
    "user_root_binding" -> userRootBinding(a.s("origin"))
    "user_sub" -> userSub(a.s("pubkey_hex"))
    "verify_token_at" -> verifyTokenAt(a.s("jwt"), a.s("jwks_json"), a.s("expected_iss"), a.s("expected_aud"), a.u("now_unix"))
    else -> throw AssertionError("no operation $op")
}

private fun runCases(path: String): Int {
    @Suppress("UNCHECKED_CAST")
    val cases = (Json(File(path).readText()).parse() as Map<String, Any?>)["cases"] as List<Map<String, Any?>>
    var ran = 0
    for (c in cases) {
        if (c["c_only"] == true) continue
        val name = c["name"]
        val outcome: Any? = try {
            caseForm(call(c["op"] as String, Args(c["args"] as Map<*, *>)))
        } catch (e: SdkException) {
            mapOf("variant" to e.javaClass.simpleName, "message" to e.message)
        } catch (e: InternalException) {
            "internal: ${e.message}"
        }
        when {
            "ok" in c -> check(outcome == expectedForm(c["ok"])) { "$name: got $outcome, want ${c["ok"]}" }
            "err" in c -> check(outcome == c["err"]) { "$name: got $outcome, want error ${c["err"]}" }
            "ok_pattern" in c -> {
                val got = outcome as Map<*, *>
                for ((field, pattern) in c["ok_pattern"] as Map<*, *>) {
                    check(Regex(pattern as String).matches(got[field] as String)) { "$name: $field = ${got[field]}" }
                }
            }
            "internal_prefix" in c -> check((outcome as? String)?.startsWith("internal: ${c["internal_prefix"]}") == true) {
                "$name: got $outcome"
            }
            else -> throw AssertionError("$name: no expected outcome")
        }
        ran++
    }
    return ran
}

// ---- what only this binding does ------------------------------------------------------

private const val SEED = "3f7c76331f79b57a5ad8c28c263a9af2a6bfa3fbb72e4c290cf414a57539f150"

private fun bindingChecks() {
    // A secret never shows in toString().
    val key = deriveAppKey(SEED, 7uL, "https://shop.example")
    check(key.secretKeyHex.length == 64 && key.secretKeyHex !in key.toString()) { "secret shown: $key" }
    check(key.toString() == "AppKey(secretKeyHex=<redacted>, pubkeyHex=${key.pubkeyHex})") { key.toString() }

    // u64 bounds survive both directions.
    val deed = mintUserDeed(key.secretKeyHex, ULong.MAX_VALUE, "a", "https://shop.example", "c", 1uL shl 63)
    check(deed.tenant == ULong.MAX_VALUE && deed.exp == 1uL shl 63 && deed.v == 1.toUByte()) { "$deed" }
    check(buildClientAssertion("d", 0uL, "n", ULong.MAX_VALUE).contains("18446744073709551615")) { "issued_at" }

    // A record argument round-trips through its writer: absent and present, empty and non-ASCII texts.
    val edited = deed.copy(root = "", proof = "é東", grants = null)
    val capability = mintCapabilityDeed(edited, "[]", "[]")
    check(capability.copy(grants = null, delegations = null) == edited) { "$capability" }

    // Arguments the library cannot take are refused before any call, and nothing is left allocated.
    val before = Triple(Rt.made, Rt.received, Rt.freed)
    throws<IllegalArgumentException>("unpaired surrogate") { normalizeOrigin("https://a\uD800.test") }
    throws<IllegalArgumentException>("unpaired surrogate in a record") {
        mintCapabilityDeed(edited.copy(sub = "\uDC00"), "[]", "[]")
    }
    val huge = String(ByteArray((1 shl 30) + 1) { 0xE9.toByte() }, Charsets.ISO_8859_1) // 2^31 + 2 bytes of UTF-8
    val e = throws<IllegalArgumentException>("text over 2^31 - 1 bytes") { userSub(huge) }
    check(e.message!!.startsWith("pubkeyHex is 2147483650 bytes")) { e.message!! }
    check(Triple(Rt.made, Rt.received, Rt.freed) == before) { "a refused call touched the library" }

    // The library is refused when a checksum differs, naming the operation.
    val lib = Loader.open()
    val altered = CHECKSUMS.map { if (it.first == "normalize_origin") Pair(it.first, it.second xor 1) else it }
    val mismatch = throws<LibraryLoadException>("checksum mismatch") { Loader.checkLibrary(lib, altered.toTypedArray()) }
    check(mismatch.message!!.startsWith("checksum mismatch for normalize_origin:")) { mismatch.message!! }
    Loader.checkLibrary(lib, CHECKSUMS)
}

/** Calls from several threads at once each get their own result. */
private fun threadChecks() {
    val errors = java.util.concurrent.ConcurrentLinkedQueue<String>()
    (0 until 4).map { t ->
        thread {
            for (i in 0 until 200) {
                val got = normalizeOrigin("https://Host$t-$i.test:443/")
                if (got != "https://host$t-$i.test") errors += got
            }
        }
    }.forEach { it.join() }
    check(errors.isEmpty()) { "threads: $errors" }
}

/**
 * Run with QUORENT_SDK_LIB naming a library that cannot be loaded: every call fails the same
 * way, naming the variable, the path and the loader's own words (any of [words]).
 */
private fun loadFailure(words: List<String>): String {
    val first = throws<LibraryLoadException>("first call") { normalizeOrigin("https://a.test") }
    val again = throws<LibraryLoadException>("second call") { generatePkce() }
    val message = first.message!!
    check(message == again.message && "QUORENT_SDK_LIB" in message) { "$message / ${again.message}" }
    check(System.getenv("QUORENT_SDK_LIB") in message) { "no path in: $message" }
    check(words.isEmpty() || words.any { it in message }) { "none of $words in: $message" }
    return message
}

fun main(args: Array<String>) {
    if (args.firstOrNull() == "--load-failure") {
        println("kotlin: load failure reported: ${loadFailure(args.drop(1))}")
        return
    }
    val cases = if (args.isNotEmpty()) runCases(args[0]) else 0
    bindingChecks()
    // Every buffer the library handed over (results and error buffers) was freed.
    check(Rt.received > 0 && Rt.received == Rt.freed) { "received ${Rt.received} buffers, freed ${Rt.freed}" }
    threadChecks()
    println("kotlin: $passed cases passed ($cases shared)")
}
