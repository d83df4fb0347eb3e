"""Shared helpers for the end-to-end scenarios: pack a launcher, run it under Wine, read what it left.

The scenarios run inside tests/with-wine, which provides WINEPREFIX (with its wineserver kept alive)
and BROLT_TEST_DISPLAY (an Xvfb display for scenarios that expect a message box).
"""
import os
import pathlib
import subprocess
import uuid

ROOT = pathlib.Path(os.environ.get("BROLT_ROOT", pathlib.Path(__file__).resolve().parents[2]))
BROLTPACK = ROOT / "out" / "host" / "broltpack"
# The launcher's builds by word size, from the same sources. A scenario runs against the one that
# BROLT_WORD_SIZE names (32 unless told otherwise); the 64-bit one needs a 64-bit prefix
# (tests/with-wine --win64).
BUILDS = {bits: ROOT / "out" / f"win{bits}" for bits in ("32", "64")}
WORD_SIZE = os.environ.get("BROLT_WORD_SIZE", "32")
if WORD_SIZE not in BUILDS:
    raise RuntimeError(f"BROLT_WORD_SIZE must be one of {sorted(BUILDS)}, not {WORD_SIZE!r}")
STUB = BUILDS[WORD_SIZE] / "brolt-service.exe"
TEST_BIN = BUILDS[WORD_SIZE] / "tests"
OTHER_WORD_SIZE = {"32": "64", "64": "32"}[WORD_SIZE]
# The stand-ins for a runtime's programs (java.exe, unpack200.exe, jvm.dll) by word size: the build makes
# those of the other word size too, for the scenarios of a machine with runtimes of both.
DOUBLES = {WORD_SIZE: TEST_BIN / "doubles", OTHER_WORD_SIZE: TEST_BIN / f"doubles{OTHER_WORD_SIZE}"}


def prefix() -> pathlib.Path:
    value = os.environ.get("WINEPREFIX")
    if not value:
        raise RuntimeError("run the end-to-end tests through tests/with-wine")
    return pathlib.Path(value)


def drive_c() -> pathlib.Path:
    return prefix() / "drive_c"


def win_path(path) -> str:
    """The Windows name of a file below the prefix's drive C."""
    relative = pathlib.Path(path).resolve().relative_to(drive_c().resolve())
    return "C:\\" + str(relative).replace("/", "\\")


def unique_name(stem: str) -> str:
    return f"{stem}{uuid.uuid4().hex[:8]}"


def workdir(stem: str, parent: str = "brolt-e2e") -> pathlib.Path:
    """A fresh directory below drive C for one scenario."""
    directory = drive_c() / parent / unique_name(stem)
    directory.mkdir(parents=True)
    return directory


def pack(directory, toml_text: str, exe_name: str = "MyService.exe", stub=STUB) -> pathlib.Path:
    """Writes app.toml into directory and packs a launcher from it; returns the launcher's path."""
    directory = pathlib.Path(directory)
    config = directory / "app.toml"
    config.write_text(toml_text, encoding="utf-8")
    output = directory / exe_name
    subprocess.run([str(BROLTPACK), "pack", "--stub", str(stub), "--config", str(config), "-o", str(output)],
                   check=True, capture_output=True, text=True)
    return output


class Result:
    def __init__(self, returncode: int, stdout: str, stderr: str):
        self.returncode = returncode
        self.stdout = stdout
        self.stderr = stderr

    def __repr__(self):
        return f"Result(rc={self.returncode}, stdout={self.stdout!r}, stderr={self.stderr!r})"


def _decode(data: bytes) -> str:
    return data.decode("cp1252", errors="replace").replace("\r\n", "\n")


def _environment(env=None, display=False):
    environment = dict(os.environ)
    environment.pop("DISPLAY", None)
    for name in ("BROLT_LOG", "QUENDRIAL_LOG"):
        environment.pop(name, None)
    if display:
        environment["DISPLAY"] = os.environ["BROLT_TEST_DISPLAY"]
    if env:
        environment.update(env)
    return environment


def run(program, *args, env=None, cwd=None, timeout=120, display=False) -> Result:
    """Runs a Windows program under Wine and returns its exit code and its output."""
    program = pathlib.Path(program)
    completed = subprocess.run(["wine", str(program), *args], cwd=str(cwd or program.parent),
                               env=_environment(env, display), capture_output=True, timeout=timeout)
    return Result(completed.returncode, _decode(completed.stdout), _decode(completed.stderr))


def run_expecting_message_box(program, *args, env=None, timeout=60):
    """Runs a program that is to show a message box on the test display; reads the box and presses OK.

    Returns (result, caption, text); caption and text are None when no box appeared.
    """
    program = pathlib.Path(program)
    environment = _environment(env, display=True)
    process = subprocess.Popen(["wine", str(program), *args], cwd=str(program.parent), env=environment,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    reader = subprocess.run(["wine", str(TEST_BIN / "msgbox_reader.exe"), str(timeout * 1000 // 2)],
                            env=environment, capture_output=True, timeout=timeout)
    stdout, stderr = process.communicate(timeout=timeout)
    caption = text = None
    if reader.returncode == 0:
        lines = reader.stdout.decode("utf-8", errors="replace").replace("\r\n", "\n")
        caption_part, _, text_part = lines.partition("\ntext: ")
        caption = caption_part.removeprefix("caption: ")
        text = text_part.removesuffix("\n")
    return Result(process.returncode, _decode(stdout), _decode(stderr)), caption, text


def reg_query(key: str) -> dict:
    """The values of a registry key as {name: (type, data)}; empty when the key is missing."""
    completed = subprocess.run(["wine", "reg", "query", key], env=_environment(), capture_output=True)
    values = {}
    for line in _decode(completed.stdout).splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            values[parts[0]] = (parts[1], parts[2] if len(parts) > 2 else "")
    return values


def sc(*args) -> Result:
    completed = subprocess.run(["wine", "sc", *args], env=_environment(), capture_output=True, timeout=120)
    return Result(completed.returncode, _decode(completed.stdout), _decode(completed.stderr))


def stream_offset(path) -> int:
    """Where the configuration stream begins: behind the raw data of the last section."""
    import struct

    data = pathlib.Path(path).read_bytes()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections = struct.unpack_from("<h", data, pe + 6)[0]
    optional = struct.unpack_from("<h", data, pe + 20)[0]
    last = pe + 24 + optional + (sections - 1) * 40
    size, offset = struct.unpack_from("<II", data, last + 16)
    return offset + size


def inspect(path) -> str:
    completed = subprocess.run([str(BROLTPACK), "inspect", str(path)], capture_output=True, text=True, check=True)
    return completed.stdout


def log_files() -> set:
    """The diagnostic logs currently in the prefix's temporary directory and on C:."""
    found = set()
    for directory in [drive_c()] + list((drive_c() / "users").glob("*/Temp")):
        found.update(directory.glob("qdl_nlog_*"))
    return found
