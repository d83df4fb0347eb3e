"""The source folders form layers: a folder includes only headers of its own layer or of lower ones.

    core < config < files < jvm < launch < service < windows

The runtime search hands the launch what it found (not the other way round), so jvm sits below launch.
"""
import pathlib
import re
import sys
import tempfile
import unittest

LAYERS = ["core", "config", "files", "jvm", "launch", "service", "windows"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.MULTILINE)
SOURCE = pathlib.Path(__file__).resolve().parents[2] / "src"


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


class Layers(unittest.TestCase):
    def test_no_folder_includes_a_higher_one(self):
        self.assertEqual([], violations(SOURCE))

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
