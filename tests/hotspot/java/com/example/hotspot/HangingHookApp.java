package com.example.hotspot;

import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.concurrent.CountDownLatch;

/**
 * A service whose stop never ends: its shutdown hook prints "hook started" and then waits for good,
 * ignoring interrupts. Main writes "started.txt" beside the launcher and blocks.
 */
public final class HangingHookApp {
    private HangingHookApp() {}

    public static void main(String[] args) throws Exception {
        Runtime.getRuntime().addShutdownHook(new Thread(new Runnable() {
            @Override
            public void run() {
                System.out.println("hook started");
                System.out.flush();
                for (;;) {
                    try {
                        Thread.sleep(60000);
                    } catch (InterruptedException ignored) {
                        // a hook that will not be talked out of it
                    }
                }
            }
        }));
        Path launcher = Paths.get(System.getProperty("brolt.moduleName"));
        Files.write(launcher.resolveSibling("started.txt"), new byte[0]);
        new CountDownLatch(1).await();
    }
}
