import quorent.sdk.AppKey;
import quorent.sdk.Component;
import quorent.sdk.ComponentsKt;
import quorent.sdk.Deed;
import quorent.sdk.SdkException;

import static quorent.sdk.GeneratedKt.deriveAppKey;
import static quorent.sdk.GeneratedKt.deriveRootSeed;
import static quorent.sdk.GeneratedKt.mintUserDeed;
import static quorent.sdk.GeneratedKt.normalizeOrigin;
import static quorent.sdk.GeneratedKt.userRootBinding;

// The sign-in of ../consumer/SignIn.kt from Java 8: the binding's functions are static
// methods of quorent.sdk.GeneratedKt, its records classes with getters; a u64 (ULong in
// Kotlin) is passed and read as the long of the same bits. The operations declare
// SdkException (SdkException.Sdk, SdkException.InsecureOrigin), caught here by type.
public final class SignIn {
    public static void main(String[] args) {
        try {
            String origin = normalizeOrigin("https://Shop.Example:443/");
            System.out.println(userRootBinding(origin)); // the wallet signs this text (EIP-191), twice
            String sig = "e24f8c8fe1145b5441de654c4f0a83285cb303446326e20fcbabd4f8651a0af753c5568d35073dc957315f1bb34ab5c71b782ddea8298d018eb5b953259082b01b";
            AppKey key = deriveAppKey(deriveRootSeed(origin, sig, sig), 7L, origin);
            Deed deed = mintUserDeed(key.getSecretKeyHex(), 7L, "shop-api", origin, "rp-challenge-8f14e45f", 1700000300L);
            System.out.println(deed.getMode() + " deed for " + deed.getSub() + ", signed by " + key); // the key prints redacted
        } catch (SdkException e) {
            System.err.println("sign-in failed: " + e.getMessage());
            System.exit(1);
        }
        for (Component c : ComponentsKt.components()) { // as the jar's SBOM lists them
            System.out.println("built with " + c.getName() + " " + c.getVersion() + " (" + c.getLicense() + ")");
        }
    }
}
