"""Included files: packed into the launcher, extracted before the service dispatcher starts."""
import json
import os
import pathlib
import resource
import shutil
import signal
import struct
import subprocess
import time
import re
import unittest

import brolt_e2e as e2e
from service_e2e import RUNNING, stable_folder_name, stable_folders, stable_place, wait_for_state
from test_java_launch import MARKER, VmDoubleCase, unix_path


def patterned(size: int, seed: int) -> bytes:
    """Bytes without an easy pattern, the scrambling value 0x88 among them."""
    out = bytearray(size)
    for i in range(size):
        seed = (seed * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = (seed >> 16) & 0xFF
    return bytes(out)


def run_with_temp(program, temp_win_path: str, env=None, preexec_fn=None) -> e2e.Result:
    """Runs program with TMP and TEMP pointing at temp_win_path. Wine takes these two from the registry
    rather than from the Unix environment, so they are set by a Windows parent for this process only."""
    line = f'set TMP={temp_win_path}&& set TEMP={temp_win_path}&& {e2e.win_path(program)}'
    completed = subprocess.run(["wine", "cmd", "/c", line], cwd=str(pathlib.Path(program).parent),
                               env=e2e._environment(env), capture_output=True, timeout=120,
                               preexec_fn=preexec_fn)
    return e2e.Result(completed.returncode, e2e._decode(completed.stdout), e2e._decode(completed.stderr))


def pack_with_files(directory: pathlib.Path, files: dict) -> pathlib.Path:
    for name, content in files.items():
        (directory / name).write_bytes(content)
    names = ", ".join(f'"{name}"' for name in files)
    return e2e.pack(directory, f"""
[service]
name = "IncludeSvc"
[launcher]
executable_type = 3
[messages]
internal_error = "Internal error {{0}}"
[include]
files = [{names}]
runtime = false
""")


def stream_end(data: bytes, start: int) -> int:
    """Where the included files begin: behind the last wide record of the stream at start."""
    position = start + 4  # magic
    for _ in range(2):  # narrow records, then wide ones
        (count,) = struct.unpack_from("<i", data, position)
        position += 4
        for _ in range(count):
            (length,) = struct.unpack_from("<i", data, position + 4)
            position += 8 + length
    return position


def hand_written(directory: pathlib.Path, names: str, contents: list, cut_into_last: int = None) -> pathlib.Path:
    """A launcher whose key 2003 holds names as given (the packer would refuse many of them), followed by
    the entries for contents; the last entry is cut to its first cut_into_last bytes when given."""
    launcher = e2e.pack(directory, f"""
[service]
name = "IncludeSvc"
[launcher]
executable_type = 3
[messages]
internal_error = "Internal error {{0}}"
[include]
runtime = false
[raw]
2002 = {len(contents)}
2003 = {json.dumps(names)}
""")
    data = launcher.read_bytes()
    section = b""
    for content in contents:
        entry = struct.pack("<q", len(content)) + bytes(b ^ 0x88 for b in content)
        section += entry[:cut_into_last] if content is contents[-1] and cut_into_last is not None else entry
    launcher.write_bytes(data[:stream_end(data, e2e.stream_offset(launcher))] + section)
    return launcher


class IncludedFiles(unittest.TestCase):
    def setUp(self):
        self.directory = e2e.workdir("include")
        self.addCleanup(shutil.rmtree, self.directory, True)
        self.temp = self.directory / "temp"
        self.temp.mkdir()

    def test_a_launch_outside_the_service_manager_extracts_into_the_launchers_stable_folder(self):
        files = {"readme.txt": b"line one\r\nline two\r\n", "data.bin": patterned(70000, 5), "empty.txt": b""}
        launcher = pack_with_files(self.directory, files)

        inspected = subprocess.run([str(e2e.BROLTPACK), "inspect", str(launcher)], capture_output=True, text=True)
        self.assertEqual(0, inspected.returncode, inspected.stderr)
        for name, content in files.items():
            self.assertRegex(inspected.stdout, rf"{name}\D+{len(content)}\b")

        result = run_with_temp(launcher, e2e.win_path(self.temp), env={"BROLT_LOG": "yes"})
        self.assertEqual(0, result.returncode, result)

        logs = list(self.temp.glob("qdl_nlog_*"))
        self.assertEqual(1, len(logs))
        # Only the log in the temporary folder: the stable folder, kept for the next start, lies in the
        # account's local application data.
        self.assertEqual(logs, list(self.temp.iterdir()))
        self.assertIn(stable_folder_name(launcher), stable_folders())
        lines = [line.rstrip("\r") for line in logs[0].read_text(encoding="cp1252").split("\n")]
        start = lines.index("extracting files")
        target = e2e.win_path(stable_place() / stable_folder_name(launcher))
        self.assertEqual(["extracting files", "Included files: 3", f"Temp dir: {target}",
                          f"reusing {target}: 2 of 3 files to write",
                          f"extracting {target}\\readme.txt (size: 20)",
                          f"extracting {target}\\data.bin (size: 70000)",
                          "extracting files done"], lines[start:start + 7])
        for name in ("readme.txt", "data.bin"):
            self.assertEqual(files[name], (stable_place() / stable_folder_name(launcher) / name).read_bytes())

    def test_later_launches_reuse_the_stable_folder_and_restore_what_changed(self):
        launcher = pack_with_files(self.directory, {"app.jar": patterned(5000, 3), "conf.txt": b"key=value"})
        folder = stable_place() / stable_folder_name(launcher)
        self.assertEqual(0, run_with_temp(launcher, e2e.win_path(self.temp)).returncode)
        jar_time = (folder / "app.jar").stat().st_mtime_ns

        # Unchanged: reused as it is, the jar's time kept. Changed by the application: written again.
        self.assertEqual(0, run_with_temp(launcher, e2e.win_path(self.temp)).returncode)
        self.assertEqual(jar_time, (folder / "app.jar").stat().st_mtime_ns)
        (folder / "conf.txt").write_bytes(b"key=other")
        (folder / "stray.jar").write_bytes(b"PK")
        self.assertEqual(0, run_with_temp(launcher, e2e.win_path(self.temp)).returncode)
        self.assertEqual(b"key=value", (folder / "conf.txt").read_bytes())
        self.assertFalse((folder / "stray.jar").exists())
        self.assertEqual(jar_time, (folder / "app.jar").stat().st_mtime_ns)
        self.assertIn(folder.name, stable_folders())

        # Re-packed with another file: another folder with the new contents, and the old one swept
        # by the next launch since its launcher changed.
        time.sleep(0.01)
        repacked = pack_with_files(self.directory, {"app.jar": patterned(5000, 3), "conf.txt": b"key=repacked"})
        self.assertEqual(0, run_with_temp(repacked, e2e.win_path(self.temp)).returncode)
        new_folder = stable_place() / stable_folder_name(repacked)
        self.assertNotEqual(folder, new_folder)
        self.assertEqual(b"key=repacked", (new_folder / "conf.txt").read_bytes())
        self.assertEqual(0, run_with_temp(repacked, e2e.win_path(self.temp)).returncode)
        self.assertIn(new_folder.name, stable_folders())
        self.assertNotIn(folder.name, stable_folders())

        # The launcher deleted: another launcher's start sweeps its folder.
        other = self.directory / "other"
        other.mkdir()
        other_launcher = pack_with_files(other, {"x.txt": b"x"})
        repacked.unlink()
        self.assertEqual(0, run_with_temp(other_launcher, e2e.win_path(self.temp)).returncode)
        self.assertIn(stable_folder_name(other_launcher), stable_folders())
        self.assertNotIn(new_folder.name, stable_folders())

    def test_launches_starting_together_share_the_stable_folder_unharmed(self):
        # Launches of one launcher that start together take turns at the stable folder's lock: each
        # finds the file whole, and one folder holds it. (A launch that could not have the lock in
        # time would extract to a fresh directory of its own, read from the logs.)
        launcher = pack_with_files(self.directory, {"a.txt": b"a"})
        line = f'set TMP={e2e.win_path(self.temp)}&& set TEMP={e2e.win_path(self.temp)}&& {e2e.win_path(launcher)}'
        launches = 8
        processes = [subprocess.Popen(["wine", "cmd", "/c", line], cwd=str(self.directory),
                                      env=e2e._environment({"BROLT_LOG": "yes"}), stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE) for _ in range(launches)]
        results = [(process.wait(timeout=120), process.communicate()[1]) for process in processes]
        self.assertEqual([(0, b"")] * launches, results)
        extracted = []
        for log in self.temp.glob("qdl_nlog_*"):
            lines = log.read_text(encoding="cp1252").splitlines()
            self.assertIn("extracting files done", lines, log)
            extracted.append([line for line in lines if line.startswith("Temp dir: ")][-1])
        fresh = [line for line in extracted if "brt_s" not in line]
        self.assertEqual(len(fresh), len(set(fresh)), extracted)
        self.assertIn(stable_folder_name(launcher), stable_folders())
        self.assertEqual(b"a", (stable_place() / stable_folder_name(launcher) / "a.txt").read_bytes())

    def test_failed_write_removes_what_was_written_and_ends_with_code_16(self):
        # Real write failures, each smaller than the included file: a full file system (needs the
        # right to mount one) and a file size limit on the launcher's process (needs nothing).
        launcher = pack_with_files(self.directory, {"small.txt": b"fits", "big.bin": patterned(256 * 1024, 9)})
        # A file where the launcher's stable folder would be: no folder of its own, so each start extracts
        # to a fresh folder in the temporary folder, where the write fails.
        stable_place().mkdir(parents=True, exist_ok=True)
        blocker = stable_place() / stable_folder_name(launcher)
        blocker.write_bytes(b"")
        self.addCleanup(blocker.unlink)
        for failure in ("full file system", "file size limit"):
            with self.subTest(failure=failure):
                temp = self.directory / failure.replace(" ", "-")
                temp.mkdir()
                preexec_fn = None
                if failure == "full file system":
                    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", str(temp)],
                                             capture_output=True, text=True)
                    if mounted.returncode != 0:
                        self.skipTest(f"cannot mount a small file system here: {mounted.stderr.strip()}")
                    self.addCleanup(subprocess.run, ["umount", str(temp)], check=True)
                else:
                    preexec_fn = limit_file_size

                result = run_with_temp(launcher, e2e.win_path(temp), preexec_fn=preexec_fn)

                self.assertEqual(1, result.returncode, result)
                self.assertEqual("Internal error 16\n", result.stderr)
                self.assertEqual([], os.listdir(temp))

    def test_refused_or_uncreatable_name_fails_with_code_11_and_leaves_nothing(self):
        # Each name follows a file that is written first, so a failure has something to clean up.
        names = ["..\\esc.txt", "..\\..\\esc.txt", "..\\..\\..\\..\\windows\\x", "../x", "sub\\x",
                 "C:x", "file.txt:stream", ".", "..", "*", "a?", "a|b", "<a>", '"q"', "tab\tname", "\x01",
                 "COM1", "AUX", "NUL", "nul.bin", "CON", "PRN", "LPT1", "CONOUT$", "name.", "name ",
                 "x" * 300]
        escapes = [self.temp / "esc.txt", self.directory / "esc.txt", self.temp / "x",
                   e2e.drive_c() / "windows" / "x"]
        for name in names:
            with self.subTest(name=name):
                case = self.directory / "case"
                shutil.rmtree(case, True)
                case.mkdir()
                launcher = hand_written(case, f"first.txt;{name}", [b"first", b"second"])
                before = set(self.directory.rglob("*"))

                result = run_with_temp(launcher, e2e.win_path(self.temp))
                escaped = [path for path in escapes if path.exists()]
                for path in escaped:  # so that one escape does not fail the cases after it
                    path.unlink()

                self.assertEqual(1, result.returncode, result)
                self.assertEqual("Internal error 11\n", result.stderr)
                self.assertEqual([], escaped)
                self.assertEqual(before, set(self.directory.rglob("*")))

    def test_size_field_cut_short_fails_and_leaves_nothing(self):
        launcher = hand_written(self.directory, "first.txt;second.bin", [b"first", b"second"], cut_into_last=5)

        result = run_with_temp(launcher, e2e.win_path(self.temp))

        self.assertEqual(1, result.returncode, result)
        self.assertEqual("Internal Error: readLong\n", result.stderr)
        self.assertEqual([], os.listdir(self.temp))


class ExtractedForTheService(VmDoubleCase):
    def test_files_arrive_byte_for_byte_in_a_fresh_directory_while_the_service_runs(self):
        files = {"readme.txt": b"line one\r\nline two\r\n", "data.bin": patterned(70000, 5), "empty.txt": b""}
        name = e2e.unique_name("IncludeSvc")
        directory = e2e.workdir("include")
        for file_name, content in files.items():
            (directory / file_name).write_bytes(content)
        names = ", ".join(f'"{file_name}"' for file_name in files)
        launcher = self.vm_launcher(name, directory=directory,
                                    extra=f"[include]\nfiles = [{names}]\nruntime = false\n")
        self.start(name)
        wait_for_state(name, RUNNING)

        temp_dir = [option for option in self.record(launcher).options if option.startswith("-Dbrolt.tempDir=")]
        extracted = unix_path(temp_dir[-1].split("=", 1)[1])
        self.assertEqual(stable_folder_name(launcher), extracted.name)
        # Beside the files: the marker naming the launcher and its process, and the manifest.
        self.assertEqual({"readme.txt", "data.bin", MARKER, "brolt-extraction.manifest"},
                         {p.name for p in extracted.iterdir()})
        self.assertEqual(files["readme.txt"], (extracted / "readme.txt").read_bytes())
        self.assertEqual(files["data.bin"], (extracted / "data.bin").read_bytes())
        self.stop(launcher, name)


def limit_file_size():
    """In the child before exec: writes past 64 KiB fail with EFBIG instead of raising SIGXFSZ."""
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (64 * 1024, 64 * 1024))


if __name__ == "__main__":
    unittest.main()
