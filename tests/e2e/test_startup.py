"""Start-up of a packed launcher: finding its stream, refusing broken ones, and the service path."""
import concurrent.futures
import shutil
import struct
import subprocess
import unittest

import brolt_e2e as e2e

CONFIG = """
[service]
name = "StartupSvc"
description = "Started by tests"
[launcher]
executable_type = 3
[raw]
555 = "some text"
[include]
# Nothing to extract: these launches run side by side, and extraction is not what they check.
runtime = false
"""

OPTIONAL_HEADER_SIZE = {"32": 224, "64": 240}


class StartUp(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.directory = e2e.workdir("startup")
        cls.launcher = e2e.pack(cls.directory, CONFIG)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.directory, True)

    def broken_copy(self, name: str, data: bytes):
        path = self.directory / name
        path.write_bytes(data)
        return path

    def test_no_command_word_takes_the_service_path_quietly(self):
        # Outside the service manager the dispatcher gives up (under Wine after a wait of its own):
        # exit code 0, nothing printed. The launches run side by side to share that wait.
        cases = ([], ["-INSTALL"], ["-foo", "bar"], ["install"], ["/Status"])
        with concurrent.futures.ThreadPoolExecutor(len(cases)) as pool:
            results = list(pool.map(lambda args: e2e.run(self.launcher, *args), cases))
        for args, result in zip(cases, results):
            with self.subTest(args=args):
                self.assertEqual((0, "", ""), (result.returncode, result.stdout, result.stderr))

    def test_broken_streams_end_with_the_readers_message(self):
        data = self.launcher.read_bytes()
        start = e2e.stream_offset(self.launcher)
        # The first narrow record (key 101, "StartupSvc") begins behind magic and count.
        first_length = start + 12
        self.assertEqual(b"StartupSvc", data[first_length + 4:first_length + 14])
        wide_count = data.index(b"\x31\x4e\x00\x00", first_length) - 4  # key 20017
        cases = [
            ("magic.exe", data[:start] + b"\x00\x00\x00\x00" + data[start + 4:], "Internal Error: magic", None),
            ("cutnumber.exe", data[:start + 6], "Internal Error: readInt", "error "),
            ("cuttext.exe", data[:first_length + 9], "Internal Error: readString", None),
            ("negative.exe", data[:first_length] + struct.pack("<i", -1) + data[first_length + 4:],
             "Internal Error: readString", None),
            ("huge.exe", data[:first_length] + struct.pack("<i", 0x7FFFFFF0) + data[first_length + 4:],
             "Internal Error: readString", None),
        ]
        for name, content, message, stdout in cases:
            with self.subTest(case=name):
                broken = self.broken_copy(name, content)
                result, caption, text = e2e.run_expecting_message_box(broken, "-status")
                # The stream is not read yet, so the box has no caption whatever the executable type.
                self.assertEqual(("", message), (caption, text))
                self.assertEqual(1, result.returncode)
                if stdout:
                    self.assertRegex(result.stdout, r"^error \d+\n$")

        # A text cut in the wide records: the narrow ones are read by then, caption included.
        broken = self.broken_copy("widecut.exe", data[:wide_count + 14])
        result, caption, text = e2e.run_expecting_message_box(broken, "-status")
        self.assertEqual(("Service error", "Internal Error: readWString"), (caption, text))
        self.assertEqual(1, result.returncode)

    def test_log_traces_the_headers_it_walked(self):
        before = e2e.log_files()
        result = e2e.run(self.launcher, "-INSTALL", env={"BROLT_LOG": "yes"})
        self.assertEqual(0, result.returncode)
        logs = e2e.log_files() - before
        self.assertEqual(1, len(logs))
        log = logs.pop()
        lines = log.read_text(encoding="cp1252").splitlines()
        log.unlink()
        self.assertRegex(lines[2], r"^number of sections: \d+$")
        # The optional header of a 64-bit program is longer: its addresses are 8 bytes.
        self.assertEqual(f"size of optional headers: {OPTIONAL_HEADER_SIZE[e2e.WORD_SIZE]}", lines[3])
        self.assertRegex(lines[4], r"^resSectionTableStart: \d+$")
        size, offset = (int(n) for n in lines[5].replace("rawDataSize: ", "").split(", rawDataOffset: "))
        self.assertEqual(e2e.stream_offset(self.launcher), size + offset)

    def test_launcher_under_a_directory_the_code_page_cannot_name(self):
        directory = e2e.workdir("\u65e5\u672c app ")
        self.addCleanup(shutil.rmtree, directory, True)
        launcher = directory / "Unicode.exe"
        shutil.copy(self.launcher, launcher)
        before = e2e.log_files()
        result = e2e.run(launcher, "-INSTALL", env={"BROLT_LOG": "yes"})
        # Reached through its short name: the stream is read and the service path taken quietly.
        self.assertEqual((0, ""), (result.returncode, result.stderr))
        logs = e2e.log_files() - before
        self.assertEqual(1, len(logs))
        log = logs.pop()
        content = log.read_text(encoding="cp1252")
        log.unlink()
        self.assertIn("rawDataSize: ", content)
        self.assertNotIn("ERROR", content)

    def test_a_signed_launcher_still_finds_its_stream(self):
        if shutil.which("osslsigncode") is None or shutil.which("openssl") is None:
            self.skipTest("osslsigncode and openssl are needed")
        key, cert = self.directory / "key.pem", self.directory / "cert.pem"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(key),
                        "-out", str(cert), "-days", "2", "-subj", "/CN=brolt test"],
                       check=True, capture_output=True)
        signed = self.directory / "Signed.exe"
        subprocess.run(["osslsigncode", "sign", "-certs", str(cert), "-key", str(key), "-in",
                        str(self.launcher), "-out", str(signed)], check=True, capture_output=True)
        self.assertGreater(signed.stat().st_size, self.launcher.stat().st_size)
        before = e2e.log_files()
        result = e2e.run(signed, "-INSTALL", env={"BROLT_LOG": "yes"})
        self.assertEqual((0, ""), (result.returncode, result.stderr))
        logs = e2e.log_files() - before
        content = logs.pop().read_text(encoding="cp1252")
        self.assertIn("rawDataSize: ", content)
        self.assertIn('101 service.name = "StartupSvc"', e2e.inspect(signed))


if __name__ == "__main__":
    unittest.main()
