"""Redirected output files that roll over, with the real VM under Wine's service manager: a chatty
application's numbered lines from several threads, on both standard streams, across many rolls.

rotate_bytes = 100000 and keep = 3: a stream's files are at most name, name.1, name.2 and name.3.
Standard output gets enough lines to fill some ten files, so the oldest are deleted: the lines kept must
be exactly the last ones written, each once and in order, the first of them behind those deleted.
Standard error gets few enough that nothing is deleted: every line from the first must be there.
"""
import re
import unittest

import brolt_e2e as e
from service_e2e import RUNNING, wait_for_state
from test_hotspot import START_SECONDS, HotspotCase, app_toml, wait_until

ROTATE_BYTES = 100000
KEEP = 3
# About 25 bytes a line: some ten files of standard output, three and a half of standard error.
LINES = {"out": 40000, "err": 14000}
THREADS = 4
LINE = re.compile(rb"^(out|err) (\d+) t\d+ x*\r?\n$")


def rolled(log, n: int):
    return log.with_name(f"{log.name}.{n}")


class OutputRotationTest(HotspotCase):
    def test_a_chatty_application_loses_and_repeats_no_line_across_its_rolled_files(self):
        name = e.unique_name("HotspotChatty")
        directory = e.workdir("chatty")
        toml = app_toml(name, "ChattyApp", f"{LINES['out']} {LINES['err']} {THREADS}",
                        output=f"rotate_bytes = {ROTATE_BYTES}\nkeep = {KEEP}")
        launcher = self.ship(directory, e.pack(directory, toml), name)
        self.start(name)
        wait_for_state(name, RUNNING)
        wait_until(lambda: (directory / "chatty-done.txt").exists(), "the application's last line",
                   START_SECONDS * 3)
        self.stop(launcher, name)

        for stream, written in LINES.items():
            with self.subTest(stream):
                log = directory / f"{stream}.log"
                kept = [rolled(log, n) for n in range(KEEP, 0, -1) if rolled(log, n).exists()] + [log]
                self.assertEqual(sorted(path.name for path in directory.glob(f"{stream}.log*")),
                                 sorted(path.name for path in kept))
                files = [path.read_bytes().splitlines(keepends=True) for path in kept]
                numbers = []
                for lines in files:
                    for line in lines:
                        found = LINE.match(line)
                        self.assertTrue(found and found[1].decode() == stream, line)
                        numbers.append(int(found[2]))
                # Each once, in order, up to the last written: a line lost, repeated or cut breaks the run.
                self.assertEqual(numbers, list(range(numbers[0], written + 1)))
                for path, lines, newer in zip(kept, files, files[1:]):
                    size = sum(map(len, lines))
                    # Full: the file rolled over because the next line would have taken it past the limit.
                    self.assertLessEqual(size, ROTATE_BYTES, path.name)
                    self.assertGreater(size + len(newer[0]), ROTATE_BYTES, path.name)
                self.assertLessEqual(log.stat().st_size, ROTATE_BYTES)
                self.assertEqual(len(kept), KEEP + 1)
                if stream == "out":
                    self.assertGreater(numbers[0], 1, "the oldest files deleted")
                else:
                    self.assertEqual(numbers[0], 1, "nothing deleted")


if __name__ == "__main__":
    unittest.main()


# What the VM prints after main, beside the application's own lines on standard error.
GC_LINES = 300
APP_LINE = re.compile(rb"^err (\d+) y*\r?\n$")
VM_GC_LINE = re.compile(rb"^\[[0-9.]+s\]\[info\]\[gc *\] (?:GC\((\d+)\) Pause Full \(System\.gc\(\)\) )?.*\r?\n$")


class VmOutputAfterMainTest(HotspotCase):
    def gc_lines_service(self, stem: str, vm_parameters: str, output: str = ""):
        """Runs GcLinesApp with the VM options until its last line, stops it and answers its folder."""
        name = e.unique_name(stem)
        directory = e.workdir("gc-lines")
        toml = app_toml(name, "GcLinesApp", str(GC_LINES), vm_parameters=vm_parameters, output=output)
        launcher = self.ship(directory, e.pack(directory, toml), name)
        self.start(name)
        wait_for_state(name, RUNNING)
        wait_until(lambda: (directory / "gc-done.txt").exists(), "the application's last line", START_SECONDS * 3)
        self.stop(launcher, name)
        return directory

    def test_the_vms_lines_and_the_applications_share_the_standard_error_file_whole(self):
        # Without and with rotation: every line of both writers, whole and once, in the files kept.
        for output in ("", "rotate_bytes = 8000\nkeep = 100"):
            with self.subTest(output or "no rotation"):
                directory = self.gc_lines_service("HotspotGcStderr", "-Xrs -Xmx64m -Xlog:gc:stderr", output)
                log = directory / "err.log"
                files = sorted(directory.glob("err.log.*"), key=lambda path: -int(path.suffix[1:])) + [log]
                app, pauses = [], []
                for path in files:
                    size, rolled_at = 0, 0
                    for line in path.read_bytes().splitlines(keepends=True):
                        found_app, found_vm = APP_LINE.match(line), VM_GC_LINE.match(line)
                        self.assertTrue(found_app or found_vm, (path.name, line))
                        size += len(line)
                        if found_app:
                            app.append(int(found_app[1]))
                            rolled_at = size
                        elif found_vm[1] is not None:
                            pauses.append(int(found_vm[1]))
                    if output and path != log:
                        # Up to the application's last line the file kept its limit, the VM's text counted:
                        # it rolls at the application's next write, so the VM's lines after it may pass it.
                        self.assertLessEqual(rolled_at, 8000, path.name)
                if output:
                    self.assertGreater(len(files), 3, "the VM's text did not count towards the rolls")
                self.assertEqual(app, list(range(1, GC_LINES + 1)))
                self.assertEqual(pauses, sorted(set(pauses)))
                self.assertGreaterEqual(len(pauses), GC_LINES)

    def test_a_vm_log_into_a_file_of_its_own_stays_there(self):
        gc_log = e.workdir("gc-log") / "gc.log"
        directory = self.gc_lines_service("HotspotGcFile", f"-Xrs -Xmx64m -Xlog:gc:file={e.win_path(gc_log)}")
        logged = [line for line in gc_log.read_bytes().splitlines(keepends=True) if b"Pause Full" in line]
        self.assertGreaterEqual(len(logged), GC_LINES)
        errors = (directory / "err.log").read_bytes()
        self.assertNotIn(b"[gc", errors)
        self.assertEqual(len(errors.splitlines()), GC_LINES)
