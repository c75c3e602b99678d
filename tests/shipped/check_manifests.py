#!/usr/bin/env python3
"""Checks the process manifests of the shipped files: each parses as XML and
names every Windows from Vista on as supported; harvin.exe also asks for the
highest available rights, common controls 6 and DPI awareness.

  check_manifests.py I686_TREE
"""
import os
import sys
import xml.etree.ElementTree as ET

import pefile  # Debian's python3-pefile

ASM1 = "{urn:schemas-microsoft-com:asm.v1}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
SUPPORTED = {  # Vista, 7, 8, 8.1, 10 and 11
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}
FILES = [("dist/harvin.exe", "highestAvailable", True),
         ("companions/provscan.exe", "asInvoker", False),
         ("pidwalk64-x64/bin/pidwalk64.exe", "asInvoker", False)]


def manifest_of(path):
    pe = pefile.PE(path)
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for type_entry in directory.entries if directory else []:
        if type_entry.id != 24:
            continue
        for name_entry in type_entry.directory.entries:
            if name_entry.id == 1:
                data = name_entry.directory.entries[0].data.struct
                return pe.get_data(data.OffsetToData, data.Size)
    return None


def problems_of(path, level, full):
    raw = manifest_of(path)
    if raw is None:
        return ["no process manifest (RT_MANIFEST 1)"]
    root = ET.fromstring(raw)
    found = []
    ids = {e.get("Id") for e in root.iter(COMPAT + "supportedOS")}
    if ids != SUPPORTED:
        found.append(f"supportedOS {sorted(ids)}")
    levels = [e.get("level") for e in root.iter() if e.tag.endswith("requestedExecutionLevel")]
    if levels != [level]:
        found.append(f"requestedExecutionLevel {levels}, expected {level}")
    if full:
        controls = [e for e in root.iter(ASM1 + "assemblyIdentity")
                    if e.get("name") == "Microsoft.Windows.Common-Controls" and e.get("version") == "6.0.0.0"]
        if not controls:
            found.append("no dependency on common controls 6")
        if not [e for e in root.iter() if e.tag.endswith("dpiAware") and (e.text or "").strip() == "true"]:
            found.append("not DPI aware")
    return found


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    failures = []
    for name, level, full in FILES:
        for problem in problems_of(os.path.join(argv[0], name), level, full):
            failures.append(f"manifest check: {name}: {problem}")
    for line in failures:
        print(line)
    if not failures:
        print(f"manifest check: {len(FILES)} programs carry their manifests")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
