"""The launcher with a real Java VM (HotSpot behind the bridge's jvm.dll) under Wine's service manager:
the sample service's whole life as the demo shows it, arguments outside ASCII, a main that never
returns, applications that end on their own, and starts and stops in a row.

Every launcher ships its runtime as a user would: a copy of the runtime of its word size (out/jre32 or
out/jre64, by BROLT_WORD_SIZE) in "jre" beside it, found by the search entry B.\\jre. The applications
are the sample service and tests/hotspot's archive.
"""
import os
import pathlib
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import brolt_e2e as e
from service_e2e import (RUNNING, STOPPED, ServiceCase, control, diagnostic_log, logged_command, query,
                         stable_folder_name, stable_place, wait_for_state)

RUNTIME = e.ROOT / "out" / f"jre{e.WORD_SIZE}"
APPS_JAR = e.TEST_BIN / "hotspot-apps.jar"
SAMPLE_TOML = e.ROOT / "examples" / "sample-service" / "sample-service.toml"
MARKER = "brolt-extraction.owner"
ERROR_SERVICE_SPECIFIC_ERROR = 1066
# A VM start takes about a second here; the limits only keep a hung VM from stalling the suite.
START_SECONDS = 60
STAMP = r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d sample-service: "
JDK_BIN = pathlib.Path("/usr/lib/jvm/java-17-openjdk-amd64/bin")
# A main of the same class as the application's own, as someone else would plant it.
PLANTED_MAIN = """package com.example.hotspot;
public final class ClassPathApp {
    public static void main(String[] args) throws Exception {
        java.nio.file.Path launcher = java.nio.file.Paths.get(System.getProperty("brolt.moduleName"));
        java.nio.file.Files.write(launcher.resolveSibling(args[0] + ".classpath.txt"), "planted main".getBytes("UTF-8"));
        new java.util.concurrent.CountDownLatch(1).await();
    }
}
"""


def app_toml(name: str, main_class: str, arguments: str = "", search: str = "'B.\\jre'",
             vm_parameters: str = "-Xrs -Xmx256m", service: str = "", output: str = "") -> str:
    return f"""[service]
name = "{name}"
{service}
[launcher]
executable_type = 3
[java]
main_class = "com.example.hotspot.{main_class}"
arguments = "{arguments}"
vm_parameters = '{vm_parameters}'
min_version = "1.8"
search_sequence = [{search}]
[output]
redirect_stdout = true
stdout_file = '%BROLT_EXEDIR%out.log'
redirect_stderr = true
stderr_file = '%BROLT_EXEDIR%err.log'
{output}
[include]
files = ["{APPS_JAR}"]
"""


def service_exit_code(name: str) -> int:
    found = re.search(r"SERVICE_EXIT_CODE\s*:\s*(\d+)", e.sc("query", name).stdout)
    return int(found.group(1)) if found else None


def processes_of(launcher) -> list:
    """The ids of the processes running the launcher, by the Windows name Wine shows as their command."""
    name = e.win_path(launcher).lower().encode()
    found = []
    for entry in pathlib.Path("/proc").iterdir():
        try:
            command = (entry / "cmdline").read_bytes()
        except OSError:
            continue
        if entry.name.isdigit() and command.split(b"\0")[0].lower() == name:
            found.append(int(entry.name))
    return found


def extraction_folders(launcher) -> list:
    """The folders of included files that the launcher made and that are still there: fresh ones in the
    temporary folder, its stable one in the local application data."""
    owner = f"module={e.win_path(launcher)}"
    candidates = list(e.drive_c().glob("users/*/Temp/*")) + list(stable_place().glob("*"))
    return [folder for folder in candidates if (folder / MARKER).exists() and owner in read(folder / MARKER)]


def temp_files() -> set:
    """The launcher's temporary files (not folders) in the temporary folder."""
    return {path for path in e.drive_c().glob("users/*/Temp/brt*.tmp") if path.is_file()}


def wait_until(condition, what: str, timeout: float = START_SECONDS):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.1)


def read(path) -> str:
    path = pathlib.Path(path)
    return path.read_text(encoding="utf-8") if path.exists() else ""


class HotspotCase(ServiceCase):
    def ship(self, directory: pathlib.Path, launcher: pathlib.Path, name: str) -> pathlib.Path:
        """The runtime beside the launcher, and the service installed."""
        shutil.copytree(RUNTIME, directory / "jre")
        self.addCleanup(self.remove_service, name)
        installed = e.run(launcher, "-install")
        self.assertEqual((installed.returncode, installed.stdout), (0, f"Installed service '{name}'.\n"))
        return launcher

    def app_launcher(self, name: str, main_class: str, arguments: str = "", search: str = "'B.\\jre'",
                     service: str = ""):
        directory = e.workdir("hotspot")
        return self.ship(directory, e.pack(directory, app_toml(name, main_class, arguments, search, service=service)),
                         name)

    def start(self, name: str, *arguments):
        started = e.sc("start", name, *arguments)
        self.assertEqual(started.returncode, 0, started)

    def stop(self, launcher, name: str):
        self.assertNotEqual(processes_of(launcher), [])
        stopped = e.run(launcher, "-stop")
        self.assertEqual((stopped.returncode, stopped.stdout), (0, f"Stopping service '{name}'.\nService stopped\n"))
        # Polled rather than asked once: under load Wine's sc now and then answers a query with nothing.
        # The poll ends at the state; its limit only bounds a service that never gets there, and each
        # query is a Wine process that takes seconds on a loaded machine.
        self.assertEqual(wait_for_state(name, STOPPED, START_SECONDS), (STOPPED, 0))
        wait_until(lambda: not processes_of(launcher), "the service's process to end")


class SampleServiceTest(HotspotCase):
    def test_install_start_status_request_stop_uninstall(self):
        name = "SampleService"
        directory = e.workdir("sample")
        launcher = directory / "SampleService.exe"
        subprocess.run([str(e.BROLTPACK), "pack", "--stub", str(e.STUB), "--config", str(SAMPLE_TOML),
                        "-o", str(launcher)], check=True, capture_output=True)
        self.ship(directory, launcher, name)
        out_log = directory / "sample-service.out.log"

        # A free port rather than the configured one, which another run on this machine may hold.
        self.start(name, "--port=0", "--heartbeat=1")
        self.assertEqual(wait_for_state(name, RUNNING), (RUNNING, 0))
        port = int(wait_until(lambda: re.search(r"(?m)^" + STAMP + r"listening on http://127\.0\.0\.1:(\d+)/$",
                                                read(out_log)), "the sample's listening line")[1])
        status = e.run(launcher, "-status")
        self.assertEqual((status.returncode, status.stdout), (0, "Running.\n"))

        page = subprocess.run(["curl", "-sS", "--max-time", "30", f"http://127.0.0.1:{port}/"],
                              capture_output=True, text=True, encoding="utf-8")
        self.assertEqual(page.returncode, 0, page.stderr)
        lines = page.stdout.splitlines()
        self.assertEqual(lines[0], "sample-service")
        self.assertRegex(lines[1], r"^uptime: \d+ s$")
        # The service name first, then the configured arguments, then the start parameters.
        self.assertEqual(lines[2:], ["arguments: 5", "argument 0: SampleService", "argument 1: --port=8642",
                                     "argument 2: --heartbeat=5", "argument 3: --port=0",
                                     "argument 4: --heartbeat=1"])
        wait_until(lambda: re.search(r"(?m)^" + STAMP + r"heartbeat, up \d+ s$", read(out_log)), "a heartbeat")

        self.stop(launcher, name)
        self.assertRegex(read(out_log).splitlines()[-1], r"^" + STAMP + r"stopped cleanly after \d+ s$")
        self.assertEqual(read(directory / "sample-service.err.log"), "")
        status = e.run(launcher, "-status")
        self.assertEqual((status.returncode, status.stdout), (3, "Not running.\n"))

        uninstalled = e.run(launcher, "-uninstall")
        self.assertEqual((uninstalled.returncode, uninstalled.stdout), (0, f"Uninstalled service '{name}'.\n"))
        self.assertIsNone(query(name))


class ApplicationTest(HotspotCase):
    def test_arguments_outside_ascii_reach_a_main_that_never_returns_and_its_hook_runs_at_stop(self):
        name = e.unique_name("HotspotArguments")
        launcher = self.app_launcher(name, "ArgumentsApp", "caf\u00e9 'x y'")
        self.point_entry_at(name, f'"{e.win_path(launcher)}" Gr\u00fc\u00dfe "a b"')
        self.start(name, "\u00e9t\u00e9", "\u20ac 5")
        wait_for_state(name, RUNNING)
        arguments = wait_until(lambda: read(launcher.parent / "arguments.txt"), "the application's arguments")
        self.assertEqual(arguments.split("\n"),
                         ["Gr\u00fc\u00dfe", "caf\u00e9", "x y", "a b", name, "\u00e9t\u00e9", "\u20ac 5"])

        self.stop(launcher, name)
        self.assertEqual(read(launcher.parent / "out.log").splitlines(), ["arguments written", "shutdown hook ran"])
        self.assertEqual(read(launcher.parent / "err.log"), "")

    def test_an_application_that_ends_on_its_own_is_reported_with_its_exit_code(self):
        cases = [
            # An exception escaping main ends the VM with exit code 1, its trace in the error log.
            ("throw", 1, "java.lang.IllegalStateException: thrown at once (throw)"),
            ("exit=3", 3, ""),
        ]
        for how, exit_code, error_text in cases:
            with self.subTest(how):
                name = e.unique_name("HotspotEnds")
                # With recovery configured, as a production service would be: the code is what its
                # restart acts on (Wine keeps the restart actions nowhere; the install's log shows them set).
                launcher = self.app_launcher(name, "EndingApp", how, service="[service.recovery]\nrestart_delays = [60]")
                before = e.log_files()
                installed = e.run(launcher, "-install", env={"BROLT_LOG": "yes"})
                self.assertEqual(installed.returncode, 0, installed)
                logs = sorted(e.log_files() - before)
                self.assertIn("ChangeServiceConfig2W level 2 (the restart actions (service.recovery)) done",
                              logs[0].read_text(encoding="cp1252") if logs else "")
                self.start(name)
                self.assertEqual(wait_for_state(name, STOPPED, START_SECONDS),
                                 (STOPPED, ERROR_SERVICE_SPECIFIC_ERROR))
                self.assertEqual(service_exit_code(name), exit_code)
                status = e.run(launcher, "-status")
                self.assertEqual((status.returncode, status.stdout), (3, "Not running.\n"))
                self.assertIn(error_text, read(launcher.parent / "err.log"))
                wait_until(lambda: not processes_of(launcher), "the service's process to end")

    def test_a_runtime_of_the_other_word_size_found_first_is_passed_over(self):
        # A machine with both kinds: the other word size's runtime comes first in the search, and its VM
        # library could not load into this launcher; the application must run on the runtime behind it,
        # without the other one's java.exe ever being started.
        name = e.unique_name("HotspotWordSize")
        launcher = self.app_launcher(name, "EndingApp", "exit=3", search="'B.\\other-jre', 'B.\\jre'")
        other_bin = launcher.parent / "other-jre" / "bin"
        for kind in ("client", "server"):
            (other_bin / kind).mkdir(parents=True)
            shutil.copy(e.DOUBLES[e.OTHER_WORD_SIZE] / "jvm.dll", other_bin / kind / "jvm.dll")
        shutil.copy(e.DOUBLES[e.OTHER_WORD_SIZE] / "java.exe", other_bin / "java.exe")
        self.start(name)
        self.assertEqual(wait_for_state(name, STOPPED, START_SECONDS), (STOPPED, ERROR_SERVICE_SPECIFIC_ERROR))
        self.assertEqual(service_exit_code(name), 3)
        self.assertEqual(read(launcher.parent / "err.log"), "")
        self.assertFalse((other_bin / "java-runs.txt").exists())
        wait_until(lambda: not processes_of(launcher), "the service's process to end")

    def test_starts_and_stops_of_the_sample_leave_no_process_folder_or_file(self):
        # BROLT_CYCLES sets how many (10 in the suite; a longer run: BROLT_CYCLES=200).
        cycles = int(os.environ.get("BROLT_CYCLES", "10"))
        name = e.unique_name("HotspotCycles")
        directory = e.workdir("cycles")
        toml = SAMPLE_TOML.read_text().replace('name = "SampleService"', f'name = "{name}"').replace(
            '"../../out/java/sample-service.jar"', f"'{e.ROOT / 'out' / 'java' / 'sample-service.jar'}'")
        launcher = self.ship(directory, e.pack(directory, toml), name)
        out_log = directory / "sample-service.out.log"
        temp_files_before = temp_files()
        for cycle in range(1, cycles + 1):
            self.start(name, "--port=0", "--heartbeat=60")
            wait_until(lambda: read(out_log).count(" listening on ") == cycle, f"start {cycle}")
            self.assertEqual(len(extraction_folders(launcher)), 1)
            self.stop(launcher, name)
            self.assertEqual(read(out_log).count(" stopped cleanly after "), cycle)
        self.assertEqual(processes_of(launcher), [])
        self.assertLessEqual(len(extraction_folders(launcher)), 1)
        self.assertEqual(read(directory / "sample-service.err.log"), "")
        # The first start ran the runtime's java.exe for its version; its output file went once read.
        self.assertTrue((launcher.parent / "jre" / "bin" / "java-runs.txt").exists())
        self.assertEqual(temp_files() - temp_files_before, set())

class PlantedFilesTest(HotspotCase):
    """What someone else puts where the service looks: its own main runs, and nothing is deleted
    that a link leads to."""

    def run_until_main(self, launcher, name: str) -> list:
        """One start until main wrote its class path, then its stop; main's lines."""
        written = launcher.parent / f"{name}.classpath.txt"
        written.unlink(missing_ok=True)
        self.start(name)
        wait_for_state(name, RUNNING)
        text = wait_until(lambda: read(written), "main's class path")
        self.stop(launcher, name)
        return text.split("\n")

    def test_a_folder_named_as_an_archive_and_a_stray_jar_in_the_stable_folder_stay_off_the_class_path(self):
        name = e.unique_name("HotspotPlanted")
        launcher = self.app_launcher(name, "ClassPathApp")
        self.assertEqual(self.run_until_main(launcher, name)[0], "own main")
        folder = stable_place() / stable_folder_name(launcher)
        # Both hold a main of the application's class and sort before its own jar; the jar is read-only,
        # so the start cannot remove it as a file it did not include.
        with tempfile.TemporaryDirectory() as work:
            source = pathlib.Path(work) / "ClassPathApp.java"
            source.write_text(PLANTED_MAIN)
            subprocess.run([str(JDK_BIN / "javac"), "--release", "8", "-d", str(folder / "evil.jar"), str(source)],
                           check=True)
            subprocess.run([str(JDK_BIN / "jar"), "cf", str(folder / "aaa.jar"), "-C", str(folder / "evil.jar"), "com"],
                           check=True)
        os.chmod(folder / "aaa.jar", 0o444)
        self.addCleanup(os.chmod, folder / "aaa.jar", 0o644)

        lines = self.run_until_main(launcher, name)

        self.assertEqual(lines[0], "own main")
        # The bridge's VM is the machine's own: it shows the class path in its own form.
        class_path = lines[1].lower()
        self.assertIn(f"{folder.name}/hotspot-apps.jar", class_path)
        self.assertNotIn("evil.jar", class_path)
        self.assertNotIn("aaa.jar", class_path)
        # They were there when the class path was made.
        self.assertTrue((folder / "aaa.jar").is_file() and (folder / "evil.jar" / "com").is_dir())

    def test_the_sweep_leaves_what_a_link_in_the_temporary_folder_leads_to(self):
        name = e.unique_name("HotspotSweep")
        launcher = self.app_launcher(name, "ClassPathApp")
        temp = e.workdir("sweep-temp")
        victims = e.workdir("victims")
        dead = "brolt extraction owner\nprocess=999999\ncreated=1\nmodule=C:\\gone\\launcher.exe\n"
        # A stale-looking folder that is a link to a folder of someone's files, its marker naming a
        # process that is gone (read through the link).
        (victims / "linked").mkdir()
        (victims / "linked" / MARKER).write_text(dead)
        (victims / "linked" / "keep.txt").write_text("keep")
        (temp / "brt1A2B.tmp_dir77").symlink_to(victims / "linked", target_is_directory=True)
        # A stale folder of its own with a link inside it: what is the folder's goes, the link's target stays.
        (victims / "inside").mkdir()
        (victims / "inside" / "keep.txt").write_text("keep")
        stale = temp / "brt1A2C.tmp_dir78"
        stale.mkdir()
        (stale / MARKER).write_text(dead)
        (stale / "app.jar").write_bytes(b"PK")
        (stale / "inner").symlink_to(victims / "inside", target_is_directory=True)
        self.point_entry_at(name, logged_command(f'"{e.win_path(launcher)}"', temp))

        self.assertEqual(self.run_until_main(launcher, name)[0], "own main")

        self.assertEqual(read(victims / "linked" / "keep.txt"), "keep")
        self.assertEqual(read(victims / "linked" / MARKER), dead)
        self.assertEqual(read(victims / "inside" / "keep.txt"), "keep")
        self.assertTrue((temp / "brt1A2B.tmp_dir77").is_symlink())
        # The sweep ran: the stale folder's own file went; the folder stays for as long as the link does.
        self.assertFalse((stale / "app.jar").exists())
        self.assertTrue((stale / MARKER).exists())
        self.assertIn(f"left for the next start: {e.win_path(stale)}", diagnostic_log(temp))


if __name__ == "__main__":
    unittest.main()
