package com.example.hotspot;

import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;

/**
 * An agent that makes the VM's start slow, as a real one that instruments many classes does: its
 * premain writes "premain.txt" beside the launcher and then sleeps for as many milliseconds as its
 * argument says, inside the VM's creation.
 */
public final class SlowAgent {
    private SlowAgent() {}

    public static void premain(String milliseconds) throws Exception {
        Path launcher = Paths.get(System.getProperty("brolt.moduleName"));
        Files.write(launcher.resolveSibling("premain.txt"), new byte[0]);
        Thread.sleep(Long.parseLong(milliseconds));
    }
}
