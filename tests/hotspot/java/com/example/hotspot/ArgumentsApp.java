package com.example.hotspot;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.concurrent.CountDownLatch;

/**
 * Writes its arguments, one per line in UTF-8, to "arguments.txt" beside the launcher, then blocks for
 * good, like a server that never returns from main. Its shutdown hook prints "shutdown hook ran".
 */
public final class ArgumentsApp {
    private ArgumentsApp() {}

    public static void main(String[] args) throws Exception {
        Runtime.getRuntime().addShutdownHook(new Thread(new Runnable() {
            @Override
            public void run() {
                System.out.println("shutdown hook ran");
            }
        }));
        Path launcher = Paths.get(System.getProperty("brolt.moduleName"));
        byte[] lines = String.join("\n", args).getBytes(StandardCharsets.UTF_8);
        Files.write(launcher.resolveSibling("arguments.txt"), lines);
        System.out.println("arguments written");
        new CountDownLatch(1).await();
    }
}
