"""What a service with a real Java VM (HotSpot behind the bridge) reports to Wine's service manager while
it starts and stops, when the VM takes its time to start, when a stop arrives during the start and when
the application's stop never ends; and that none of these leaves an extraction folder or a temporary
file behind. (A VM that cannot start at all: test_hotspot_failures.)

Each service runs with its own temporary folder and its diagnostic log on (logged_command), so its log,
its event log entries and what it left can be told apart from every other service's.
"""
import re
import threading
import time
import unittest

import brolt_e2e as e
from service_e2e import (RUNNING, START_PENDING, STOP_PENDING, STOPPED, diagnostic_log, event_log_entries,
                         leftovers, logged_command, query)
from test_hotspot import (APPS_JAR, HotspotCase, app_toml, processes_of, read,
                          service_exit_code, wait_until)

# The service-specific exit code a monitor tells a timed-out stop by.
STOP_TIMED_OUT = 1053
# The agent's sleep inside the VM's creation.
SLOW_START_MS = 5000


def status(name: str):
    """(state, checkpoint, wait hint) as the service manager reports them."""
    text = e.sc("query", name).stdout
    fields = [re.search(pattern, text) for pattern in
              (r"STATE\s*:\s*(\d+)", r"CHECKPOINT\s*:\s*0x([0-9a-fA-F]+)", r"WAIT_HINT\s*:\s*0x([0-9a-fA-F]+)")]
    if not all(fields):
        return None
    return int(fields[0][1]), int(fields[1][1], 16), int(fields[2][1], 16)


class ServiceStatesTest(HotspotCase):
    def logged_app(self, stem: str, main_class: str, vm_parameters: str = "-Xrs -Xmx256m", service: str = ""):
        """A launcher of one of the applications, installed, its service run by logged_command."""
        name = e.unique_name(stem)
        directory = e.workdir("states")
        launcher = self.ship(directory, e.pack(directory, app_toml(name, main_class, vm_parameters=vm_parameters,
                                                                   service=service)), name)
        temp = directory / "temp"
        temp.mkdir()
        self.point_entry_at(name, logged_command(f'"{e.win_path(launcher)}"', temp))
        return name, launcher, temp

    def assert_nothing_left(self, launcher, temp):
        wait_until(lambda: not processes_of(launcher), "the service's process to end")
        self.assertEqual(leftovers(temp), [], "extraction folders or temporary files left")

    def test_a_slow_vm_start_is_start_pending_with_a_rising_checkpoint_until_main_is_called(self):
        name, launcher, temp = self.logged_app(
            "HotspotSlowStart", "ArgumentsApp", f"-Xrs -Xmx256m -javaagent:{APPS_JAR}={SLOW_START_MS}")
        begun = time.monotonic()
        self.start(name)
        seen = []
        premain_while_pending = False
        while time.monotonic() - begun < 60:
            current = status(name)
            seen.append(current)
            if current is None or current[0] != START_PENDING:
                break
            premain_while_pending = premain_while_pending or (launcher.parent / "premain.txt").exists()
            time.sleep(0.2)
        self.assertEqual(seen[-1][0], RUNNING, seen)
        self.assertGreaterEqual(time.monotonic() - begun, SLOW_START_MS / 1000)
        pending = seen[:-1]
        self.assertTrue(premain_while_pending, "the VM's creation was not under way while start pending")
        self.assertTrue(all(hint > 0 for _, _, hint in pending), pending)
        checkpoints = [checkpoint for _, checkpoint, _ in pending]
        self.assertEqual(checkpoints, sorted(checkpoints))
        self.assertGreaterEqual(checkpoints[-1], 3, pending)

        wait_until((launcher.parent / "arguments.txt").exists, "the application's main")
        self.stop(launcher, name)
        self.assert_nothing_left(launcher, temp)

    def test_a_stop_during_the_vm_start_ends_the_start_before_main(self):
        name, launcher, temp = self.logged_app(
            "HotspotStopWhileStarting", "ArgumentsApp", f"-Xrs -Xmx256m -javaagent:{APPS_JAR}={SLOW_START_MS}")
        self.start(name)
        wait_until((launcher.parent / "premain.txt").exists, "the agent's premain")
        self.assertEqual(query(name)[0], START_PENDING)

        stopped = e.run(launcher, "-stop")
        self.assertEqual((stopped.returncode, stopped.stdout), (0, f"Stopping service '{name}'.\nService stopped\n"))
        self.assertEqual(query(name), (STOPPED, 0))
        self.assert_nothing_left(launcher, temp)
        self.assertFalse((launcher.parent / "arguments.txt").exists(), "main ran after the stop")
        self.assertIn("stop requested during the start: main not called", diagnostic_log(temp))
        self.assertEqual(event_log_entries(name), [], "a stop asked for is no failure")

    def test_a_start_that_does_not_reach_main_is_ended_after_the_start_timeout(self):
        # The agent's premain sleeps for ever; the start may take 5 s from the process's start.
        name, launcher, temp = self.logged_app(
            "HotspotHangingStart", "ArgumentsApp", f"-Xrs -Xmx256m -javaagent:{APPS_JAR}=1000000000",
            service="start_timeout = 5")
        begun = time.monotonic()
        self.start(name)
        seen = []
        while time.monotonic() - begun < 30:
            current = status(name)
            if current is None or current[0] == STOPPED:
                break
            seen.append(current)
            time.sleep(0.2)
        took = time.monotonic() - begun
        self.assertEqual(query(name), (STOPPED, 1))
        self.assertGreaterEqual(took, 4.5)
        # The limit and a tick, and the start of Wine's process under a loaded machine.
        self.assertLess(took, 9, seen)
        self.assertTrue((launcher.parent / "premain.txt").exists(), "the agent's premain did not run")
        self.assertTrue(all(state == START_PENDING for state, _, _ in seen), seen)
        self.assert_nothing_left(launcher, temp)
        self.assertFalse((launcher.parent / "arguments.txt").exists(), "main ran after the start timed out")
        self.assertIn("start timed out: The service did not start within 5 seconds", diagnostic_log(temp))
        self.assertEqual(event_log_entries(name, kinds=True),
                         [("err", "The service did not start within 5 seconds: the application's main was not "
                                  "called in time, and the start was given up. Exit code: 1.")])

    def test_a_stop_that_does_not_end_is_ended_after_the_stop_timeout(self):
        name, launcher, temp = self.logged_app("HotspotHangingHook", "HangingHookApp", service="stop_timeout = 5")
        self.start(name)
        wait_until((launcher.parent / "started.txt").exists, "the application's main")
        self.assertEqual(query(name), (RUNNING, 0))

        begun = time.monotonic()
        stopping = []
        command = threading.Thread(target=lambda: stopping.append(e.run(launcher, "-stop")))
        command.start()
        # Meanwhile the service shows it is alive: stop pending, its checkpoint rising.
        seen = []
        while command.is_alive():
            current = status(name)
            if current is not None and current[0] == STOP_PENDING:
                seen.append(current)
            time.sleep(0.2)
        command.join()
        took = time.monotonic() - begun
        stopped = stopping[0]
        self.assertEqual((stopped.returncode, stopped.stdout), (0, f"Stopping service '{name}'.\nService stopped\n"))
        self.assertGreaterEqual(took, 4.5)
        # The stop timeout (5 s) ended it, well before the command's own wait (5 s and 15 s more) would
        # have; the command's start, a Wine process, takes seconds of its own on a loaded machine.
        self.assertLess(took, 20)
        checkpoints = [checkpoint for _, checkpoint, _ in seen]
        self.assertEqual(checkpoints, sorted(checkpoints))
        self.assertGreaterEqual(checkpoints[-1] - checkpoints[0], 2, seen)
        self.assertTrue(all(hint > 0 for _, _, hint in seen), seen)
        # The stop asked for, forced: no failure the service manager would restart, but recorded.
        self.assertEqual(query(name), (STOPPED, 0))
        self.assertEqual(service_exit_code(name), STOP_TIMED_OUT)
        self.assertIn("hook started", read(launcher.parent / "out.log"))
        self.assert_nothing_left(launcher, temp)
        self.assertIn("stop timed out: the application did not end within 5 s", diagnostic_log(temp))
        self.assertEqual(event_log_entries(name, kinds=True),
                         [("warn", "The service did not stop within 5 seconds; its process was ended. Exit code: 0, "
                                   f"service-specific exit code: {STOP_TIMED_OUT}.")])


if __name__ == "__main__":
    unittest.main()
