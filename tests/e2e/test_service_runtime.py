"""The launcher started by Wine's service manager: the states it reports, the launch argument list it
hands to the Java launch, and its answers to controls."""
import unittest

import brolt_e2e as e
from service_e2e import RUNNING, START_PENDING, STOPPED, ServiceCase, Watcher, control, query, wait_for_state


class WithoutJavaTest(ServiceCase):
    def test_reports_start_pending_then_stopped_with_exit_code_1(self):
        name = e.unique_name("BroltNoJava")
        launcher = self.make_launcher(name)
        self.assertEqual(e.run(launcher, "-install").returncode, 0)

        watcher = Watcher(name)
        started = e.run(launcher, "-start")
        self.assertEqual((started.returncode, started.stdout), (0, f"Starting service '{name}'.\n"))
        # Never running: the search finds nothing, and the start ends before any main could be called.
        self.assertEqual([state[0::2] for state in watcher.states()], [(START_PENDING, 0), (STOPPED, 1)])
        self.assertEqual(query(name), (STOPPED, 1))


class WithStandInRuntimeTest(ServiceCase):
    """The launcher's service runtime with a stand-in for the Java runtime, so it keeps running."""

    def test_launch_arguments_interrogation_and_stop(self):
        name = e.unique_name("BroltRuntime")
        launcher = self.make_launcher(name, stem="run time")
        double = self.make_double(launcher, name)
        self.assertEqual(e.run(launcher, "-install").returncode, 0)
        # Arguments on the registered command line come first, then the service name and start arguments.
        self.point_entry_at(name, f"\"{e.win_path(double)}\" -Dx 'y z'")

        self.assertEqual(e.sc("start", name, "a", "b c").returncode, 0)
        wait_for_state(name, RUNNING)
        arguments = (launcher.parent / "launch-arguments.txt").read_text(encoding="utf-8").splitlines()
        self.assertEqual(arguments, ["-Dx", "y z", name, "a", "b c"])

        interrogated = control("control", name, "4")
        self.assertEqual((interrogated.returncode, interrogated.stdout), (0, "STATE 4 CHECKPOINT 0 EXIT 0\n"))

        watcher = Watcher(name)
        stopped = e.run(launcher, "-stop")
        self.assertEqual((stopped.returncode, stopped.stdout), (0, f"Stopping service '{name}'.\nService stopped\n"))
        self.assertEqual(watcher.states(), [(3, 0, 0), (STOPPED, 0, 0)])
        self.assertTrue((launcher.parent / "stopped.txt").exists(), "the Java application was not stopped")
        self.assertEqual(query(name), (STOPPED, 0))


if __name__ == "__main__":
    unittest.main()
