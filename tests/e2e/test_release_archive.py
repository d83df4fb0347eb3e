"""The Windows release archive as a user has it: unpacked below drive C, the sample service made with
nothing but what the archive holds (its broltpack.exe, run under Wine on its sample TOML, finding the
launcher and the Java side beside itself), installed, run on a real Java VM and removed again.

The Java runtime is where a Windows user's is: installed elsewhere and registered under the vendor
key, which the sample's search entry "registry" finds; the archive's TOML is used as shipped.
./run test makes the archive (./run dist) before the scenarios run.
"""
# word size: 64
import re
import shutil
import subprocess
import zipfile

import brolt_e2e as e
from service_e2e import RUNNING, STOPPED, ServiceCase, query, wait_for_state
from test_hotspot import RUNTIME, STAMP, START_SECONDS, processes_of, read, wait_until

VERSION = (e.ROOT / "VERSION").read_text(encoding="utf-8").strip()
TOP = f"brolt-{VERSION}"
ARCHIVE = e.ROOT / "out" / "dist" / f"{TOP}-windows.zip"
NAME = "SampleService"  # as the sample's TOML names it
VENDOR_KEY = "HKLM\\SOFTWARE\\JavaSoft"


def register_runtime(home):
    """Registers the runtime folder home as an installer would, under its version, in the 64-bit view."""
    version = re.search(r'version "([^"]+)"', (home / "bin" / "java-double.txt").read_text())[1]
    subprocess.run(["wine", "reg", "add", f"{VENDOR_KEY}\\JDK\\{version}", "/v", "JavaHome", "/d",
                    e.win_path(home), "/f", "/reg:64"], env=e._environment(), check=True, capture_output=True)


class ReleaseArchiveTest(ServiceCase):
    def test_the_sample_service_made_from_the_unpacked_archive_alone_runs_and_stops(self):
        self.assertTrue(ARCHIVE.exists(), f"{ARCHIVE} is missing: ./run dist makes it")
        base = e.workdir("release", parent="brolt")
        with zipfile.ZipFile(ARCHIVE) as archive:
            self.assertEqual({name.split("/")[0] for name in archive.namelist()}, {TOP})
            archive.extractall(base)
        home = base / TOP

        runtime = base / "Java" / "jdk"
        shutil.copytree(RUNTIME, runtime)
        (runtime / "bin" / "java-runs.txt").unlink(missing_ok=True)
        self.addCleanup(subprocess.run, ["wine", "reg", "delete", VENDOR_KEY, "/f", "/reg:64"],
                        env=e._environment(), capture_output=True)
        register_runtime(runtime)

        # As the guide has it typed in C:\brolt\brolt-<version>.
        packed = e.run(home / "broltpack.exe", "pack", "--config", "sample-service\\sample-service.toml",
                       "-o", "SampleService.exe")
        self.assertEqual((packed.returncode, packed.stderr), (0, ""), packed)
        launcher = home / "SampleService.exe"

        self.addCleanup(self.remove_service, NAME)
        installed = e.run(launcher, "-install")
        self.assertEqual((installed.returncode, installed.stdout), (0, f"Installed service '{NAME}'.\n"))

        # A free port rather than the configured one, which another run on this machine may hold.
        started = e.sc("start", NAME, "--port=0", "--heartbeat=1")
        self.assertEqual(started.returncode, 0, started)
        self.assertEqual(wait_for_state(NAME, RUNNING, START_SECONDS), (RUNNING, 0))
        out_log = home / "sample-service.out.log"
        wait_until(lambda: re.search(r"(?m)^" + STAMP + r"heartbeat, up \d+ s$", read(out_log)), "a heartbeat")
        # The registered runtime is the one the search found and ran for its version.
        self.assertTrue((runtime / "bin" / "java-runs.txt").exists())

        stopped = e.run(launcher, "-stop")
        self.assertEqual((stopped.returncode, stopped.stdout), (0, f"Stopping service '{NAME}'.\nService stopped\n"))
        self.assertEqual(wait_for_state(NAME, STOPPED, START_SECONDS), (STOPPED, 0))
        wait_until(lambda: not processes_of(launcher), "the service's process to end")
        self.assertRegex(read(out_log).splitlines()[-1], r"^" + STAMP + r"stopped cleanly after \d+ s$")
        self.assertEqual(read(home / "sample-service.err.log"), "")

        uninstalled = e.run(launcher, "-uninstall")
        self.assertEqual((uninstalled.returncode, uninstalled.stdout), (0, f"Uninstalled service '{NAME}'.\n"))
        self.assertIsNone(query(NAME))


if __name__ == "__main__":
    import unittest

    unittest.main()
