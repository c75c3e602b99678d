#!/usr/bin/env python3
"""Makes the benchmark's report-like tree from files every Debian machine of
this kind has: the package documentation and the C headers (small text
files, as pages and logs are), a few programs above 1 MiB as dumps, and long
logs made of documentation lines. Names a Windows tree could not hold (case
twins, reserved characters, non-ASCII) are left out, so the program and zip
read the same files.

Usage: bench_tree.py TARGET   (made anew; prints files and bytes)
"""
import os
import re
import shutil
import sys

SOURCES = [("/usr/share/doc", "docs"), ("/usr/include", "headers")]
DUMP_FOLDERS = ["/usr/bin", "/usr/lib/x86_64-linux-gnu", "/usr/lib"]
SAFE = re.compile(r"^[A-Za-z0-9 ._+@#,=~-]+$")


def safe_name(name):
    return SAFE.match(name) is not None and not name.endswith((".", " "))


def copy_tree(source, target):
    files = total = 0
    for folder, subfolders, names in os.walk(source):
        subfolders[:] = sorted(d for d in subfolders if safe_name(d) and not os.path.islink(os.path.join(folder, d)))
        seen = set()
        relative = os.path.relpath(folder, source)
        destination = os.path.join(target, relative) if relative != "." else target
        os.makedirs(destination, exist_ok=True)
        for d in subfolders:
            seen.add(d.lower())
        for name in sorted(names):
            path = os.path.join(folder, name)
            if not safe_name(name) or name.lower() in seen or os.path.islink(path) or not os.path.isfile(path):
                continue
            seen.add(name.lower())
            shutil.copyfile(path, os.path.join(destination, name))
            files += 1
            total += os.path.getsize(path)
    return files, total


def largest_programs(count):
    found = []
    for folder in DUMP_FOLDERS:
        for name in os.listdir(folder):
            path = os.path.join(folder, name)
            if safe_name(name) and os.path.isfile(path) and not os.path.islink(path):
                found.append((os.path.getsize(path), path))
    # Dumps of a few MiB, as a crashed program's would be.
    found.sort(reverse=True)
    return [path for size, path in found if (1 << 20) < size <= (4 << 20)][:count]


def write_log(path, size, lines):
    with open(path, "wb") as out:
        written = 0
        i = 0
        while written < size:
            line = b"%06d %s\r\n" % (i, lines[i % len(lines)])
            out.write(line)
            written += len(line)
            i += 1


def main():
    target = sys.argv[1]
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    files = total = 0
    for source, name in SOURCES:
        if os.path.isdir(source):
            f, t = copy_tree(source, os.path.join(target, name))
            files += f
            total += t
    dumps = os.path.join(target, "Dumps")
    os.makedirs(dumps)
    for i, program in enumerate(largest_programs(4)):
        destination = os.path.join(dumps, f"crash{i}.dmp")
        shutil.copyfile(program, destination)
        files += 1
        total += os.path.getsize(destination)
    logs = os.path.join(target, "LOGs")
    os.makedirs(logs)
    with open("/usr/share/common-licenses/GPL-3", "rb") as f:
        lines = [line.rstrip() for line in f if line.strip()]
    for i, size in enumerate([2 << 20, 12 << 20, 24 << 20]):
        path = os.path.join(logs, f"service{i}.log")
        write_log(path, size, lines[i:] + lines[:i])
        files += 1
        total += os.path.getsize(path)
    print(f"{files} {total}")


if __name__ == "__main__":
    main()
