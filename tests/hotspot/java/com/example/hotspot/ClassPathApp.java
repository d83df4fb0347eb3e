package com.example.hotspot;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.concurrent.CountDownLatch;

/**
 * Writes "own main" and its class path to "&lt;service name&gt;.classpath.txt" beside the launcher, then
 * blocks for good, like a server: two services of one launcher can run side by side.
 */
public final class ClassPathApp {
    private ClassPathApp() {}

    public static void main(String[] args) throws Exception {
        Path launcher = Paths.get(System.getProperty("brolt.moduleName"));
        String text = "own main\n" + System.getProperty("java.class.path");
        Files.write(launcher.resolveSibling(args[0] + ".classpath.txt"), text.getBytes(StandardCharsets.UTF_8));
        new CountDownLatch(1).await();
    }
}
