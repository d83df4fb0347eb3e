"""Diagnostic log and error reporting, each in a process of its own (tests/helpers/core_probe)."""
import pathlib
import shutil
import unittest

import brolt_e2e as e2e

PROBE = e2e.TEST_BIN / "core_probe.exe"


def unix_path(windows_path: str) -> pathlib.Path:
    """The file below the prefix that a C:\\ name refers to (case-insensitively, as Wine does)."""
    assert windows_path[:3].lower() == "c:\\", windows_path
    path = e2e.drive_c()
    for part in windows_path[3:].split("\\"):
        matches = [child for child in path.iterdir() if child.name.lower() == part.lower()]
        path = matches[0] if matches else path / part
    return path


def probe(*actions, env=None):
    return e2e.run(PROBE, *actions, env=env)


class DiagnosticLog(unittest.TestCase):
    def test_switched_on_by_exactly_yes(self):
        cases = [
            ({"BROLT_LOG": "yes"}, True),
            ({"QUENDRIAL_LOG": "yes", "BROLT_LOG": "no"}, True),
            ({"BROLT_LOG": "Yes"}, False),
            ({"BROLT_LOG": "yes "}, False),
            ({"BROLT_LOG": "true"}, False),
            ({}, False),
        ]
        for env, on in cases:
            with self.subTest(env=env):
                result = probe("info:hello", "error:x.exe", "logpath", env=env)
                self.assertEqual(0, result.returncode, result)
                path = result.stdout.strip()
                if not on:
                    self.assertEqual("(none)", path)
                    continue
                self.assertIn("\\qdl_nlog_", path)
                log = unix_path(path)
                content = log.read_bytes().decode("cp1252")
                log.unlink()
                lines = content.split("\r\n")
                self.assertRegex(lines[0], r"^Started executable .*core_probe\.exe at \w{3} \w{3} +\d+ "
                                           r"\d\d:\d\d:\d\d \d{4}$")
                self.assertEqual("", lines[1])  # the header is followed by an empty line
                self.assertEqual(["hello", "ERROR: Could not open x.exe", ""], lines[2:])

    def test_each_launch_gets_a_fresh_file(self):
        env = {"BROLT_LOG": "yes"}
        first = probe("info:one", "logpath", env=env).stdout.strip()
        second = probe("info:two", "logpath", env=env).stdout.strip()
        self.assertNotEqual(first, second)
        for path, line in ((first, "one"), (second, "two")):
            log = unix_path(path)
            self.assertIn(line, log.read_text(encoding="cp1252"))
            log.unlink()

    def test_missing_tmp_directory_puts_the_log_on_c(self):
        result = probe("env:TMP=C:\\no\\such\\dir", "info:x", "logpath", env={"BROLT_LOG": "yes"})
        path = result.stdout.strip()
        self.assertRegex(path.lower(), r"^c:\\qdl_nlog_\w+$")
        log = unix_path(path)
        self.assertTrue(log.exists())
        log.unlink()


class ErrorReporting(unittest.TestCase):
    def setUp(self):
        # A temporary directory with a long name, handed to the log through its short name, so the
        # message must show the long form.
        self.tmp = e2e.workdir("Long Temporary Directory ")
        self.addCleanup(shutil.rmtree, self.tmp, True)

    def short_name(self, directory) -> str:
        return probe("short:" + e2e.win_path(directory)).stdout.strip()

    def test_standard_error_names_the_long_log_path(self):
        short = self.short_name(self.tmp)
        self.assertNotIn("Long Temporary", short)
        result = probe(f"env:TMP={short}", "config:107=3", "config:1009=Internal error, code {0}.",
                       "load", "fatal:1009:16", env={"BROLT_LOG": "yes"})
        self.assertEqual(1, result.returncode)
        logs = list(self.tmp.glob("qdl_nlog_*"))
        self.assertEqual(1, len(logs))
        expected = f"Internal error, code 16.\n\nLog: {e2e.win_path(logs[0])}\n"
        self.assertEqual(expected, result.stderr)

    def test_placeholder_rules_without_log(self):
        cases = [
            ("Code {0} and {0}", "message:1009:7", "Code 7 and {0}\n"),
            ("No placeholder", "message:1009:7", "No placeholder\n"),
            ("Keep {0}", "message:1009", "Keep {0}\n"),
            (None, "message:1009:7", "\n"),  # an absent key shows an empty message
        ]
        for text, action, expected in cases:
            with self.subTest(text=text):
                config = [f"config:1009={text}"] if text is not None else []
                result = probe("config:107=0", *config, "load", action)
                self.assertEqual(0, result.returncode)
                self.assertEqual(expected, result.stderr)

    def test_executable_types_one_and_five_show_a_message_box(self):
        for executable_type in ("1", "5"):
            with self.subTest(executable_type=executable_type):
                result, caption, text = e2e.run_expecting_message_box(
                    PROBE, f"config:107={executable_type}", "config:1000=My Service",
                    "config:1016=No Java VM found ({0}-bit).", "load", "fatal:1016:32")
                self.assertEqual("My Service", caption)
                self.assertEqual("No Java VM found (32-bit).", text)
                self.assertEqual(1, result.returncode)
                self.assertEqual("", result.stderr)

    def test_a_broken_launcher_shows_its_error_in_a_box_with_empty_caption(self):
        # The generic launcher carries no configuration stream at all; its type is unknown, so the
        # error goes to a message box, and no caption text is known yet.
        directory = e2e.workdir("bare")
        shutil.copy(e2e.STUB, directory / "bare.exe")
        result, caption, text = e2e.run_expecting_message_box(directory / "bare.exe", "-status")
        self.assertEqual(("", "Internal Error: magic"), (caption, text))
        self.assertEqual(1, result.returncode)


if __name__ == "__main__":
    unittest.main()
