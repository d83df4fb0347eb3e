"""Helpers for the service scenarios: packed launchers, the service entry in the registry, polling
the service manager, and a copy of the launcher whose Java runtime is a stand-in (stand_in_launcher.exe),
which keeps running as a service until it is stopped.
"""
import os
import pathlib
import re
import struct
import subprocess
import time
import unittest

import brolt_e2e as e

SERVICES_KEY = "HKLM\\System\\CurrentControlSet\\Services\\"
SERVICE_CONTROL = e.TEST_BIN / "service_control.exe"
DOUBLE_STUB = e.TEST_BIN / "stand_in_launcher.exe"

STOPPED, START_PENDING, STOP_PENDING, RUNNING = 1, 2, 3, 4


def service_toml(name: str, extra: str = "", executable_type: int = 3, service: str = "") -> str:
    """A configuration for the service name; service holds further lines of the [service] table."""
    return f'[service]\nname = "{name}"\n{service}[launcher]\nexecutable_type = {executable_type}\n{extra}'


def registry_values(name: str) -> dict:
    return e.reg_query(SERVICES_KEY + name)


def query(name: str):
    """(state, win32 exit code) as the service manager reports them, or None for a missing service."""
    text = e.sc("query", name).stdout
    state = re.search(r"STATE\s*:\s*(\d+)", text)
    exit_code = re.search(r"WIN32_EXIT_CODE\s*:\s*(\d+)", text)
    if not state or not exit_code:
        return None
    return int(state.group(1)), int(exit_code.group(1))


def wait_for_state(name: str, state: int, timeout: float = 30.0):
    """Polls until the service reports state; returns (state, exit code) or fails with the last seen."""
    deadline = time.monotonic() + timeout
    seen = query(name)
    while (seen is None or seen[0] != state) and time.monotonic() < deadline:
        time.sleep(0.2)
        seen = query(name)
    if seen is None or seen[0] != state:
        raise AssertionError(f"service {name} did not reach state {state}; last seen {seen}")
    return seen


# Wine's service manager gives every service the environment it made for the first one, so the log,
# the temporary folder and Wine's event log output of each service are set by the command line it is
# registered with.
WRAPPER = ("C:\\windows\\system32\\cmd.exe /c set TMP={temp}&& set TEMP={temp}&& set BROLT_LOG=yes&& "
           "set WINEDEBUG=+eventlog&& {command}")


def logged_command(command: str, temp) -> str:
    """A service command line that runs command with its diagnostic log on and its own temporary folder
    temp (where the log goes), printing its event log entries (event_log_entries)."""
    return WRAPPER.format(temp=e.win_path(temp), command=command)


STABLE_FOLDER = re.compile(r"brt_s[0-9a-f]{16}\.tmp")


def stable_place() -> pathlib.Path:
    """Where launchers keep their stable extraction folders: "brolt" in the local application data of
    the account, which under Wine is the prefix's one user for every service and console run."""
    folders = list(e.drive_c().glob("users/*/AppData/Local"))
    return (folders[0] if folders else e.drive_c() / "users" / "missing") / "brolt"


def stable_folders() -> list:
    """The launchers' stable extraction folders, by name: they stay for the next start."""
    place = stable_place()
    return sorted(path.name for path in place.iterdir()
                  if path.is_dir() and STABLE_FOLDER.fullmatch(path.name)) if place.is_dir() else []


def stable_folder_name(launcher: pathlib.Path) -> str:
    """The name of launcher's stable extraction folder: "brt_s<hash>.tmp", the 64-bit FNV-1a hash of its
    Windows path (ASCII case folded), a zero byte, its size and its write time (FILETIME units), the
    numbers as eight little-endian bytes each."""
    stat = launcher.stat()
    write_time = stat.st_mtime_ns // 100 + 116444736000000000
    data = e.win_path(launcher).lower().encode("cp1252") + b"\0" + struct.pack("<QQ", stat.st_size, write_time)
    value = 0xcbf29ce484222325
    for byte in data:
        value = ((value ^ byte) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return f"brt_s{value:016x}.tmp"


def leftovers(temp) -> list:
    """What a service run by logged_command left in its temporary folder temp: extraction folders and
    its temporary files (brt*.tmp), by name. Stable folders are never there."""
    return sorted(path.name for path in pathlib.Path(temp).iterdir() if path.is_dir() or path.match("brt*.tmp"))


def diagnostic_log(temp) -> str:
    """The diagnostic log a service run by logged_command wrote into temp, or "" when there is none."""
    logs = sorted(pathlib.Path(temp).glob("qdl_nlog_*"))
    return logs[0].read_text(encoding="cp1252").replace("\r\n", "\n") if logs else ""


def _unescape(text: str) -> str:
    """A string as Wine's debug output writes it: backslash escapes, \\xNNNN outside ASCII."""
    return re.sub(r"\\(x[0-9a-fA-F]{4}|.)",
                  lambda m: chr(int(m[1][1:], 16)) if len(m[1]) == 5
                  else {"n": "\n", "r": "\r", "t": "\t"}.get(m[1], m[1]), text)


def event_log_entries(name: str, kinds: bool = False) -> list:
    """The texts of the event log entries services wrote under the source name, oldest first; with kinds,
    each as ("err" or "warn", text). Wine only prints them, on the service manager's standard error
    (BROLT_WINE_ERRORS), and only for a service run with WINEDEBUG=+eventlog; each entry's lines carry
    the writing thread's id."""
    path = os.environ.get("BROLT_WINE_ERRORS")
    if not path or not os.path.exists(path):
        return []
    entries, threads = [], set()
    for line in pathlib.Path(path).read_text(encoding="utf-8", errors="replace").splitlines():
        thread = line.split(":", 1)[0]
        if f'RegisterEventSourceW ((null),L"{name}")' in line:
            threads.add(thread)
            continue
        entry = re.search(r':(err|warn):eventlog:ReportEventW L"', line)
        if thread in threads and entry:
            text = _unescape(line.split('L"', 1)[1].rsplit('"', 1)[0])
            entries.append((entry[1], text) if kinds else text)
            threads.discard(thread)
    return entries


def failed_start_event(message: str) -> str:
    """The event log text of a failed start with that message: a sentence, then the exit code."""
    return f"{message if message.endswith('.') else message + '.'} Exit code: 1."


def control(*args) -> e.Result:
    return e.run(SERVICE_CONTROL, *args)


class ServiceCase(unittest.TestCase):
    """A packed launcher in a fresh directory, and the service entry removed again at the end."""

    def make_launcher(self, name: str, extra: str = "", stem: str = "svc", executable_type: int = 3,
                      service: str = ""):
        directory = e.workdir(stem)
        self.addCleanup(self.remove_service, name)
        return e.pack(directory, service_toml(name, extra, executable_type, service))

    def remove_service(self, name: str):
        if query(name) is None:
            return
        e.sc("stop", name)
        e.sc("delete", name)

    def make_double(self, launcher, name: str, extra: str = ""):
        """The stand-in copy beside the launcher, packed from the same configuration."""
        return e.pack(launcher.parent, service_toml(name, extra), exe_name="Double.exe", stub=DOUBLE_STUB)

    def point_entry_at(self, name: str, command_line: str):
        result = control("binary", name, command_line)
        self.assertEqual(result.returncode, 0, result)

    def run_double_as(self, launcher, name: str, extra: str = ""):
        """Lets the installed entry run the stand-in copy until it is stopped, then points the entry
        back at the launcher, as installed."""
        double = self.make_double(launcher, name, extra)
        self.point_entry_at(name, f'"{e.win_path(double)}"')
        started = e.sc("start", name)
        self.assertEqual(started.returncode, 0, started)
        wait_for_state(name, RUNNING)
        self.point_entry_at(name, f'"{e.win_path(launcher)}"')
        return double


class Watcher:
    """Follows the states a service reports (service_control watch); start before the service starts.
    The watch ends at the stop; its limit only bounds a service that never stops."""

    def __init__(self, name: str, timeout_ms: int = 60000):
        self.process = subprocess.Popen(["wine", str(SERVICE_CONTROL), "watch", name, str(timeout_ms)],
                                        stdout=subprocess.PIPE, env=e._environment())
        ready = self.process.stdout.readline()
        if ready.strip() != b"ready":
            self.process.kill()
            raise AssertionError(f"watcher not ready: {ready!r}")

    def states(self, timeout: float = 90.0):
        """[(state, checkpoint, exit code), ...] up to the stop."""
        output, _ = self.process.communicate(timeout=timeout)
        return [tuple(int(n) for n in m) for m in
                re.findall(r"STATE (\d+) CHECKPOINT (\d+) EXIT (\d+)", output.decode("ascii", "replace"))]
