#!/usr/bin/env python3
"""Checks that the shipped harvin.exe carries this tree's companions byte for
byte: resource "DATA_EXE" 135 is companions/provscan.exe and "DATA_EXE2" 136
the 64-bit sub-build's pidwalk64.exe.

  check_embedded_companions.py I686_TREE
"""
import os
import sys

import pefile  # Debian's python3-pefile

COMPANIONS = [
    ("DATA_EXE", 135, "companions/provscan.exe"),
    ("DATA_EXE2", 136, "pidwalk64-x64/bin/pidwalk64.exe"),
]


def find_resource(pe, type_name, number):
    """The bytes of the resource type_name/number (any language), or None."""
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for type_entry in directory.entries if directory else []:
        if type_entry.name is None or str(type_entry.name) != type_name:
            continue
        for name_entry in type_entry.directory.entries:
            if name_entry.name is not None or name_entry.id != number:
                continue
            for language in name_entry.directory.entries:
                data = language.data.struct
                return pe.get_data(data.OffsetToData, data.Size)
    return None


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    tree = argv[0]
    harvin = os.path.join(tree, "dist/harvin.exe")
    failures = []
    pe = pefile.PE(harvin, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    for type_name, number, relative in COMPANIONS:
        built_path = os.path.join(tree, relative)
        embedded = find_resource(pe, type_name, number)
        if embedded is None:
            failures.append(f"{harvin}: no resource {type_name} {number}")
            continue
        with open(built_path, "rb") as f:
            built = f.read()
        if embedded != built:
            failures.append(f"{harvin}: resource {type_name} {number} ({len(embedded)} bytes) "
                            f"differs from {built_path} ({len(built)} bytes)")
    for failure in failures:
        print(f"companion check: {failure}", file=sys.stderr)
    if failures:
        return 1
    print("companion check: harvin.exe carries the built provscan.exe and pidwalk64.exe")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
