"""The service management commands against Wine's service manager: printed lines, exit codes and the
entry they leave in the registry."""
import unittest

import brolt_e2e as e
from service_e2e import (RUNNING, SERVICES_KEY, STOP_PENDING, STOPPED, ServiceCase, query, registry_values,
                         service_toml, wait_for_state)


class InstallTest(ServiceCase):
    def test_install_over_nothing_then_over_a_stopped_and_a_running_entry(self):
        name = e.unique_name("BroltInstall")
        launcher = self.make_launcher(name, '[raw]\n149 = "Tcpip,,Event Log"\nw20017 = "Runs the probe"\n',
                                      stem="my svc")
        installed = f"Installed service '{name}'.\n"

        first = e.run(launcher, "-install")
        self.assertEqual((first.returncode, first.stdout, first.stderr), (0, installed, ""))
        values = registry_values(name)
        # Quoted, so the blank in the directory cannot make "C:\brolt-e2e\my.exe" the program.
        self.assertEqual(values["ImagePath"], ("REG_SZ", f'"{e.win_path(launcher)}"'))
        self.assertEqual(values["Start"], ("REG_DWORD", "0x3"))
        self.assertEqual(values["Type"], ("REG_DWORD", "0x110"))
        self.assertEqual(values["DependOnService"], ("REG_MULTI_SZ", "Tcpip\\0Event Log"))
        self.assertEqual(values["Description"], ("REG_SZ", "Runs the probe"))
        self.assertEqual(values["DisplayName"], ("REG_SZ", name))
        self.assertEqual(values["ObjectName"], ("REG_SZ", "LocalSystem"))

        over_stopped = e.run(launcher, "-install")
        self.assertEqual((over_stopped.returncode, over_stopped.stdout), (0, installed))

        self.run_double_as(launcher, name)
        over_running = e.run(launcher, "-install")
        self.assertEqual(over_running.returncode, 0, over_running)
        self.assertEqual(over_running.stdout, f"Stopping service '{name}'.\nService stopped\n{installed}")
        self.assertTrue((launcher.parent / "stopped.txt").exists(), "the running copy was not stopped")
        self.assertEqual(query(name), (STOPPED, 1077))  # a new entry, never started
        self.assertEqual(registry_values(name)["ImagePath"], ("REG_SZ", f'"{e.win_path(launcher)}"'))

    def test_start_type_by_command_word_and_executable_type(self):
        # (executable type, command word, Start value)
        cases = [
            (3, "-install-auto", "0x2"),
            (3, "-install-demand", "0x3"),
            (4, "-install", "0x2"),
            (4, "-install-demand", "0x3"),
        ]
        for executable_type, word, start in cases:
            with self.subTest(executable_type=executable_type, word=word):
                name = e.unique_name("BroltStart")
                launcher = self.make_launcher(name, executable_type=executable_type)
                result = e.run(launcher, word)
                self.assertEqual((result.returncode, result.stdout), (0, f"Installed service '{name}'.\n"))
                values = registry_values(name)
                self.assertEqual(values["Start"], ("REG_DWORD", start))
                # Neither key 149 nor key 20017 is set: no dependencies, no description.
                self.assertNotIn("Description", values)
                self.assertEqual(values.get("DependOnService", ("REG_MULTI_SZ", ""))[1], "")

    def test_service_name_after_the_command_word_keeps_its_blanks(self):
        configured = e.unique_name("BroltConfigured")
        name = e.unique_name("Brolt Blank Name ")
        launcher = self.make_launcher(configured)
        self.addCleanup(self.remove_service, name)
        words = name.split(" ")

        installed = e.run(launcher, "-install", *words)
        self.assertEqual((installed.returncode, installed.stdout), (0, f"Installed service '{name}'.\n"))
        self.assertEqual(registry_values(name)["DisplayName"], ("REG_SZ", name))
        self.assertIsNone(query(configured))

        status = e.run(launcher, "-status", *words)
        self.assertEqual((status.returncode, status.stdout), (3, "Not running.\n"))
        removed = e.run(launcher, "-uninstall", *words)
        self.assertEqual((removed.returncode, removed.stdout), (0, f"Uninstalled service '{name}'.\n"))
        self.assertIsNone(query(name))


def new_log(before: set) -> str:
    """The diagnostic log that appeared since before was taken (e.log_files())."""
    logs = sorted(e.log_files() - before)
    return logs[0].read_text(encoding="cp1252").replace("\r\n", "\n") if logs else ""


class ProductionInstallTest(ServiceCase):
    """The display name, account, start type and recovery an install applies. Wine stores the entry's
    values, refuses delayed start and the flag that counts an exit with a code as a failure (error 124),
    and takes the restart actions without storing them: those are checked in the warnings and the log."""

    DELAYED_WARNING = "Warning: delayed start (service.start) not set, error 124; the service is installed without it.\n"

    def test_each_account_kind_and_start_type_in_the_registry_then_uninstall(self):
        password = "Pw-" + e.unique_name("secret")
        # (account, start word, command word, executable type, ObjectName, Start, Type, warnings)
        cases = [
            (None, "auto", "-install", 3, "LocalSystem", "0x2", "0x110", ""),
            ("LocalService", "delayed-auto", "-install", 3, "NT AUTHORITY\\LocalService", "0x2", "0x10",
             self.DELAYED_WARNING),
            ("NetworkService", "demand", "-install", 4, "NT AUTHORITY\\NetworkService", "0x3", "0x10", ""),
            ("NT SERVICE\\{name}", "delayed-auto", "-install-demand", 3, "NT SERVICE\\{name}", "0x3", "0x10", ""),
            # Wine takes any user with any password; Windows wants an existing user with the right to log
            # on as a service.
            (".\\brolt-svc", None, "-install-auto", 3, ".\\brolt-svc", "0x2", "0x10", ""),
        ]
        for account, start, word, executable_type, object_name, start_value, service_type, warnings in cases:
            with self.subTest(account=account, start=start, word=word):
                name = e.unique_name("BroltAccount")
                settings = [f'display_name = "Runs {name}"', 'dependencies = ["Tcpip", "Afd"]']
                if account:
                    settings.append(f"account = '{account.format(name=name)}'")
                    settings.append('password_env = "BROLT_TEST_PASSWORD"')
                if start:
                    settings.append(f'start = "{start}"')
                launcher = self.make_launcher(name, executable_type=executable_type,
                                              service="\n".join(settings) + "\n")
                before = e.log_files()
                result = e.run(launcher, word, env={"BROLT_TEST_PASSWORD": password, "BROLT_LOG": "yes"})
                self.assertEqual((result.returncode, result.stdout, result.stderr),
                                 (0, f"Installed service '{name}'.\n", warnings))
                values = registry_values(name)
                self.assertEqual(values["DisplayName"], ("REG_SZ", f"Runs {name}"))
                self.assertEqual(values["ObjectName"], ("REG_SZ", object_name.format(name=name)))
                self.assertEqual(values["DependOnService"], ("REG_MULTI_SZ", "Tcpip\\0Afd"))
                self.assertEqual(values["Start"], ("REG_DWORD", start_value))
                self.assertEqual(values["Type"], ("REG_DWORD", service_type))
                log = new_log(before)
                self.assertIn(f'CreateServiceW "{name}": display name "Runs {name}"', log)
                # The password reaches the service manager and nothing else we write.
                everything = e.run("reg", "query", SERVICES_KEY + name, "/s")
                self.assertNotIn(password, everything.stdout)
                self.assertNotIn(password, log)

                removed = e.run(launcher, "-uninstall")
                self.assertEqual((removed.returncode, removed.stdout), (0, f"Uninstalled service '{name}'.\n"))
                self.assertIsNone(query(name))

    def test_recovery_reaches_the_log_and_what_is_refused_warns(self):
        name = e.unique_name("BroltRecovery")
        launcher = self.make_launcher(
            name, "[service.recovery]\nrestart_delays = [10, 60, 300]\nreset_after = 3600\n")
        before = e.log_files()
        result = e.run(launcher, "-install", env={"BROLT_LOG": "yes"})
        self.assertEqual((result.returncode, result.stdout), (0, f"Installed service '{name}'.\n"))
        self.assertEqual(result.stderr, "Warning: restarts after an exit with a code (service.recovery) not set, "
                                        "error 124; the service is installed without it.\n")
        log = new_log(before)
        self.assertIn("recovery: restart after 10000, 60000, 300000 ms, the last for every later failure; "
                      "count reset after 3600 s\n", log)
        self.assertIn("ChangeServiceConfig2W level 2 (the restart actions (service.recovery)) done\n", log)
        self.assertIn("ERROR: ChangeServiceConfig2W level 4 (restarts after an exit with a code "
                      "(service.recovery)) failed: 124\n", log)
        self.assertEqual(registry_values(name)["Start"], ("REG_DWORD", "0x3"))

    def test_a_configuration_that_cannot_be_carried_out_leaves_the_old_entry_alone(self):
        name = e.unique_name("BroltRefused")
        old = self.make_launcher(name)
        self.assertEqual(e.run(old, "-install-auto").returncode, 0)
        missing = e.unique_name("BROLT_UNSET_")
        # (settings, first line)
        cases = [
            (f"account = '.\\brolt-svc'\npassword_env = \"{missing}\"\n",
             f"The environment variable {missing} (service.password_env) is not set; "
             "the account .\\brolt-svc needs its password."),
            ("account = '.\\brolt-svc'\n",
             'service.account ".\\brolt-svc" is a user account: service.password_env must name the '
             "environment variable that holds its password."),
            ("account = 'brolt-svc'\n", 'service.account "brolt-svc" is no account: use LocalSystem, '
             "LocalService, NetworkService, NT SERVICE\\<name>, .\\user or DOMAIN\\user."),
            # Another service's virtual account: the old entry would go and none would take its place.
            ("account = 'NT SERVICE\\Other'\n",
             f'service.account "NT SERVICE\\Other" is the virtual account of another service; the service '
             f'"{name}" runs under its own, "NT SERVICE\\{name}".'),
            ('start = "delayed"\n',
             'service.start "delayed" is not one of "auto", "delayed-auto" and "demand".'),
            ("recovery.restart_delays = [90000]\n",
             'service.recovery.restart_delays: "90000" is not a number of seconds from 0 to 86400.'),
        ]
        for settings, line in cases:
            with self.subTest(settings=settings):
                refused = e.pack(e.workdir("refused"), service_toml(name, service=settings))
                result = e.run(refused, "-install")
                self.assertEqual((result.returncode, result.stdout), (1, f"{line}\nCould not create service.\n"))
                values = registry_values(name)
                self.assertEqual(values["ImagePath"], ("REG_SZ", f'"{e.win_path(old)}"'))
                self.assertEqual(values["Start"], ("REG_DWORD", "0x2"))


class StatusTest(ServiceCase):
    def test_running_auto_start_service_then_its_uninstall(self):
        name = e.unique_name("BroltRunning")
        launcher = self.make_launcher(name)
        self.assertEqual(e.run(launcher, "-install-auto").returncode, 0)
        self.run_double_as(launcher, name)

        status = e.run(launcher, "-status")
        self.assertEqual((status.returncode, status.stdout), (0, "Running.\nAuto-start.\n"))
        started = e.run(launcher, "-start")
        self.assertEqual((started.returncode, started.stdout), (0, "Service is already running.\n"))

        removed = e.run(launcher, "-uninstall")
        self.assertEqual(removed.returncode, 0, removed)
        self.assertEqual(removed.stdout,
                         f"Stopping service '{name}'.\nService stopped\nUninstalled service '{name}'.\n")
        self.assertIsNone(query(name))
        self.assertEqual(registry_values(name), {})

    def test_stopped_demand_missing_and_other_copy(self):
        name = e.unique_name("BroltStatus")
        launcher = self.make_launcher(name)
        other_copy = e.pack(e.workdir("copy"), (launcher.parent / "app.toml").read_text())
        missing = e.unique_name("BroltMissing")

        self.assertEqual(e.run(launcher, "-install-demand").returncode, 0)
        cases = [
            # (launcher, command tail, exit code, output)
            (launcher, ["-status"], 3, "Not running.\n"),
            (other_copy, ["-status"], 1, f'Not running.\nDifferent service executable: "{e.win_path(launcher)}"\n'),
            (launcher, ["-status", missing], 1, "Could not get status.\n"),
            (launcher, ["-stop"], 1, "Could not stop service.\n"),
            (launcher, ["-start", missing], 1, "Could not start service. Error code: 1060\n"),
            (launcher, ["-uninstall", missing], 1, "Could not delete service.\n"),
        ]
        for program, tail, code, output in cases:
            with self.subTest(program=program.parent.name, tail=tail):
                result = e.run(program, *tail)
                self.assertEqual((result.returncode, result.stdout), (code, output))
        self.assertEqual(query(name), (STOPPED, 1077))


# The stop timeout of the service whose stop outlasts the command's wait.
SERVICE_STOP_SECONDS = 45


class StopTest(ServiceCase):
    def test_a_stop_that_outlasts_the_wait_fails_and_the_service_still_ends_in_its_own_time(self):
        name = e.unique_name("BroltSlowStop")
        # The command waits for the stop timeout it is packed with (1 s) and its margin (15 s); the
        # service's own stop timeout is longer, and its stop never ends by itself. The service must still
        # be stopping when the command has given up, ended and a query has started, each a Wine process
        # that takes seconds on a loaded machine: 45 s leaves it half a minute for that.
        launcher = self.make_launcher(name, "[raw]\n30001 = 1\n")
        self.assertEqual(e.run(launcher, "-install").returncode, 0)
        double = self.run_double_as(launcher, name, f"[raw]\n30001 = {SERVICE_STOP_SECONDS}\n")
        (double.parent / "stop-hangs.txt").write_text("")

        stopped = e.run(launcher, "-stop")
        self.assertEqual((stopped.returncode, stopped.stdout),
                         (1, f"Stopping service '{name}'.\nError while stopping service\n"))
        self.assertEqual(query(name)[0], STOP_PENDING)
        # Forced at the service's own stop timeout, still the stop asked for.
        self.assertEqual(wait_for_state(name, STOPPED, SERVICE_STOP_SECONDS + 30), (STOPPED, 0))
        self.assertIn("SERVICE_EXIT_CODE  : 1053", e.sc("query", name).stdout)


if __name__ == "__main__":
    unittest.main()
