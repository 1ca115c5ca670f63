#!/usr/bin/env python3
"""Checks the resources of a built IP.exe, read from the file's own .rsrc
section: the application icon with its six images, and the version record
(version 1.00, the program's description, its copyright); and that its header
names Windows 10 as the oldest Windows it runs on.

    check-resources.py IP.exe
"""
import struct
import sys

RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
EXPECTED_IMAGES = 6
EXPECTED_STRINGS = {
    "FileVersion": "1.00",
    "ProductVersion": "1.00",
    "FileDescription": "Useful utility to give your IP Address.",
    "LegalCopyright": "Copyright (C) 2026 Kestrune. All rights reserved.",
}
EXPECTED_WINDOWS = (10, 0)


def resources(image):
    """{type id: {name id: data}} from the resource directory, first language."""
    (pe,) = struct.unpack_from("<I", image, 0x3C)
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    rsrc_rva, _ = struct.unpack_from("<II", image, directories + 2 * 8)
    table = optional + optional_size
    spans = []
    for index in range(sections):
        vsize, vaddr, rawsize, rawptr = struct.unpack_from("<IIII", image, table + 40 * index + 8)
        spans.append((vaddr, max(vsize, rawsize), rawptr))

    def offset(rva):
        for vaddr, size, rawptr in spans:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + rawptr
        raise ValueError(f"RVA {rva:#x} outside every section")

    base = offset(rsrc_rva)

    def entries(at):
        named, ids = struct.unpack_from("<HH", image, base + at + 12)
        for index in range(named + ids):
            name, target = struct.unpack_from("<II", image, base + at + 16 + 8 * index)
            yield name, target

    def leaf(target):
        while target & 0x80000000:
            target = next(entries(target & 0x7FFFFFFF))[1]
        rva, size = struct.unpack_from("<II", image, base + target)
        return image[offset(rva):offset(rva) + size]

    found = {}
    for kind, types in entries(0):
        if not types & 0x80000000:
            continue
        for name, target in entries(types & 0x7FFFFFFF):
            found.setdefault(kind, {})[name] = leaf(target)
    return found


def version_strings(block):
    """The StringFileInfo texts of a VS_VERSIONINFO block, by key."""
    texts = {}

    def walk(at, end, parents):
        while at + 6 <= end:
            length, value_length, kind = struct.unpack_from("<HHH", block, at)
            if length == 0:
                break
            key_end = at + 6
            while block[key_end:key_end + 2] != b"\0\0":
                key_end += 2
            key = block[at + 6:key_end].decode("utf-16-le")
            value_at = (key_end + 2 + 3) & ~3
            if parents[1:2] == ["StringFileInfo"] and len(parents) == 3:
                # A String of a StringTable: its value is text, in characters.
                raw = block[value_at:value_at + 2 * value_length].decode("utf-16-le")
                texts[key] = raw.split("\0", 1)[0]
            else:
                # A block: its value (binary, counted in bytes), then children.
                children = (value_at + (value_length if kind == 0 else 2 * value_length) + 3) & ~3
                walk(children, at + length, parents + [key])
            at = (at + length + 3) & ~3

    walk(0, len(block), [])
    return texts


def main(path):
    with open(path, "rb") as file:
        image = file.read()
    found = resources(image)
    failures = []

    groups = found.get(RT_GROUP_ICON, {})
    icons = found.get(RT_ICON, {})
    if len(groups) != 1:
        failures.append(f"{len(groups)} icon groups, not 1")
    for group in groups.values():
        count = struct.unpack_from("<H", group, 4)[0]
        sizes = []
        for index in range(count):
            width, height, _, _, _, bits, size, icon_id = struct.unpack_from(
                "<BBBBHHIH", group, 6 + 14 * index)
            sizes.append(f"{width or 256}x{height or 256}x{bits}")
            data = icons.get(icon_id)
            if data is None or len(data) != size:
                failures.append(f"icon image {icon_id} missing or of the wrong size")
        print(f"icon: {count} images: {' '.join(sizes)}")
        if count != EXPECTED_IMAGES:
            failures.append(f"the icon has {count} images, not {EXPECTED_IMAGES}")

    versions = found.get(RT_VERSION, {})
    if len(versions) != 1:
        failures.append(f"{len(versions)} version records, not 1")
    for block in versions.values():
        texts = version_strings(block)
        for key, expected in EXPECTED_STRINGS.items():
            print(f"version: {key} = {texts.get(key)!r}")
            if texts.get(key) != expected:
                failures.append(f"{key} is {texts.get(key)!r}, not {expected!r}")

    # The optional header of a PE32+ image: the operating system's and the
    # subsystem's version, each major then minor.
    header = struct.unpack_from("<I", image, 0x3C)[0] + 24
    os_version = struct.unpack_from("<HH", image, header + 40)
    subsystem_version = struct.unpack_from("<HH", image, header + 48)
    print(f"header: operating system {os_version}, subsystem {subsystem_version}")
    for name, version in (("operating system", os_version), ("subsystem", subsystem_version)):
        if version != EXPECTED_WINDOWS:
            failures.append(f"the header's {name} version is {version}, not {EXPECTED_WINDOWS}")

    for failure in failures:
        print(f"FAIL!  : {failure}")
    print("PASS   : the icon and the version record" if not failures else
          f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
