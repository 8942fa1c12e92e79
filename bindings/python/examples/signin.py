import quorent_sdk as q

origin = q.normalize_origin("https://Shop.Example:443/")
print(q.user_root_binding(origin))  # the wallet signs this text (EIP-191), twice
# The demo wallet's signature over that text (a publicly known key; a real host asks the wallet).
sig = "e24f8c8fe1145b5441de654c4f0a83285cb303446326e20fcbabd4f8651a0af753c5568d35073dc957315f1bb34ab5c71b782ddea8298d018eb5b953259082b01b"
key = q.derive_app_key(q.derive_root_seed(origin, sig, sig), 7, origin)
deed = q.mint_user_deed(key.secret_key_hex, 7, "shop-api", origin, "rp-challenge-8f14e45f", 1700000300)
print(f"{deed.mode} deed for {deed.sub}, signed by {key!r}")
