"""The bridged Java runtime under Wine: a real VM inside a Windows process, and the runtime's java.exe.

Runs inside tests/with-wine, which provides WINEPREFIX with its wineserver kept alive.
"""
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = pathlib.Path(os.environ.get("BROLT_ROOT", pathlib.Path(__file__).resolve().parents[2]))
RUNTIME = ROOT / "out" / "jre32"
PROBE = ROOT / "out" / "win32" / "tests" / "bridge_probe.exe"
CLASSES = ROOT / "out" / "win32" / "tests" / "bridge-classes"
# A start of the VM takes well under a second; the limit only keeps a hung VM from blocking the suite.
RUN_TIMEOUT_SECONDS = 120


def windows_path(path) -> str:
    """The name of a Unix path on Wine's drive Z:, which maps the Unix root."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


def run_wine(*args) -> subprocess.CompletedProcess:
    # The probe's arguments reach Windows through the Unix locale's character set.
    env = dict(os.environ, LC_ALL="C.UTF-8")
    return subprocess.run(["wine", *map(str, args)], capture_output=True, text=True, encoding="utf-8",
                          errors="replace", env=env, timeout=RUN_TIMEOUT_SECONDS)


class BridgedRuntime(unittest.TestCase):
    def setUp(self):
        if "WINEPREFIX" not in os.environ:
            self.fail("run the bridge test through tests/with-wine")

    def test_main_runs_in_process_and_java_exit_code_ends_it(self):
        argument = "Grüße Ω 日本 😀"
        with tempfile.TemporaryDirectory() as scratch:
            # A class directory whose name needs converting, after an entry that does not exist.
            classes = pathlib.Path(scratch) / "class dir ü"
            shutil.copytree(CLASSES, classes)
            class_path = windows_path(pathlib.Path(scratch) / "missing.jar") + ";" + windows_path(classes)
            echoed = pathlib.Path(scratch) / "echoed.txt"

            result = run_wine(PROBE, windows_path(RUNTIME / "bin" / "client" / "jvm.dll"), class_path,
                              "BridgeEcho", 7, echoed, argument, "second")

            self.assertEqual(7, result.returncode, result.stderr)
            self.assertEqual(argument + "\nsecond", echoed.read_text(encoding="utf-8"))
        self.assertIn("handled fault: yes", result.stdout)
        self.assertIn("exit hook: 7", result.stdout)
        creation = re.search(r"JNI_CreateJavaVM: [0-9.]+ ms", result.stdout)
        self.assertIsNotNone(creation, result.stdout)
        print(creation.group(0), file=sys.stderr)

    def test_java_exe_prints_the_runtime_version(self):
        result = run_wine(RUNTIME / "bin" / "java.exe", "-version")
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertRegex(result.stderr.splitlines()[0], r'^openjdk version "17[0-9.]*"')


if __name__ == "__main__":
    unittest.main()
