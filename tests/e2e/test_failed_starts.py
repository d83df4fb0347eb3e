"""Every way a service start can fail, under Wine's service manager: the service ends STOPPED with a
non-zero exit code, the launcher's diagnostic log holds the message a user would have been shown, and
the folder the included files went to is gone. Each launcher is the real one, packed with an included
file, installed with sc create and started with sc start; its runtimes are made of the doubles.
"""
# word size: any
import pathlib
import re
import shutil
import time
import unittest

import brolt_e2e as e
from service_e2e import (STOPPED, ServiceCase, diagnostic_log, event_log_entries, failed_start_event, leftovers,
                         logged_command, service_toml, stable_folder_name, stable_place, wait_for_state)
from test_runtime_search import make_runtime, runs

VM_DOUBLE = e.DOUBLES[e.WORD_SIZE] / "jvm.dll"
# The packer's default texts of the messages each case ends with.
NO_VM = f"No Java VM found. A {e.WORD_SIZE}-bit Java runtime is required."
VM_DAMAGED = f"The {e.WORD_SIZE}-bit Java VM found at {{0}} is damaged."
INTERNAL_ERROR = "An internal error occurred. Error code: {0}"
VM_NOT_STARTED = "The Java VM could not be started. The main method may have thrown an exception."
MAIN_CLASS = "Couldn't load main class."
WRONG_PARAMETERS = "Wrong Parameter Usage"
# How long a failed start may take to end its process once STOPPED is reported: polled, so it only
# bounds a process that never ends, and a loaded machine can take many seconds to end one.
PROCESS_END_TIMEOUT = 60.0


def vm_double_runtime(home: pathlib.Path, behaviour: str = "") -> pathlib.Path:
    """A runtime whose VM library is the VM double, told how to behave."""
    make_runtime(home)
    shutil.copy(VM_DOUBLE, home / "bin" / "client" / "jvm.dll")
    (home / "bin" / "client" / "vm_double.cfg").write_text(behaviour)
    return home


def without_runtime_class(home: pathlib.Path) -> pathlib.Path:
    """A runtime whose VM starts but has no class of the Java-side runtime."""
    return vm_double_runtime(home, "missing_class com/brolt/runtime/WinLauncher\n")


def packed_runtime(home: pathlib.Path) -> pathlib.Path:
    """A runtime shipped with packed archives and without the unpacker that restores them."""
    vm_double_runtime(home)
    (home / "lib").mkdir()
    (home / "lib" / "rt.jar.pack").write_bytes(b"packed rt")
    return home


def unloadable_runtime(home: pathlib.Path) -> pathlib.Path:
    """A runtime whose VM library is not a library at all."""
    make_runtime(home)
    (home / "bin" / "client" / "jvm.dll").write_bytes(b"not a library\r\n" * 64)
    return home


def start_registered(case: unittest.TestCase, name: str, launcher: pathlib.Path, temp: pathlib.Path,
                     arguments: str = "", timeout: float = 30.0):
    """Registers the launcher with sc create through cmd.exe (logged_command), with its own log and
    temporary folder in temp and arguments after the program, starts it and waits for STOPPED; returns
    the exit code the service manager shows."""
    command = logged_command(f'"{e.win_path(launcher)}"{arguments}', temp)
    created = e.sc("create", name, "binpath=", command)
    case.assertEqual(created.returncode, 0, created)
    # Not checked: Wine's sc now and then reports a start as failed (1, nothing printed) when the service's
    # process ends within moments; what the service did is what the callers check.
    e.sc("start", name)
    return wait_for_state(name, STOPPED, timeout)[1]


def extraction_folders(temp: pathlib.Path) -> list:
    """The fresh extraction folders in temp; a launcher's stable folder is never there."""
    return [path for path in temp.iterdir() if path.is_dir()]


def wait_until_empty(temp: pathlib.Path, timeout: float) -> list:
    """The extraction folders left in temp once they are gone or the time is up."""
    deadline = time.monotonic() + timeout
    while extraction_folders(temp) and time.monotonic() < deadline:
        time.sleep(0.2)
    return extraction_folders(temp)


class FailedStartTest(ServiceCase):
    def start_failing_service(self, directory: pathlib.Path, java: str, arguments: str = "", prepare=None):
        """Packs a launcher with one included file, installs it with sc create (arguments after the
        program on its command line), starts it with its own temporary folder and waits for STOPPED.
        Returns the exit code the service manager shows, the log of the start, the extraction folders
        and temporary files left once the process had time to end, and its event log entries."""
        name = e.unique_name("BroltFailed")
        self.addCleanup(self.remove_service, name)
        (directory / "app.txt").write_text("included")
        extra = f'{java}\n[include]\nfiles = ["app.txt"]\nruntime = false\n'
        launcher = e.pack(directory, service_toml(name, extra))
        temp = directory / "temp"
        temp.mkdir()
        if prepare is not None:
            prepare(launcher, temp)
        exit_code = start_registered(self, name, launcher, temp, arguments)
        wait_until_empty(temp, PROCESS_END_TIMEOUT)
        left = leftovers(temp)
        return exit_code, diagnostic_log(temp), e.win_path(temp), left, event_log_entries(name)

    def test_each_failure_stops_the_service_with_its_message_and_leaves_no_extraction(self):
        # (what, the runtime laid out at jre, search sequence, arguments on the service's command line,
        # configured arguments, the message). A working runtime follows in the search sequence, so a
        # search that goes on after a failure is seen: that runtime's java.exe runs.
        cases = [
            ("no runtime found", None, "A{dir}\\nowhere", "", "", NO_VM),
            ("unpacker missing", packed_runtime, "A{jre};A{spare}", "", "", INTERNAL_ERROR.format("20")),
            ("VM library unloadable", unloadable_runtime, "A{jre};A{spare}", "", "", VM_DAMAGED.format("{jre}")),
            ("VM creation refused", make_runtime, "A{jre};A{spare}", "", "", VM_NOT_STARTED),
            ("main class missing", without_runtime_class, "A{jre};A{spare}", "", "", MAIN_CLASS),
            ("unclosed quote on the command line", vm_double_runtime, "A{jre};A{spare}", ' "unclosed', "",
             WRONG_PARAMETERS),
            ("unclosed quote in the configured arguments", vm_double_runtime, "A{jre};A{spare}", "",
             'arguments = \'a "unclosed\'', WRONG_PARAMETERS),
        ]
        for what, layout, sequence, arguments, configured, message in cases:
            with self.subTest(what):
                directory = e.workdir("failed")
                self.addCleanup(shutil.rmtree, directory, True)
                places = {"dir": e.win_path(directory), "jre": e.win_path(directory / "jre"),
                          "spare": e.win_path(directory / "spare")}
                if layout is not None:
                    layout(directory / "jre")
                spare = vm_double_runtime(directory / "spare") if "{spare}" in sequence else None
                java = f"[java]\nsearch_sequence = '{sequence.format(**places)}'\n{configured}"

                exit_code, log, temp, left, events = self.start_failing_service(directory, java, arguments)

                self.assertEqual(exit_code, 1, log)
                self.assertIn(message.format(**places), log)
                # One entry, for an operator who looks nowhere else: the message and the exit code; for a
                # VM that could not be created, what the VM itself said rather than the configured guess.
                if message == VM_NOT_STARTED:
                    self.assertEqual(len(events), 1, events)
                    self.assertRegex(events[0], r"^The Java VM could not be created[:;] .*\. Exit code: 1\.$")
                else:
                    self.assertEqual(events, [failed_start_event(message.format(**places))])
                if spare is not None:
                    self.assertEqual(runs(spare), [], "the search went on after the failure")
                # Into the launcher's stable folder, which stays; nothing of the start is left in temp.
                self.assertIn(f"Temp dir: {e.win_path(stable_place())}\\brt_s", log, "nothing was extracted")
                self.assertEqual(left, [])

    def test_a_failed_start_in_a_fresh_folder_removes_it(self):
        # The stable folder's name is taken by a file, so the start extracts into a fresh folder of its
        # own, which its failure must remove (a stable folder stays, and is no evidence).
        directory = e.workdir("failed-fresh")
        self.addCleanup(shutil.rmtree, directory, True)
        taken = []

        def take_stable_name(launcher, temp):
            taken.append(stable_folder_name(launcher))
            place = stable_place()
            place.mkdir(parents=True, exist_ok=True)
            (place / taken[0]).write_text("not a folder")
            self.addCleanup((place / taken[0]).unlink, True)

        java = f"[java]\nsearch_sequence = 'A{e.win_path(directory)}\\nowhere'\n"
        exit_code, log, temp, left, events = self.start_failing_service(directory, java, prepare=take_stable_name)
        self.assertEqual(exit_code, 1, log)
        # The stable name is tried first; the folder the start went on with is the last one named.
        tried = re.findall(r"Temp dir: (.*)\n", log)
        self.assertTrue(tried, log)
        self.assertNotIn(taken[0], tried[-1], "the start used the stable folder after all")
        self.assertIn("_dir", tried[-1])
        self.assertEqual(events, [failed_start_event(NO_VM)])
        self.assertEqual(left, [], "the fresh extraction folder was left")
        self.assertTrue((stable_place() / taken[0]).is_file(), "the file in the stable folder's place was touched")

    def test_a_launcher_cut_short_fails_its_start_with_exit_code_1_and_an_event(self):
        # The last KiB holds part of the included runtime archive: its extraction fails before the
        # service dispatcher is reached, and the start still ends STOPPED with 1 and event 1 rather than
        # with the service manager's timeout.
        name = e.unique_name("BroltCutShort")
        self.addCleanup(self.remove_service, name)
        directory = e.workdir("cut-short")
        self.addCleanup(shutil.rmtree, directory, True)
        launcher = e.pack(directory, service_toml(name))
        launcher.write_bytes(launcher.read_bytes()[:-1024])
        temp = directory / "temp"
        temp.mkdir()
        self.assertEqual(start_registered(self, name, launcher, temp), 1)
        self.assertEqual(event_log_entries(name), [failed_start_event(INTERNAL_ERROR.format("16"))])
        self.assertEqual(leftovers(temp), [])

if __name__ == "__main__":
    unittest.main()
