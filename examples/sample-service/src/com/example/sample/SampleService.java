package com.example.sample;

import com.sun.net.httpserver.HttpExchange;
import com.sun.net.httpserver.HttpHandler;
import com.sun.net.httpserver.HttpServer;
import java.io.IOException;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.nio.charset.StandardCharsets;
import java.time.LocalDateTime;
import java.time.format.DateTimeFormatter;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.Executors;
import java.util.concurrent.ScheduledExecutorService;
import java.util.concurrent.ThreadFactory;
import java.util.concurrent.TimeUnit;

/**
 * A small service to run under the launcher: a loopback HTTP endpoint that answers GET / with the
 * service's uptime and arguments, a heartbeat line in its log every few seconds, and a log line when it
 * stops cleanly. Its main blocks until the VM ends, like a server that joins its listener.
 *
 * Options (anywhere among the arguments; a service also receives its service name as an argument):
 * --port=N (default 8642) and --heartbeat=SECONDS (default 5).
 */
public final class SampleService {
    static final int DEFAULT_PORT = 8642;
    static final int DEFAULT_HEARTBEAT_SECONDS = 5;

    private static final DateTimeFormatter TIMESTAMP = DateTimeFormatter.ofPattern("yyyy-MM-dd HH:mm:ss");
    private static final long STARTED = System.nanoTime();

    private SampleService() {}

    public static void main(String[] args) throws Exception {
        int port = DEFAULT_PORT;
        int heartbeatSeconds = DEFAULT_HEARTBEAT_SECONDS;
        for (String arg : args) {
            if (arg.startsWith("--port="))
                port = number(arg, 0, 65535);
            else if (arg.startsWith("--heartbeat="))
                heartbeatSeconds = number(arg, 1, 3600);
        }

        final HttpServer server =
                HttpServer.create(new InetSocketAddress(InetAddress.getLoopbackAddress(), port), 0);
        server.createContext("/", new StatusPage(args));
        server.start();
        log("listening on http://127.0.0.1:" + server.getAddress().getPort() + "/");

        final ScheduledExecutorService heartbeat = Executors.newSingleThreadScheduledExecutor(new ThreadFactory() {
            @Override
            public Thread newThread(Runnable task) {
                Thread thread = new Thread(task, "heartbeat");
                thread.setDaemon(true);
                return thread;
            }
        });
        heartbeat.scheduleAtFixedRate(new Runnable() {
            @Override
            public void run() {
                log("heartbeat, up " + uptimeSeconds() + " s");
            }
        }, heartbeatSeconds, heartbeatSeconds, TimeUnit.SECONDS);

        // The service manager's stop ends the VM through its exit path, which runs this hook.
        final CountDownLatch stopped = new CountDownLatch(1);
        Runtime.getRuntime().addShutdownHook(new Thread(new Runnable() {
            @Override
            public void run() {
                // The heartbeat thread is a daemon and would go on printing while the VM finishes its
                // exit; the last line of the log is to be this one.
                heartbeat.shutdownNow();
                try {
                    heartbeat.awaitTermination(5, TimeUnit.SECONDS);
                } catch (InterruptedException interrupted) {
                    Thread.currentThread().interrupt();
                }
                server.stop(0);
                log("stopped cleanly after " + uptimeSeconds() + " s");
                stopped.countDown();
            }
        }, "sample-service-stop"));

        stopped.await();
    }

    private static int number(String option, int min, int max) {
        String text = option.substring(option.indexOf('=') + 1);
        int value;
        try {
            value = Integer.parseInt(text);
        } catch (NumberFormatException notANumber) {
            value = -1;
        }
        if (value < min || value > max)
            throw new IllegalArgumentException(option + ": expected a number from " + min + " to " + max);
        return value;
    }

    static long uptimeSeconds() {
        return TimeUnit.NANOSECONDS.toSeconds(System.nanoTime() - STARTED);
    }

    static void log(String line) {
        System.out.println(LocalDateTime.now().format(TIMESTAMP) + " sample-service: " + line);
    }

    private static final class StatusPage implements HttpHandler {
        private final String[] args;

        StatusPage(String[] args) {
            this.args = args.clone();
        }

        @Override
        public void handle(HttpExchange exchange) throws IOException {
            try {
                if (!"/".equals(exchange.getRequestURI().getPath())) {
                    reply(exchange, 404, "not found\n");
                } else if (!"GET".equals(exchange.getRequestMethod())) {
                    exchange.getResponseHeaders().set("Allow", "GET");
                    reply(exchange, 405, "only GET\n");
                } else {
                    StringBuilder page = new StringBuilder();
                    page.append("sample-service\n");
                    page.append("uptime: ").append(uptimeSeconds()).append(" s\n");
                    page.append("arguments: ").append(args.length).append('\n');
                    for (int i = 0; i < args.length; i++)
                        page.append("argument ").append(i).append(": ").append(args[i]).append('\n');
                    reply(exchange, 200, page.toString());
                }
            } finally {
                exchange.close();
            }
        }

        private static void reply(HttpExchange exchange, int status, String text) throws IOException {
            byte[] body = text.getBytes(StandardCharsets.UTF_8);
            exchange.getResponseHeaders().set("Content-Type", "text/plain; charset=utf-8");
            exchange.sendResponseHeaders(status, body.length);
            OutputStream out = exchange.getResponseBody();
            out.write(body);
            out.close();
        }
    }
}
