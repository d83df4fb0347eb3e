package com.example.hotspot;

import java.io.PrintStream;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.CountDownLatch;

/**
 * Prints numbered lines on standard output and standard error from several threads, as a chatty
 * service does, then writes "chatty-done.txt" beside the launcher and blocks until stopped. Its
 * arguments after the service name: the lines on standard output, the lines on standard error, the
 * threads. A line is "<stream> <number> t<thread> <padding>": a stream's numbers run from 1 in the
 * order its file gets them, each being taken while the stream is held, and the padding varies the
 * length so that the rolls fall everywhere.
 */
public final class ChattyApp {
    private static final String PADDING = "xxxxxxxxxxxxxxxxxxxxxxx";

    private ChattyApp() {}

    public static void main(String[] args) throws Exception {
        final Numbered out = new Numbered(System.out, "out", Integer.parseInt(args[1]));
        final Numbered err = new Numbered(System.err, "err", Integer.parseInt(args[2]));
        List<Thread> threads = new ArrayList<Thread>();
        for (int t = Integer.parseInt(args[3]); t > 0; t--) {
            final int thread = t;
            threads.add(new Thread(new Runnable() {
                @Override
                public void run() {
                    boolean more = true;
                    while (more)
                        more = out.printNext(thread) | err.printNext(thread);
                }
            }));
        }
        for (Thread thread : threads)
            thread.start();
        for (Thread thread : threads)
            thread.join();
        System.out.flush();
        System.err.flush();
        Files.write(Paths.get(System.getProperty("brolt.moduleName")).resolveSibling("chatty-done.txt"),
                new byte[0]);
        new CountDownLatch(1).await();
    }

    private static final class Numbered {
        private final PrintStream stream;
        private final String name;
        private final int total;
        private int next = 1;

        Numbered(PrintStream stream, String name, int total) {
            this.stream = stream;
            this.name = name;
            this.total = total;
        }

        /** Prints the next line; false once all are printed. */
        boolean printNext(int thread) {
            synchronized (stream) {
                if (next > total)
                    return false;
                String padding = PADDING.substring(next % PADDING.length());
                stream.println(name + " " + next + " t" + thread + " " + padding);
                next++;
                return true;
            }
        }
    }
}
