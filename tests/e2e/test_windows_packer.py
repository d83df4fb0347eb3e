"""broltpack.exe under Wine against the Linux packer: the same inputs, named the Windows way (drive
letters, backslashes, a folder with a space and a non-ASCII name, a TOML with a byte order mark and CRLF
line ends), give the same launcher byte for byte, the same inspect listing and the same errors.
"""
# word size: 64
import os
import pathlib
import shutil
import subprocess
import unittest

import brolt_e2e as e2e

WIN_PACKER = e2e.BUILDS["64"] / "broltpack.exe"
RUNTIME_JAR = e2e.BUILDS["64"] / "brolt-runtime.jar"
# A folder name outside code page 1252's reach would do as well for the paths; this one also holds
# an included file name code page 1252 stores.
FOLDER = "Zoë Dienst"

CONFIG = """# A service packed by both packers.
[service]
name = "ZoeSvc"
description = \"\"\"Dienst für Zoë
über zwei Zeilen\"\"\"
dependencies = ["Tcpip"]
[java]
main_class = "com.example.Main"
class_path = [{ path = "app.jar", required = true }, "lib/*", "classes/"]
search = ["jre", "env:JAVA_HOME", "registry", "path"]
[include]
files = ["data/a.txt", "data/Grüße.txt"]
"""


def with_bom_and_crlf(text: str) -> bytes:
    return b"\xef\xbb\xbf" + text.replace("\n", "\r\n").encode("utf-8")


def z_path(path) -> str:
    """The Windows name of any file of this machine, on Wine's drive Z (the root)."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


class Packed:
    """What one packer run gave: exit code and raw output (UTF-8; Windows ends lines with CRLF)."""

    def __init__(self, completed: subprocess.CompletedProcess):
        self.returncode = completed.returncode
        self.stdout = completed.stdout.decode("utf-8").replace("\r\n", "\n")
        self.stderr = completed.stderr.decode("utf-8").replace("\r\n", "\n")


def linux_packer(*args) -> Packed:
    return Packed(subprocess.run([str(e2e.BROLTPACK), *args], capture_output=True, timeout=60))


def windows_packer(*args, program=WIN_PACKER) -> Packed:
    # Wine hands the arguments to the program as UTF-16 through the locale's character set.
    env = e2e._environment({"LC_ALL": "C.UTF-8"})
    return Packed(subprocess.run(["wine", str(program), *args], env=env, capture_output=True, timeout=120))


class WindowsPacker(unittest.TestCase):
    def setUp(self):
        self.dir = e2e.workdir("pack") / FOLDER
        (self.dir / "data").mkdir(parents=True)
        (self.dir / "data" / "a.txt").write_bytes(b"first included file\n")
        (self.dir / "data" / "Grüße.txt").write_bytes(bytes(range(256)))
        self.stub = self.dir / "brolt-service.exe"
        shutil.copyfile(e2e.BUILDS["64"] / "brolt-service.exe", self.stub)
        self.jar = self.dir / "brolt-runtime.jar"
        shutil.copyfile(RUNTIME_JAR, self.jar)
        (self.dir / "app.toml").write_text(CONFIG, encoding="utf-8")

    def linux_pack(self, config, output, *options) -> bytes:
        packed = linux_packer("pack", "--config", str(config), "-o", str(output), *options)
        self.assertEqual(packed.returncode, 0, packed.stderr)
        return pathlib.Path(output).read_bytes()

    def test_writes_the_launcher_the_linux_packer_writes(self):
        expected = self.linux_pack(self.dir / "app.toml", self.dir / "linux.exe", "--stub", str(self.stub),
                                   "--runtime-jar", str(self.jar))
        (self.dir / "crlf.toml").write_bytes(with_bom_and_crlf(CONFIG))
        # The included files named by absolute Windows paths instead.
        absolute = CONFIG.replace('"data/a.txt", "data/Grüße.txt"',
                                  f"'{e2e.win_path(self.dir)}\\data\\a.txt', "
                                  f"'{z_path(self.dir)}\\data\\Grüße.txt'")
        self.assertNotEqual(absolute, CONFIG)
        (self.dir / "absolute.toml").write_text(absolute, encoding="utf-8")
        cases = [("C: paths", e2e.win_path, "app.toml"),
                 ("Z: paths", z_path, "app.toml"),
                 ("BOM and CRLF", e2e.win_path, "crlf.toml"),
                 ("absolute includes", z_path, "absolute.toml")]
        for index, (label, name, config) in enumerate(cases):
            with self.subTest(label):
                output = self.dir / f"out{index}" / "Zoë Dienst.exe"
                output.parent.mkdir()
                packed = windows_packer("pack", "--stub", name(self.stub), "--config", name(self.dir / config),
                                        "-o", name(output), "--runtime-jar", name(self.jar))
                self.assertEqual(packed.returncode, 0, packed.stderr)
                self.assertEqual(packed.stderr, "")
                self.assertTrue(output.read_bytes() == expected, f"{label}: the launchers differ")
                self.assertEqual([p.name for p in output.parent.iterdir()], [output.name])

        listing = linux_packer("inspect", str(self.dir / "linux.exe"))
        self.assertEqual(listing.returncode, 0, listing.stderr)
        self.assertIn('"Grüße.txt" 256 bytes at offset ', listing.stdout)
        windows_listing = windows_packer("inspect", e2e.win_path(self.dir / "out2" / "Zoë Dienst.exe"))
        self.assertEqual((windows_listing.returncode, windows_listing.stdout, windows_listing.stderr),
                         (0, listing.stdout, ""))

    def test_reports_errors_as_the_linux_packer_does(self):
        bad = CONFIG.replace('dependencies = ["Tcpip"]', "dependencies = 5")
        self.assertNotEqual(bad, CONFIG)
        (self.dir / "bad.toml").write_bytes(with_bom_and_crlf(bad))
        (self.dir / "bad-lf.toml").write_text(bad, encoding="utf-8")
        linux = linux_packer("pack", "--stub", str(self.stub), "--config", str(self.dir / "bad-lf.toml"), "-o",
                             str(self.dir / "linux.exe"), "--runtime-jar", str(self.jar))
        prefix = f"broltpack: {self.dir / 'bad-lf.toml'}:"
        self.assertEqual(linux.returncode, 2)
        self.assertTrue(linux.stderr.startswith(prefix + "6:16: "), linux.stderr)
        for name in (e2e.win_path, z_path):
            with self.subTest(name.__name__):
                config = name(self.dir / "bad.toml")
                packed = windows_packer("pack", "--stub", name(self.stub), "--config", config, "-o",
                                        name(self.dir / "windows.exe"), "--runtime-jar", name(self.jar))
                self.assertEqual(packed.returncode, 2)
                self.assertEqual(packed.stderr, f"broltpack: {config}:" + linux.stderr[len(prefix):])
                self.assertFalse((self.dir / "windows.exe").exists())

        missing = windows_packer("inspect", e2e.win_path(self.dir / "gone.exe"))
        self.assertEqual(missing.returncode, 1)
        self.assertEqual(missing.stderr,
                         f"broltpack: {e2e.win_path(self.dir / 'gone.exe')}: cannot open: No such file or directory\n")

    def test_finds_the_runtime_archive_and_the_launchers_beside_itself(self):
        # The release's layout: the packer, the runtime archive and both launchers side by side. A
        # different launcher under the 32-bit name shows which one was taken.
        release = self.dir / "release"
        release.mkdir()
        for name in ("broltpack.exe", "brolt-runtime.jar"):
            shutil.copyfile(e2e.BUILDS["64"] / name, release / name)
        shutil.copyfile(self.stub, release / "brolt-service-win64.exe")
        other = bytearray(self.stub.read_bytes())
        dos_message = other.index(b"This program cannot be run in DOS mode")
        other[dos_message:dos_message + 4] = b"THIS"
        (release / "brolt-service-win32.exe").write_bytes(other)

        for option, stub in (([], "brolt-service-win64.exe"), (["--32"], "brolt-service-win32.exe")):
            with self.subTest(stub):
                expected = self.linux_pack(self.dir / "app.toml", self.dir / "linux.exe", "--stub",
                                           str(release / stub), "--runtime-jar", str(release / "brolt-runtime.jar"))
                output = self.dir / "windows.exe"
                packed = windows_packer("pack", "--config", e2e.win_path(self.dir / "app.toml"), "-o",
                                        e2e.win_path(output), *option, program=release / "broltpack.exe")
                self.assertEqual(packed.returncode, 0, packed.stderr)
                self.assertTrue(output.read_bytes() == expected, f"{stub}: the launchers differ")

        alone = self.dir / "alone"
        alone.mkdir()
        shutil.copyfile(WIN_PACKER, alone / "broltpack.exe")
        packed = windows_packer("pack", "--config", e2e.win_path(self.dir / "app.toml"), "-o",
                                e2e.win_path(self.dir / "none.exe"), program=alone / "broltpack.exe")
        folder = e2e.win_path(alone)
        self.assertEqual(packed.returncode, 2)
        self.assertEqual(packed.stderr,
                         f"broltpack: {folder}: no 64-bit launcher beside the packer (looked for "
                         f"{folder}\\brolt-service-win64.exe, {folder}\\brolt-service.exe); name one with --stub\n")


if __name__ == "__main__":
    unittest.main()
