import quorent.sdk.Component;
import quorent.sdk.ComponentsKt;
import quorent.sdk.GeneratedKt;
import quorent.sdk.SdkException;

// The binding from Java 8: its functions are static methods of quorent.sdk.GeneratedKt,
// its records classes with getters. Kotlin declares no checked exceptions, so a failure
// (SdkException.Sdk, SdkException.InsecureOrigin) is caught as Exception and told apart by type.
public final class SignIn {
    public static void main(String[] args) throws Exception {
        String origin = GeneratedKt.normalizeOrigin("https://Shop.Example:443/");
        System.out.println(GeneratedKt.userRootBinding(origin)); // the wallet signs this text (EIP-191), twice
        try {
            GeneratedKt.normalizeOrigin("https://shop.example/account");
        } catch (Exception e) {
            if (!(e instanceof SdkException.Sdk)) throw e;
            System.out.println("rejected: " + e.getMessage());
        }
        for (Component c : ComponentsKt.components()) { // as the jar's SBOM lists them
            System.out.println("built with " + c.getName() + " " + c.getVersion() + " (" + c.getLicense() + ")");
        }
    }
}
