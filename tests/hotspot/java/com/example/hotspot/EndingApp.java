package com.example.hotspot;

/**
 * Ends on its own, as its second argument says (the first is the service name): "throw" throws from
 * main at once, "exit=N" calls System.exit(N).
 */
public final class EndingApp {
    private EndingApp() {}

    public static void main(String[] args) {
        String how = args.length > 1 ? args[1] : "";
        if (how.startsWith("exit="))
            System.exit(Integer.parseInt(how.substring("exit=".length())));
        throw new IllegalStateException("thrown at once (" + how + ")");
    }
}
