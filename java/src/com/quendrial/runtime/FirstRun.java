package com.quendrial.runtime;

/**
 * Asked by a quendrial-kind launcher before the application starts, when the application folder
 * holds the first-run marker ".quendrial\firstrun". Answering false ends the launch without calling
 * the application's main (the service still counts as started).
 *
 * An application without first-run work of its own has nothing to do here: the launch goes on. The
 * marker is left in place; an application that performs a first-run step removes it when done.
 */
public final class FirstRun {
    private FirstRun() {}

    public static boolean firstRun() {
        return true;
    }
}
