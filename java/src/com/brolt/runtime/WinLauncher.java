package com.brolt.runtime;

import java.io.BufferedOutputStream;
import java.io.File;
import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.Arrays;

/**
 * The class the native launcher calls once the VM exists. It receives five launcher parameters
 * followed by the application's arguments:
 *
 * <ol start="0">
 *   <li>"true" for a GUI executable, else "false";
 *   <li>the application's main class, in dotted form;
 *   <li>the file that standard error goes to (empty: leave standard error alone);
 *   <li>the file that standard output goes to (empty: leave standard output alone);
 *   <li>"true" to append to those files, "false" to start each of them afresh.
 * </ol>
 *
 * The application's main runs on a thread of its own, so this method returns to the launcher at once
 * even when the application's main never returns (a server that waits for its listener). The
 * launcher's service thread must get control back: it is the thread that later ends the VM on a
 * service stop.
 *
 * <p>With the launcher's properties {@value #ROTATE_BYTES_PROPERTY} and {@value #KEEP_PROPERTY}, the
 * redirected files roll over (RollingFileStream).
 */
public final class WinLauncher {
    /** The number of parameters in front of the application's arguments. */
    static final int LAUNCHER_PARAMETERS = 5;

    /** The size in bytes past which a redirected file rolls over; absent or not positive: never. */
    static final String ROTATE_BYTES_PROPERTY = "brolt.output.rotateBytes";
    /** How many rolled files (name.1 ... name.N) are kept when the files roll over. */
    static final String KEEP_PROPERTY = "brolt.output.keep";
    /** Kept when that property is missing or not positive: the launcher's default for output.keep. */
    static final int DEFAULT_KEEP = 5;

    private WinLauncher() {}

    public static void main(String[] args) throws Exception {
        if (args == null || args.length < LAUNCHER_PARAMETERS) {
            throw new IllegalArgumentException("expected at least " + LAUNCHER_PARAMETERS
                    + " launcher parameters, got " + (args == null ? 0 : args.length));
        }
        parseFlag(args[0], "GUI flag");
        final String mainClassName = args[1];
        final String stderrFile = args[2];
        final String stdoutFile = args[3];
        final boolean append = parseFlag(args[4], "append flag");
        final String[] applicationArgs = Arrays.copyOfRange(args, LAUNCHER_PARAMETERS, args.length);

        // The folder of included files (brolt.tempDir) is the launcher's to remove: it judges what it
        // deletes by handle, which this side cannot, and its sweep removes a fresh folder once this
        // process is gone.
        // Before the class is looked up, so that a missing class is reported in the service's log
        // rather than on a console that a service does not have.
        redirectOutput(stderrFile, stdoutFile, append);

        ClassLoader loader = Thread.currentThread().getContextClassLoader();
        if (loader == null)
            loader = ClassLoader.getSystemClassLoader();
        final Method main = findMain(mainClassName, loader);

        Thread thread = new Thread(new Runnable() {
            @Override
            public void run() {
                runMain(main, applicationArgs);
            }
        }, "main");
        thread.setDaemon(false);
        thread.setContextClassLoader(loader);
        thread.start();
    }

    static boolean parseFlag(String text, String what) {
        if ("true".equals(text))
            return true;
        if ("false".equals(text))
            return false;
        throw new IllegalArgumentException(what + " must be \"true\" or \"false\", got \"" + text + "\"");
    }

    /**
     * The application's {@code public static void main(String[])}. The class is not initialised
     * here: its static initialisers run on the application's thread, like the rest of its start.
     */
    static Method findMain(String className, ClassLoader loader)
            throws ClassNotFoundException, NoSuchMethodException {
        if (className == null || className.isEmpty())
            throw new ClassNotFoundException("no main class configured");
        Class<?> mainClass = Class.forName(className.replace('/', '.'), false, loader);
        Method main = mainClass.getMethod("main", String[].class);
        int modifiers = main.getModifiers();
        if (!Modifier.isStatic(modifiers) || main.getReturnType() != void.class) {
            throw new NoSuchMethodException(
                    "main(String[]) of " + mainClass.getName() + " is not \"public static void\"");
        }
        try {
            // A public main in a class that is not public is still an entry point.
            main.setAccessible(true);
        } catch (RuntimeException refused) {
            // A module that does not open its package: a public class works without it.
        }
        return main;
    }

    static void runMain(Method main, String[] applicationArgs) {
        try {
            main.invoke(null, (Object) applicationArgs);
        } catch (InvocationTargetException failed) {
            endWithFailure(failed.getCause());
        } catch (Throwable failed) {
            endWithFailure(failed);
        }
    }

    /** Nobody waits for the application's thread: an escaping exception ends the whole service. */
    private static void endWithFailure(Throwable failure) {
        failure.printStackTrace();
        System.err.flush();
        System.exit(1);
    }

    static void redirectOutput(String stderrFile, String stdoutFile, boolean append) throws IOException {
        Rotation rotation =
                rotation(System.getProperty(ROTATE_BYTES_PROPERTY), System.getProperty(KEEP_PROPERTY));
        PrintStream[] streams =
                openStreams(stderrFile, stdoutFile, append, rotation, RollingFileStream.PLAIN_MOVES);
        if (streams[0] != null)
            System.setErr(streams[0]);
        if (streams[1] != null)
            System.setOut(streams[1]);
    }

    /** How the redirected files roll over, from the launcher's properties; null: they never do. */
    static Rotation rotation(String bytes, String keep) {
        long limit = parsePositive(bytes);
        if (limit <= 0)
            return null;
        long kept = parsePositive(keep);
        return new Rotation(limit, kept > 0 && kept <= Integer.MAX_VALUE ? (int) kept : DEFAULT_KEEP);
    }

    private static long parsePositive(String text) {
        if (text == null)
            return 0;
        try {
            return Math.max(0, Long.parseLong(text.trim()));
        } catch (NumberFormatException notANumber) {
            return 0;
        }
    }

    static final class Rotation {
        final long bytes;
        final int keep;

        Rotation(long bytes, int keep) {
            this.bytes = bytes;
            this.keep = keep;
        }
    }

    /**
     * The streams for standard error and standard output, in that order; null where a stream is not
     * redirected. One file named for both gets one stream: two streams on one file would write over
     * each other's lines when starting afresh, and would each roll it over.
     */
    static PrintStream[] openStreams(String stderrFile, String stdoutFile, boolean append, Rotation rotation,
            RollingFileStream.FileMoves moves) throws IOException {
        // A refused roll of the standard-error file is reported in that file itself.
        OutputStream errFile = isSet(stderrFile) ? openLog(stderrFile, append, rotation, moves, null) : null;
        PrintStream err = errFile == null ? null : printStream(errFile);
        PrintStream out = null;
        if (isSet(stdoutFile)) {
            try {
                if (err != null && sameFile(stderrFile, stdoutFile)) {
                    out = err;
                } else {
                    // Straight into the file, past standard error's buffer and lock, or onto the
                    // process's own standard error.
                    OutputStream notices = rotation == null ? null
                            : errFile != null ? errFile : new FileOutputStream(FileDescriptor.err);
                    out = printStream(openLog(stdoutFile, append, rotation, moves, notices));
                }
            } catch (IOException failed) {
                if (err != null)
                    err.close();
                throw failed;
            }
        }
        return new PrintStream[] {err, out};
    }

    private static boolean isSet(String file) {
        return file != null && !file.isEmpty();
    }

    private static boolean sameFile(String a, String b) throws IOException {
        return new File(a).getCanonicalFile().equals(new File(b).getCanonicalFile());
    }

    private static OutputStream openLog(String name, boolean append, Rotation rotation,
            RollingFileStream.FileMoves moves, OutputStream notices) throws IOException {
        File file = new File(name).getAbsoluteFile();
        File folder = file.getParentFile();
        if (folder != null && !folder.isDirectory() && !folder.mkdirs() && !folder.isDirectory())
            throw new IOException("cannot create the folder " + folder + " for the output file " + file);
        if (rotation == null)
            return appendingStream(file, append);
        return new RollingFileStream(file.toPath(), append, rotation.bytes, rotation.keep, moves, notices);
    }

    /**
     * A stream that writes at the file's end, whoever else appends to it (the launcher writes what the
     * VM prints to the standard-error file): started afresh, the file is emptied once and then opened
     * for appending all the same, so no write lands on top of another writer's text.
     */
    static FileOutputStream appendingStream(File file, boolean append) throws IOException {
        if (!append)
            new FileOutputStream(file, false).close();
        return new FileOutputStream(file, true);
    }

    private static PrintStream printStream(OutputStream file) {
        return new PrintStream(new BufferedOutputStream(file), true);
    }
}
