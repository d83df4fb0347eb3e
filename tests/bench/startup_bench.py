#!/usr/bin/env python3
"""Start-up benchmark: the time from a service start request to the first line of the application's
main, for the launcher against the least an in-process launcher does (minimal_service.exe: load
jvm.dll, create the VM on the service thread, call main). Both are services of the same service
manager and run the same main (com.example.hotspot.FirstLineApp) on the same jvm.dll and class-data
archive with the same VM options (-Xrs -Xmx256m). Rounds alternate between the two (ABBA), after one
round of each to warm up (the launcher's first start also fills its version cache).

The clock: FirstLineApp's first line reads System.nanoTime(), the monotonic clock this driver reads
right before it asks for the start, so the two readings compare directly.

BROLT_WORD_SIZE (32 unless told otherwise) picks the launcher, the minimal service and the runtime of
that word size (out/win32 with out/jre32's client VM, or out/win64 with out/jre64's server VM), and
that build's service driver and archive; the 64-bit ones need a 64-bit prefix (tests/with-wine --win64).

Prints the median of each, the ratio of the fastest rounds, and "start-overhead: <launcher/minimal>"
(the ratio of the medians).

Then class-data sharing: a class-heavy application (heavy-app.jar, 1,600 classes of its own, whose main
appends the clock once it has used them all) started by the launcher, which archives its classes, and
by the minimal service, which has no archive of them. The launcher includes its jar, and the Java-side
runtime archive as every launcher does; both land in the launcher's stable folder, the same class path
at every start. Before the rounds, two starts with the diagnostic log on check that the first writes
the archive and the second maps it. Each round empties the archive cache, then starts the launcher
twice (the first start, whose stop writes the archive, and a warm one that maps it) and the minimal
service once. Prints "cds-first-start: <first/minimal>" and "cds-ratio: <warm/minimal>" (ratios of
the medians), and the fastest rounds' ratios. Runs inside tests/with-wine.
"""
import os
import pathlib
import re
import shutil
import statistics
import subprocess
import sys
import time

ROOT = pathlib.Path(os.environ.get("BROLT_ROOT", pathlib.Path(__file__).resolve().parents[2]))
BROLTPACK = ROOT / "out" / "host" / "broltpack"
# The VM kind is the one the launcher tries first in each runtime (out/jre64 has only the server VM).
VM_KINDS = {"32": "client", "64": "server"}
WORD_SIZE = os.environ.get("BROLT_WORD_SIZE", "32")
if WORD_SIZE not in VM_KINDS:
    sys.exit(f"startup_bench: BROLT_WORD_SIZE must be one of {sorted(VM_KINDS)}, not {WORD_SIZE!r}")
STUB = ROOT / "out" / f"win{WORD_SIZE}" / "brolt-service.exe"
MINIMAL_SERVICE = ROOT / "out" / f"win{WORD_SIZE}" / "bench" / "minimal_service.exe"
RUNTIME = ROOT / "out" / f"jre{WORD_SIZE}"
VM_KIND = VM_KINDS[WORD_SIZE]
BENCH_SERVICES = ROOT / "out" / f"win{WORD_SIZE}" / "bench" / "bench_services.exe"
APPS_JAR = ROOT / "out" / f"win{WORD_SIZE}" / "tests" / "hotspot-apps.jar"
MAIN_CLASS = "com.example.hotspot.FirstLineApp"
# Each round lasts a fraction of a second; twenty of each keep a busy machine's outliers out of the medians.
ROUND_PAIRS = int(os.environ.get("BROLT_BENCH_ROUNDS", "20"))
HEAVY_JAR = ROOT / "out" / f"win{WORD_SIZE}" / "tests" / "heavy-app.jar"
SERVICE_CONTROL = ROOT / "out" / f"win{WORD_SIZE}" / "tests" / "service_control.exe"
HEAVY_CLASS = "com.example.heavy.HeavyApp"
CDS_ROUNDS = int(os.environ.get("BROLT_BENCH_CDS_ROUNDS", "8"))
# A start takes well under a second; the limit only keeps a broken one from hanging the benchmark.
TIMEOUT_SECONDS = 60


class Services:
    """bench_services.exe, kept running: a start request leaves as soon as it is asked for."""

    def __init__(self):
        self.process = subprocess.Popen(["wine", str(BENCH_SERVICES)], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True, bufsize=1)

    def ask(self, line: str) -> str:
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        reply = self.process.stdout.readline().strip()
        if not reply.startswith("ok"):
            raise RuntimeError(f"{line}: {reply or 'no answer'}")
        return reply

    def close(self):
        self.process.stdin.close()
        self.process.wait(TIMEOUT_SECONDS)


class Contender:
    def __init__(self, label: str, service: str, executable: pathlib.Path, times: pathlib.Path):
        self.label, self.service, self.executable, self.times = label, service, executable, times
        self.samples = []

    def lines(self) -> list:
        return self.times.read_text().split() if self.times.exists() else []

    def running_processes(self) -> bool:
        name = windows_name(self.executable).lower().encode()
        for entry in pathlib.Path("/proc").iterdir():
            try:
                if entry.name.isdigit() and (entry / "cmdline").read_bytes().split(b"\0")[0].lower() == name:
                    return True
            except OSError:
                pass
        return False

    def round(self, services: Services) -> float:
        """One start to main and stop; milliseconds from the start request to main's first line."""
        seen = len(self.lines())
        requested = time.monotonic_ns()
        services.ask(f"start {self.service}")
        deadline = time.monotonic() + TIMEOUT_SECONDS
        while len(self.lines()) == seen:
            if time.monotonic() > deadline:
                raise RuntimeError(f"{self.label}: main did not run within {TIMEOUT_SECONDS} s")
            time.sleep(0.002)
        entered = int(self.lines()[-1])
        services.ask(f"stop {self.service}")
        # The next round starts on a quiet machine: the process has ended, not just reported stopped.
        while self.running_processes():
            if time.monotonic() > deadline:
                raise RuntimeError(f"{self.label}: the process outlived its stop")
            time.sleep(0.01)
        return (entered - requested) / 1e6


def windows_name(path: pathlib.Path) -> str:
    drive_c = pathlib.Path(os.environ["WINEPREFIX"]) / "drive_c"
    return "C:\\" + str(path.relative_to(drive_c)).replace("/", "\\")


def launcher_toml() -> str:
    return f"""[service]
name = "BenchLauncher"
[launcher]
executable_type = 3
[java]
main_class = "{MAIN_CLASS}"
arguments = '%BROLT_EXEDIR%main.txt'
vm_parameters = "-Xrs -Xmx256m"
min_version = "1.8"
search_sequence = ['B.\\jre']
[include]
files = ["{APPS_JAR}"]
"""


def install_launcher(launcher: pathlib.Path, toml_text: str) -> pathlib.Path:
    """The launcher packed from toml_text and installed, its runtime beside it."""
    shutil.copytree(RUNTIME, launcher.parent / "jre")
    (launcher.parent / "app.toml").write_text(toml_text)
    subprocess.run([str(BROLTPACK), "pack", "--stub", str(STUB), "--config", str(launcher.parent / "app.toml"),
                    "-o", str(launcher)], check=True)
    subprocess.run(["wine", str(launcher), "-install"], check=True, stdout=subprocess.DEVNULL)
    return launcher


def set_up(bench: pathlib.Path, services: Services):
    launcher_dir, minimal_dir = bench / "launcher", bench / "minimal"
    for directory in (launcher_dir, minimal_dir):
        directory.mkdir()
    # The launcher as an application ships it, its runtime beside it.
    launcher = install_launcher(launcher_dir / "BenchLauncher.exe", launcher_toml())

    # The minimal one loads the same jvm.dll and main from the same archive.
    minimal = minimal_dir / "minimal_service.exe"
    shutil.copy(MINIMAL_SERVICE, minimal)
    shutil.copy(APPS_JAR, minimal_dir / APPS_JAR.name)
    jvm = windows_name(launcher_dir / "jre" / "bin" / VM_KIND / "jvm.dll")
    services.ask(f"create BenchMinimal {windows_name(minimal)} {jvm} {windows_name(minimal_dir / APPS_JAR.name)} "
                 f"{MAIN_CLASS} {windows_name(minimal_dir / 'main.txt')}")
    return (Contender("launcher", "BenchLauncher", launcher, launcher_dir / "main.txt"),
            Contender("minimal", "BenchMinimal", minimal, minimal_dir / "main.txt"))


def heavy_toml() -> str:
    return f"""[service]
name = "BenchHeavy"
[launcher]
executable_type = 3
[java]
main_class = "{HEAVY_CLASS}"
arguments = '%BROLT_EXEDIR%main.txt'
vm_parameters = "-Xrs -Xmx256m"
min_version = "1.8"
search_sequence = ['B.\\jre']
[include]
files = ["{HEAVY_JAR}"]
"""


def set_up_heavy(bench: pathlib.Path, services: Services):
    launcher_dir, minimal_dir = bench / "heavy", bench / "heavy-minimal"
    for directory in (launcher_dir, minimal_dir):
        directory.mkdir()
    shutil.copy(HEAVY_JAR, minimal_dir)
    launcher = install_launcher(launcher_dir / "BenchHeavy.exe", heavy_toml())
    minimal = minimal_dir / "minimal_service.exe"
    shutil.copy(MINIMAL_SERVICE, minimal)
    jvm = windows_name(launcher_dir / "jre" / "bin" / VM_KIND / "jvm.dll")
    services.ask(f"create BenchHeavyMinimal {windows_name(minimal)} {jvm} {windows_name(minimal_dir / HEAVY_JAR.name)} "
                 f"{HEAVY_CLASS} {windows_name(minimal_dir / 'main.txt')}")
    return (Contender("launcher", "BenchHeavy", launcher, launcher_dir / "main.txt"),
            Contender("minimal", "BenchHeavyMinimal", minimal, minimal_dir / "main.txt"))


def empty_archive_cache():
    for folder in (pathlib.Path(os.environ["WINEPREFIX"]) / "drive_c" / "users").glob("*/AppData/Local/brolt/cds"):
        for path in folder.iterdir():
            path.chmod(0o644)
            path.unlink()


# Wine's service manager gives every service the environment it made for the first one, so the logged
# starts set theirs on the command line: the diagnostic log on, into a temporary folder of their own.
LOGGED_COMMAND = ("C:\\windows\\system32\\cmd.exe /c set TMP={temp}&& set TEMP={temp}&& set BROLT_LOG=yes&& "
                  '"{launcher}"')


# The diagnostic log's line on what a start does with the launcher's archive.
ARCHIVE_USE = re.compile(r"class data sharing: archive .+, (map|write|none: .+)$")


def point_entry_at(service: str, command_line: str):
    subprocess.run(["wine", str(SERVICE_CONTROL), "binary", service, command_line], check=True,
                   stdout=subprocess.DEVNULL)


def check_the_warm_start_maps(launcher: Contender, services: Services, temp: pathlib.Path):
    """Two starts of the class-heavy launcher on an empty archive cache with the diagnostic log on:
    the first must write the archive, the second map it. Stops the benchmark otherwise, since its
    warm figure would then not be one."""
    temp.mkdir()
    empty_archive_cache()
    point_entry_at(launcher.service, LOGGED_COMMAND.format(temp=windows_name(temp),
                                                           launcher=windows_name(launcher.executable)))
    uses = []
    try:
        for _ in range(2):
            seen = set(temp.glob("qdl_nlog_*"))
            launcher.round(services)
            (log,) = set(temp.glob("qdl_nlog_*")) - seen
            text = log.read_text(encoding="cp1252")
            uses.append(next((match[1] for match in map(ARCHIVE_USE.search, text.splitlines()) if match),
                             "no archive"))
    finally:
        point_entry_at(launcher.service, f'"{windows_name(launcher.executable)}"')
    if uses != ["write", "map"]:
        raise RuntimeError(f"{launcher.service}: the first and the second start used the archive as {uses}, "
                           "not write, then map")
    print(f"{launcher.service}: the first start writes the archive, the second maps it")


def class_data_sharing(bench: pathlib.Path, services: Services):
    launcher, minimal = set_up_heavy(bench, services)
    first = Contender("first", launcher.service, launcher.executable, launcher.times)
    try:
        check_the_warm_start_maps(launcher, services, bench / "heavy-logged")
        minimal.round(services)  # warm-up
        for _ in range(CDS_ROUNDS):
            empty_archive_cache()
            first.samples.append(first.round(services))
            launcher.samples.append(launcher.round(services))
            minimal.samples.append(minimal.round(services))
    finally:
        for contender in (launcher, minimal):
            services.ask(f"delete {contender.service}")
    print(f"class-heavy application ({HEAVY_JAR.name}), start request to its classes used, "
          f"median of {CDS_ROUNDS} rounds each (min..max):")
    labels = {"first": "first start (writes the archive)", "launcher": "warm start (maps it)",
              "minimal": "minimal (no archive)"}
    for contender in (first, launcher, minimal):
        samples = contender.samples
        print(f"  {labels[contender.label]:34} {statistics.median(samples):7.1f} ms  "
              f"({min(samples):.1f}..{max(samples):.1f})")
    fastest = min(minimal.samples)
    print(f"fastest rounds: first/minimal {min(first.samples) / fastest:.2f}, "
          f"warm/minimal {min(launcher.samples) / fastest:.2f}")
    baseline = statistics.median(minimal.samples)
    print(f"cds-first-start: {statistics.median(first.samples) / baseline:.2f}")
    print(f"cds-ratio: {statistics.median(launcher.samples) / baseline:.2f}")


def main() -> int:
    if "WINEPREFIX" not in os.environ:
        print("startup_bench: run it through tests/with-wine", file=sys.stderr)
        return 2
    bench = pathlib.Path(os.environ["WINEPREFIX"]) / "drive_c" / "bench"
    bench.mkdir()
    services = Services()
    try:
        contenders = set_up(bench, services)
        for contender in contenders:
            contender.round(services)  # warm-up
        for pair in range(ROUND_PAIRS):
            for contender in contenders if pair % 2 == 0 else reversed(contenders):
                contender.samples.append(contender.round(services))
        for contender in contenders:
            services.ask(f"delete {contender.service}")
    finally:
        services.close()

    print(f"{WORD_SIZE}-bit launcher, {WORD_SIZE}-bit runtime ({VM_KIND} VM):")
    print(f"start request to main's first line, median of {ROUND_PAIRS} rounds each (min..max):")
    for contender in contenders:
        samples = contender.samples
        print(f"  {contender.label:9} {statistics.median(samples):7.1f} ms  ({min(samples):.1f}..{max(samples):.1f})")
    # On a busy machine the medians move with the load; the fastest rounds show the cost with the least of it.
    fastest_launcher, fastest_minimal = (min(contender.samples) for contender in contenders)
    print(f"fastest rounds: launcher/minimal {fastest_launcher / fastest_minimal:.2f}")
    launcher, minimal = (statistics.median(contender.samples) for contender in contenders)
    print(f"start-overhead: {launcher / minimal:.2f}")
    if WORD_SIZE == "64":
        print()
        services = Services()
        try:
            class_data_sharing(bench, services)
        finally:
            services.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
