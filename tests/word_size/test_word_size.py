"""The word-size line of a test source decides which builds run the test (cmake/word_size.cmake)."""
import pathlib
import subprocess
import tempfile
import unittest

RULE = pathlib.Path(__file__).resolve().parents[2] / "cmake" / "word_size.cmake"


def word_size_of(text: str) -> subprocess.CompletedProcess:
    with tempfile.TemporaryDirectory() as directory:
        source = pathlib.Path(directory) / "test_source"
        source.write_text(text)
        return subprocess.run(["cmake", f"-DWORD_SIZE_OF={source}", "-P", str(RULE)], capture_output=True,
                              text=True)


class WordSizeLine(unittest.TestCase):
    def test_the_line_names_the_builds(self):
        cases = [
            ("no line: every build", "import unittest\n", "any"),
            ("Python comment", '"""Doc."""\n# word size: 32\n', "32"),
            ("C++ comment, indented", "#include <x>\n  // word size: 64\n", "64"),
            ("the first line counts", "# word size: 64\n# word size: 32\n", "64"),
            ("said outright", "// word size: any\n", "any"),
            ("not in a comment", 'text = "word size: 32"\n', "any"),
        ]
        for what, text, expected in cases:
            with self.subTest(what):
                completed = word_size_of(text)
                self.assertEqual((0, expected), (completed.returncode, completed.stderr.strip()), completed)

    def test_a_word_size_no_build_has_stops_the_configuration(self):
        for value in ("16", "", "32bit"):
            with self.subTest(value):
                completed = word_size_of(f"# word size: {value}\n")
                self.assertNotEqual(0, completed.returncode)
                self.assertIn("the word size must be any, 32 or 64", completed.stderr)


if __name__ == "__main__":
    unittest.main()
