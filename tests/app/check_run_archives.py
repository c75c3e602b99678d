#!/usr/bin/env python3
"""Checks the archives that the worker tests left in tests/out with tools
independent of our writer: unzip -t, zipinfo and Python's zipfile."""
import os
import re
import subprocess
import sys
import zipfile

OUT = sys.argv[1]
COMMENT = b"Norvane Support Information File"
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def unzip_ok(path):
    result = subprocess.run(["unzip", "-t", path], capture_output=True, text=True)
    check(result.returncode == 0 and "No errors detected" in result.stdout, f"unzip -t {path}: {result.stdout}{result.stderr}")


def entry_order_is_folder_first(names):
    seen_folders = set()
    for name in names:
        parent = name.rstrip("/").rpartition("/")[0]
        if parent:
            check(parent + "/" in seen_folders, f"{name} comes before its folder entry")
        if name.endswith("/"):
            seen_folders.add(name)


def check_full_run():
    run = os.path.join(OUT, "worker-run")
    archive = os.path.join(run, "GATHINFO.ZIP")
    unzip_ok(archive)
    with zipfile.ZipFile(archive) as z:
        names = z.namelist()
        check(z.comment == COMMENT, f"comment {z.comment!r}")
        check(names[-1] == "HVREPORT.LOG", f"last entry {names[-1]}")
        for sub in ["Dumps/", "LOGs/", "INIFiles/", "BATFiles/", "SYSInfo/", "Wardex/", "Startup/"]:
            check(sub in names, f"{sub} missing")
        for page in ["INDEX.html", "START.html", "NAVI.html"]:
            check(page in names, f"{page} missing")
        entry_order_is_folder_first(names)
        for info in z.infolist():
            folder = info.filename.endswith("/")
            check(info.external_attr == (16 if folder else 0), f"{info.filename} external {info.external_attr}")
            check(info.compress_type == zipfile.ZIP_DEFLATED, f"{info.filename} not deflated")
            check(info.extra == b"", f"{info.filename} has extra fields")
        # The pages in the archive are the pages on disk.
        root = os.path.join(run, "SupportData")
        for name in ["INDEX.html", "START.html", "NAVI.html"]:
            with open(os.path.join(root, name), "rb") as f:
                check(z.read(name) == f.read(), f"{name} differs from the file on disk")
        log = z.read("HVREPORT.LOG").decode("cp1252")
    with open(os.path.join(run, "status-lines.txt"), "rb") as f:
        status = f.read().decode("cp1252").split("\n")[:-1]
    packing = [i for i, line in enumerate(status) if line.startswith("Packing the report")]
    check(len(packing) == 1, "no packing line in the status lines")
    if packing:
        expected = "Report of Harvin:\n\n" + "".join(line + "\n" for line in status[: packing[0] + 1])
        check(log == expected, f"HVREPORT.LOG differs from the status lines:\n{log!r}\n{expected!r}")
    listing = subprocess.run(["zipinfo", archive], capture_output=True, text=True).stdout
    check("defN" in listing or "defX" in listing, "zipinfo shows no deflated entry")


def check_complete_tree_archive():
    archive = os.path.join(OUT, "archive-run", "complete", "GATHINFO.ZIP")
    unzip_ok(archive)
    with zipfile.ZipFile(archive) as z:
        names = z.namelist()
        check(names[-1] == "HVREPORT.LOG", "HVREPORT.LOG is not last")
        check(z.comment == COMMENT, "comment missing")
        entry_order_is_folder_first(names)
        check("Dumps/" in names and not any(n.startswith("Dumps/") and n != "Dumps/" for n in names),
              "empty folder has more than its entry")
        check(z.read("LOGs/empty.txt") == b"", "empty file is not an empty entry")
        check(z.read("LOGs/netstat.txt") == b"n" * 20000 + b"\r\n", "netstat.txt content differs")
        check(z.getinfo("Wardex/Ordo/").external_attr == 16, "nested folder attributes")
        log = z.read("HVREPORT.LOG").decode("cp1252").split("\n")
        check(log[0] == "Report of Harvin:" and log[1] == "", "run log head")
        check("a" * 254 in log, "the 254-character line is missing")
        check("b" * 255 not in log, "the 255-character line must be left out")
        check("a % sign and %s stays" in log, "a line with percent signs changed")


def check_locked_archive():
    archive = os.path.join(OUT, "archive-run", "locked", "GATHINFO.ZIP")
    with zipfile.ZipFile(archive) as z:
        names = z.namelist()
        check("HVREPORT.LOG" not in names, "a broken walk still wrote the run log")
        check(z.comment == b"", "a broken walk still wrote the comment")
        check(z.testzip() is None, "partial archive is corrupt")


def check_sublocked_archive():
    archive = os.path.join(OUT, "archive-run", "sublocked", "GATHINFO.ZIP")
    unzip_ok(archive)
    with zipfile.ZipFile(archive) as z:
        names = z.namelist()
        check("LOGs/netstat.txt" not in names, "the unreadable file made it into the archive")
        check("Wardex/Ordo/Ordo.html" in names, "the walk stopped instead of going on after the failed folder")
        check(names[-1] == "HVREPORT.LOG" and z.comment == COMMENT, "run log or comment missing")


def check_desktop_copy():
    path_file = os.path.join(OUT, "archive-run", "desktop", "desktop-path.txt")
    with open(path_file) as f:
        windows_path = f.read().strip()
    prefix = os.environ.get("HARVIN_PREFIX")
    if not prefix:
        return
    m = re.match(r"C:\\users\\([^\\]+)\\Desktop\\GATHINFO.ZIP$", windows_path, re.IGNORECASE)
    check(m is not None, f"desktop copy went to {windows_path}")
    if m:
        linux = os.path.join(prefix, "drive_c", "users", m.group(1), "Desktop", "GATHINFO.ZIP")
        check(os.path.isfile(linux) and not os.path.islink(os.path.dirname(linux)),
              f"{linux} is not a real file in the prefix's own desktop folder")


for step in (check_full_run, check_complete_tree_archive, check_locked_archive, check_sublocked_archive,
             check_desktop_copy):
    try:
        step()
    except Exception as error:  # a missing file is a failure, not a crash
        failures.append(f"{step.__name__}: {error!r}")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("archives ok")
