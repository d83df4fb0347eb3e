#!/usr/bin/env python3
"""Makes the release archives from what the builds left in out/:

    out/dist/brolt-<version>-windows.zip      broltpack.exe (the 64-bit Windows packer)
    out/dist/brolt-<version>-linux-x64.tar.gz broltpack (the Linux packer)

each with both launchers, the Java-side runtime, the user guide, the packer's configuration reference
and the sample service, inside a top folder brolt-<version>/. The version is the VERSION file's.

Two runs over the same inputs give the same bytes: the entries are sorted by name, with one fixed
time, owner and mode by kind, and gzip stores no name or time. When an input is missing, nothing is
written and every missing file is named.

    make_archives.py [--root <source folder>] [--out <folder>]
"""
import argparse
import gzip
import io
import os
import pathlib
import re
import sys
import tarfile
import tomllib
import zipfile

# The oldest time a zip entry can hold; the tar entries take the same moment.
FIXED_ZIP_TIME = (1980, 1, 1, 0, 0, 0)
FIXED_TAR_TIME = 315532800  # 1980-01-01 00:00:00 UTC
EXECUTABLE_MODE = 0o755
FILE_MODE = 0o644
SAMPLE_FOLDER = "sample-service"
# The guide in the source tree writes the version so; the archive's copy names it.
VERSION_PLACEHOLDER = "<version>"


class MissingInputs(Exception):
    def __init__(self, missing):
        self.missing = missing
        super().__init__("missing: " + ", ".join(str(path) for path in missing))


class Entry:
    """One file of an archive: its name below the top folder, where its bytes come from, whether it runs."""

    def __init__(self, name: str, source: pathlib.Path = None, data: bytes = None, executable: bool = False):
        self.name = name
        self.source = source
        self.data = data
        self.executable = executable

    def read(self) -> bytes:
        return self.data if self.data is not None else self.source.read_bytes()


def read_version(root: pathlib.Path) -> str:
    version = (root / "VERSION").read_text(encoding="utf-8").strip()
    if not re.fullmatch(r"\d+\.\d+\.\d+", version):
        raise ValueError(f"{root / 'VERSION'} must hold major.minor.patch, not {version!r}")
    return version


def shipped_sample(toml_path: pathlib.Path):
    """The sample's configuration as shipped, and the files it includes: each included file goes beside
    the configuration under its base name, and the configuration names it so, which leaves the rest of the
    text (comments too) as written."""
    text = toml_path.read_text(encoding="utf-8")
    config = tomllib.loads(text)
    included = config.get("include", {}).get("files", [])
    if isinstance(included, str):
        included = [included]
    sources = []
    for name in included:
        literal = re.compile(r"""(["'])""" + re.escape(name) + r"\1")
        if len(literal.findall(text)) != 1:
            raise ValueError(f"{toml_path}: the included file {name!r} is not written once as a plain string")
        base = pathlib.PurePosixPath(name.replace("\\", "/")).name
        text = literal.sub(lambda match: f'"{base}"', text)
        sources.append((base, (toml_path.parent / name).resolve()))
    shipped = tomllib.loads(text)
    expected = dict(config, include=dict(config.get("include", {}), files=[base for base, _ in sources]))
    if shipped != expected:
        raise ValueError(f"{toml_path}: naming the included files by their base names changed more than them")
    return text.encode("utf-8"), sources


def _guide(root: pathlib.Path) -> Entry:
    """The user guide, its commands naming this version's archive and folder."""
    guide = root / "GUIDE.md"
    if not guide.is_file():
        return Entry("GUIDE.md", guide)
    text = guide.read_text(encoding="utf-8").replace(VERSION_PLACEHOLDER, read_version(root))
    return Entry("GUIDE.md", data=text.encode("utf-8"))


def release_entries(root: pathlib.Path, packer: str) -> list:
    """The entries of one archive: packer "windows" ships broltpack.exe, "linux" the Linux broltpack."""
    out = root / "out"
    packers = {"windows": ("broltpack.exe", out / "win64" / "broltpack.exe"),
               "linux": ("broltpack", out / "host" / "broltpack")}
    packer_name, packer_source = packers[packer]
    entries = [
        Entry(packer_name, packer_source, executable=True),
        Entry("brolt-service-win64.exe", out / "win64" / "brolt-service.exe", executable=True),
        Entry("brolt-service-win32.exe", out / "win32" / "brolt-service.exe", executable=True),
        Entry("brolt-runtime.jar", out / "java" / "brolt-runtime.jar"),
        _guide(root),
        Entry("broltpack-README.md", root / "tools" / "broltpack" / "README.md"),
    ]
    sample = root / "examples" / "sample-service"
    toml_path = sample / "sample-service.toml"
    if toml_path.exists():
        toml_data, included = shipped_sample(toml_path)
        entries.append(Entry(f"{SAMPLE_FOLDER}/sample-service.toml", data=toml_data))
        entries += [Entry(f"{SAMPLE_FOLDER}/{base}", source) for base, source in included]
    else:
        entries.append(Entry(f"{SAMPLE_FOLDER}/sample-service.toml", toml_path))
    for source in sorted((sample / "src").rglob("*.java")):
        entries.append(Entry(f"{SAMPLE_FOLDER}/{source.relative_to(sample).as_posix()}", source))
    missing = [entry.source for entry in entries if entry.data is None and not entry.source.is_file()]
    if missing:
        raise MissingInputs(missing)
    return entries


def _sorted_with_folders(top: str, entries: list) -> list:
    """(name, entry or None for a folder) for every file and every folder above it, sorted by name."""
    items = {}
    for entry in entries:
        name = f"{top}/{entry.name}"
        items[name] = entry
        parent = name.rpartition("/")[0]
        while parent and parent not in items:
            items[parent] = None
            parent = parent.rpartition("/")[0]
    return sorted(items.items(), key=lambda item: item[0].split("/"))


def zip_bytes(top: str, entries: list) -> bytes:
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name, entry in _sorted_with_folders(top, entries):
            if entry is None:
                continue  # a zip's folders are made from its files' names
            info = zipfile.ZipInfo(name, date_time=FIXED_ZIP_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix, so that unzip keeps the modes below
            info.external_attr = (0o100000 | (EXECUTABLE_MODE if entry.executable else FILE_MODE)) << 16
            archive.writestr(info, entry.read(), compresslevel=9)
    return buffer.getvalue()


def tar_gz_bytes(top: str, entries: list) -> bytes:
    tar_buffer = io.BytesIO()
    with tarfile.open(fileobj=tar_buffer, mode="w", format=tarfile.PAX_FORMAT) as archive:
        for name, entry in _sorted_with_folders(top, entries):
            info = tarfile.TarInfo(name)
            info.mtime = FIXED_TAR_TIME
            info.uid = info.gid = 0
            info.uname = info.gname = ""
            if entry is None:
                info.type = tarfile.DIRTYPE
                info.mode = EXECUTABLE_MODE
                archive.addfile(info)
            else:
                data = entry.read()
                info.size = len(data)
                info.mode = EXECUTABLE_MODE if entry.executable else FILE_MODE
                archive.addfile(info, io.BytesIO(data))
    gz_buffer = io.BytesIO()
    with gzip.GzipFile(filename="", mode="wb", fileobj=gz_buffer, mtime=0, compresslevel=9) as compressed:
        compressed.write(tar_buffer.getvalue())
    return gz_buffer.getvalue()


def _write_atomically(path: pathlib.Path, data: bytes):
    temporary = path.with_name(path.name + ".part")
    temporary.write_bytes(data)
    os.replace(temporary, path)


def make_archives(root: pathlib.Path, out: pathlib.Path) -> list:
    """Writes both archives into out; returns their paths. Reads every input before writing anything."""
    version = read_version(root)
    top = f"brolt-{version}"
    archives = []
    errors = []
    for packer, suffix, pack in (("windows", "windows.zip", zip_bytes), ("linux", "linux-x64.tar.gz", tar_gz_bytes)):
        try:
            archives.append((out / f"{top}-{suffix}", pack(top, release_entries(root, packer))))
        except MissingInputs as missing:
            errors += [path for path in missing.missing if path not in errors]
    if errors:
        raise MissingInputs(errors)
    out.mkdir(parents=True, exist_ok=True)
    for path, data in archives:
        _write_atomically(path, data)
    return [path for path, _ in archives]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    here = pathlib.Path(__file__).resolve().parents[2]
    parser.add_argument("--root", type=pathlib.Path, default=here)
    parser.add_argument("--out", type=pathlib.Path)
    arguments = parser.parse_args()
    root = arguments.root.resolve()
    try:
        paths = make_archives(root, arguments.out or root / "out" / "dist")
    except MissingInputs as missing:
        print("make_archives: not made; these inputs are missing:", file=sys.stderr)
        for path in missing.missing:
            print(f"  {path}", file=sys.stderr)
        return 1
    except ValueError as error:
        print(f"make_archives: {error}", file=sys.stderr)
        return 1
    for path in paths:
        print(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
