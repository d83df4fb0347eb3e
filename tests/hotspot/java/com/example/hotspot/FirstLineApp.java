package com.example.hotspot;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.nio.file.StandardOpenOption;

/**
 * The start-up benchmark's application: its first line reads the monotonic clock (the one the
 * benchmark's driver reads on this machine), which it appends to the file named by its last argument.
 */
public final class FirstLineApp {
    private FirstLineApp() {}

    public static void main(String[] args) throws Exception {
        long entered = System.nanoTime();
        Files.write(Paths.get(args[args.length - 1]), (entered + "\n").getBytes(StandardCharsets.US_ASCII),
                StandardOpenOption.CREATE, StandardOpenOption.APPEND);
    }
}
