#!/usr/bin/env python3
"""Checks the import tables of the shipped programs against checked-in lists.

Every function a program imports must be in the list for its oldest Windows:
anything newer has to be looked up at run time, or the program does not start
there. The lists hold exactly what the programs import, so a new import is a
conscious, reviewed addition, and an entry nothing imports any more is removed.

  check_imports.py I686_TREE          check (exit 1 on any violation)
  check_imports.py --print I686_TREE  print the imports in list form
"""
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# (file below the i686 tree, objdump of its architecture, list of allowed imports)
PROGRAMS = [
    ("dist/harvin.exe", "i686-w64-mingw32-objdump", "allowed-win2000-x86.txt"),
    ("companions/provscan.exe", "i686-w64-mingw32-objdump", "allowed-win2000-x86.txt"),
    ("pidwalk64-x64/bin/pidwalk64.exe", "x86_64-w64-mingw32-objdump", "allowed-xp64-x64.txt"),
]

ENTRY = re.compile(r"^\t[0-9a-fA-F]+\s+(\d+)\s+(\S+)")


def read_imports(objdump, path):
    """The imports of a PE file as "dll!Function" (DLL names in lower case;
    an import by ordinal as "dll!#ordinal")."""
    output = subprocess.run([objdump, "-p", path], check=True, capture_output=True,
                            text=True).stdout
    imports = set()
    in_table = False
    dll = None
    for line in output.splitlines():
        if line.startswith("The Import Tables"):
            in_table = True
            continue
        if not in_table:
            continue
        if line.startswith("The ") or line.startswith("PE File"):
            break
        if "DLL Name:" in line:
            dll = line.split("DLL Name:", 1)[1].strip().lower()
            continue
        match = ENTRY.match(line)
        if dll and match:
            hint, name = match.groups()
            imports.add(f"{dll}!{name}" if name != "<none>" else f"{dll}!#{hint}")
    return imports


def read_list(path):
    """The entries of a list file; problems with the file itself as messages."""
    entries, problems = [], []
    with open(path, encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            dll, _, function = line.partition("!")
            if not function or "!" in function or dll != dll.lower():
                problems.append(f"{path}:{number}: '{line}' is not 'dll!Function' with the DLL in lower case")
            entries.append(line)
    if entries != sorted(set(entries)):
        problems.append(f"{path}: entries must be sorted and unique")
    return set(entries), problems


def main(argv):
    printing = "--print" in argv
    args = [a for a in argv if a != "--print"]
    if len(args) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    tree = args[0]

    failures = []
    used = {}  # list file -> entries some program imports
    for relative, objdump, list_name in PROGRAMS:
        path = os.path.join(tree, relative)
        if not os.path.isfile(path):
            failures.append(f"{path}: missing (build the i686 tree first)")
            continue
        imports = read_imports(objdump, path)
        if printing:
            print(f"# {relative}")
            print("\n".join(sorted(imports)))
            continue
        if not imports:
            failures.append(f"{path}: no import table found")
        allowed, problems = read_list(os.path.join(HERE, list_name))
        failures.extend(p for p in problems if p not in failures)
        used.setdefault(list_name, set()).update(imports & allowed)
        for entry in sorted(imports - allowed):
            dll, function = entry.split("!", 1)
            failures.append(f"{path}: imports {dll}!{function}, which is not in "
                            f"tests/shipped/{list_name} (older Windows lack it? look it up at run time)")
    if printing:
        return 0
    for list_name, entries in used.items():
        allowed, _ = read_list(os.path.join(HERE, list_name))
        for entry in sorted(allowed - entries):
            failures.append(f"tests/shipped/{list_name}: {entry} is imported by no program any more; remove it")

    for failure in failures:
        print(f"import check: {failure}", file=sys.stderr)
    if failures:
        return 1
    print(f"import check: {len(PROGRAMS)} programs import only listed functions")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
