"""The launcher's version resource, read back from the built executable: its numbers and texts must be
the version in the VERSION file and name the launcher the release ships for this build.

    BROLT_ROOT=<source folder> BROLT_STUB=<brolt-service.exe> BROLT_PART=<win32|win64> \
        python3 -m unittest test_version_resource
"""
import os
import pathlib
import struct
import unittest

RT_VERSION = 16
RESOURCE_DIRECTORY_INDEX = 2
FIXED_FILE_INFO_SIGNATURE = 0xFEEF04BD


def _file_offset(data: bytes, rva: int) -> int:
    """The offset in the file of a relative virtual address, through the section table."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    table = pe + 24 + optional_size
    for index in range(sections):
        virtual_size, virtual_address, raw_size, raw_offset = struct.unpack_from("<IIII", data, table + index * 40 + 8)
        if virtual_address <= rva < virtual_address + max(virtual_size, raw_size):
            return raw_offset + rva - virtual_address
    raise ValueError(f"address {rva:#x} lies in no section")


def version_resource(data: bytes) -> bytes:
    """The bytes of the first RT_VERSION resource of a PE image."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + {0x10B: 96, 0x20B: 112}[magic]
    resources_rva = struct.unpack_from("<I", data, directories + RESOURCE_DIRECTORY_INDEX * 8)[0]
    if not resources_rva:
        raise ValueError("no resource directory")
    root = _file_offset(data, resources_rva)

    def entries(directory: int):
        named, numbered = struct.unpack_from("<HH", data, directory + 12)
        for index in range(named + numbered):
            name, target = struct.unpack_from("<II", data, directory + 16 + index * 8)
            yield name, target

    def first_below(directory: int, wanted=None) -> int:
        for name, target in entries(directory):
            if wanted is None or name == wanted:
                return target
        raise ValueError(f"no resource entry {wanted}")

    by_name = first_below(root, RT_VERSION)        # type level
    by_language = first_below(root + (by_name & 0x7FFFFFFF))  # name level: the first name
    leaf = first_below(root + (by_language & 0x7FFFFFFF))     # language level: the first language
    rva, size = struct.unpack_from("<II", data, root + leaf)
    start = _file_offset(data, rva)
    return data[start:start + size]


def _align(offset: int) -> int:
    return (offset + 3) & ~3


def parse_block(data: bytes, offset: int = 0):
    """One block of a version resource: (key, value bytes, children, end offset)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_end = offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    value_start = _align(key_end + 2)
    # Text values count their length in characters, binary ones in bytes.
    value_bytes = value_length * 2 if value_type == 1 else value_length
    value = data[value_start:value_start + value_bytes]
    children = []
    child = _align(value_start + value_bytes)
    while child < end:
        block = parse_block(data, child)
        children.append(block[:3])
        child = _align(block[3])
    return key, value, children, end


def read_version_info(path) -> dict:
    """{"fixed": (file version, product version), "strings": {name: text}, "translations": [(lang, cp)]}."""
    key, value, children, _ = parse_block(version_resource(pathlib.Path(path).read_bytes()))
    if key != "VS_VERSION_INFO":
        raise ValueError(f"the version resource starts with {key!r}")
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", value)
    if signature != FIXED_FILE_INFO_SIGNATURE:
        raise ValueError(f"fixed file information signature {signature:#x}")

    def numbers(most, least):
        return (most >> 16, most & 0xFFFF, least >> 16, least & 0xFFFF)

    info = {"fixed": (numbers(file_ms, file_ls), numbers(product_ms, product_ls)), "strings": {},
            "translations": []}
    for child_key, _, blocks in children:
        if child_key == "StringFileInfo":
            for _, _, strings in blocks:
                for name, text, _ in strings:
                    info["strings"][name] = text.decode("utf-16-le").rstrip("\0")
        elif child_key == "VarFileInfo":
            for _, pairs, _ in blocks:
                info["translations"] += list(struct.iter_unpack("<HH", pairs))
    return info


class VersionResourceTest(unittest.TestCase):
    def test_the_launcher_carries_the_version_of_the_version_file(self):
        root = pathlib.Path(os.environ["BROLT_ROOT"])
        part = os.environ["BROLT_PART"]
        version = (root / "VERSION").read_text().strip()
        info = read_version_info(os.environ["BROLT_STUB"])

        numbers = tuple(int(part) for part in version.split(".")) + (0,)
        self.assertEqual(info["fixed"], (numbers, numbers))
        self.assertEqual(info["strings"], {
            "FileDescription": f"brolt service launcher ({part.removeprefix('win')}-bit)",
            "FileVersion": version,
            "InternalName": "brolt-service",
            "OriginalFilename": f"brolt-service-{part}.exe",
            "ProductName": "brolt",
            "ProductVersion": version,
        })
        # The string table's language and code page, which a reader looks up by the translation.
        self.assertEqual(info["translations"], [(0x409, 1200)])


if __name__ == "__main__":
    unittest.main()
