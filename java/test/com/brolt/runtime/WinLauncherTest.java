package com.brolt.runtime;

import static com.brolt.runtime.Checks.check;
import static com.brolt.runtime.Checks.checkEqual;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.AccessDeniedException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;

/**
 * Drives WinLauncher the way the native launcher does: in this VM for what returns to the caller,
 * in child VMs for what ends the VM (exit codes, shutdown hooks, redirected streams). Prints one line
 * per failed check and exits with 1 when any failed.
 */
public final class WinLauncherTest {
    private static final long CHILD_TIMEOUT_SECONDS = 60;
    private static final String APPS = TestApps.class.getName() + "$";

    private static Path scratch;

    public static void main(String[] args) throws Exception {
        scratch = Files.createTempDirectory("winlauncher-test");
        try {
            blockingMainReturnsAtOnce();
            launchFailuresThrowFromMain();
            rotationFromProperties();
            rollsOfStandardOutputReportedInStandardError();
            redirection();
            oneFileForBothRollsAsOne();
            failureAfterStartEndsVmWithOne();
            temporaryFolderLeftToTheLauncher();
        } finally {
            deleteTree(scratch);
        }
        Checks.finish();
    }

    // ---- in this VM -------------------------------------------------------------------------------

    static void blockingMainReturnsAtOnce() throws Exception {
        String[] applicationArgs = {"svc", "a b", "\u00fc\u4e2d"};
        String[] launcherArgs = concat(new String[] {"false", APPS + "Blocker", "", "", "false"}, applicationArgs);

        Thread caller = Thread.currentThread();
        WinLauncher.main(launcherArgs);  // must return although Blocker never does on its own

        String name = "blocking main";
        check(name + ": main started", TestApps.Blocker.started.await(10, TimeUnit.SECONDS));
        Thread thread = TestApps.Blocker.thread;
        check(name + ": ran on its own thread", thread != null && thread != caller);
        if (thread == null)
            return;
        check(name + ": thread is named main", "main".equals(thread.getName()));
        check(name + ": thread is not a daemon", !thread.isDaemon());
        check(name + ": still running after the launcher returned", thread.isAlive());
        checkEqual(name + ": arguments", Arrays.asList(applicationArgs),
                Arrays.asList(TestApps.Blocker.received));
        TestApps.Blocker.release.countDown();
        thread.join(10_000);
        check(name + ": ends when released", !thread.isAlive());
    }

    static void launchFailuresThrowFromMain() {
        Object[][] cases = {
            {"missing class", args("com.example.NotThere"), ClassNotFoundException.class},
            {"empty class name", args(""), ClassNotFoundException.class},
            {"no main method", args(APPS + "NoMain"), NoSuchMethodException.class},
            {"main not static", args(APPS + "InstanceMain"), NoSuchMethodException.class},
            {"main(String) only", args(APPS + "WrongParameters"), NoSuchMethodException.class},
            {"too few parameters", new String[] {"false", APPS + "Printer", "", ""},
                IllegalArgumentException.class},
            {"append flag not a boolean", new String[] {"false", APPS + "Printer", "", "", "yes"},
                IllegalArgumentException.class},
        };
        for (Object[] c : cases) {
            String name = (String) c[0];
            Class<?> expected = (Class<?>) c[2];
            Throwable thrown = null;
            try {
                WinLauncher.main((String[]) c[1]);
            } catch (Throwable t) {
                thrown = t;
            }
            check(name + ": expected " + expected.getSimpleName() + ", got " + thrown,
                    expected.isInstance(thrown));
        }
    }

    static void rotationFromProperties() {
        // rotate bytes, keep (null: property absent), expected limit and keep (0: no rotation)
        Object[][] cases = {
            {null, null, 0L, 0},
            {null, "3", 0L, 0},
            {"0", "3", 0L, 0},
            {"-1", "3", 0L, 0},
            {"lots", "3", 0L, 0},
            {"100000", "3", 100000L, 3},
            {"100000", null, 100000L, WinLauncher.DEFAULT_KEEP},
            {"100000", "0", 100000L, WinLauncher.DEFAULT_KEEP},
            {"100000", "-2", 100000L, WinLauncher.DEFAULT_KEEP},
            {"5000000000", "99999999999", 5000000000L, WinLauncher.DEFAULT_KEEP},
        };
        for (Object[] c : cases) {
            WinLauncher.Rotation rotation = WinLauncher.rotation((String) c[0], (String) c[1]);
            String name = "rotation of " + c[0] + ", keep " + c[1];
            checkEqual(name + ": limit", c[2], rotation == null ? 0L : rotation.bytes);
            checkEqual(name + ": keep", c[3], rotation == null ? 0 : rotation.keep);
        }
    }

    /** A refused roll of standard output's file is reported in standard error's, straight into the file. */
    static void rollsOfStandardOutputReportedInStandardError() throws Exception {
        String name = "refused roll of standard output";
        Path dir = Files.createDirectories(scratch.resolve("refused-out"));
        final Path outFile = dir.resolve("out.log");
        Path errFile = dir.resolve("err.log");
        RollingFileStream.FileMoves refusing = new RollingFileStream.FileMoves() {
            @Override
            public void move(Path from, Path to) throws IOException {
                throw new AccessDeniedException(from.toString());
            }

            @Override
            public void delete(Path file) throws IOException {
                throw new AccessDeniedException(file.toString());
            }
        };
        PrintStream[] streams = WinLauncher.openStreams(errFile.toString(), outFile.toString(), false,
                new WinLauncher.Rotation(1000, 2), refusing);
        String line = String.format("%600s", "x");
        streams[1].println(line);
        streams[1].println(line);
        streams[0].println("own line");
        streams[0].close();
        streams[1].close();
        checkEqual(name + ": output kept", line + "\n" + line + "\n", read(outFile));
        String err = read(errFile);
        check(name + ": notice naming the file, then standard error's own line: " + err,
                err.startsWith("brolt: " + outFile) && err.endsWith("\nown line\n"));
    }

    private static String[] args(String mainClass) {
        return new String[] {"false", mainClass, "", "", "false"};
    }

    // ---- in child VMs -----------------------------------------------------------------------------

    static void redirection() throws Exception {
        final String old = "old line\n";
        final String out = "out x,y\n";
        final String err = "err x,y\n";
        // name, stderr file, stdout file, append, file content before, expected content of each
        // file (stderr's, stdout's), expected on the child's own standard error
        Object[][] cases = {
            {"afresh into new folders", "logs/deep/err.log", "logs/other/out.log", "false", null,
                err, out, ""},
            {"afresh drops old content", "err.log", "out.log", "false", old, err, out, ""},
            {"append keeps old content", "err.log", "out.log", "true", old, old + err, old + out, ""},
            {"one file for both, afresh", "both.log", "both.log", "false", old, null, null, ""},
            {"only stdout redirected", "", "out.log", "false", null, null, out, err},
        };
        int index = 0;
        for (Object[] c : cases) {
            String name = "redirection, " + c[0];
            Path dir = Files.createDirectories(scratch.resolve("redirect" + index++));
            String errName = (String) c[1];
            String outName = (String) c[2];
            String before = (String) c[4];
            Path errFile = errName.isEmpty() ? null : dir.resolve(errName);
            Path outFile = dir.resolve(outName);
            if (before != null) {
                for (Path file : new Path[] {errFile, outFile}) {
                    if (file != null)
                        Files.write(file, before.getBytes(StandardCharsets.UTF_8));
                }
            }
            Child child = runChild(dir, new ArrayList<String>(), "false", APPS + "Printer",
                    errFile == null ? "" : errFile.toString(), outFile.toString(), (String) c[3], "x", "y");
            checkEqual(name + ": exit code", 0, child.exitCode);
            if (errFile != null && errFile.equals(outFile)) {
                String both = read(outFile);
                check(name + ": both lines in the file, old content gone: " + both,
                        both.contains(out) && both.contains(err) && !both.contains(old));
                continue;
            }
            if (errFile != null)
                checkEqual(name + ": stderr file", c[5], read(errFile));
            checkEqual(name + ": stdout file", c[6], read(outFile));
            checkEqual(name + ": child's own stderr", c[7], child.stderr);
        }

        String name = "redirection, folder cannot be created";
        Path blocker = Files.write(scratch.resolve("a-file"), new byte[0]);
        Child child = runChild(scratch, new ArrayList<String>(), "false", APPS + "Printer", "",
                blocker.resolve("out.log").toString(), "false");
        check(name + ": launch fails", child.exitCode != 0);
        check(name + ": the reason names the folder: " + child.stderr, child.stderr.contains(blocker.toString()));
    }

    /** Both streams write one file through one rolling stream, which the launcher's properties set up. */
    static void oneFileForBothRollsAsOne() throws Exception {
        String name = "one file for both, rolling";
        Path dir = Files.createDirectories(scratch.resolve("rolling-both"));
        Path both = dir.resolve("both.log");
        Child child = runChild(dir, Arrays.asList("-Dbrolt.output.rotateBytes=10", "-Dbrolt.output.keep=2"),
                "false", APPS + "Printer", both.toString(), both.toString(), "false", "x", "y");
        checkEqual(name + ": exit code", 0, child.exitCode);
        checkEqual(name + ": rolled file", "out x,y\n", read(RollingFileStream.rolled(both, 1)));
        checkEqual(name + ": current file", "err x,y\n", read(both));
    }

    static void failureAfterStartEndsVmWithOne() throws Exception {
        String name = "exception after start";
        Path dir = Files.createDirectories(scratch.resolve("throws"));
        Path temp = Files.createDirectories(dir.resolve("extracted"));
        Files.write(temp.resolve("app.jar"), new byte[] {1});
        Path errFile = dir.resolve("err.log");
        Child child = runChild(dir, Arrays.asList("-Dbrolt.tempDir=" + temp), "false", APPS + "ThrowsLater",
                errFile.toString(), "", "false");
        checkEqual(name + ": exit code", 1, child.exitCode);
        check(name + ": started before failing", child.stdout.contains("running"));
        String trace = read(errFile);
        check(name + ": stack trace in the stderr file: " + trace,
                trace.contains("IllegalStateException: failed after start") && trace.contains("ThrowsLater.main"));
        check(name + ": the folder of included files left to the launcher", Files.exists(temp.resolve("app.jar")));
    }

    /**
     * The folder of included files is the launcher's to judge and remove, by handle: this side deletes
     * nothing in it, and nothing a link inside it leads to.
     */
    static void temporaryFolderLeftToTheLauncher() throws Exception {
        String name = "temporary folder left to the launcher";
        Path base = Files.createDirectories(scratch.resolve("tempdir"));
        Path outside = Files.createDirectories(base.resolve("outside"));
        Path outsideFile = Files.write(outside.resolve("keep.txt"), new byte[] {1});
        Path temp = Files.createDirectories(base.resolve("extracted"));
        Files.createDirectories(temp.resolve("sub/deeper"));
        Path jar = Files.write(temp.resolve("a.jar"), new byte[] {1});
        Path deeper = Files.write(temp.resolve("sub/deeper/b.dll"), new byte[] {2});
        Files.createSymbolicLink(temp.resolve("link-out"), outside);

        Child child = runChild(base, Arrays.asList("-Dbrolt.tempDir=" + temp), "false", APPS + "Printer", "", "",
                "false");
        checkEqual(name + ": exit code", 0, child.exitCode);
        check(name + ": the folder's files stay", Files.exists(jar) && Files.exists(deeper));
        check(name + ": the link's target untouched", Files.exists(outsideFile));
    }

    // ---- support ----------------------------------------------------------------------------------

    static final class Child {
        int exitCode;
        String stdout;
        String stderr;
    }

    /** Runs WinLauncher as the main class of a fresh VM with this VM's class path. */
    static Child runChild(Path workingDirectory, List<String> vmOptions, String... launcherArgs)
            throws IOException, InterruptedException {
        List<String> command = new ArrayList<String>();
        command.add(Paths.get(System.getProperty("java.home"), "bin", "java").toString());
        command.add("-cp");
        command.add(System.getProperty("java.class.path"));
        command.addAll(vmOptions);
        command.add(WinLauncher.class.getName());
        command.addAll(Arrays.asList(launcherArgs));
        Path stdout = Files.createTempFile(scratch, "child", ".out");
        Path stderr = Files.createTempFile(scratch, "child", ".err");
        Process process = new ProcessBuilder(command).directory(workingDirectory.toFile())
                .redirectOutput(stdout.toFile()).redirectError(stderr.toFile()).start();
        Child child = new Child();
        if (!process.waitFor(CHILD_TIMEOUT_SECONDS, TimeUnit.SECONDS)) {
            process.destroyForcibly();
            process.waitFor();
            check("child VM ended in time: " + command, false);
        }
        child.exitCode = process.exitValue();
        child.stdout = read(stdout);
        child.stderr = read(stderr);
        return child;
    }

    static String read(Path file) throws IOException {
        if (!Files.exists(file))
            return "<no file " + file + ">";
        return new String(Files.readAllBytes(file), StandardCharsets.UTF_8).replace("\r\n", "\n");
    }

    static String[] concat(String[] a, String[] b) {
        String[] all = Arrays.copyOf(a, a.length + b.length);
        System.arraycopy(b, 0, all, a.length, b.length);
        return all;
    }

    static void deleteTree(Path root) throws IOException {
        if (!Files.exists(root))
            return;
        try (Stream<Path> paths = Files.walk(root)) {
            List<Path> all = new ArrayList<Path>();
            paths.forEach(all::add);
            all.sort(Comparator.reverseOrder());
            for (Path path : all) {
                path.toFile().setWritable(true);
                Files.deleteIfExists(path);
            }
        }
    }
}
