#!/usr/bin/env python3
"""End-to-end cases: harvin.exe runs under Wine on the virtual display and is
driven from outside by ui_driver.exe the way a person would use it. Every
result is checked from the Linux side with tools independent of the program
(unzip -t, Python's zipfile, file listings), and screenshots of the dialog are
kept as test artefacts.

    e2e.py CASE --dist DIR --driver EXE --out DIR

Each case copies the program into its own folder C:\\harvin-e2e\\<case>\\ of
the Wine prefix ($HARVIN_PREFIX) and starts it with scripts/wine-exec.
Cases: standard, extended, cancel, copy_fails, second_instance, unattended,
redacted, language, close_idle, decline, hostile;
"measure" prints the dialog thread's processor time over one run.
"""
import argparse
import concurrent.futures
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_EXEC = os.path.join(ROOT, "scripts", "wine-exec")
COMMENT = b"Norvane Support Information File"
TITLE_EN = "Wardex Harvin - Support Information"
TITLE_DE = "Wardex Harvin - Supportinformationen"
FOLDERS = ["BATFiles/", "Dumps/", "INIFiles/", "LOGs/", "SYSInfo/", "Startup/", "Wardex/"]
PAGES = ["INDEX.html", "NAVI.html", "START.html"]
USER = {"name": "Erika Mustermann", "company": "Muster GmbH", "third": "Ticket 4711"}


class CaseFailed(Exception):
    pass


failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("  FAILED:", message)
    return condition


def require(condition, message):
    if not condition:
        raise CaseFailed(message)


# ---- the prefix and the program folder ------------------------------------------------

def prefix():
    return os.environ.get("HARVIN_PREFIX") or os.path.join(ROOT, "build", "wine", "test-prefix")


def desktop():
    """The Wine user's desktop folder (a real folder in our prefixes)."""
    for folder in sorted(glob.glob(os.path.join(prefix(), "drive_c", "users", "*", "Desktop"))):
        if os.sep + "Public" + os.sep not in folder:
            return folder
    raise CaseFailed("the prefix has no user desktop folder")


class Program:
    """harvin.exe with the chosen language libraries in C:\\harvin-e2e\\<case>\\."""

    def __init__(self, dist, case, languages=("en-us", "de-de")):
        self.folder = os.path.join(prefix(), "drive_c", "harvin-e2e", case)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        shutil.copy2(os.path.join(dist, "harvin.exe"), self.folder)
        for language in languages:
            shutil.copytree(os.path.join(dist, language), os.path.join(self.folder, language))
        self.windows_folder = "C:\\harvin-e2e\\" + case + "\\"
        self.exe = self.windows_folder + "harvin.exe"

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    @property
    def archive(self):
        return self.path("GATHINFO.ZIP")

    @property
    def tree(self):
        return self.path("SupportData")


class StandIn:
    """The stand-in system information tool, planted where the program looks
    for msinfo32.exe. While its "hold" file exists it keeps running, and so
    the run that waits for it stays under way until the test releases it."""

    def __init__(self, exe):
        self.folder = os.path.join(prefix(), "drive_c", "Program Files", "Common Files", "Microsoft Shared", "MSInfo")
        self.hold_file = os.path.join(self.folder, "hold")
        os.makedirs(self.folder, exist_ok=True)
        shutil.copy2(exe, os.path.join(self.folder, "msinfo32.exe"))

    def hold(self):
        open(self.hold_file, "w").close()

    def release(self):
        if os.path.exists(self.hold_file):
            os.remove(self.hold_file)

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.remove()


def desktop_archive():
    return os.path.join(desktop(), "GATHINFO.ZIP")


def remove_desktop_archive():
    if os.path.exists(desktop_archive()):
        os.remove(desktop_archive())


# ---- the driver ---------------------------------------------------------------------

def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append("\n" if text[i + 1] == "n" else text[i + 1])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


class DriverRun:
    """One run of ui_driver.exe: its lines by kind, its exit code."""

    def __init__(self, driver, mode, program, options=(), holds=None, timeout=540):
        self.lines = []
        # The driver's own limit comes first, so it can end the program and say why.
        command = [WINE_EXEC, driver, mode, *options, "--timeout", str(timeout - 20)]
        for point in (holds or {}):
            command += ["--hold", point]
        command += ["--", program.exe]
        env = dict(os.environ, HARVIN_TIMEOUT=str(timeout))
        started = time.monotonic()
        process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, env=env)
        for raw in process.stdout:
            line = raw.decode("cp1252", "replace").rstrip("\r\n")
            self.lines.append(line)
            print("  driver:", line)
            if line.startswith("HOLD "):
                point = line[5:]
                try:
                    holds[point]()
                finally:
                    process.stdin.write(b"go\n")
                    process.stdin.flush()
        self.code = process.wait()
        self.seconds = time.monotonic() - started

    def values(self, kind):
        return [line[len(kind) + 1:] for line in self.lines if line.startswith(kind + " ")]

    def value(self, kind):
        found = self.values(kind)
        return found[-1] if found else None


# ---- screenshots ----------------------------------------------------------------------

def screenshot(out, name):
    """The whole virtual screen as PNG (xwd, then Debian's ImageMagick)."""
    os.makedirs(out, exist_ok=True)
    xwd = os.path.join(out, name + ".xwd")
    png = os.path.join(out, name + ".png")
    with open(xwd, "wb") as f:
        subprocess.run(["xwd", "-root", "-silent", "-display", os.environ["DISPLAY"]], stdout=f, check=True,
                       timeout=30)
    subprocess.run(["/usr/bin/convert", "xwd:" + xwd, png], check=True, timeout=60)
    os.remove(xwd)
    print("  screenshot:", png)
    return png


def image_deviation(png):
    """Greyscale standard deviation: near 0 for an empty (one-colour) screen."""
    result = subprocess.run(["/usr/bin/convert", png, "-colorspace", "Gray", "-format", "%[fx:standard_deviation]",
                             "info:"], capture_output=True, text=True, timeout=60)
    return float(result.stdout.strip() or 0)


# ---- checks of results -------------------------------------------------------------

def files_below(tree):
    names = set()
    for folder, _, files in os.walk(tree):
        for name in files:
            names.add(os.path.relpath(os.path.join(folder, name), tree).replace(os.sep, "/"))
    return names


def check_archive(archive, status_lines, extended, program_folder, language="en"):
    """The archive of a finished run: intact, the tree and the run log inside."""
    print("  checking", archive)
    result = subprocess.run(["unzip", "-t", archive], capture_output=True, text=True)
    check(result.returncode == 0 and "No errors detected" in result.stdout, "unzip -t: " + result.stdout[-400:])
    with zipfile.ZipFile(archive) as z:
        names = z.namelist()
        check(z.comment == COMMENT, f"archive comment {z.comment!r}")
        check(names and names[-1] == "HVREPORT.LOG", "HVREPORT.LOG is not the last entry")
        for name in FOLDERS + PAGES:
            check(name in names, f"{name} missing from the archive")
        programs = [name for name in names if name.lower().endswith(".exe")]
        check(not programs, f"companion programs left in the archive: {programs}")
        log = z.read("HVREPORT.LOG").decode("cp1252") if "HVREPORT.LOG" in names else ""
        start = z.read("START.html").decode("cp1252") if "START.html" in names else ""
        navi = z.read("NAVI.html").decode("cp1252") if "NAVI.html" in names else ""
        index = z.read("INDEX.html").decode("cp1252") if "INDEX.html" in names else ""

    # The run log is the status list as it was when the archive was packed:
    # the lines the dialog showed up to then, in order.
    check(log.startswith("Report of Harvin:\n\n"), "HVREPORT.LOG does not start with its heading")
    logged = log[len("Report of Harvin:\n\n"):].split("\n")
    check(logged and logged[-1] == "", "HVREPORT.LOG does not end with a line feed")
    logged = logged[:-1]
    check(len(logged) >= 3, f"HVREPORT.LOG holds only {len(logged)} lines")
    check(logged == status_lines[:len(logged)],
          f"HVREPORT.LOG {logged} is not the beginning of the status list {status_lines}")
    check(len(status_lines) > len(logged), "the status list has no line after the archive was packed")
    check(bool(logged) and program_folder in logged[0], f"the first logged line {logged[:1]} names no home path")

    check('NAME="Navigation"' in index.replace("'", '"') or 'name="Navigation"' in index,
          "INDEX.html has no Navigation frame")
    check("NAVI.html" in index and "START.html" in index, "INDEX.html does not name NAVI.html and START.html")
    for text in USER.values():
        check(text in start, f"START.html does not show {text!r}")
    mode_text = "Extended collection" if language == "en" else "Erweiterte Sammlung"
    check((mode_text in start) == extended, f"START.html mode row: {mode_text!r} present={mode_text in start}")
    check(("Minidump / Dump" in navi) == extended, f"NAVI.html Minidump / Dump heading present={'Minidump / Dump' in navi}")
    check("Windows" in navi and "Norvane" in navi, "NAVI.html lacks the Windows or Norvane group heading")
    check(USER["name"] in navi and USER["company"] in navi, "NAVI.html head lacks the user's name or company")
    return names


def check_archive_matches_tree(names, tree):
    files = {name for name in names if not name.endswith("/") and name != "HVREPORT.LOG"}
    on_disk = files_below(tree)
    check(files == on_disk, f"archive files and SupportData differ: only archive {sorted(files - on_disk)}, "
                            f"only disk {sorted(on_disk - files)}")


def check_dialog_lines(run, title, button_close):
    check(run.value("TITLE") == title, f"title {run.value('TITLE')!r}")
    check(run.value("BUTTON1") == button_close, f"button 1 after the run shows {run.value('BUTTON1')!r}")
    check(run.value("EXITCODE") == "0", f"exit code {run.value('EXITCODE')}")
    check(run.value("RESULT") == "ok", "driver: " + str(run.values("FAIL")))


# ---- cases ------------------------------------------------------------------------------

def user_options(extended=False):
    options = ["--name", USER["name"], "--company", USER["company"], "--third", USER["third"]]
    return options + (["--extended"] if extended else [])


def collection_case(args, case, extended, languages, language, title, button_close):
    with StandIn(args.standin) as standin:
        collection_run(args, case, extended, languages, language, title, button_close, standin)


def collection_run(args, case, extended, languages, language, title, button_close, standin):
    program = Program(args.dist, case, languages)
    remove_desktop_archive()
    kept = os.path.join(args.out, case + "-GATHINFO.ZIP")
    shots = {}
    seen = {}
    standin.hold()

    def running():
        seen["tree during run"] = os.path.isdir(program.tree)
        shots["running"] = screenshot(args.out, f"dialog-running-{language}")
        standin.release()

    def finished():
        seen["archive"] = os.path.isfile(program.archive)
        seen["desktop"] = os.path.isfile(desktop_archive())
        if seen["archive"]:
            shutil.copy2(program.archive, kept)
            seen["same"] = seen["desktop"] and open(program.archive, "rb").read() == open(desktop_archive(), "rb").read()
        # Something at the entry page path goes when the dialog closes, like the archive.
        with open(program.path("SupportData", "GATHINFO.HTM"), "w") as f:
            f.write("entry page")
        shots["finished"] = screenshot(args.out, f"dialog-finished-{language}")

    run = DriverRun(args.driver, "run", program, user_options(extended),
                    holds={"running": running, "finished": finished})
    check(run.code == 0, f"driver exit code {run.code}")
    check_dialog_lines(run, title, button_close)
    check(seen.get("tree during run"), "no SupportData folder while the run was under way")
    check(seen.get("archive"), "no GATHINFO.ZIP in the program folder after the run")
    check(seen.get("desktop"), "no GATHINFO.ZIP on the desktop after the run")
    check(seen.get("same"), "the desktop copy differs from the archive in the program folder")
    check(run.value("FINAL"), "no final message")
    # Closing while idle deletes the archive and the entry page; the desktop
    # copy and the report tree stay.
    check(not os.path.exists(program.archive), "GATHINFO.ZIP in the program folder survived closing")
    check(not os.path.exists(program.path("SupportData", "GATHINFO.HTM")), "GATHINFO.HTM survived closing")
    check(os.path.isfile(desktop_archive()), "the desktop copy went when the program closed")
    check(os.path.isdir(program.tree), "SupportData went when the program closed")
    if os.path.isfile(kept):
        names = check_archive(kept, run.values("STATUS"), extended, program.windows_folder, language)
        check_archive_matches_tree(names, program.tree)
        with zipfile.ZipFile(kept) as z:
            check(z.read("SYSInfo/SYSINFO.TXT").startswith(b"System information report")
                  if "SYSInfo/SYSINFO.TXT" in names else False, "the system information report is not in the archive")
            check(b"MSInfo32.exe - Report" in z.read("NAVI.html"), "NAVI.html does not link the system information report")
    for point, png in shots.items():
        check(image_deviation(png) > 0.02, f"screenshot {point} shows an empty screen")
    check_dialog_thread_idles(run)


def check_dialog_thread_idles(run):
    """While the worker runs, the dialog thread waits for messages or the
    run's end instead of polling: it uses a small share of a core."""
    cpu = run.value("CPU") or ""
    print("  cpu:", cpu)
    try:
        words = cpu.replace("=", " ").split()
        used = int(words[words.index("user") + 1]) + int(words[words.index("kernel") + 1])
        wall = int(words[words.index("of") + 1])
    except (ValueError, IndexError):
        check(False, f"no processor time reported: {cpu!r}")
        return
    check(used <= 0.2 * wall + 100, f"the dialog thread used {used} ms of processor time in a {wall} ms run")


def case_standard(args):
    collection_case(args, "standard", False, ("en-us", "de-de"), "en", TITLE_EN, "&Close")


def case_extended(args):
    # German only: the extended run also shows the German dialog.
    collection_case(args, "extended", True, ("de-de",), "de", TITLE_DE, "Sc&hließen")


def case_cancel(args):
    """Cancelled while the run waits for the held stand-in tool: it cannot
    end before the cancel lands. Button 1 and Escape are answered No (the
    run goes on), the close box Yes."""
    with StandIn(args.standin) as standin:
        program = Program(args.dist, "cancel")
        remove_desktop_archive()
        seen = {}
        standin.hold()

        def cancelled():
            seen["tree"] = os.path.exists(program.tree)
            seen["archive"] = os.path.exists(program.archive)
            seen["desktop"] = os.path.exists(desktop_archive())
            standin.release()  # the second run may go through

        def finished():
            seen["second archive"] = os.path.isfile(program.archive)
            seen["second tree"] = os.path.isdir(program.tree)
            if seen["second archive"]:
                shutil.copy2(program.archive, os.path.join(args.out, "cancel-second-GATHINFO.ZIP"))

        run = DriverRun(args.driver, "cancel", program, user_options() + ["--then-run"],
                        holds={"cancelled": cancelled, "finished": finished})
    check(run.code == 0, f"driver exit code {run.code}")
    check("CANCELLED" in run.lines, "the run was not cancelled")
    asked = [line.split(" ", 1)[0] for line in run.values("QUESTION")]
    check(asked == ["button", "escape", "closebox"], f"cancel questions asked by {asked}")
    check(run.value("STANDIN") == "ended", "the system information tool still runs after the cancel")
    check(seen.get("tree") is False, "SupportData still exists after the cancel")
    check(seen.get("archive") is False, "an archive was written by the cancelled run")
    check(seen.get("desktop") is False, "a desktop copy was made by the cancelled run")
    check(seen.get("second archive"), "the run after the cancel left no archive")
    check(seen.get("second tree"), "the run after the cancel left no SupportData")
    check(run.values("BUTTON1") == ["&Close", "&Close"], f"button 1 texts {run.values('BUTTON1')}")
    check(run.value("RESULT") == "ok", "driver: " + str(run.values("FAIL")))
    second = os.path.join(args.out, "cancel-second-GATHINFO.ZIP")
    if os.path.isfile(second):
        # The status lines of the second run follow those the first left.
        statuses = run.values("STATUS")
        home = [i for i, line in enumerate(statuses) if line.startswith("Home path: ")]
        check_archive(second, statuses[home[-1]:] if home else statuses, False, program.windows_folder)


def case_copy_fails(args):
    """A first run copies its archive to the desktop; the second run's copy
    fails. Its final message names the archive beside the program, and
    closing the program keeps that archive, now the only one."""
    program = Program(args.dist, "copy-fails")
    remove_desktop_archive()
    blocker = desktop_archive()

    def between():
        remove_desktop_archive()
        os.makedirs(blocker)  # a folder of that name: the copy cannot succeed

    try:
        with StandIn(args.standin):
            run = DriverRun(args.driver, "run", program, user_options() + ["--runs", "2"],
                            holds={"between": between})
    finally:
        shutil.rmtree(blocker, ignore_errors=True)
    check(run.code == 0, f"driver exit code {run.code}")
    finals = [unescape(text) for text in run.values("FINAL")]
    check(len(finals) == 2, f"final messages {finals}")
    if len(finals) == 2:
        check("has been placed on your desktop" in finals[0], f"first final message {finals[0]!r}")
        check("could not be placed on your desktop" in finals[1] and program.windows_folder + "GATHINFO.ZIP" in finals[1],
              f"second final message {finals[1]!r}")
    check(any("could not be copied to the desktop" in m for m in run.values("MESSAGE")),
          f"no copy failure message: {run.values('MESSAGE')}")
    check(run.value("EXITCODE") == "0", f"exit code {run.value('EXITCODE')}")
    check(os.path.isfile(program.archive), "closing deleted the only archive")
    if os.path.isfile(program.archive):
        check(subprocess.run(["unzip", "-tq", program.archive], capture_output=True).returncode == 0,
              "the kept archive is not intact")


def wine_reg(*words):
    subprocess.run([WINE_EXEC, "reg", *words], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def unattended_run(args, program, raw, **extra):
    """The exit code of harvin.exe started with the command line `raw`."""
    options = ["--raw", raw]
    for key, value in extra.items():
        options += ["--" + key.replace("_", "-")] + ([value] if value is not True else [])
    result = DriverRun(args.driver, "unattended", program, options, timeout=300)
    check(result.values("WINDOW") == [], f"{raw}: windows {result.values('WINDOW')}")
    codes = result.values("EXITCODE")  # the unattended program's comes first
    return codes[0] if codes else None


def case_unattended(args):
    """harvin.exe /UNATTENDED: no window, no question, an exit code, and
    GATHINFO.TXT naming the archive."""
    def run(program, raw, **extra):
        return unattended_run(args, program, raw, **extra)

    def note_names_archive(program):
        note = program.path("GATHINFO.TXT")
        if not check(os.path.isfile(note), "no GATHINFO.TXT beside the archive"):
            return
        last = open(note, encoding="cp1252").read().splitlines()[-1]
        check(last == program.windows_folder + "GATHINFO.ZIP", f"GATHINFO.TXT ends with {last!r}")
        check(subprocess.run(["unzip", "-tq", program.archive], capture_output=True).returncode == 0,
              "the archive is not intact")

    program = Program(args.dist, "unattended")
    remove_desktop_archive()
    code = run(program, '/UNATTENDED /NAME="Erika Mustermann" /COMPANY="Muster & Co" /TICKET="T 42" /NODESKTOP')
    check(code == "0", f"standard run: exit code {code}")
    note_names_archive(program)
    check(not os.path.exists(desktop_archive()), "/NODESKTOP made a desktop copy")
    if os.path.isfile(program.archive):
        with zipfile.ZipFile(program.archive) as z:
            start = z.read("START.html").decode("cp1252")
            log = z.read("HVREPORT.LOG").decode("cp1252")
            collection = json.loads(z.read("summary.json").decode("utf-8"))["collection"]
        for text in ("Erika Mustermann", "Muster &amp; Co", "T 42"):
            check(text in start, f"START.html lacks {text!r}")
        check((collection["mode"], collection["cancelled"], collection["unattended"]) == ("standard", False, True),
              f"summary of the unattended run: {collection}")
        check("Home path: " + program.windows_folder in log, "the run log of an unattended run is empty")

    # Extended, with the desktop copy, on a Windows 10 the manifest lets the
    # program see as such.
    wine_reg("add", "HKCU\\Software\\Wine\\AppDefaults\\harvin.exe", "/v", "Version", "/d", "win10", "/f")
    try:
        code = run(program, "/UNATTENDED /EXTENDED")
    finally:
        wine_reg("delete", "HKCU\\Software\\Wine\\AppDefaults\\harvin.exe", "/f")
    check(code == "0", f"extended run: exit code {code}")
    check(os.path.isfile(desktop_archive()), "no desktop copy")
    page = open(program.path("SupportData", "SYSInfo", "SystemInformations.html"), encoding="cp1252").read()
    check("[10.0." in page, "the system page does not show Windows 10.0")
    check("Minidump / Dump" in open(program.path("SupportData", "NAVI.html"), encoding="cp1252").read(),
          "the extended run has no dump section")
    mode = json.load(open(program.path("SupportData", "summary.json"), encoding="utf-8"))["collection"]["mode"]
    check(mode == "extended", f"summary of the extended run: mode {mode}")

    code = run(program, "/UNATTENDED /FAST")
    check(code == "6", f"unknown option: exit code {code}")
    code = run(program, "/UNATTENDED /NODESKTOP /HTMLPATH=C:/harvin-e2e/")
    check(code == "6", f"a path option that is no absolute path: exit code {code}")
    code = run(program, "/UNATTENDED", first_instance=True)
    check(code == "5", f"second instance: exit code {code}")

    # An old tree holding a file in use cannot be removed: it is neither
    # reused nor packed as this run's data.
    locked = program.path("SupportData", "locked.txt")
    with open(locked, "w") as f:
        f.write("in use")
    if os.path.exists(program.archive):
        os.remove(program.archive)
    code = run(program, "/UNATTENDED /NODESKTOP", lock="C:\\harvin-e2e\\unattended\\SupportData\\locked.txt")
    check(code == "4", f"locked file in the old tree: exit code {code}")
    check(not os.path.exists(program.archive), "an archive was made beside an old tree")

    # "SupportData" taken by a file: no place for the tree.
    blocked = Program(args.dist, "unattended-blocked")
    with open(blocked.tree, "w") as f:
        f.write("not a folder")
    code = run(blocked, "/UNATTENDED /NODESKTOP")
    check(code == "4", f"no output location: exit code {code}")
    check(not os.path.exists(blocked.path("GATHINFO.TXT")), "GATHINFO.TXT written without an archive")
    # "/HTMLPATH=" stands in for the folder the program cannot use.
    elsewhere = os.path.join(prefix(), "drive_c", "harvin-e2e", "unattended-elsewhere")
    shutil.rmtree(elsewhere, ignore_errors=True)
    os.makedirs(elsewhere)
    code = run(blocked, "/UNATTENDED /NODESKTOP /HTMLPATH=C:\\harvin-e2e\\unattended-elsewhere\\")
    check(code == "0", f"output location from /HTMLPATH=: exit code {code}")
    check(os.path.isfile(os.path.join(elsewhere, "GATHINFO.ZIP")) and
          os.path.isdir(os.path.join(elsewhere, "SupportData")), "no tree and archive in the /HTMLPATH= folder")


# ---- a redacted collection ----------------------------------------------------------

# What the test prefix holds of a person and a machine: the user (the prefix's
# own, whose name is also the program's), a second profile, the registration,
# the computer name and the addresses of the recorded adapter configuration.
PLANTED_WORDS = ["harvin", "J\u00f6rdis.Quaestor", "WOLKENSTEIN-PC", "Ottilie Weidenbach", "Quellwerk Haldensee"]
PLANTED_ADDRESSES = ["10.20.30.40", "fe80::1c2d:3e4f:5a6b:7c8d", "2001:db8:85a3::8a2e:370:7334", "00-1A-2B-3C-4D-5E"]
PLANTED_LINE = ("user=harvin host=WOLKENSTEIN-PC owner=Ottilie Weidenbach org=Quellwerk Haldensee "
                "profile=J\u00f6rdis.Quaestor ip=10.20.30.40 ip6=fe80::1c2d:3e4f:5a6b:7c8d mac=00-1A-2B-3C-4D-5E\r\n")
IPCONFIG = ("\r\nWindows IP Configuration\r\n\r\n   Host Name . . . . . . . . . . . . : WOLKENSTEIN-PC\r\n\r\n"
            "Ethernet adapter Ethernet:\r\n\r\n   Physical Address. . . . . . . . . : 00-1A-2B-3C-4D-5E\r\n"
            "   Link-local IPv6 Address . . . . . : fe80::1c2d:3e4f:5a6b:7c8d%12(Preferred)\r\n"
            "   IPv6 Address. . . . . . . . . . . : 2001:db8:85a3::8a2e:370:7334(Preferred)\r\n"
            "   IPv4 Address. . . . . . . . . . . : 10.20.30.40(Preferred)\r\n"
            "   Subnet Mask . . . . . . . . . . . : 255.255.255.0\r\n   Loopback. . . . . . . . . . . . . : 127.0.0.1\r\n")
# Texts of the program itself that hold its name: the format's own words.
OWN_TEXTS = [b'"format": "harvin-summary"', b'"name": "Wardex Harvin"', b"Report of Harvin:"]
CURRENT_VERSION = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion"
COMPUTER_NAMES = [("HKLM\\System\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName"),
                  ("HKLM\\System\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName", "ComputerName"),
                  ("HKLM\\System\\CurrentControlSet\\Services\\Tcpip\\Parameters", "Hostname")]


def wine_reg_value(key, name, view):
    result = subprocess.run([WINE_EXEC, "reg", "query", key, "/v", name, view], capture_output=True, text=True,
                            timeout=60)
    found = re.search(re.escape(name) + r"\s+REG_SZ\s*(.*)", result.stdout)
    return found.group(1).rstrip("\r") if found else None


class PlantedMachine:
    """The test prefix with a person's data planted; everything put back afterwards."""

    def __init__(self, tool_standin):
        root = os.path.join(prefix(), "drive_c")
        self.values = [(key, name, view, value) for key, name, view, value in
                       [(CURRENT_VERSION, "RegisteredOwner", view, "Ottilie Weidenbach") for view in ("/reg:64", "/reg:32")] +
                       [(CURRENT_VERSION, "RegisteredOrganization", view, "Quellwerk Haldensee") for view in ("/reg:64", "/reg:32")] +
                       [(key, name, "/reg:64", "WOLKENSTEIN-PC") for key, name in COMPUTER_NAMES]]
        self.logs = os.path.join(root, "windows", "Logs")
        self.profile = os.path.join(root, "users", "J\u00f6rdis.Quaestor")
        self.binaries = [os.path.join(root, "windows", "minidump", "Mini120826-01.dmp"),
                         os.path.join(root, "windows", "system32", "winevt", "Logs", "Redaction.evtx")]
        self.ipconfig = os.path.join(root, "windows", "system32", "ipconfig.exe")
        self.tool_standin = tool_standin

    def __enter__(self):
        self.saved = [(key, name, view, wine_reg_value(key, name, view)) for key, name, view, _ in self.values]
        for key, name, view, value in self.values:
            wine_reg("add", key, "/v", name, "/d", value, "/f", view)
        os.makedirs(self.logs, exist_ok=True)
        for name, encoding in (("redact-ansi.log", "cp1252"), ("redact-utf8.log", "utf-8"),
                               ("wolkenstein-pc.log", "utf-16")):
            with open(os.path.join(self.logs, name), "wb") as f:
                f.write(PLANTED_LINE.encode(encoding))
        os.makedirs(os.path.join(self.profile, "Documents"), exist_ok=True)  # no Desktop: desktop() finds the user's
        with open(os.path.join(self.profile, "Documents", "Zeiterfassung.lnk"), "wb") as f:
            f.write(b"L\0\0\0 shortcut of harvin")
        for binary in self.binaries:
            os.makedirs(os.path.dirname(binary), exist_ok=True)
            with open(binary, "wb") as f:
                f.write(b"MDMP\x93\xa7\0\0\x01\0\0\0" + PLANTED_LINE.encode("utf-16-le"))
        # The adapter configuration comes from a recording (Wine's own shows the build machine's).
        shutil.copy2(self.ipconfig, self.ipconfig + ".saved")
        shutil.copy2(self.tool_standin, self.ipconfig)
        with open(self.ipconfig[:-4] + ".txt", "wb") as f:
            f.write(IPCONFIG.encode("ascii"))
        wine_reg("add", "HKCU\\Software\\Wine\\DllOverrides", "/v", "ipconfig.exe", "/d", "native", "/f")
        return self

    def __exit__(self, *exc):
        wine_reg("delete", "HKCU\\Software\\Wine\\DllOverrides", "/v", "ipconfig.exe", "/f")
        shutil.move(self.ipconfig + ".saved", self.ipconfig)
        os.remove(self.ipconfig[:-4] + ".txt")
        for key, name, view, value in self.saved:
            if value is None:
                wine_reg("delete", key, "/v", name, "/f", view)
            else:
                wine_reg("add", key, "/v", name, "/d", value, "/f", view)
        for name in ("redact-ansi.log", "redact-utf8.log", "wolkenstein-pc.log"):
            os.remove(os.path.join(self.logs, name))
        shutil.rmtree(self.profile, ignore_errors=True)
        for binary in self.binaries:
            os.remove(binary)


def readings(data):
    """An entry's bytes as ANSI, UTF-8 and UTF-16 text (both alignments)."""
    for own in OWN_TEXTS:
        data = data.replace(own, b"")
    return [data.decode("cp1252", "replace"), data.decode("utf-8", "replace"),
            data.decode("utf-16-le", "replace"), data[1:].decode("utf-16-le", "replace")]


def standing_alone(text):
    """A word or address where no letter or digit touches it, in any case."""
    return re.compile(r"(?<![^\W_])" + re.escape(text) + r"(?![^\W_])", re.I)


def planted_in(archive):
    """Which planted words and addresses the archive shows, in an entry's name or bytes."""
    shown = set()
    with zipfile.ZipFile(archive) as z:
        for name in z.namelist():
            texts = readings(z.read(name)) + [name]
            for planted in PLANTED_WORDS + PLANTED_ADDRESSES:
                if any(standing_alone(planted).search(text) for text in texts):
                    shown.add(planted)
    return shown


def check_placeholders_agree(z):
    """One placeholder per word and address in every copy of the planted log and on the pages."""
    names = z.namelist()
    copies = {name: z.read(name) for name in names if name.startswith("SYSInfo/windows/Logs/") and
              name.endswith(".log.txt")}
    check(len(copies) == 3 and "SYSInfo/windows/Logs/HOST1.log.txt" in copies, f"copies of the planted logs {list(copies)}")
    found = []
    for name, data in copies.items():
        text = data.decode("utf-16") if data.startswith(b"\xff\xfe") else data.decode("utf-8")
        found.append(dict(re.findall(r"(\w+)=(\S+)", text)))
    check(all(values == found[0] for values in found), f"the copies differ: {found}")
    values = found[0] if found else {}
    check(re.fullmatch(r"USER1 HOST\d+ OWNER1 ORG1 USER\d+ IP\d+ IP\d+ MAC\d+", " ".join(values.values())),
          f"placeholders of the planted log {values}")
    system = z.read("SYSInfo/SystemInformations.html").decode("cp1252")
    ipconfig = z.read("LOGs/ipconfigall.txt").decode("cp1252")
    users = z.read("SYSInfo/UserDirInfo.html").decode("cp1252")
    for page, text in (("system page", f"Registered user ------------------------> {values.get('owner')}<"),
                       ("system page", f"Computer name --------------------------------> {values.get('host')}<"),
                       ("ipconfig", f"IPv4 Address. . . . . . . . . . . : {values.get('ip')}(Preferred)"),
                       ("ipconfig", f"Link-local IPv6 Address . . . . . : {values.get('ip6')}%12"),
                       ("ipconfig", f"Physical Address. . . . . . . . . : {values.get('mac')}"),
                       ("ipconfig", "Subnet Mask . . . . . . . . . . . : 255.255.255.0"),
                       ("user directories", f"\\users\\{values.get('profile')}\\Documents")):
        check(text in {"system page": system, "ipconfig": ipconfig, "user directories": users}[page],
              f"the {page} lacks {text!r}")


def case_redacted(args):
    """harvin.exe /UNATTENDED /REDACT on a prefix planted with a person's
    data: no entry of the archive shows any of it, in any encoding, while an
    unredacted run of the same prefix does; binary copies are left out with
    their entries; a word keeps its placeholder on every page."""
    program = Program(args.dist, "redacted")
    with PlantedMachine(args.tool_standin):
        code = unattended_run(args, program, "/UNATTENDED /EXTENDED /NODESKTOP")
        check(code == "0", f"unredacted run: exit code {code}")
        plain = os.path.join(args.out, "redacted-plain-GATHINFO.ZIP")
        shutil.copy2(program.archive, plain)
        code = unattended_run(args, program, '/UNATTENDED /EXTENDED /REDACT /NODESKTOP /NAME="Erika Mustermann"')
        check(code == "0", f"redacted run: exit code {code}")
        redacted = os.path.join(args.out, "redacted-GATHINFO.ZIP")
        shutil.copy2(program.archive, redacted)
        # The same through the check box of the user details (the desktop copy stays after closing).
        remove_desktop_archive()
        run = DriverRun(args.driver, "run", program, user_options() + ["--redact"])
        check(run.code == 0 and run.value("RESULT") == "ok", f"run with the check box: {run.values('FAIL')}")
        checked = os.path.join(args.out, "redacted-checked-GATHINFO.ZIP")
        shutil.copy2(desktop_archive(), checked)
    last = open(program.path("GATHINFO.TXT"), encoding="cp1252").read().splitlines()[-1]
    check(last == program.windows_folder + "GATHINFO.ZIP", f"GATHINFO.TXT ends with {last!r}")

    shown = planted_in(plain)
    check(shown == set(PLANTED_WORDS + PLANTED_ADDRESSES), f"the unredacted run shows only {sorted(shown)}")
    for archive in (redacted, checked):
        shown = planted_in(archive)
        check(not shown, f"the redacted run {os.path.basename(archive)} shows {sorted(shown)}")
    with zipfile.ZipFile(plain) as z:
        binaries = [name for name in z.namelist() if name.endswith((".dmp", ".evtx"))]
        check(len(binaries) == 2, f"binary copies of the unredacted run: {binaries}")
    with zipfile.ZipFile(redacted) as z:
        names = z.namelist()
        check(not [name for name in names if name.endswith((".dmp", ".evtx"))], "binary copies in the redacted run")
        for binary in ("/Mini120826-01.dmp.html", "/Redaction.evtx.html"):
            entries = [name for name in names if name.endswith(binary)]
            entry = z.read(entries[0]).decode("cp1252") if len(entries) == 1 else ""
            check("not collected: redacted run" in entry, f"no left-out entry {binary}: {entries}")
        log = z.read("HVREPORT.LOG").decode("cp1252")
        check(log.count("not collected: redacted run") == 2, "the run log does not name the two binary files")
        start = z.read("START.html").decode("cp1252")
        check("Erika Mustermann" in start and "Personal data removed:" in start, "START.html: name or redaction row")
        summary = json.loads(z.read("summary.json"))
        check(summary["collection"]["redacted"] is True and
              {"user", "computer", "owner", "organization", "ip-address", "mac-address"} <=
              set(summary["collection"]["redactedKinds"]), f"summary: {summary['collection']}")
        check_placeholders_agree(z)
# ---- a hostile machine ----------------------------------------------------------------

# Names within code page 1252 and outside it; file names cannot hold < or ",
# registry and product names can.
ANSI = "%1% & \u00e9\u00df"
WIDE = "\u03a9\u4e2d\u0416"
ANSI_KEY = ANSI + ' <b> "q"'
HOSTILE = "harvin-hostile " + ANSI
IFEO = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options"
RUN = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
PRODUCT = ["HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Norvane\\Desktop",
           "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Wardex"]


def plant_hostile_files(roots):
    """Odd names, a path of 300 characters and more, link loops, a folder of 100,000 files."""
    for root in roots:
        os.makedirs(os.path.join(root, WIDE))
        for name in (ANSI + ".tmp", WIDE + ".tmp", WIDE + ".exe", os.path.join(WIDE, "inside.tmp")):
            with open(os.path.join(root, name), "w") as f:
                f.write(name)
        os.symlink(".", os.path.join(root, "loop"))
        os.symlink(os.path.dirname(root), os.path.join(root, "up"))
        deep = os.path.join(root, *(["d" * 60] * 5))
        os.makedirs(deep)
        open(os.path.join(deep, "deep.tmp"), "w").close()
    many = os.path.join(roots[0], "many")
    os.makedirs(many)
    for i in range(100000):
        open(os.path.join(many, f"f{i:06}.tmp"), "w").close()


def reg_text(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def import_registry(path, lines):
    with open(path, "w", encoding="utf-16", newline="\r\n") as f:
        f.write("\n".join(["Windows Registry Editor Version 5.00", ""] + lines + [""]))
    subprocess.run([WINE_EXEC, "regedit", "/S", "C:\\" + os.path.basename(path)], timeout=300, check=True)


def plant_hostile_registry(path, program):
    """Odd names, 1 MiB values, a tree of 10,000 keys, a product of an odd name."""
    big = "x" * (1024 * 1024)
    tree = f"{IFEO}\\harvin-hostile {ANSI_KEY}"
    lines = [f"[{RUN}]", f"{reg_text(ANSI_KEY)}={reg_text(program + ANSI + '.exe /x')}",
             f"{reg_text(WIDE)}={reg_text(program + WIDE + '.exe')}", f'"harvin-hostile-big"="{big}"', "",
             f"[{tree}]", '"Big"=hex:' + ",".join(["00"] * (1024 * 1024)), f'"Long"="{big}"', "", f"[{tree}\\{WIDE}]"]
    lines += [f"[{tree}\\k{i:02}\\k{j:02}]" for i in range(100) for j in range(100)]
    lines += ["", f"[{PRODUCT[0]}]", "", f"[{PRODUCT[1]}]", f'"ProductName"={reg_text(ANSI_KEY + " " + WIDE)}']
    import_registry(path, lines)
    return [f"[-{tree}]", f"[-{PRODUCT[0]}]", f"[-{PRODUCT[1]}]", f"[{RUN}]",
            *(f"{reg_text(name)}=-" for name in (ANSI_KEY, WIDE, "harvin-hostile-big"))]


def pages_not_rendered(pages):
    """The pages headless Chromium could not render within two minutes."""
    def fails(page):
        with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as profile:
            command = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                       f"--user-data-dir={profile}", "--dump-dom", "file://" + page]
            try:
                dom = subprocess.run(command, capture_output=True, timeout=120).stdout.lower()
            except subprocess.TimeoutExpired:
                return page
        return None if b"<body" in dom or b"<frameset" in dom else page
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        return [page for page in pool.map(fails, pages) if page]


def check_archive_is_the_tree(archive, tree):
    """Every file of the tree in the archive, with its CRC, and nothing else."""
    check(subprocess.run(["unzip", "-tq", archive], capture_output=True).returncode == 0, "unzip -t: archive broken")
    with zipfile.ZipFile(archive) as z:
        check(z.testzip() is None, "an entry fails its CRC")
        for info in z.infolist():
            on_disk = os.path.join(tree, *info.filename.split("/"))
            if not info.is_dir() and os.path.isfile(on_disk):
                with open(on_disk, "rb") as f:
                    check(zlib.crc32(f.read()) == info.CRC, f"{info.filename} differs from the tree")
        check_archive_matches_tree(z.namelist(), tree)


def case_hostile(args):
    """An unattended run on a machine planted with what breaks careless code;
    everything planted goes again afterwards (the prefix is shared)."""
    profile = os.path.dirname(desktop())
    roots = [os.path.join(profile, HOSTILE), os.path.join(prefix(), "drive_c", "Program Files", HOSTILE)]
    held = os.path.join(profile, "harvin-held.tmp")
    reg_file = os.path.join(prefix(), "drive_c", "harvin-hostile.reg")
    program = Program(args.dist, "hostile")
    removal = []
    try:
        started = time.monotonic()
        plant_hostile_files(roots)
        removal = plant_hostile_registry(reg_file, f"C:\\users\\{os.path.basename(profile)}\\{HOSTILE}\\")
        open(held, "w").close()  # held without sharing by the driver while the run reads the profile
        print(f"  planted in {time.monotonic() - started:.1f} s")
        run = DriverRun(args.driver, "unattended", program,
                        ["--raw", "/UNATTENDED /NODESKTOP", "--lock", held.replace(prefix() + "/drive_c", "C:")
                         .replace("/", "\\")], timeout=600)
    finally:
        for root in roots:
            shutil.rmtree(root, ignore_errors=True)
        if os.path.exists(held):
            os.remove(held)
        if removal:
            import_registry(reg_file, removal)
        if os.path.exists(reg_file):
            os.remove(reg_file)
    figures = f"hostile run: {run.value('SECONDS')} s, peak working set {run.value('PEAKWORKINGSET')} bytes"
    print(" ", figures)
    with open(os.path.join(args.out, "hostile-figures.txt"), "a") as f:
        f.write(figures + "\n")
    check(run.value("EXITCODE") == "0", f"exit code {run.value('EXITCODE')}, driver {run.code}")
    check_archive_is_the_tree(program.archive, program.tree)
    listing = open(os.path.join(program.tree, "SYSInfo", "UserDirInfo.html"), encoding="cp1252").read()
    check("f099999.tmp" in listing, "the folder of 100,000 files was not walked to its end")
    check("k99\\k99" in open(os.path.join(program.tree, "SYSInfo", "DiverseRegs.html"), encoding="cp1252").read(),
          "the key tree was not listed to its end")
    pages = sorted(glob.glob(os.path.join(program.tree, "**", "*.html"), recursive=True))
    broken = pages_not_rendered(pages)
    check(not broken, f"pages that do not render: {broken}")


def case_second_instance(args):
    program = Program(args.dist, "second")
    run = DriverRun(args.driver, "second", program, timeout=120)
    check(run.code == 0, f"driver exit code {run.code}")
    second = run.value("SECOND") or ""
    check(second.startswith("ended with exit code 0"), f"second instance: {second}")
    try:
        ms = int(second.split(" after ")[1].split(" ")[0])
        check(ms < 10000, f"the second instance took {ms} ms to end")
    except (IndexError, ValueError):
        check(False, f"cannot read the second instance's time from {second!r}")
    check("RESTORED" in run.lines, "the first window was not restored")
    check(run.value("FOREGROUND") == "first instance", "the first window is not in the foreground")
    check(run.value("RESULT") == "ok", "driver: " + str(run.values("FAIL")))


def case_language(args):
    both = Program(args.dist, "language-both", ("en-us", "de-de"))
    run = DriverRun(args.driver, "probe", both, timeout=120)
    check(run.value("MAIN") == TITLE_EN, f"both libraries: window {run.value('MAIN')!r}")

    german = Program(args.dist, "language-de", ("de-de",))
    run = DriverRun(args.driver, "probe", german, timeout=120)
    check(run.value("MAIN") == TITLE_DE, f"German library only: window {run.value('MAIN')!r}")

    english = Program(args.dist, "language-en", ("en-us",))
    run = DriverRun(args.driver, "probe", english, timeout=120)
    check(run.value("MAIN") == TITLE_EN, f"English library only: window {run.value('MAIN')!r}")

    none = Program(args.dist, "language-none", ())
    run = DriverRun(args.driver, "probe", none, timeout=120)
    check(run.value("MAIN") is None, "without a library the main dialog appeared")
    text = unescape(run.value("TEXT") or "")
    expected = ("Unable to load the resource file\n\n " + none.windows_folder +
                "\n\nWardex Harvin cannot be loaded!")
    check(text == expected, f"message {text!r}, expected {expected!r}")
    check(run.value("EXITCODE") == "0", f"exit code after the message {run.value('EXITCODE')}")


def case_close_idle(args):
    program = Program(args.dist, "close-idle")
    # Left by an earlier session: with no run in this one there is no current
    # output location, so closing deletes nothing.
    with open(program.archive, "wb") as f:
        f.write(b"earlier")
    run = DriverRun(args.driver, "close-idle", program, timeout=120)
    check(run.code == 0, f"driver exit code {run.code}")
    check(run.value("EXITCODE") == "0", f"exit code {run.value('EXITCODE')}")
    check(run.seconds < 30, f"starting and closing took {run.seconds:.1f} s")
    check(os.path.isfile(program.archive), "closing without a run deleted a file")
    check(not os.path.exists(program.tree), "closing without a run created SupportData")


def case_decline(args):
    # The user information dialog left by its close box or its Cancel button:
    # no collection starts and the main dialog is usable again.
    program = Program(args.dist, "decline")
    run = DriverRun(args.driver, "decline", program, ["--runs", "0"], timeout=120)
    check(run.code == 0, f"driver exit code {run.code}")
    check(run.values("DECLINED") == ["close box", "cancel button"], f"declined: {run.values('DECLINED')}")
    check(not os.path.exists(program.tree), "declining created SupportData")
    check(run.value("EXITCODE") == "0", f"exit code {run.value('EXITCODE')}")


def case_measure(args):
    program = Program(args.dist, "measure")
    run = DriverRun(args.driver, "run", program, user_options())
    print("MEASURE", run.value("CPU"))
    check(run.code == 0, f"driver exit code {run.code}")


CASES = {
    "standard": case_standard,
    "extended": case_extended,
    "cancel": case_cancel,
    "copy_fails": case_copy_fails,
    "second_instance": case_second_instance,
    "unattended": case_unattended,
    "redacted": case_redacted,
    "language": case_language,
    "close_idle": case_close_idle,
    "decline": case_decline,
    "hostile": case_hostile,
    "measure": case_measure,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--dist", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--standin", required=True)
    parser.add_argument("--tool-standin", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        print("e2e: no DISPLAY (scripts/test starts Xvfb)")
        return 1
    os.makedirs(args.out, exist_ok=True)
    print(f"e2e {args.case}: prefix {prefix()}, display {os.environ['DISPLAY']}")
    started = time.monotonic()
    try:
        CASES[args.case](args)
    except CaseFailed as error:
        failures.append(str(error))
    print(f"e2e {args.case}: {len(failures)} failures, {time.monotonic() - started:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
