"""The Java launch under Wine's service manager, with the VM double as the runtime's VM library: the
options and main parameters the VM receives, the stop through the Java exit method, the exit codes the
service manager shows for each way the application ends, and the extraction folders of earlier runs."""
import pathlib
import re
import shutil
import time
import unittest

import brolt_e2e as e
from service_e2e import (RUNNING, START_PENDING, STOPPED, ServiceCase, Watcher, control, event_log_entries,
                         logged_command, query, service_toml, wait_for_state)

VM_LAUNCHER = e.TEST_BIN / "stand_in_launcher.exe"
VM_DOUBLE = e.DOUBLES[e.WORD_SIZE] / "jvm.dll"
MARKER = "brolt-extraction.owner"
ERROR_SERVICE_SPECIFIC_ERROR = 1066


class VmRecord:
    """What the VM double wrote: its options, the calls made on it and main's parameters."""

    def __init__(self, text: str):
        self.lines = text.splitlines()

    def _values(self, kind: str):
        return [line.split(" ", 2)[2] if line.count(" ") >= 2 else "" for line in self.lines
                if line.startswith(kind + " ")]

    @property
    def options(self):
        return self._values("option")

    @property
    def parameters(self):
        return self._values("param")

    @property
    def calls(self):
        return [line[len("call "):] for line in self.lines if line.startswith("call ")]

    def after(self, call: str):
        """The lines that follow the first line naming call."""
        index = next(i for i, line in enumerate(self.lines) if line == "call " + call)
        return self.lines[index + 1:]


def service_exit_code(name: str) -> int:
    found = re.search(r"SERVICE_EXIT_CODE\s*:\s*(\d+)", e.sc("query", name).stdout)
    return int(found.group(1)) if found else None


def unix_path(windows_path: str) -> pathlib.Path:
    assert windows_path[:3].upper() == "C:\\", windows_path
    return e.drive_c() / windows_path[3:].replace("\\", "/")


class VmDoubleCase(ServiceCase):
    def vm_launcher(self, name: str, extra: str = "", behaviour: str = "", directory=None,
                    exe_name: str = "MyService.exe"):
        """A launcher whose VM library is the double beside it, told how to behave, and installed."""
        directory = pathlib.Path(directory) if directory else e.workdir("java")
        directory.mkdir(parents=True, exist_ok=True)
        self.addCleanup(self.remove_service, name)
        launcher = e.pack(directory, service_toml(name, extra), exe_name=exe_name, stub=VM_LAUNCHER)
        shutil.copy(VM_DOUBLE, directory / "jvm.dll")
        (directory / "vm_double.cfg").write_text(behaviour)
        installed = e.run(launcher, "-install")
        self.assertEqual(installed.returncode, 0, installed)
        return launcher

    def record(self, launcher) -> VmRecord:
        path = pathlib.Path(launcher).parent / "vm_double.record"
        return VmRecord(path.read_text(encoding="utf-8") if path.exists() else "")

    def start(self, name: str, *arguments):
        started = e.sc("start", name, *arguments)
        self.assertEqual(started.returncode, 0, started)

    def stop(self, launcher, name: str):
        stopped = e.run(launcher, "-stop")
        self.assertEqual((stopped.returncode, stopped.stdout),
                         (0, f"Stopping service '{name}'.\nService stopped\n"))


class WorkedExamplesTest(VmDoubleCase):
    def test_options_and_parameters_of_the_documented_examples_then_a_stop_through_shutdown(self):
        name = "svc"  # the examples' launch argument list holds just the service name
        launcher = self.vm_launcher(name, directory=e.drive_c() / "app", exe_name="tool.exe", extra="""
main_flag = true
[java]
vm_parameters = "-Xrs"
class_path = ["./app.jar"]
main_class = "com.example.Main"
arguments = "--start"
[output]
redirect_stderr = true
stderr_file = "log\\\\err.log"
[include]
runtime = false
""")
        self.start(name)
        wait_for_state(name, RUNNING)
        record = self.record(launcher)
        self.assertEqual(record.options, [
            "-Dbrolt.isService=true",
            "-Dbrolt.moduleName=C:\\app\\tool.exe",
            "-Dbrolt.tempDir=",
            "-Dbrolt.unextractedPosition=0",
            # A service has no console, so the console's output code page reads 0 here.
            "-Dbrolt.consoleCodepage=cp0",
            "-Xrs",
            "-Djava.class.path=C:\\app\\.\\app.jar;",
            "vfprintf hook",
            "exit hook",
            "abort hook",
        ])
        self.assertEqual(record.parameters,
                         ["false", "com.example.Main", "C:\\app\\log\\err.log", "", "true", "svc", "--start"])

        watcher = Watcher(name)
        self.stop(launcher, name)
        self.assertEqual(watcher.states(), [(3, 0, 0), (STOPPED, 0, 0)])
        self.assertEqual(query(name), (STOPPED, 0))
        record = self.record(launcher)
        self.assertEqual(record.after("ExceptionOccurred"), [
            "call FindClass java/lang/Shutdown",
            "call GetStaticMethodID java/lang/Shutdown.exit(I)V",
            "call CallStaticVoidMethodV java/lang/Shutdown.exit 0",
            "exit-hook 0",
        ])
        self.assertFalse([line for line in record.lines if line.startswith("foreign-thread")], record.lines)


class ParametersTest(VmDoubleCase):
    def test_texts_outside_ascii_reach_main_unchanged(self):
        name = e.unique_name("BroltUnicode")
        launcher = self.vm_launcher(name, extra='[java]\narguments = "caf\u00e9 \'x y\'"\n')
        self.point_entry_at(name, f'"{e.win_path(launcher)}" Gr\u00fc\u00dfe "a b"')
        self.start(name, "\u00e9t\u00e9", "\u20ac 5")
        wait_for_state(name, RUNNING)
        self.assertEqual(self.record(launcher).parameters[5:],
                         ["Gr\u00fc\u00dfe", "caf\u00e9", "x y", "a b", name, "\u00e9t\u00e9", "\u20ac 5"])


class ExitCodeTest(VmDoubleCase):
    """The application ends the VM itself, without a stop being asked for."""

    def test_the_service_manager_shows_how_the_application_ended(self):
        aborted = "The Java VM aborted while the application ran. Exit code: 1066, service-specific exit code: 3."
        cases = [
            # (behaviour, exit codes, event log entries: only an abort is a fault the application did not
            # choose)
            ("application_exit 3 300", ERROR_SERVICE_SPECIFIC_ERROR, 3, []),
            ("application_exit 0 300", 0, 0, []),
            ("application_abort 300", ERROR_SERVICE_SPECIFIC_ERROR, 3, [aborted]),
        ]
        for behaviour, win32_exit_code, service_exit, events in cases:
            with self.subTest(behaviour):
                name = e.unique_name("BroltExit")
                launcher = self.vm_launcher(name, behaviour=behaviour)
                temp = launcher.parent / "temp"
                temp.mkdir()
                self.point_entry_at(name, logged_command(f'"{e.win_path(launcher)}"', temp))
                self.start(name)
                self.assertEqual(wait_for_state(name, STOPPED), (STOPPED, win32_exit_code))
                self.assertEqual(service_exit_code(name), service_exit)
                # Registered through cmd.exe, so the status also says the entry runs another program.
                status = e.run(launcher, "-status")
                self.assertEqual(status.stdout.splitlines()[0], "Not running.")
                self.assertEqual(event_log_entries(name), events)


class FailedLaunchTest(VmDoubleCase):
    def test_a_launch_that_fails_is_reported_stopped_with_exit_code_1(self):
        cases = [
            ("creation fails", "", "create_result -1\n"),
            ("main throws", '[output]\nredirect_stderr = true\nstderr_file = "err.log"\n', "main_throws\n"),
            ("runtime class missing", "", "missing_class com/brolt/runtime/WinLauncher\n"),
            ("required archive missing", '[java]\nclass_path = [{ path = "missing.jar", required = true }]\n', ""),
        ]
        for what, extra, behaviour in cases:
            with self.subTest(what):
                name = e.unique_name("BroltFail")
                launcher = self.vm_launcher(name, extra=extra, behaviour=behaviour)
                self.start(name)
                self.assertEqual(wait_for_state(name, STOPPED), (STOPPED, 1))
                record = self.record(launcher)
                if what == "creation fails":
                    self.assertEqual(record.calls, [])
                if what == "main throws":
                    # The launcher reads the exception's text itself: written once, not described too.
                    self.assertNotIn("ExceptionDescribe", record.calls)
                    trace = (launcher.parent / "err.log").read_text()
                    self.assertEqual(trace, "java.lang.IllegalStateException: the application's main failed\n")


class StopTest(VmDoubleCase):
    def test_stop_when_shutdown_has_no_exit_or_the_exit_call_throws(self):
        cases = [
            ("missing_class java/lang/Shutdown\n",
             ["call CallStaticVoidMethodV java/lang/System.exit 0", "exit-hook 0"]),
            ("exit throws\n",
             ["call CallStaticVoidMethodV java/lang/Shutdown.exit 0",
              "call ExceptionOccurred -> java/lang/SecurityException", "call ExceptionClear"]),
        ]
        for behaviour, last_lines in cases:
            with self.subTest(behaviour):
                name = e.unique_name("BroltStop")
                launcher = self.vm_launcher(name, behaviour=behaviour)
                self.start(name)
                wait_for_state(name, RUNNING)
                self.stop(launcher, name)
                self.assertEqual(query(name), (STOPPED, 0))
                self.assertEqual(self.record(launcher).lines[-len(last_lines):], last_lines)

    def test_a_stop_that_arrives_while_the_vm_starts(self):
        name = e.unique_name("BroltEarlyStop")
        # The stop must arrive while the VM is being made: after the start, a query and the control, each
        # a Wine process that takes seconds on a loaded machine.
        launcher = self.vm_launcher(name, behaviour="create_delay_ms 15000\n")
        watcher = Watcher(name)
        self.start(name)
        wait_for_state(name, START_PENDING)
        self.assertEqual(control("control", name, "1").returncode, 0)
        # Never running: once the VM exists the start ends, before main, as the stop that was asked for.
        self.assertEqual([state[0::2] for state in watcher.states()], [(START_PENDING, 0), (3, 0), (STOPPED, 0)])
        self.assertEqual(query(name), (STOPPED, 0))
        record = self.record(launcher)
        self.assertIn("call FindClass com/brolt/runtime/WinLauncher", record.lines)  # the VM was there
        self.assertNotIn("call CallStaticVoidMethodV com/brolt/runtime/WinLauncher.main", record.lines)


class ExtractionFoldersTest(VmDoubleCase):
    def test_ten_starts_and_stops_reuse_the_launchers_stable_folder_and_leave_only_it(self):
        name = e.unique_name("BroltCycles")
        directory = e.workdir("cycles")
        (directory / "app.jar").write_bytes(b"PK\x05\x06" + bytes(18))
        launcher = self.vm_launcher(name, directory=directory, extra='[include]\nfiles = ["app.jar"]\n')
        folders = []
        for _ in range(10):
            self.start(name)
            wait_for_state(name, RUNNING)
            temp_dir = [option for option in self.record(launcher).options
                        if option.startswith("-Dbrolt.tempDir=")][-1]
            folders.append(unix_path(temp_dir.split("=", 1)[1]))
            self.assertTrue((folders[-1] / MARKER).exists(), folders[-1])
            self.stop(launcher, name)
            wait_for_state(name, STOPPED)
        self.assertEqual(len(set(folders)), 1, folders)
        self.assertRegex(folders[0].name, r"^brt_s[0-9a-f]{16}\.tmp$")
        # No other folder of this launcher is left beside it.
        left = [folder for folder in folders[0].parent.iterdir()
                if (folder / MARKER).exists() and
                f"module={e.win_path(launcher)}" in (folder / MARKER).read_text()]
        self.assertEqual(left, [folders[-1]])


if __name__ == "__main__":
    unittest.main()
