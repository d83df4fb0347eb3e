package com.brolt.runtime;

import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.nio.charset.Charset;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;

/**
 * A redirected output file that rolls over. When a write would take the file past its limit, the
 * file is renamed to name.1 (name.1 to name.2 and so on, the oldest beyond the number kept deleted)
 * and a new one is started. The cut falls behind the last whole line that still fits; only a file
 * that ends inside a line, or a line longer than the limit, is cut elsewhere, and then no byte is lost
 * or written twice either.
 *
 * Windows renames no file that is open without delete sharing: this stream's own, closed for the
 * roll, and one a log viewer holds. A roll that is refused leaves the file in place: the output goes
 * on into it, a line saying why goes to standard error, and the roll is tried again once the limit's
 * worth of bytes more has been written, not at every write.
 */
final class RollingFileStream extends OutputStream {
    /** What a roll does to files, so a test can refuse it as Windows does for a file held open. */
    interface FileMoves {
        /** Renames {@code from} to {@code to}, which does not exist. */
        void move(Path from, Path to) throws IOException;

        void delete(Path file) throws IOException;
    }

    static final FileMoves PLAIN_MOVES = new FileMoves() {
        @Override
        public void move(Path from, Path to) throws IOException {
            Files.move(from, to);
        }

        @Override
        public void delete(Path file) throws IOException {
            Files.deleteIfExists(file);
        }
    };

    private final Path file;
    private final long limit;
    private final int keep;
    private final FileMoves moves;
    // Where a refused roll is reported: null for this file itself (it is standard error's).
    private final OutputStream notices;
    private FileOutputStream stream;
    private long size;
    // The size the file may reach before the next roll: the limit, and past it after a refused roll.
    private long rollAt;

    /**
     * Opens {@code file} (appending, or starting it afresh) and rolls it past {@code limit} bytes,
     * keeping {@code keep} rolled files. {@code notices} takes the line of a refused roll; null writes
     * that line into this file.
     */
    RollingFileStream(Path file, boolean append, long limit, int keep, FileMoves moves, OutputStream notices)
            throws IOException {
        if (limit <= 0 || keep < 1)
            throw new IllegalArgumentException("limit " + limit + " and keep " + keep + " must be positive");
        this.file = file.toAbsolutePath();
        this.limit = limit;
        this.keep = keep;
        this.moves = moves;
        this.notices = notices;
        open(append);
        rollAt = limit;
    }

    /** The name of the n-th rolled file: name.1 is the newest. */
    static Path rolled(Path file, int n) {
        return Paths.get(file + "." + n);
    }

    @Override
    public synchronized void write(int b) throws IOException {
        write(new byte[] {(byte) b}, 0, 1);
    }

    @Override
    public synchronized void write(byte[] bytes, int offset, int length) throws IOException {
        if (stream == null)
            open(true);  // the reopening after the last roll failed: try again rather than lose the text
        // The real length: the launcher appends what the VM prints to the standard-error file, and that
        // counts towards the limit as much as the application's own text.
        size = stream.getChannel().size();
        while (length > 0) {
            long room = rollAt - size;
            if (length <= room) {
                writeOut(bytes, offset, length);
                return;
            }
            int fits = (int) Math.max(0, room);
            int lineEnd = lastLineEnd(bytes, offset, fits);
            int head;
            if (lineEnd >= 0)
                head = lineEnd - offset + 1;
            else if (size > 0)
                head = 0;  // the file ends where the last write ended: roll there
            else
                head = fits;  // a line longer than the limit: cut at the limit
            writeOut(bytes, offset, head);
            offset += head;
            length -= head;
            String refused = roll();
            if (refused != null) {
                // The rest of this write stays with what it continues; the next try is a limit later.
                rollAt = size + limit;
                writeOut(bytes, offset, length);
                notice(refused);
                return;
            }
        }
    }

    @Override
    public synchronized void flush() throws IOException {
        if (stream != null)
            stream.flush();
    }

    @Override
    public synchronized void close() throws IOException {
        if (stream != null)
            stream.close();
        stream = null;
    }

    private static int lastLineEnd(byte[] bytes, int offset, int length) {
        for (int i = offset + length - 1; i >= offset; i--) {
            if (bytes[i] == '\n')
                return i;
        }
        return -1;
    }

    private void open(boolean append) throws IOException {
        stream = WinLauncher.appendingStream(file.toFile(), append);
        size = stream.getChannel().size();
    }

    private void writeOut(byte[] bytes, int offset, int length) throws IOException {
        if (length == 0)
            return;
        stream.write(bytes, offset, length);
        size += length;
    }

    /** Rolls the file over; why it could not, when it could not (the output then goes on into it). */
    private String roll() throws IOException {
        stream.close();
        stream = null;
        String refused = shift();
        // Appending in both cases: the launcher may have created the file anew with what the VM printed.
        open(true);
        rollAt = limit;
        return refused;
    }

    private void notice(String refused) throws IOException {
        byte[] line = ("brolt: " + file + " not rolled over (" + refused + "); writing on in it"
                + System.lineSeparator()).getBytes(Charset.defaultCharset());
        if (notices != null) {
            try {
                notices.write(line, 0, line.length);
            } catch (IOException nowhereToSay) {
                // A service's own standard error may be no file at all; the output itself is safe.
            }
            return;
        }
        writeOut(line, 0, line.length);
        rollAt += line.length;  // the notice takes nothing from the application's share
    }

    /**
     * Moves the rolled files one up and the file to name.1; the reason it stopped when a step was
     * refused. Nothing is moved onto a file that exists, so a refused step loses nothing: the rolled
     * files are name.1, name.2, ... up to the first one missing.
     */
    private String shift() {
        try {
            int last = 0;
            while (last < keep && Files.exists(rolled(file, last + 1)))
                last++;
            if (last == keep) {
                moves.delete(rolled(file, keep));
                last--;
            }
            for (int n = last; n >= 1; n--)
                moves.move(rolled(file, n), rolled(file, n + 1));
            moves.move(file, rolled(file, 1));
            return null;
        } catch (IOException | RuntimeException refused) {
            return refused.toString();
        }
    }
}
