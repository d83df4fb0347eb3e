import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.Arrays;

/** Writes its arguments after the first, one per line in UTF-8, to the file named by the first. */
public class BridgeEcho {
    public static void main(String[] args) throws Exception {
        String text = String.join("\n", Arrays.asList(args).subList(1, args.length));
        Files.write(Paths.get(args[0]), text.getBytes(StandardCharsets.UTF_8));
    }

    /** One parameter of every kind, so a caller can see each one arrive in its place. */
    public static String kinds(float f, boolean z, byte b, char c, short s, int i, long j, double d, String l) {
        return f + " " + z + " " + b + " " + (int) c + " " + s + " " + i + " " + j + " " + d + " " + l;
    }

    /** The same through an instance, for the calls that name one. */
    public String ownKinds(float f, boolean z, byte b, char c, short s, int i, long j, double d, String l) {
        return kinds(f, z, b, c, s, i, j, d, l);
    }
}
