"""The runtime search on a packed launcher: which runtime each place yields, in which order, why the
others lost, the version cache, VM kinds, unpacking, and the message by the kind of place.

The launcher is tests/helpers/stand_in_launcher packed like any launcher and run with -probe-runtime: it
runs start-up and the search and prints what it found. The runtimes are made of the doubles in out/win<bits>/tests/doubles, of
the word size under test unless a case asks for the other one. Run with BROLT_WORD_SIZE=64 (in a
64-bit prefix), the scenarios drive the 64-bit build.
"""
import os
import pathlib
import shutil
import subprocess
import time
import unittest

import brolt_e2e as e2e

OWN = e2e.WORD_SIZE
OTHER = e2e.OTHER_WORD_SIZE
DOUBLES = e2e.DOUBLES
PROBE = e2e.TEST_BIN / "stand_in_launcher.exe"
OLD_LINE = 'java version "1.8.0_392"'
MESSAGES = """
[messages]
no_vm_bits = "No JVM could be found on your system. Please install a {0}-bit JVM."
env_vm_not_working_32 = "The {0} envionment variable does not point to a working 32-bit JVM."
env_vm_not_working_64 = "The {0} envionment variable does not point to a working 64-bit JVM."
vm_damaged_32 = "The JVM found at {0} is damaged."
vm_damaged_64 = "The 64-bit JVM found at {0} is damaged."
vm_could_not_start = "The JVM could not be started."
internal_error = "Internal error {0}"
"""
# What each build shows when the runtime of a place does not load: the messages above by word size.
FAILURE_MESSAGES = {
    "32": {"variable": "The {0} envionment variable does not point to a working 32-bit JVM.",
           "directory": "The JVM found at {0} is damaged."},
    "64": {"variable": "The {0} envionment variable does not point to a working 64-bit JVM.",
           "directory": "The 64-bit JVM found at {0} is damaged."},
}
# The header's machine of each word size, as the launcher's log names it.
MACHINES = {"32": "i386", "64": "x86-64"}
# A file time counts 100 ns ticks from 1601; Unix time counts from 1970.
WINDOWS_EPOCH_TICKS = 116444736000000000


def make_runtime(home: pathlib.Path, version_line=OLD_LINE, exit_code="0", kinds=("client",), bin_name="bin",
                 bits=OWN, library_bits=None):
    """A runtime of the doubles of a word size: bin\\java.exe printing version_line and ending with
    exit_code, and the VM library double (of library_bits, when it differs) in bin\\<kind> for each kind."""
    binary = home / bin_name
    binary.mkdir(parents=True, exist_ok=True)
    shutil.copy(DOUBLES[bits] / "java.exe", binary / "java.exe")
    (binary / "java-double.txt").write_text(f"{exit_code}\n{version_line}\n", newline="\r\n")
    for kind in kinds:
        (binary / kind).mkdir(exist_ok=True)
        shutil.copy(DOUBLES[library_bits or bits] / "jvm.dll", binary / kind / "jvm.dll")
    return home


def runs(home: pathlib.Path, bin_name="bin") -> list:
    record = home / bin_name / "java-runs.txt"
    return record.read_text().splitlines() if record.exists() else []


def loads(home: pathlib.Path, kind="client", bin_name="bin") -> list:
    record = home / bin_name / kind / "jvm-loads.txt"
    return record.read_text().splitlines() if record.exists() else []


class Probe:
    """One launcher (the probe packed with a configuration) and how to run it."""

    def __init__(self, directory: pathlib.Path, toml: str):
        self.directory = directory
        directory.mkdir(parents=True, exist_ok=True)
        self.temp = directory / "temp"
        self.temp.mkdir(exist_ok=True)
        self.launcher = e2e.pack(directory, toml + MESSAGES, exe_name="probe.exe", stub=PROBE)

    def run(self, env=None, timeout=180):
        """Runs the probe with the log on; TMP (from Wine's registry otherwise) points at its own folder."""
        for old in self.temp.glob("qdl_nlog_*"):
            old.unlink()
        temp = e2e.win_path(self.temp)
        line = f"set TMP={temp}&& set TEMP={temp}&& {e2e.win_path(self.launcher)} -probe-runtime"
        environment = e2e._environment({"BROLT_LOG": "yes", **(env or {})})
        completed = subprocess.run(["wine", "cmd", "/c", line], cwd=str(self.directory), env=environment,
                                   capture_output=True, timeout=timeout)
        result = e2e.Result(completed.returncode, e2e._decode(completed.stdout), e2e._decode(completed.stderr))
        fields = dict(line.split(": ", 1) for line in result.stdout.splitlines() if ": " in line)
        logs = list(self.temp.glob("qdl_nlog_*"))
        log = logs[0].read_text(encoding="cp1252").replace("\r\n", "\n") if logs else ""
        return result, fields, log


def toml(sequence="", minimum="", kind="b", launcher="", java=""):
    """A probe configuration; values are TOML literal strings, so Windows paths go in as they are."""
    return f"""
[launcher]
executable_type = 3
kind = '{kind}'
{launcher}
[java]
search_sequence = '{sequence}'
min_version = '{minimum}'
{java}
[include]
runtime = false
"""


class SearchCase(unittest.TestCase):
    def setUp(self):
        self.directory = e2e.workdir("search")
        self.addCleanup(shutil.rmtree, self.directory, True)

    def java(self, home: pathlib.Path, name="java.exe", bin_name="bin") -> str:
        # As the launcher names it: links in the path are not resolved.
        return ("C:\\" + str((home / bin_name / name).relative_to(e2e.drive_c())).replace("/", "\\")).lower()


class SearchOrder(SearchCase):
    def test_each_place_in_its_turn(self):
        """One runtime per kind of place; each case leaves the places before it empty or failing."""
        d = self.directory
        good = lambda name: make_runtime(d / name)  # noqa: E731
        old = lambda name: make_runtime(d / name, 'java version "1.4.2_10"')  # noqa: E731
        cases = [
            # (what, search sequence, minimum, files to write, environment, runtimes, the one chosen: by
            # its name in the case's folder when reached by a relative name, else by its own path)
            ("preferred location first", "B.\\seq", "1.5", {".quendrial/pref_jre.cfg": "pref\r\n"}, {},
             [good("pref"), good("seq")], "pref"),
            ("failing preferred location lets the sequence go on", "B.\\seq", "1.5",
             {".quendrial/pref_jre.cfg": "oldpref\n"}, {}, [old("oldpref"), good("seq")], "seq"),
            ("A entry, absolute", f"A{e2e.win_path(d / 'abs')}", "", {}, {}, [good("abs")], d / "abs"),
            ("R entry, relative", "Rrel", "", {}, {}, [good("rel")], "rel"),
            ("E entry with forward slashes", "EBRT_SEARCH_HOME", "", {},
             {"BRT_SEARCH_HOME": e2e.win_path(d / "env").replace("\\", "/")}, [good("env")], d / "env"),
            ("launcher-kind variable after the sequence", "B.\\old", "1.5", {},
             {"BROLT_JAVA_HOME": e2e.win_path(d / "kindvar")}, [old("old"), good("kindvar")], d / "kindvar"),
            ("installer location after the variable", "B.\\old", "1.5",
             {".quendrial/inst_jre.cfg": "inst"}, {}, [old("old"), good("inst")], "inst"),
            ("relative fallback takes an existing runtime without a version check", "B.\\old;Aother", "1.5",
             {}, {}, [old("old")], "old"),
        ]
        for what, sequence, minimum, files, env, _, chosen in cases:
            with self.subTest(what):
                case = d / what.replace(" ", "_").replace(",", "")
                case.mkdir()
                for name, content in files.items():
                    (case / name).parent.mkdir(parents=True, exist_ok=True)
                    (case / name).write_text(content)
                # Relative places are taken relative to the launcher, so each case sees the runtimes
                # through links of its own folder.
                for runtime in [p for p in d.iterdir() if (p / "bin").exists()]:
                    (case / runtime.name).symlink_to(runtime, target_is_directory=True)
                probe = Probe(case, toml(sequence, minimum, launcher="application_directory = '.'"))
                result, fields, log = probe.run(env)
                self.assertEqual("1", fields.get("found"), (result, log))
                self.assertEqual(self.java(case / chosen), fields["java"], log)  # an absolute chosen wins the join

    def test_system_path_and_registry(self):
        d = self.directory
        onpath = make_runtime(d / "onpath")
        # The directories of key 10004 go in front of PATH at start-up, so the path search finds them.
        probe = Probe(d / "s", toml("S;", launcher=f"search_path = '{e2e.win_path(onpath / 'bin')}'"))
        result, fields, log = probe.run()
        self.assertEqual(("1", self.java(onpath)), (fields.get("found"), fields.get("java")), log)

        registered = make_runtime(d / "registered", 'openjdk version "17.0.9" 2023-10-17')
        key = "HKLM\\SOFTWARE\\JavaSoft\\JDK\\17.0.9"
        # In the registry view of the launcher's word size: on a 64-bit system a 32-bit program sees the
        # vendor keys of 32-bit runtimes, a 64-bit program those of 64-bit ones.
        view = f"/reg:{OWN}"
        subprocess.run(["wine", "reg", "add", key, "/v", "JavaHome", "/d", e2e.win_path(registered), "/f", view],
                       env=e2e._environment(), check=True, capture_output=True)
        self.addCleanup(subprocess.run, ["wine", "reg", "delete", "HKLM\\SOFTWARE\\JavaSoft", "/f", view],
                        env=e2e._environment(), capture_output=True)
        probe = Probe(d / "y", toml("Y", minimum="11"))
        result, fields, log = probe.run()
        self.assertEqual(("1", self.java(registered)), (fields.get("found"), fields.get("java")), log)
        self.assertIn("Java version: 17.0.9", log)


class VersionCache(SearchCase):
    def test_a_warm_cache_decides_without_running_the_executable(self):
        home = make_runtime(self.directory / "jre")
        probe = Probe(self.directory, toml("B.\\jre", minimum="1.8"))
        self.assertEqual("1", probe.run()[1].get("found"))
        self.assertEqual(1, len(runs(home)))
        self.assertEqual('"', runs(home)[0][0], "the program path is quoted")

        result, fields, log = probe.run()
        self.assertEqual("1", fields.get("found"))
        self.assertEqual(1, len(runs(home)), "a warm cache must not start java.exe")
        self.assertIn("got version from registry 1.8.0_392", log)

        # A changed executable is run again.
        java = home / "bin" / "java.exe"
        os.utime(java, (time.time() + 60, time.time() + 60))
        self.assertEqual("1", probe.run()[1].get("found"))
        self.assertEqual(2, len(runs(home)))

    def test_a_failing_run_caches_the_failure_marker(self):
        home = make_runtime(self.directory / "jre", exit_code="3")
        probe = Probe(self.directory, toml("B.\\jre", minimum="1.5"))
        self.assertEqual("1", probe.run()[1].get("found"))  # the fallback pass still takes it
        key = "HKCU\\SOFTWARE\\kelvar-dynamics\\brolt\\jvms\\" + self.java(home).replace("\\", "/")
        self.assertEqual(("REG_SZ", "1.0.0"), e2e.reg_query(key).get("Version"))
        probe.run()
        self.assertEqual(1, len(runs(home)), "the cached failure is decided without a run")

    def test_modern_version_lines_and_notices_before_them(self):
        lines = [
            ('openjdk version "17.0.9" 2023-10-17', "17.0.9"),
            ('Picked up JAVA_TOOL_OPTIONS: -Dx=1\njava version "21.0.1" 2023-10-17 LTS', "21.0.1"),
        ]
        for index, (line, version) in enumerate(lines):
            with self.subTest(version):
                home = make_runtime(self.directory / f"jre{index}", line)
                probe = Probe(self.directory / f"p{index}", toml(f"A{e2e.win_path(home)}", minimum="11"))
                result, fields, log = probe.run()
                self.assertEqual("1", fields.get("found"), log)
                self.assertIn(f"got version from execution {version}", log)

    def test_planted_program_at_the_first_blank_never_runs(self):
        # A runtime below a folder with blanks; were its path not quoted, C:\brolt.exe could run.
        parent = e2e.drive_c() / e2e.unique_name("brolt search")
        self.addCleanup(shutil.rmtree, parent, True)
        home = make_runtime(parent / "my jre")
        planted = e2e.drive_c() / (parent.name.split(" ")[0] + ".exe")
        shutil.copy(DOUBLES[OWN] / "java.exe", planted)
        self.addCleanup(planted.unlink)
        probe = Probe(self.directory, toml(f"A{e2e.win_path(home)}"))
        self.assertEqual("1", probe.run()[1].get("found"))
        self.assertEqual(1, len(runs(home)))
        self.assertFalse((e2e.drive_c() / "java-runs.txt").exists(), "the planted program ran")


class HangingRuntime(SearchCase):
    """Slow: a runtime that never answers is ended after the launcher's 60 s limit."""

    def test_a_hanging_run_is_ended_and_caches_nothing(self):
        home = make_runtime(self.directory / "jre", exit_code="hang")
        probe = Probe(self.directory, toml("B.\\jre", minimum="1.5"))
        started = time.monotonic()
        result, fields, log = probe.run(timeout=300)
        self.assertGreaterEqual(time.monotonic() - started, 59)
        self.assertIn("Exit Code 259", log)
        self.assertIn("Terminating process", log)
        key = "HKCU\\SOFTWARE\\kelvar-dynamics\\brolt\\jvms\\" + self.java(home).replace("\\", "/")
        self.assertEqual({}, e2e.reg_query(key))


class LibraryLoading(SearchCase):
    def test_vm_kinds_and_path(self):
        home = make_runtime(self.directory / "jre", kinds=("client", "server"))
        cases = [
            ("fixed order: hotspot missing, client loaded", "", "client", "server"),
            ("key 152 first", "server", "server", "client"),
        ]
        for what, preferred, loaded, untouched in cases:
            with self.subTest(what):
                for kind in ("client", "server"):
                    (home / "bin" / kind / "jvm-loads.txt").unlink(missing_ok=True)
                probe = Probe(self.directory / (preferred or "fixed"),
                              toml(f"A{e2e.win_path(home)}", java=f"preferred_vm = '{preferred}'"))
                result, fields, log = probe.run()
                self.assertEqual("1", fields.get("found"), log)
                self.assertEqual(1, len(loads(home, loaded)), log)
                self.assertEqual([], loads(home, untouched))
                bin_dir = e2e.win_path(home / "bin").lower()
                self.assertTrue(fields["PATH"].endswith(";" + bin_dir), fields["PATH"])
                self.assertTrue(fields["getenv"].endswith(";" + bin_dir), fields["getenv"])
                if not preferred:
                    self.assertIn(f"Trying {bin_dir}\\hotspot\\jvm.dll (exists 0)", log)

    def test_a_development_kit_falls_back_to_its_own_runtime(self):
        # The path search finds the kit's own bin\java.exe, whose bin holds no VM library; the runtime
        # inside the kit, jdk\jre\bin, has one.
        kit = make_runtime(self.directory / "jdk", kinds=())
        make_runtime(kit / "jre")
        probe = Probe(self.directory, toml("S", launcher=f"search_path = '{e2e.win_path(kit / 'bin')}'"))
        result, fields, log = probe.run()
        self.assertEqual(("1", self.java(kit)), (fields.get("found"), fields.get("java")), log)
        self.assertEqual(1, len(loads(kit / "jre")), log)
        self.assertTrue(fields["PATH"].lower().endswith(";" + e2e.win_path(kit / "bin").lower() + "\\..\\jre\\bin"),
                        fields["PATH"])

    def test_failed_load_restores_path_and_shows_the_message_of_the_place(self):
        d = self.directory
        nolib = make_runtime(d / "nolib", kinds=())
        # A runtime whose java.exe has the launcher's word size and whose VM library has the other one.
        mixed = make_runtime(d / "mixed", library_bits=OTHER)
        messages = FAILURE_MESSAGES[OWN]
        library = e2e.win_path(mixed / "bin" / "client" / "jvm.dll").lower()
        # 126: no such module, the runtime has no VM library; 193: not an image this process can load.
        missing = f"LoadLibraryA {e2e.win_path(nolib / 'bin' / 'client' / 'jvm.dll').lower()} failed: 126"
        cases = [
            # (what, search sequence, environment, message, log lines the case writes, the bin directory
            # the launcher tried to load from, None when it found nothing to load)
            ("directory", f"A{e2e.win_path(nolib)}", {}, messages["directory"].format(e2e.win_path(nolib)),
             [f"Testing location {e2e.win_path(nolib)} (type A)", missing], nolib / "bin"),
            ("variable", "EBRT_NOLIB", {"BRT_NOLIB": e2e.win_path(nolib)}, messages["variable"].format("BRT_NOLIB"),
             ["Testing location BRT_NOLIB (type E)", missing], nolib / "bin"),
            ("library of the other word size", f"A{e2e.win_path(mixed)}", {},
             messages["directory"].format(e2e.win_path(mixed)),
             [f"LoadLibraryA {library} failed: 193",
              f"{library}: built for {MACHINES[OTHER]}, a {OTHER}-bit runtime; this launcher is {OWN}-bit"],
             mixed / "bin"),
            # An empty sequence tests no location, and only a search that found nothing says so.
            ("nothing", "", {}, f"No JVM could be found on your system. Please install a {OWN}-bit JVM.",
             ["Searching for a JVM\nSearch sequence finished\nERROR: No JVM found\n"], None),
            ("registry", "Y", {}, "The JVM could not be started.",
             [f"taking {self.java(nolib)} (1.8.0_392) from the vendor keys, none in the located runtimes", missing],
             nolib / "bin"),
        ]
        key = "HKLM\\SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.8"
        view = f"/reg:{OWN}"
        subprocess.run(["wine", "reg", "add", key, "/v", "JavaHome", "/d", e2e.win_path(nolib), "/f", view],
                       env=e2e._environment(), check=True, capture_output=True)
        self.addCleanup(subprocess.run, ["wine", "reg", "delete", "HKLM\\SOFTWARE\\JavaSoft", "/f", view],
                        env=e2e._environment(), capture_output=True)
        for what, sequence, env, message, log_lines, bin_dir in cases:
            with self.subTest(what):
                probe = Probe(d / what.replace(" ", "_"), toml(sequence))
                result, fields, log = probe.run(env)
                self.assertEqual(("0", 1), (fields.get("found"), result.returncode), log)
                self.assertEqual(message, result.stderr.split("\n\nLog: ")[0])
                for line in log_lines:
                    self.assertIn(line, log)
                # The runtime's bin goes at the end of PATH for its load and then the kit's own runtime's
                # for the second try; each failed try puts back the PATH the launcher started with. A
                # search that found nothing never touches PATH.
                path = fields["PATH"]
                expected = []
                if bin_dir is not None:
                    bin_name = e2e.win_path(bin_dir).lower()
                    for tried in (bin_name, bin_name + "\\..\\jre\\bin"):
                        expected += [f"{path};{tried}", path]
                settings = [line.removeprefix("Setting PATH ") for line in log.splitlines()
                            if line.startswith("Setting PATH ")]
                self.assertEqual(expected, settings, log)
                self.assertEqual(path, fields["getenv"], "the runtime library's copy is put back too")


class WordSizes(SearchCase):
    """A machine with runtimes of both word sizes: each build takes its own wherever it comes in the
    search, and never starts or loads the other one, whose java.exe tells its word size."""

    def setUp(self):
        super().setUp()
        missing = [str(DOUBLES[bits]) for bits in DOUBLES if not (DOUBLES[bits] / "java.exe").exists()]
        if missing:
            self.fail(f"the doubles of both word sizes are needed (./run build): {missing}")
        self.runtimes = {bits: make_runtime(self.directory / f"jre{bits}", bits=bits) for bits in ("32", "64")}

    def sequence(self, *bits) -> str:
        return ";".join("B" + e2e.win_path(self.runtimes[b]) for b in bits)

    def assert_own_taken(self, fields, log, other_examined=True):
        self.assertEqual(("1", self.java(self.runtimes[OWN])), (fields.get("found"), fields.get("java")), log)
        rejection = f"wrong word size: built for {MACHINES[OTHER]}, a {OTHER}-bit runtime; this launcher is {OWN}-bit"
        self.assertEqual(other_examined, rejection in log, log)
        self.assertEqual(([], []), (runs(self.runtimes[OTHER]), loads(self.runtimes[OTHER])))
        self.assertEqual(1, len(loads(self.runtimes[OWN])), log)

    def test_each_build_takes_its_own_wherever_it_comes(self):
        cases = [
            # (what, word sizes in search order, minimum)
            ("64-bit first", ("64", "32"), ""),
            ("32-bit first", ("32", "64"), ""),
            # No version fits: the fallback pass takes an existing runtime unchecked, but not one of the
            # other word size.
            ("fallback pass", (OTHER, OWN), "99"),
        ]
        for what, order, minimum in cases:
            with self.subTest(what):
                (self.runtimes[OWN] / "bin" / "client" / "jvm-loads.txt").unlink(missing_ok=True)
                probe = Probe(self.directory / what.replace(" ", "_"), toml(self.sequence(*order), minimum))
                result, fields, log = probe.run()
                self.assert_own_taken(fields, log, other_examined=order[0] == OTHER)

    def test_a_cached_version_does_not_make_the_other_word_size_fit(self):
        # Both runtimes' versions are in the cache, as valid entries; the launcher's own runtime is
        # then taken from the cache, and the other one is still passed over.
        for home in self.runtimes.values():
            java = home / "bin" / "java.exe"
            filetime = java.stat().st_mtime_ns // 100 + WINDOWS_EPOCH_TICKS
            key = "HKCU\\SOFTWARE\\kelvar-dynamics\\brolt\\jvms\\" + self.java(home).replace("\\", "/")
            for value, kind, data in (("LastWriteTime", "REG_BINARY", filetime.to_bytes(8, "little").hex()),
                                      ("Version", "REG_SZ", "1.8.0_392")):
                subprocess.run(["wine", "reg", "add", key, "/v", value, "/t", kind, "/d", data, "/f"],
                               env=e2e._environment(), check=True, capture_output=True)
        probe = Probe(self.directory / "cached", toml(self.sequence(OTHER, OWN), minimum="1.8"))
        result, fields, log = probe.run()
        self.assert_own_taken(fields, log)
        self.assertIn("got version from registry 1.8.0_392", log)
        self.assertEqual([], runs(self.runtimes[OWN]), "the cache decides without a run")


class Unpacking(SearchCase):
    def packed_runtime(self, home, archives=("rt", "charsets", "deploy", "jsse"), unpacker=True):
        make_runtime(home)
        (home / "lib" / "ext").mkdir(parents=True)
        for name in archives:
            (home / "lib" / f"{name}.jar.pack").write_bytes(f"packed {name}".encode())
        if unpacker:
            shutil.copy(DOUBLES[OWN] / "unpack200.exe", home / "bin" / "unpack200.exe")
        return home

    def test_a_packed_runtime_is_restored_once(self):
        home = self.packed_runtime(self.directory / "jre")
        probe = Probe(self.directory, toml("B.\\jre"))
        result, fields, log = probe.run()
        self.assertEqual("1", fields.get("found"), log)
        self.assertEqual(1, result.stdout.count("Preparing JRE ..."))
        self.assertEqual(b"packed jsse", (home / "lib" / "jsse.jar").read_bytes())
        self.assertEqual([], list((home / "lib").glob("*.pack")))
        self.assertIn("pack path doesn't exists", log)  # plugin.jar was never packed

        result, fields, log = probe.run()
        self.assertNotIn("Preparing JRE", result.stdout)

    def test_a_missing_unpacker_ends_with_code_20(self):
        self.packed_runtime(self.directory / "jre", unpacker=False)
        result, fields, log = Probe(self.directory, toml("B.\\jre")).run()
        self.assertEqual(1, result.returncode)
        self.assertEqual("Internal error 20", result.stderr.split("\n\nLog: ")[0])


if __name__ == "__main__":
    unittest.main()
