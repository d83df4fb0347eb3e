"""A real Java VM (HotSpot behind the bridge's jvm.dll) whose start fails, under Wine's service manager:
what the VM itself says, and the text of an exception the Java side's start throws, reach the
redirected standard-error file and the diagnostic log, though a service has no console to print on.
Each launcher ships the 64-bit bridged runtime in "jre" beside it and is registered through cmd.exe, so
its log and temporary folder are its own.
"""
# word size: 64
import shutil
import unittest

import brolt_e2e as e
from service_e2e import ServiceCase, diagnostic_log, event_log_entries, failed_start_event, leftovers
from test_failed_starts import start_registered
from test_hotspot import RUNTIME, START_SECONDS, processes_of, read, wait_until

VM_FAILED = "Error occurred during initialization of VM"
VM_NOT_CREATED = "The Java VM could not be created: "


def failing_toml(name: str, vm_parameters: str) -> str:
    return f"""[service]
name = "{name}"
[launcher]
executable_type = 3
[java]
main_class = "com.example.Missing"
vm_parameters = "{vm_parameters}"
min_version = "1.8"
search_sequence = ['B.\\jre']
[output]
redirect_stdout = true
stdout_file = '%BROLT_EXEDIR%out.log'
redirect_stderr = true
stderr_file = '%BROLT_EXEDIR%logs\\err.log'
"""


class VmOutputTest(ServiceCase):
    def start_failing(self, vm_parameters: str, prepare=None):
        """Starts a service whose start fails, sees it STOPPED and waits for its process to end. Returns
        the exit code the service manager shows, the diagnostic log and the standard-error file."""
        name = e.unique_name("HotspotFails")
        self.addCleanup(self.remove_service, name)
        directory = e.workdir("hotspot-fails")
        self.addCleanup(shutil.rmtree, directory, True)
        launcher = e.pack(directory, failing_toml(name, vm_parameters))
        shutil.copytree(RUNTIME, directory / "jre")
        if prepare is not None:
            prepare(directory)
        temp = directory / "temp"
        temp.mkdir()
        exit_code = start_registered(self, name, launcher, temp, timeout=START_SECONDS)
        wait_until(lambda: not processes_of(launcher), "the service's process to end")
        self.assertEqual(leftovers(temp), [], "extraction folders or temporary files left")
        # A failed start, as a monitor tells it: exit code 1 and one event log entry.
        self.assertEqual(exit_code, 1)
        self.events = event_log_entries(name)
        self.assertEqual(len(self.events), 1, self.events)
        return exit_code, diagnostic_log(temp), read(directory / "logs" / "err.log")

    def test_the_vms_own_message_when_it_cannot_start(self):
        for vm_parameters in ("-Xrs -Xmx1k", "-Xrs -Xms64m -Xmx32m"):
            with self.subTest(vm_parameters):
                _, log, errors = self.start_failing(vm_parameters)
                # Written by the launcher: the Java side never ran to create the folder or the file.
                self.assertIn(VM_FAILED + "\n", errors)
                self.assertIn("heap", errors.split(VM_FAILED, 1)[1])
                self.assertIn("vm: " + VM_FAILED + "\n", log)
                # Each line of the VM's text is a log line of its own.
                message = errors.split(VM_FAILED + "\n", 1)[1].splitlines()[0]
                self.assertIn("vm: " + message + "\n", log)
                # The event carries the VM's own first line, not the configured guess about main.
                self.assertEqual(self.events, [failed_start_event(VM_NOT_CREATED + VM_FAILED)])

    def test_the_exception_of_a_java_side_that_cannot_open_its_output(self):
        # The standard-output file's name is taken by a folder.
        _, log, errors = self.start_failing("-Xrs", lambda directory: (directory / "out.log").mkdir())
        exception = "java.io.FileNotFoundException: "
        self.assertEqual(errors.count(exception), 1, errors)
        self.assertRegex(errors, r"java\.io\.FileNotFoundException: \S*out\.log \(")
        self.assertIn("\tat com.brolt.runtime.WinLauncher.main(", errors)
        self.assertRegex(log, r"\nvm: java\.io\.FileNotFoundException: \S*out\.log \(")
        self.assertIn("an exception occured", log)
        self.assertIn("could not call main", log)
        self.assertRegex(self.events[0], r"^The service could not start the Java application: "
                                         r"java\.io\.FileNotFoundException: \S*out\.log \(.*\)\. Exit code: 1\.$")


if __name__ == "__main__":
    unittest.main()
