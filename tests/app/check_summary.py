#!/usr/bin/env python3
"""Checks summary.json of the runs the worker tests left in tests/out, with
tools independent of the program: the schema (Debian's python3-jsonschema),
sha256sum of the unpacked files, and NAVI.html for the order of the steps.

  check_summary.py TESTS_OUT SCHEMA
"""
import json
import os
import subprocess
import sys
import tempfile
import zipfile

import jsonschema

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def sha256sums(folder, paths):
    result = subprocess.run(["sha256sum", "--", *paths], cwd=folder, capture_output=True, text=True, check=True)
    return {line[66:]: line[:64] for line in result.stdout.splitlines()}


def check_run(archive, schema, complete):
    with tempfile.TemporaryDirectory() as unpacked, zipfile.ZipFile(archive) as z:
        names = z.namelist()
        if not check("summary.json" in names, f"{archive}: no summary.json"):
            return None
        z.extractall(unpacked)
        summary = json.loads(z.read("summary.json").decode("utf-8"))
        try:
            jsonschema.validate(summary, schema, cls=jsonschema.Draft202012Validator)
        except jsonschema.ValidationError as error:
            check(False, f"{archive}: schema: {error.message} at {list(error.absolute_path)}")

        files = [name for name in names if not name.endswith("/") and name not in ("HVREPORT.LOG", "summary.json")]
        listed = [entry["path"] for entry in summary["files"]]
        # Every file of the archive, in its order; an incomplete archive
        # lacks some of the tree's files, which the summary still lists.
        in_order = iter(listed)
        check(all(name in in_order for name in files), f"{archive}: archive files {files} not listed in order {listed}")
        if complete:
            check(listed == files, f"{archive}: files listed {listed} differ from the archive's {files}")
        sums = sha256sums(unpacked, files)
        for entry in summary["files"]:
            if entry["path"] not in sums:
                continue
            path = os.path.join(unpacked, entry["path"])
            check(entry["size"] == os.path.getsize(path), f"{entry['path']}: size {entry['size']}")
            check(entry["sha256"] in (sums[entry["path"]], None), f"{entry['path']}: sha256 {entry['sha256']}")

        # The steps come in chain order: the order NAVI.html links their outputs.
        navi = open(os.path.join(unpacked, "NAVI.html"), encoding="cp1252").read()
        places = [navi.find('HREF="./' + step["output"] + '"') for step in summary["steps"] if step["output"]]
        check(places and -1 not in places and places == sorted(places), f"{archive}: steps out of chain order {places}")
        return summary


def check_findings_run(archive, schema):
    """The run with planted conditions: its findings in table order, each
    page in the archive, and the same findings on START.html and Findings.html."""
    summary = check_run(archive, schema, True)
    if not summary:
        return
    found = [(f["id"], f["severity"], f["page"]) for f in summary["findings"]]
    check(found == [("product-service-stopped", "problem", "LOGs/scqueryex.txt"),
                    ("other-security-product", "warning", "Findings.html"),
                    ("product-generations", "warning", "Wardex/OrdoOld/OrdoRegistry.html"),
                    ("recent-crash", "warning", "Findings.html"),
                    ("reboot-pending", "note", "Findings.html")], f"findings {found}")
    with zipfile.ZipFile(archive) as z:
        names = z.namelist()
        start = z.read("START.html").decode("cp1252")
        page = z.read("Findings.html").decode("cp1252") if "Findings.html" in names else ""
        navi = z.read("NAVI.html").decode("cp1252")
    for finding in summary["findings"]:
        check(finding["page"] in names, f"{finding['id']}: no page {finding['page']}")
        check(finding["title"] in start and finding["title"] in page, f"{finding['id']}: title not shown")
    check(start.find("Findings</h2>") < start.find("Company:"), "the findings block is not above the user's details")
    check("Contoso &lt;Guard&gt; &amp; Co (antivirus)" in start, "the evidence on START.html is not text")
    check(navi.find('<A NAME="?IDX?"></A>') < navi.find('HREF="./Findings.html"') < navi.find(">Windows<"),
          "Findings is not the first navigation entry")


def check_signatures(tree, summary):
    """Signature lines stand on the pages that name programs which start or
    run, and on no other; the planted signed program shows its signer."""
    carrying = ["Startup/StartRegistry.html", "SYSInfo/ServicesInfo.html", "SYSInfo/ProcessesModules.html",
                "SYSInfo/DriverFiles.html"]
    for page in carrying + ["SYSInfo/NetRegistry.html", "SYSInfo/DiverseRegs.html", "SYSInfo/SystemFiles.html"]:
        text = open(os.path.join(tree, page), encoding="cp1252").read()
        check(("Signature: " in text) == (page in carrying), f"{page}: signature lines where they do not belong, or none")
        if page == carrying[0]:
            check("Signature: Valid (Harvin &amp; Test &lt;Signer&gt;)<BR>" in text, "no line of the signed program")
    planted = {"path": "C:\\harvin-signatures\\signed.exe", "signature": {
        "status": "valid", "signer": "Harvin & Test <Signer>", "catalog": False, "code": "0x00000000"}}
    check(planted in summary["fileSignatures"], "the signed program is not in fileSignatures as valid")
    paths = [entry["path"].lower() for entry in summary["fileSignatures"]]
    check(len(paths) == len(set(paths)), "a file is listed twice in fileSignatures")


def check_autostart(summary, out):
    """The planted entries, each with the planted program and its SHA-256."""
    folder = os.path.join(out, "worker-autostart")
    program = "Z:" + os.path.join(folder, "autostart.exe").replace("/", "\\")
    file = {"path": program, "sha256": sha256sums(folder, ["autostart.exe"])["autostart.exe"]}
    software = "HKEY_LOCAL_MACHINE\\SOFTWARE\\"
    planted = [
        ("run-key", "HKEY_USERS\\S-1-5-21-1111-2222-3333-1002\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
         "HarvinSummary", f'"{program}" /run'),
        ("ifeo-debugger", software + "Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\harvin-summary.exe",
         "Debugger", program),
        ("active-setup", software + "WOW6432Node\\Microsoft\\Active Setup\\Installed Components\\{HarvinSummaryTest}",
         "StubPath", program),
        ("scheduled-task", "\\", "Harvin Summary Task", f'"{program}" /x'),
    ]
    for kind, location, name, command in planted:
        entry = {"kind": kind, "location": location, "name": name, "command": command, "file": file}
        check(entry in summary["autostart"], f"no autostart entry {entry}")


def main(argv):
    out, schema_path = argv
    schema = json.load(open(schema_path))
    full = check_run(os.path.join(out, "worker-run", "GATHINFO.ZIP"), schema, True)
    if full:
        check(all(entry["sha256"] for entry in full["files"]), "a file of the full run has no SHA-256")
        check_signatures(os.path.join(out, "worker-run", "SupportData"), full)
        # The run that wrote it: standard, through the dialog, not cancelled.
        collection = full["collection"]
        check((collection["mode"], collection["cancelled"], collection["unattended"]) == ("standard", False, False),
              f"collection {collection}")
        check(full["collection"]["redacted"] is False and full["collection"]["redactedKinds"] == [],
              f"the full run says it is redacted: {full['collection']}")
    # Its checksums are those of the filtered files as the archive holds them.
    redacted = check_run(os.path.join(out, "worker-redacted", "GATHINFO.ZIP"), schema, True)
    if redacted:
        check(redacted["collection"]["redacted"] is True and "user" in redacted["collection"]["redactedKinds"] and
              redacted["collection"]["name"] == "Erika Mustermann", f"redacted run: {redacted['collection']}")
    summary = check_run(os.path.join(out, "worker-summary", "GATHINFO.ZIP"), schema, False)
    if summary:
        collection = summary["collection"]
        check(collection["name"] == 'J\u00fcrgen "JJ" M\u00fcller', f"name {collection['name']!r}")
        check(collection["ticket"] == "Ticket <42> & \\ 100%", f"ticket {collection['ticket']!r}")
        failed = [p for p in summary["problems"] if p["page"] == "SYSInfo/Misc.html"]
        check(any("could not be created" in p["text"] for p in failed), f"the held page is not a problem: {failed}")
        planted = [p for p in summary["problems"] if "planted" in p["text"]]
        check(not planted, f"collected data counted as problems: {planted}")
        check_autostart(summary, out)
    check_findings_run(os.path.join(out, "findings-run", "GATHINFO.ZIP"), schema)
    for failure in failures:
        print("FAILED:", failure)
    print(f"summary check: {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
