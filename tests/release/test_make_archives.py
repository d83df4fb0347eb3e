"""The release archives of tools/release/make_archives.py, made from this tree's guide, packer README and
sample service, with small stand-ins for the built programs (their bytes are only copied)."""
import io
import os
import pathlib
import shutil
import subprocess
import sys
import tarfile
import tempfile
import tomllib
import unittest
import zipfile

ROOT = pathlib.Path(__file__).resolve().parents[2]
SCRIPT = ROOT / "tools" / "release" / "make_archives.py"
sys.path.insert(0, str(SCRIPT.parent))
import make_archives  # noqa: E402

VERSION = "1.2.3"
TOP = f"brolt-{VERSION}"
BUILT = {
    "out/win64/broltpack.exe": b"MZ windows packer",
    "out/host/broltpack": b"\x7fELF linux packer",
    "out/win64/brolt-service.exe": b"MZ 64-bit launcher",
    "out/win32/brolt-service.exe": b"MZ 32-bit launcher",
    "out/java/brolt-runtime.jar": b"PK runtime",
    "out/java/sample-service.jar": b"PK sample",
}
SAMPLE_SOURCES = sorted(p.relative_to(ROOT / "examples" / "sample-service").as_posix()
                        for p in (ROOT / "examples" / "sample-service" / "src").rglob("*.java"))
# Name in the archive: (the file it comes from, or None for one the maker writes; whether it runs).
SHARED = {
    "brolt-service-win64.exe": ("out/win64/brolt-service.exe", True),
    "brolt-service-win32.exe": ("out/win32/brolt-service.exe", True),
    "brolt-runtime.jar": ("out/java/brolt-runtime.jar", False),
    "GUIDE.md": (None, False),
    "broltpack-README.md": ("tools/broltpack/README.md", False),
    "sample-service/sample-service.toml": (None, False),
    "sample-service/sample-service.jar": ("out/java/sample-service.jar", False),
    **{f"sample-service/{source}": (f"examples/sample-service/{source}", False) for source in SAMPLE_SOURCES},
}
EXPECTED = {
    "windows.zip": {"broltpack.exe": ("out/win64/broltpack.exe", True), **SHARED},
    "linux-x64.tar.gz": {"broltpack": ("out/host/broltpack", True), **SHARED},
}


def make_tree(directory: pathlib.Path) -> pathlib.Path:
    """A source tree with this one's guide, packer README and sample, and the built programs' stand-ins."""
    root = directory / "tree"
    (root / "tools" / "broltpack").mkdir(parents=True)
    (root / "VERSION").write_text(VERSION + "\n")
    shutil.copy(ROOT / "GUIDE.md", root / "GUIDE.md")
    shutil.copy(ROOT / "tools" / "broltpack" / "README.md", root / "tools" / "broltpack" / "README.md")
    shutil.copytree(ROOT / "examples" / "sample-service", root / "examples" / "sample-service")
    for name, data in BUILT.items():
        (root / name).parent.mkdir(parents=True, exist_ok=True)
        (root / name).write_bytes(data)
    return root


def zip_members(path) -> dict:
    """{name: (bytes, mode, date_time)} of a zip archive."""
    with zipfile.ZipFile(path) as archive:
        return {info.filename: (archive.read(info), info.external_attr >> 16, info.date_time)
                for info in archive.infolist()}


def tar_members(path) -> dict:
    """{name: (bytes or None for a folder, mode, (mtime, uid, gid, uname, gname))} of a tar.gz archive."""
    with tarfile.open(path, "r:gz") as archive:
        return {info.name: (archive.extractfile(info).read() if info.isfile() else None, info.mode,
                            (info.mtime, info.uid, info.gid, info.uname, info.gname))
                for info in archive.getmembers()}


class ArchivesTest(unittest.TestCase):
    def setUp(self):
        temporary = tempfile.TemporaryDirectory(prefix="brolt-release-")
        self.addCleanup(temporary.cleanup)
        self.root = make_tree(pathlib.Path(temporary.name))
        self.out = pathlib.Path(temporary.name) / "dist"

    def make(self, out=None) -> dict:
        paths = make_archives.make_archives(self.root, out or self.out)
        return {path.name.removeprefix(TOP + "-"): path for path in paths}

    def test_each_archive_holds_the_release_in_one_top_folder_with_fixed_times_owners_and_modes(self):
        archives = self.make()
        self.assertEqual(sorted(archives), sorted(EXPECTED))
        zip_found = zip_members(archives["windows.zip"])
        tar_found = tar_members(archives["linux-x64.tar.gz"])
        for suffix, found in (("windows.zip", zip_found), ("linux-x64.tar.gz", tar_found)):
            with self.subTest(suffix):
                files = {name: member for name, member in found.items() if member[0] is not None}
                self.assertEqual(sorted(files), sorted(f"{TOP}/{name}" for name in EXPECTED[suffix]))
                for name, (source, executable) in EXPECTED[suffix].items():
                    data, mode = files[f"{TOP}/{name}"][:2]
                    self.assertEqual(mode & 0o777, 0o755 if executable else 0o644, name)
                    if source:
                        self.assertEqual(data, (self.root / source).read_bytes(), name)
        self.assertEqual({member[2] for member in zip_found.values()}, {(1980, 1, 1, 0, 0, 0)})
        self.assertEqual({member[2] for member in tar_found.values()}, {(315532800, 0, 0, "", "")})
        # Folders, sorted by name, each before what it holds.
        self.assertEqual([name for name, member in tar_found.items() if member[0] is None],
                         [TOP, f"{TOP}/sample-service", f"{TOP}/sample-service/src",
                          f"{TOP}/sample-service/src/com", f"{TOP}/sample-service/src/com/example",
                          f"{TOP}/sample-service/src/com/example/sample"])
        self.assertEqual(list(tar_found), sorted(tar_found, key=lambda name: name.split("/")))

    def test_two_runs_over_inputs_touched_in_between_give_the_same_bytes(self):
        first = {suffix: path.read_bytes() for suffix, path in self.make().items()}
        later = 2_000_000_000
        for path in self.root.rglob("*"):
            os.utime(path, (later, later))
        second = {suffix: path.read_bytes() for suffix, path in self.make(self.out.parent / "again").items()}
        self.assertEqual(first, second)
        self.assertEqual(first["linux-x64.tar.gz"][3:8], b"\0\0\0\0\0", "gzip: no name, no time")

    def test_the_shipped_sample_names_its_jar_beside_it_and_the_guide_names_the_version(self):
        found = zip_members(self.make()["windows.zip"])
        shipped = tomllib.loads(found[f"{TOP}/sample-service/sample-service.toml"][0].decode("utf-8"))
        written = tomllib.loads((self.root / "examples" / "sample-service" / "sample-service.toml").read_text())
        self.assertEqual(shipped["include"]["files"], ["sample-service.jar"])
        self.assertEqual({**shipped, "include": None}, {**written, "include": None})
        self.assertEqual({key: value for key, value in shipped["include"].items() if key != "files"},
                         {key: value for key, value in written["include"].items() if key != "files"})

        guide = found[f"{TOP}/GUIDE.md"][0].decode("utf-8")
        self.assertNotIn("<version>", guide)
        self.assertIn(f'tar -xf "%USERPROFILE%\\Downloads\\{TOP}-windows.zip"', guide)
        self.assertIn(f"cd {TOP}\n", guide)

    def test_an_included_file_written_other_than_once_as_a_plain_string_is_refused(self):
        toml = self.root / "examples" / "sample-service" / "sample-service.toml"
        written = toml.read_text()
        cases = [
            # The rewrite would also change the comment.
            ("named in a comment too", written + '# was "../../out/java/sample-service.jar"\n'),
            # The text holds an escape the parsed name does not.
            ("escaped", written.replace('"../../out/java/sample-service.jar"', '"..\\\\..\\\\out/java/sample-service.jar"')),
        ]
        for what, text in cases:
            with self.subTest(what):
                self.assertNotEqual(text, written)
                toml.write_text(text)
                with self.assertRaisesRegex(ValueError, "is not written once as a plain string"):
                    self.make()
                self.assertFalse(self.out.exists())

    def test_missing_inputs_are_all_named_and_nothing_is_written(self):
        for name in ("out/win64/broltpack.exe", "out/win32/brolt-service.exe"):
            (self.root / name).unlink()
        made = subprocess.run([sys.executable, str(SCRIPT), "--root", str(self.root), "--out", str(self.out)],
                              capture_output=True, text=True)
        self.assertEqual(made.returncode, 1)
        self.assertEqual(made.stderr.splitlines(), [
            "make_archives: not made; these inputs are missing:",
            f"  {self.root / 'out/win64/broltpack.exe'}",
            f"  {self.root / 'out/win32/brolt-service.exe'}",
        ])
        self.assertFalse(self.out.exists())


if __name__ == "__main__":
    unittest.main()
