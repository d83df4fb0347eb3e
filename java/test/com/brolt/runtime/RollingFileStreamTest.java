package com.brolt.runtime;

import static com.brolt.runtime.Checks.check;
import static com.brolt.runtime.Checks.checkEqual;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.AccessDeniedException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.HashMap;
import java.util.List;
import java.util.Map;

/**
 * A redirected file that rolls over: where it is cut, what is kept, a chatty application's lines
 * across many rolls, and rolls refused as Windows refuses them for a file a log viewer holds open.
 */
public final class RollingFileStreamTest {
    private static Path scratch;
    private static int folders;

    public static void main(String[] args) throws Exception {
        scratch = Files.createTempDirectory("rolling-test");
        try {
            cutsAndKeeps();
            chattyThreadsLoseNoLine();
            refusedRollsGoOnInTheFile();
            anotherWriterAppendsBetweenWrites();
        } finally {
            WinLauncherTest.deleteTree(scratch);
        }
        Checks.finish();
    }

    static void cutsAndKeeps() throws Exception {
        // name, limit, keep, the file's content before (null: none), append, the writes one by one,
        // the files afterwards: name, name.1, name.2, ... (the one after the last must not exist)
        Object[][] cases = {
            {"writes that fill the limit exactly stay together", 10, 2, null, false,
                new String[] {"aaaa\n", "bbbb\n", "cc\n"}, new String[] {"cc\n", "aaaa\nbbbb\n"}},
            {"one write cut behind the last line that fits", 10, 2, null, false,
                new String[] {"aaa\nbbb\nccc\n"}, new String[] {"ccc\n", "aaa\nbbb\n"}},
            {"a file ending inside a line rolls where it ends", 10, 2, null, false,
                new String[] {"abcdef", "ghijklm\n"}, new String[] {"ghijklm\n", "abcdef"}},
            {"a line longer than the limit is cut at the limit", 4, 5, null, false,
                new String[] {"abcdefghij\n"}, new String[] {"ij\n", "efgh", "abcd"}},
            {"the oldest beyond keep is deleted", 4, 2, null, false,
                new String[] {"1\n", "2\n", "3\n", "4\n", "5\n", "6\n", "7\n"},
                new String[] {"7\n", "5\n6\n", "3\n4\n"}},
            {"appending to a file already past the limit", 5, 2, "old line\n", true,
                new String[] {"new\n"}, new String[] {"new\n", "old line\n"}},
            {"starting afresh drops the old content", 100, 2, "old\n", false,
                new String[] {"new\n"}, new String[] {"new\n"}},
        };
        for (Object[] c : cases) {
            String name = "cuts, " + c[0];
            Path file = folder().resolve("app.log");
            if (c[3] != null)
                Files.write(file, bytes((String) c[3]));
            RollingFileStream stream = new RollingFileStream(file, (Boolean) c[4], (Integer) c[1],
                    (Integer) c[2], RollingFileStream.PLAIN_MOVES, new ByteArrayOutputStream());
            for (String write : (String[]) c[5])
                stream.write(bytes(write));
            stream.close();
            checkEqual(name, Arrays.asList((String[]) c[6]), contents(file));
        }
    }

    /**
     * The launcher appends what the VM prints to the standard-error file between the Java side's
     * writes: started afresh, the file is emptied once and then appended to, so neither writer lands on
     * the other's text, and the other's bytes count towards the roll.
     */
    static void anotherWriterAppendsBetweenWrites() throws Exception {
        for (boolean rotated : new boolean[] {false, true}) {
            String name = "another writer, " + (rotated ? "rotated" : "not rotated");
            Path file = folder().resolve("err.log");
            Files.write(file, bytes("before the start\n"));
            java.io.OutputStream stream = rotated
                    ? new RollingFileStream(file, false, 20, 3, RollingFileStream.PLAIN_MOVES,
                            new ByteArrayOutputStream())
                    : WinLauncher.appendingStream(file.toFile(), false);
            stream.write(bytes("java 1\n"));
            Files.write(file, bytes("vm line 1\n"), java.nio.file.StandardOpenOption.APPEND);
            stream.write(bytes("java 2\n"));
            Files.write(file, bytes("vm line 2\n"), java.nio.file.StandardOpenOption.APPEND);
            stream.write(bytes("java 3\n"));
            stream.close();
            // Rotated at 20 bytes: each file holds what fitted, the VM's lines counted like the Java side's.
            List<String> expected = rotated
                    ? Arrays.asList("java 3\n", "java 2\nvm line 2\n", "java 1\nvm line 1\n")
                    : Collections.singletonList("java 1\nvm line 1\njava 2\nvm line 2\njava 3\n");
            checkEqual(name, expected, contents(file));
        }
    }

    /**
     * Several threads print numbered lines through standard output's and standard error's streams at
     * once, as a chatty application does, across many rolls with old files deleted: every line is found
     * once, whole and in its order, in the files deleted (read just before) or kept, each of its own file.
     */
    static void chattyThreadsLoseNoLine() throws Exception {
        final int threads = 3;
        final int lines = 3000;
        final int limit = 2000;
        final int keep = 3;
        Path dir = folder();
        Path errFile = dir.resolve("err.log");
        Path outFile = dir.resolve("out.log");
        RecordingMoves moves = new RecordingMoves();
        final PrintStream[] streams = WinLauncher.openStreams(errFile.toString(), outFile.toString(), false,
                new WinLauncher.Rotation(limit, keep), moves);
        List<Thread> writers = new ArrayList<Thread>();
        for (int s = 0; s < 2; s++) {
            for (int t = 0; t < threads; t++) {
                final PrintStream stream = streams[s];
                final String prefix = (s == 0 ? "err" : "out") + " " + t + " ";
                writers.add(new Thread(new Runnable() {
                    @Override
                    public void run() {
                        for (int n = 0; n < lines; n++)
                            stream.println(prefix + n + " " + padding(n));
                    }
                }));
            }
        }
        for (Thread writer : writers)
            writer.start();
        for (Thread writer : writers)
            writer.join();
        streams[0].close();
        streams[1].close();

        for (Path file : new Path[] {errFile, outFile}) {
            String name = "chatty, " + file.getFileName();
            String which = file.getFileName().toString().substring(0, 3);
            List<String> found = new ArrayList<String>(moves.deletedLines(file));
            check(name + ": old files were deleted", !found.isEmpty());
            for (int n = keep; n >= 0; n--) {
                Path kept = n == 0 ? file : RollingFileStream.rolled(file, n);
                check(name + ": " + kept.getFileName() + " within the limit", Files.size(kept) <= limit);
                found.addAll(lines(kept));
            }
            check(name + ": nothing beyond keep", !Files.exists(RollingFileStream.rolled(file, keep + 1)));
            List<List<Integer>> numbers = new ArrayList<List<Integer>>();
            for (int t = 0; t < threads; t++)
                numbers.add(new ArrayList<Integer>());
            List<String> strange = new ArrayList<String>();
            for (String line : found) {
                String[] parts = line.split(" ");
                int n = parts.length == 4 && parts[0].equals(which) ? Integer.parseInt(parts[2]) : -1;
                if (n < 0 || !line.equals(which + " " + parts[1] + " " + n + " " + padding(n))) {
                    strange.add(line);
                    continue;
                }
                numbers.get(Integer.parseInt(parts[1])).add(n);
            }
            checkEqual(name + ": lines cut or from elsewhere", Collections.emptyList(), strange);
            List<Integer> expected = new ArrayList<Integer>();
            for (int n = 0; n < lines; n++)
                expected.add(n);
            for (int t = 0; t < threads; t++)
                check(name + ": thread " + t + "'s lines once each, in order", expected.equals(numbers.get(t)));
        }
    }

    /**
     * A viewer holds a file open, so Windows refuses the roll's rename or delete. The text goes on into
     * the file; the roll is tried again once the limit's worth more was written (not at every write),
     * and succeeds when the viewer has let go. Lines of 5 bytes, 2 to a file.
     */
    static void refusedRollsGoOnInTheFile() throws Exception {
        String[] expected = {
            line(9), line(3) + line(4) + line(5) + line(6) + line(7) + line(8), line(1) + line(2)};
        // name, the file held (its suffix), keep, notices into the file itself (standard error's),
        // the files afterwards without the notice lines
        Object[][] cases = {
            {"the file itself held", "", 3, false, expected},
            {"name.1 held: it cannot move up", ".1", 3, false, expected},
            {"name.1 held: it cannot be deleted", ".1", 1, false, Arrays.copyOf(expected, 2)},
            {"standard error's file held: the notice goes into it", "", 3, true, expected},
        };
        for (Object[] c : cases) {
            String name = "refused roll, " + c[0];
            Path file = folder().resolve("app.log");
            HoldingMoves moves = new HoldingMoves(Paths.get(file + (String) c[1]));
            ByteArrayOutputStream notices = new ByteArrayOutputStream();
            RollingFileStream stream = new RollingFileStream(file, false, 10, (Integer) c[2], moves,
                    (Boolean) c[3] ? null : notices);
            for (int n = 1; n <= 9; n++) {
                moves.holding = n >= 4 && n <= 8;
                stream.write(bytes(line(n)));
            }
            stream.close();

            List<String> noticeLines = new ArrayList<String>(lines(notices.toByteArray()));
            List<String> files = new ArrayList<String>();
            for (String content : contents(file)) {
                StringBuilder kept = new StringBuilder();
                for (String line : content.split("(?<=\n)")) {
                    if (line.startsWith("brolt: "))
                        noticeLines.add(line);
                    else
                        kept.append(line);
                }
                files.add(kept.toString());
            }
            checkEqual(name + ": files", Arrays.asList((String[]) c[4]), files);
            checkEqual(name + ": notices, one per refused roll", 2, noticeLines.size());
            check(name + ": the notice names the file: " + noticeLines,
                    !noticeLines.isEmpty() && noticeLines.get(0).contains(file.toString()));
        }

        // A refused roll before a write longer than the limit: the write goes on whole after it.
        String name = "refused roll, a write longer than the limit";
        Path file = folder().resolve("app.log");
        HoldingMoves moves = new HoldingMoves(file);
        moves.holding = true;
        ByteArrayOutputStream notices = new ByteArrayOutputStream();
        RollingFileStream stream = new RollingFileStream(file, false, 4, 2, moves, notices);
        stream.write(bytes("ab\n"));
        stream.write(bytes("cdefghij\n"));
        stream.close();
        checkEqual(name, Arrays.asList("ab\ncdefghij\n"), contents(file));
        checkEqual(name + ": notices", 1, lines(notices.toByteArray()).size());
    }

    // ---- support ----------------------------------------------------------------------------------

    /** Reads each file just before it is deleted, so that a test can account for every line. */
    static final class RecordingMoves implements RollingFileStream.FileMoves {
        private final Map<Path, List<String>> deleted = new HashMap<Path, List<String>>();

        @Override
        public void move(Path from, Path to) throws IOException {
            RollingFileStream.PLAIN_MOVES.move(from, to);
        }

        @Override
        public synchronized void delete(Path file) throws IOException {
            String name = file.toString();
            Path base = Paths.get(name.substring(0, name.lastIndexOf('.')));
            if (!deleted.containsKey(base))
                deleted.put(base, new ArrayList<String>());
            deleted.get(base).addAll(lines(file));
            RollingFileStream.PLAIN_MOVES.delete(file);
        }

        synchronized List<String> deletedLines(Path base) {
            List<String> lines = deleted.get(base.toAbsolutePath());
            return lines == null ? Collections.<String>emptyList() : lines;
        }
    }

    /** Refuses to move or delete one file while {@code holding} is set, as Windows does while it is open. */
    static final class HoldingMoves implements RollingFileStream.FileMoves {
        private final Path held;
        volatile boolean holding;

        HoldingMoves(Path held) {
            this.held = held.toAbsolutePath();
        }

        @Override
        public void move(Path from, Path to) throws IOException {
            refuseIfHeld(from);
            refuseIfHeld(to);
            RollingFileStream.PLAIN_MOVES.move(from, to);
        }

        @Override
        public void delete(Path file) throws IOException {
            refuseIfHeld(file);
            RollingFileStream.PLAIN_MOVES.delete(file);
        }

        private void refuseIfHeld(Path file) throws AccessDeniedException {
            if (holding && file.toAbsolutePath().equals(held))
                throw new AccessDeniedException(file.toString(), null, "held open by a viewer");
        }
    }

    /** Lines of varied length, so the cuts fall everywhere. */
    private static String padding(int n) {
        return "xxxxxxxxxxxxxxxxx".substring(n % 17);
    }

    private static String line(int n) {
        return "L" + String.format("%03d", n) + "\n";
    }

    private static Path folder() throws IOException {
        return Files.createDirectories(scratch.resolve("case" + folders++));
    }

    private static byte[] bytes(String text) {
        return text.getBytes(StandardCharsets.UTF_8);
    }

    /** The contents of file, file.1, file.2, ... up to the first one missing. */
    private static List<String> contents(Path file) throws IOException {
        List<String> contents = new ArrayList<String>();
        for (int n = 0; Files.exists(n == 0 ? file : RollingFileStream.rolled(file, n)); n++) {
            Path path = n == 0 ? file : RollingFileStream.rolled(file, n);
            contents.add(new String(Files.readAllBytes(path), StandardCharsets.UTF_8));
        }
        return contents;
    }

    private static List<String> lines(Path file) throws IOException {
        return lines(Files.readAllBytes(file));
    }

    private static List<String> lines(byte[] content) {
        // A last line without its end is a line all the same: a cut one must show.
        List<String> lines = new ArrayList<String>(
                Arrays.asList(new String(content, StandardCharsets.UTF_8).split("\n", -1)));
        if (lines.get(lines.size() - 1).isEmpty())
            lines.remove(lines.size() - 1);
        return lines;
    }
}
