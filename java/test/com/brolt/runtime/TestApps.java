package com.brolt.runtime;

import java.util.concurrent.CountDownLatch;

/** Small applications that the tests hand to WinLauncher as main classes. */
public final class TestApps {
    private TestApps() {}

    /** Writes its arguments to both streams, so a test can see where each stream went. */
    public static final class Printer {
        public static void main(String[] args) {
            System.out.println("out " + String.join(",", args));
            System.err.println("err " + String.join(",", args));
        }
    }

    /** Blocks like a server that joins its listener, until the test lets it go. */
    public static final class Blocker {
        static final CountDownLatch started = new CountDownLatch(1);
        static final CountDownLatch release = new CountDownLatch(1);
        static volatile Thread thread;
        static volatile String[] received;

        public static void main(String[] args) throws InterruptedException {
            thread = Thread.currentThread();
            received = args;
            started.countDown();
            release.await();
        }
    }

    /** Starts fine and fails after the launcher has long returned. */
    public static final class ThrowsLater {
        public static void main(String[] args) throws InterruptedException {
            System.out.println("running");
            Thread.sleep(300);
            throw new IllegalStateException("failed after start");
        }
    }

    public static final class NoMain {
        public static void run(String[] args) {}
    }

    public static final class InstanceMain {
        public void main(String[] args) {}
    }

    public static final class WrongParameters {
        public static void main(String arg) {}
    }
}
