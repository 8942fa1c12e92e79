import quorent.sdk.*

fun main() {
    val origin = normalizeOrigin("https://Shop.Example:443/")
    println(userRootBinding(origin)) // the wallet signs this text (EIP-191), twice
    val sig = "e24f8c8fe1145b5441de654c4f0a83285cb303446326e20fcbabd4f8651a0af753c5568d35073dc957315f1bb34ab5c71b782ddea8298d018eb5b953259082b01b"
    val key = deriveAppKey(deriveRootSeed(origin, sig, sig), 7uL, origin)
    val deed = mintUserDeed(key.secretKeyHex, 7uL, "shop-api", origin, "rp-challenge-8f14e45f", 1700000300uL)
    println("${deed.mode} deed for ${deed.sub}, signed by $key")
    for (c in components()) println("built with ${c.name} ${c.version} (${c.license})") // as the jar's SBOM lists them
}
