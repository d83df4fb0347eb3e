"""The source folders form layers: a folder includes only headers of its own layer or of lower ones.

    core < config < files < jvm < launch < service < windows

The runtime search hands the launch what it found (not the other way round), so jvm sits below launch.

Only the entry (windows) tells the user anything or ends the process: below it a failure is a value handed
up. The few process ends that cannot wait for the entry are allowed by name, each with its reason. And the runtime search and the launch take their settings as values made at the entry: they never read
the configuration themselves, and neither do the service commands.
"""
import pathlib
import re
import sys
import tempfile
import unittest

LAYERS = ["core", "config", "files", "jvm", "launch", "service", "windows"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.MULTILINE)
SOURCE = pathlib.Path(__file__).resolve().parents[2] / "src"
# Calls that show something to the user or end a process.
ENDING_CALL = re.compile(r"(?<![\w.>:])(?:std::)?(fatalMessage|showMessage|fatalError|showError|showFailure|ExitProcess|"
                         r"TerminateProcess|_exit|exit|abort|MessageBox[AW]?)\s*\(")
COMMENT = re.compile(r"//[^\n]*|/\*.*?\*/", re.DOTALL)
STRING = re.compile(r'"(?:\\.|[^"\\\n])*"')
# The ends below the entry that must stay, each with its reason: a process end that cannot wait for the
# entry to regain control.
ALLOWED_ENDINGS = {
    # A "-version" child that outlived its wait is ended; it is another process, not this one.
    ("jvm/validation.cpp", "TerminateProcess"),
    # The watch ends the process once it has reported a start or a stop past its limit: the thread that
    # would return to the entry is the one that hangs.
    ("service/service_runtime.cpp", "TerminateProcess"),
    # The service thread's stop came back and was reported; the VM may still hold threads that the
    # runtime library's exit would wait for.
    ("service/service_runtime.cpp", "_exit"),
}
# The folders whose code takes its settings as values made at the entry.
SETTINGS_TAKEN = ["files", "jvm", "launch", "service"]


def violations(source: pathlib.Path):
    """Every include of a higher layer, as (file, included header)."""
    found = []
    for path in sorted(source.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        layer = path.relative_to(source).parts[0]
        if layer not in LAYERS:
            continue
        for match in INCLUDE.finditer(path.read_text(encoding="utf-8", errors="replace")):
            target = match.group(1)
            if target in LAYERS and LAYERS.index(target) > LAYERS.index(layer):
                found.append((str(path.relative_to(source)), match.group(0).split('"')[1]))
    return found


def sources(source: pathlib.Path):
    """(layer, path, text without comments) of every source file in a layer folder."""
    for path in sorted(source.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        layer = path.relative_to(source).parts[0]
        if layer in LAYERS:
            text = COMMENT.sub("", path.read_text(encoding="utf-8", errors="replace"))
            yield layer, str(path.relative_to(source)), text


def ending_calls(source: pathlib.Path, allowed=frozenset()):
    """Every call below the entry that shows something or ends a process, as (file, function), but for
    the allowed ones."""
    return [(name, match.group(1)) for layer, name, text in sources(source) if layer != "windows"
            for match in ENDING_CALL.finditer(STRING.sub('""', text)) if (name, match.group(1)) not in allowed]


def configuration_readers(source: pathlib.Path):
    """Every file of the search or the launch that includes the configuration's getters."""
    return [name for layer, name, text in sources(source)
            if layer in SETTINGS_TAKEN and '#include "config/config.h"' in text]


class Layers(unittest.TestCase):
    def test_no_folder_includes_a_higher_one(self):
        self.assertEqual([], violations(SOURCE))

    def test_only_the_entry_shows_or_ends(self):
        self.assertEqual([], ending_calls(SOURCE, ALLOWED_ENDINGS))

    def test_every_allowed_end_is_still_there(self):
        # An allowance whose call went stays no longer than the call.
        self.assertEqual(sorted(ALLOWED_ENDINGS), sorted(set(ending_calls(SOURCE)) & ALLOWED_ENDINGS))

    def test_the_search_and_the_launch_read_no_configuration(self):
        self.assertEqual([], configuration_readers(SOURCE))

    def test_a_call_below_the_entry_is_reported_and_a_comment_is_not(self):
        with tempfile.TemporaryDirectory() as tmp:
            root = pathlib.Path(tmp)
            for folder in ("launch", "windows"):
                (root / folder).mkdir()
            (root / "launch" / "a.cpp").write_text(
                '#include "config/config.h"\n// fatalMessage(1, x) ends it\nvoid f() { ExitProcess (1); }\n'
                'void h() { log("exit(1)"); vm->exit(0); atexit(h); std::exit(2); _exit(3); abort(); }\n'
                'void k() { TerminateProcess(self, 1); }\n')
            (root / "windows" / "b.cpp").write_text('#include "config/config.h"\nvoid g() { fatalMessage(1, 0); }\n')
            self.assertEqual([("launch/a.cpp", "ExitProcess"), ("launch/a.cpp", "exit"), ("launch/a.cpp", "_exit"),
                              ("launch/a.cpp", "abort"), ("launch/a.cpp", "TerminateProcess")], ending_calls(root))
            self.assertEqual([("launch/a.cpp", "ExitProcess"), ("launch/a.cpp", "exit"), ("launch/a.cpp", "_exit"),
                              ("launch/a.cpp", "abort")],
                             ending_calls(root, {("launch/a.cpp", "TerminateProcess")}))
            self.assertEqual(["launch/a.cpp"], configuration_readers(root))

    def test_an_upward_include_is_reported(self):
        with tempfile.TemporaryDirectory() as tmp:
            root = pathlib.Path(tmp)
            (root / "config").mkdir()
            (root / "core").mkdir()
            (root / "config" / "a.cpp").write_text('#include "core/log.h"\n#include "config/b.h"\n')
            (root / "core" / "errors.cpp").write_text('#include <windows.h>\n  #include "config/config.h"\n')
            self.assertEqual([("core/errors.cpp", "config/config.h")], violations(root))


if __name__ == "__main__":
    sys.exit(unittest.main())
