package com.brolt.runtime;

/** The checks of the Java-side tests: each failed one prints a line; the run then ends with 1. */
final class Checks {
    private static int failures;

    private Checks() {}

    static void check(String what, boolean ok) {
        if (!ok) {
            failures++;
            System.out.println("FAILED: " + what);
        }
    }

    static void checkEqual(String what, Object expected, Object actual) {
        boolean same = expected == null ? actual == null : expected.equals(actual);
        check(what + ": expected <" + expected + ">, got <" + actual + ">", same);
    }

    /** Ends the run: exit code 1 when a check failed. */
    static void finish() {
        if (failures > 0) {
            System.out.println(failures + " check(s) failed");
            System.exit(1);
        }
        System.out.println("all checks passed");
    }
}
