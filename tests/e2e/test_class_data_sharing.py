"""Class-data sharing of the application's classes with the real VM (HotSpot 17 behind the bridge):
the first stop writes the archive into the per-user cache, the next start maps it, a changed jar runs
its new classes, a cut or garbage archive costs one unshared start, and a launcher that turns sharing
off hands the VM no archive option, nor does one whose service environment attaches an agent (whose start
the VM would otherwise end). A launcher that includes its jar (and the Java-side runtime
archive, as by default) extracts both into its stable folder, so its class path stays the same from
one start to the next and its archive is mapped like that of jars lying beside the launcher.

The other scenarios include nothing: the Java-side runtime archive and the application's jar lie
beside the launcher. The application is a jar compiled here from a one-class source whose text says
which build it is; the VM's class-loading log (the user's own -Xlog option, which reaches the
standard-error file) tells where the class came from.
"""
# word size: 64
import os
import pathlib
import re
import shutil
import subprocess
import tempfile

import brolt_e2e as e
from service_e2e import RUNNING, SERVICES_KEY, logged_command, stable_folder_name, stable_place, wait_for_state
from test_hotspot import APPS_JAR, HotspotCase, read, wait_until

RUNTIME_JAR = e.ROOT / "out" / "host" / "brolt-runtime.jar"
JDK_BIN = pathlib.Path("/usr/lib/jvm/java-17-openjdk-amd64/bin")
MAIN_CLASS = "com.example.cds.Versioned"
# The class as the VM's class-loading log names it when it comes from the archive of the application.
FROM_ARCHIVE = f"{MAIN_CLASS} source: shared objects file (top)"
# The diagnostic log's line on what a start does with the launcher's archive.
ARCHIVE_USE = re.compile(r"class data sharing: archive .+, (map|write|none: .+)$")
SOURCE = """package com.example.cds;

public final class Versioned {
    public static void main(String[] args) throws Exception {
        java.nio.file.Path launcher = java.nio.file.Paths.get(System.getProperty("brolt.moduleName"));
        java.nio.file.Files.write(launcher.resolveSibling("build.txt"), "BUILD".getBytes("UTF-8"));
        new java.util.concurrent.CountDownLatch(1).await();
    }
}
"""


def cache_folder() -> pathlib.Path:
    folders = list(e.drive_c().glob("users/*/AppData/Local"))
    return (folders[0] if folders else e.drive_c() / "users" / "missing") / "brolt" / "cds"


def archives() -> set:
    return set(cache_folder().glob("*.jsa"))


def build_jar(destination: pathlib.Path, build: str):
    """The application's jar, its class saying build: a jar of another size and time for each build."""
    with tempfile.TemporaryDirectory() as work:
        source = pathlib.Path(work) / "Versioned.java"
        source.write_text(SOURCE.replace("BUILD", build))
        subprocess.run([str(JDK_BIN / "javac"), "--release", "8", "-d", work, str(source)], check=True)
        subprocess.run([str(JDK_BIN / "jar"), "cf", str(destination), "-C", work, "com"], check=True)


def toml(name: str, extra: str = "", included: bool = False) -> str:
    """The launcher's configuration: app.jar and brolt-runtime.jar beside it on the class path, or with
    included, app.jar an included file beside the Java-side runtime archive, included by default."""
    class_path = "" if included else 'class_path = ["app.jar", "brolt-runtime.jar"]'
    include = 'files = ["app.jar"]' if included else "runtime = false"
    return f"""[service]
name = "{name}"
[launcher]
executable_type = 3
[java]
main_class = "{MAIN_CLASS}"
{class_path}
vm_parameters = '-Xrs -Xmx256m -Xlog:class+load'
min_version = "1.8"
search_sequence = ['B.\\jre']
{extra}
[output]
redirect_stdout = true
stdout_file = '%BROLT_EXEDIR%out.log'
redirect_stderr = true
stderr_file = '%BROLT_EXEDIR%err.log'
[include]
{include}
"""


class ClassDataSharingTest(HotspotCase):
    def launcher(self, stem: str, extra: str = "", included: bool = False):
        name = e.unique_name(stem)
        directory = e.workdir("cds")
        build_jar(directory / "app.jar", "one")
        if not included:
            shutil.copy(RUNTIME_JAR, directory)
        launcher = self.ship(directory, e.pack(directory, toml(name, extra, included)), name)
        return name, launcher

    def run_once(self, name: str, launcher, other_lines: str = "") -> tuple:
        """One start until main has run, and its stop: the build that ran and whether its class came
        from the archive. Nothing about archives reaches the application's output; other_lines matches
        the lines besides the class-loading log that the VM may print."""
        directory = launcher.parent
        for leftover in ("build.txt", "err.log", "premain.txt"):
            (directory / leftover).unlink(missing_ok=True)
        self.start(name)
        wait_for_state(name, RUNNING)
        build = wait_until(lambda: read(directory / "build.txt"), "the application's main")
        self.stop(launcher, name)
        self.assertEqual(read(directory / "out.log"), "")
        loaded = read(directory / "err.log")
        # The class-loading log the user asked for, and nothing else: no word of the VM about archives.
        self.assertEqual([line for line in loaded.splitlines()
                          if "][class,load] " not in line and not (other_lines and re.fullmatch(other_lines, line))],
                         [])
        self.assertIn(f"{MAIN_CLASS} source:", loaded)
        return build, FROM_ARCHIVE in loaded

    def test_the_first_stop_writes_the_archive_the_next_start_maps_it_and_a_changed_jar_runs_its_own(self):
        name, launcher = self.launcher("CdsRuns")
        before = archives()
        self.assertEqual(self.run_once(name, launcher), ("one", False))
        written = archives() - before
        self.assertEqual(len(written), 1, "one archive per launcher and runtime")
        archive = written.pop()
        self.assertTrue(pathlib.Path(str(archive) + ".stamp").exists())
        self.assertEqual(self.run_once(name, launcher), ("one", True))

        # A new build of the jar: its class runs at once, unshared, and the stop archives it anew.
        build_jar(launcher.parent / "app.jar", "two")
        self.assertEqual(self.run_once(name, launcher), ("two", False))
        self.assertEqual(self.run_once(name, launcher), ("two", True))
        self.assertEqual(archives() - before, {archive})

    def test_a_cut_or_garbage_archive_costs_one_unshared_start_and_is_written_again(self):
        name, launcher = self.launcher("CdsDamaged")
        before = archives()
        self.run_once(name, launcher)
        (archive,) = archives() - before
        sound = archive.read_bytes()
        damages = {"cut": sound[: len(sound) // 2], "garbage": os.urandom(len(sound)), "empty": b""}
        for how, damaged in damages.items():
            with self.subTest(how):
                os.chmod(archive, 0o644)
                archive.write_bytes(damaged)
                self.assertEqual(self.run_once(name, launcher), ("one", False))
                self.assertEqual(self.run_once(name, launcher), ("one", True))

    def test_an_included_jar_stays_in_the_stable_folder_and_its_classes_are_mapped_from_the_second_start(self):
        name, launcher = self.launcher("CdsIncluded", included=True)
        temp = e.workdir("cds-temp")
        self.point_entry_at(name, logged_command(f'"{e.win_path(launcher)}"', temp))
        starts = []
        for expected in (("one", False), ("one", True)):
            logs = set(temp.glob("qdl_nlog_*"))
            self.assertEqual(self.run_once(name, launcher), expected)
            (log,) = set(temp.glob("qdl_nlog_*")) - logs
            lines = log.read_text(encoding="cp1252").splitlines()
            # The last of each option is the one the VM goes by.
            where = dict(line.split(": ", 1)[1].split("=", 1) for line in lines if "vmoption" in line
                         and (": -Dbrolt.tempDir=" in line or ": -Djava.class.path=" in line))
            archive_use = [match[1] for match in map(ARCHIVE_USE.search, lines) if match]
            folder = stable_place() / stable_folder_name(launcher)
            jar = folder / "app.jar"
            self.assertEqual(where["-Dbrolt.tempDir"].lower(), e.win_path(folder).lower())
            self.assertIn(e.win_path(jar).lower(), where["-Djava.class.path"].lower().split(";"))
            starts.append((where, jar.stat().st_mtime_ns, archive_use))
        # The second start: the same folder and class path, the jar as the first start left it, and the
        # archive its stop wrote mapped.
        (first_where, first_time, first_use), (second_where, second_time, second_use) = starts
        self.assertEqual(second_where, first_where)
        self.assertEqual(second_time, first_time)
        self.assertEqual((first_use, second_use), (["write"], ["map"]))

    def test_an_agent_in_the_services_environment_turns_sharing_off_and_every_start_runs_main(self):
        name, launcher = self.launcher("CdsAgentEnv")
        agent = f"-javaagent:{APPS_JAR}=0"
        # Where an administrator attaches an agent to one service: its Environment value. Wine's service
        # manager does not apply that value to the process, so the entry's command line sets the same
        # variable before it runs the launcher, as the service manager would.
        added = e.run("reg", "add", SERVICES_KEY + name, "/v", "Environment", "/t", "REG_MULTI_SZ", "/d",
                      f"JAVA_TOOL_OPTIONS={agent}", "/f")
        self.assertEqual(added.returncode, 0, added)
        temp = e.workdir("cds-temp")
        self.point_entry_at(name, logged_command(f'set JAVA_TOOL_OPTIONS={agent}&& "{e.win_path(launcher)}"',
                                                 temp))
        before = archives()
        for start in ("first", "second"):
            with self.subTest(start):
                logs = set(temp.glob("qdl_nlog_*"))
                # The VM names the variable it took options from; an agent's many classes load before the
                # Java side opens the file, so the start of the class-loading log may be left out.
                other_lines = re.escape(f"Picked up JAVA_TOOL_OPTIONS: {agent}") + r"|\(\d+ bytes of earlier output left out\)"
                self.assertEqual(self.run_once(name, launcher, other_lines), ("one", False))
                self.assertTrue((launcher.parent / "premain.txt").exists(), "the agent's premain did not run")
                (log,) = set(temp.glob("qdl_nlog_*")) - logs
                lines = log.read_text(encoding="cp1252").splitlines()
                self.assertIn(f"class data sharing: not with an agent: {agent} from JAVA_TOOL_OPTIONS", lines)
                options = "\n".join(line for line in lines if "vmoption" in line)
                for option in ("-Xshare", "SharedArchiveFile", "ArchiveClassesAtExit", "AutoCreateSharedArchive"):
                    self.assertNotIn(option, options)
        self.assertEqual(archives() - before, set())

    def test_turned_off_no_archive_option_reaches_the_vm(self):
        name, launcher = self.launcher("CdsOff", "class_data_sharing = false")
        temp = e.workdir("cds-temp")
        self.point_entry_at(name, logged_command(f'"{e.win_path(launcher)}"', temp))
        before = archives()
        self.assertEqual(self.run_once(name, launcher), ("one", False))
        self.assertEqual(archives() - before, set())
        (log,) = temp.glob("qdl_nlog_*")
        text = log.read_text(encoding="cp1252")
        self.assertIn("class data sharing: turned off by java.class_data_sharing", text)
        for option in ("-Xshare", "SharedArchiveFile", "ArchiveClassesAtExit", "AutoCreateSharedArchive", "cds*"):
            self.assertNotIn(option, "\n".join(line for line in text.splitlines() if "vmoption" in line))


if __name__ == "__main__":
    import unittest

    unittest.main()
