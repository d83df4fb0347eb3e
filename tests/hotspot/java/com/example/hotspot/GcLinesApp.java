package com.example.hotspot;

import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.concurrent.CountDownLatch;

/**
 * Prints numbered lines on standard error with a garbage collection between each two, so that a VM
 * that logs its collections prints into the same file after main: "err <number> <padding>". Its
 * argument after the service name: the number of lines. Then writes "gc-done.txt" beside the launcher
 * and blocks until stopped.
 */
public final class GcLinesApp {
    private static final String PADDING = "yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy";

    private GcLinesApp() {}

    public static void main(String[] args) throws Exception {
        int lines = Integer.parseInt(args[1]);
        for (int n = 1; n <= lines; n++) {
            System.err.println("err " + n + " " + PADDING.substring(n % PADDING.length()));
            System.gc();
        }
        System.err.flush();
        Files.write(Paths.get(System.getProperty("brolt.moduleName")).resolveSibling("gc-done.txt"), new byte[0]);
        new CountDownLatch(1).await();
    }
}
