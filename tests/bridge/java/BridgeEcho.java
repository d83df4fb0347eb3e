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
}
