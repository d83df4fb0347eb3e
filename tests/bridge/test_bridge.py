"""The bridged Java runtime under Wine: a real VM inside a Windows process, and the runtime's java.exe.

Runs inside tests/with-wine, which provides WINEPREFIX with its wineserver kept alive. BROLT_WORD_SIZE
picks the build under test (32 by default), whose probe and runtime it runs; 64 needs a 64-bit prefix
(tests/with-wine --win64).
"""
import os
import pathlib
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from dataclasses import dataclass

ROOT = pathlib.Path(os.environ.get("BROLT_ROOT", pathlib.Path(__file__).resolve().parents[2]))
# A start of the VM takes well under a second; the limit only keeps a hung VM from blocking the suite.
RUN_TIMEOUT_SECONDS = 120


@dataclass(frozen=True)
class WordSize:
    runtime: pathlib.Path
    vm_kind: str  # the VM a Windows launcher tries first
    test_bin: pathlib.Path  # the build's test programs: the probe and the classes it runs
    machine: int  # the PE header's machine field of the runtime's programs
    loader_variable: str  # environment variable naming the Wine loader, or "" for plain "wine"


WORD_SIZES = {
    "32": WordSize(ROOT / "out" / "jre32", "client", ROOT / "out" / "win32" / "tests", 0x14C, ""),
    "64": WordSize(ROOT / "out" / "jre64", "server", ROOT / "out" / "win64" / "tests", 0x8664, "BROLT_WINE64"),
}

# BridgeEcho.kinds of the probe's arguments, as Java prints them.
EVERY_KIND = "0.375 true -7 937 -30000 123456789 -9007199254740993 -1.0E300 last"


def windows_path(path) -> str:
    """The name of a Unix path on Wine's drive Z:, which maps the Unix root."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


def pe_machine(program: pathlib.Path) -> int:
    data = program.read_bytes()
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[header:header + 4] != b"PE\0\0":
        raise AssertionError(f"{program} is not a Windows program")
    return struct.unpack_from("<H", data, header + 4)[0]


class BridgedRuntime(unittest.TestCase):
    def setUp(self):
        if "WINEPREFIX" not in os.environ:
            self.fail("run the bridge test through tests/with-wine")
        bits = os.environ.get("BROLT_WORD_SIZE", "32")
        self.word_size = WORD_SIZES[bits]
        variable = self.word_size.loader_variable
        if variable and variable not in os.environ:
            self.fail(f"the {bits}-bit bridge needs a {bits}-bit prefix: tests/with-wine --win{bits}")
        self.loader = os.environ[variable] if variable else "wine"

    def run_wine(self, *args) -> subprocess.CompletedProcess:
        # The probe's arguments reach Windows through the Unix locale's character set.
        env = dict(os.environ, LC_ALL="C.UTF-8")
        return subprocess.run([self.loader, *map(str, args)], capture_output=True, text=True,
                              encoding="utf-8", errors="replace", env=env, timeout=RUN_TIMEOUT_SECONDS)

    def test_main_runs_in_process_and_java_exit_code_ends_it(self):
        argument = "Grüße Ω 日本 😀"
        drive_c = pathlib.Path(os.environ["WINEPREFIX"]) / "drive_c"
        with tempfile.TemporaryDirectory(dir=drive_c) as scratch:
            scratch = pathlib.Path(scratch)

            def on_drive_c(path):
                return "C:\\" + str(path.relative_to(drive_c)).replace("/", "\\")

            # A class directory whose name needs converting, after an entry that does not exist, both on
            # drive C, whose Unix name goes through a link named "c:".
            classes = scratch / "class dir ü"
            shutil.copytree(self.word_size.test_bin / "bridge-classes", classes)
            class_path = on_drive_c(scratch / "missing.jar") + ";" + on_drive_c(classes)
            echoed = scratch / "echoed.txt"
            jvm = self.word_size.runtime / "bin" / self.word_size.vm_kind / "jvm.dll"

            # Arguments that are drive paths reach Java as the files' Unix names, the others unchanged.
            probe = self.word_size.test_bin / "bridge_probe.exe"
            result = self.run_wine(probe, windows_path(jvm), class_path, "BridgeEcho", 7, on_drive_c(echoed),
                                   argument, on_drive_c(scratch / "new ü"), "c:relative")

            self.assertEqual(7, result.returncode, result.stdout + result.stderr)
            self.assertEqual([argument, str(scratch.resolve() / "new ü"), "c:relative"],
                             echoed.read_text(encoding="utf-8").split("\n"))
        self.assertIn("handled fault: yes", result.stdout)
        # The hook runs before the process ends, and the process ends with the code the hook saw.
        self.assertIn("exit hook: 7", result.stdout)
        for shape in ("", "nonvirtual "):
            for entry in ("variadic", "va_list", "array"):
                self.assertIn(f"kinds {shape}{entry}: {EVERY_KIND}\n", result.stdout)
        creation = re.search(r"JNI_CreateJavaVM: [0-9.]+ ms", result.stdout)
        self.assertIsNotNone(creation, result.stdout)
        print(f"{self.word_size.runtime.name}: {creation.group(0)}", file=sys.stderr)

    def test_java_exe_prints_the_runtime_version(self):
        for program in ("java.exe", "javaw.exe"):
            with self.subTest(program=program):
                path = self.word_size.runtime / "bin" / program
                self.assertEqual(self.word_size.machine, pe_machine(path))
                result = self.run_wine(path, "-version")
                self.assertEqual(0, result.returncode, result.stderr)
                self.assertRegex(result.stderr.splitlines()[0], r'^openjdk version "17[0-9.]*"')


if __name__ == "__main__":
    unittest.main()
