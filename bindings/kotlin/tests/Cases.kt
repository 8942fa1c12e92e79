// The shared operation cases (tests/cases/operations.json) in this binding's
// terms: a small JSON reader, each operation called by its name, and results
// put in the cases' form (texts and numbers as strings, records as maps).
package quorent.sdk.tests

import quorent.sdk.*

// ---- a small JSON reader for the cases file ------------------------------------------

/** JSON numbers are kept as their literal text, in [Num]. */
internal data class Num(val text: String)

internal class Json(private val s: String) {
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

private fun snake(camel: String) = camel.replace(Regex("([A-Z])")) { "_" + it.value.lowercase() }

/** A result as the cases write it: texts and numbers as strings, records as maps. */
internal fun caseForm(v: Any?): Any? = when (v) {
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

internal fun expectedForm(v: Any?): Any? = when (v) {
    is Num -> v.text
    is Map<*, *> -> v.mapValues { expectedForm(it.value) }
    else -> v
}

internal class Args(val m: Map<*, *>) {
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

internal fun call(op: String, a: Args): Any? = when (op) {
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
