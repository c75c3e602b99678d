#!/usr/bin/env python3
"""The measurements of scripts/bench (which prepares the build, the prefix,
the wineserver and the display, and calls this).

The program's own code runs under Wine and is timed inside its process
(harvin_bench.exe: QueryPerformanceCounter around the call), so Wine's
start-up is not counted; the peers run on Linux in the same run, right
before or after it (the order alternates), on the same files with a warm
page cache. Every figure is the median of the repetitions; the range is
shown beside it. The table ends with one "ratio NAME VALUE" line per ratio.

Usage: bench.py --root ROOT [--runs N] [--parts archive,checksums,processes,eventlog,collection,signatures]
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

PARTS = ["archive", "checksums", "processes", "eventlog", "collection", "signatures"]
BIG_FILE_MIB = 200
EVENTS = 100000          # a server's System and Application logs of a month
LIMIT_RECORDS = 400000   # more than the 50 MiB page holds
UNKEPT_RECORDS = 2000    # every event loading its libraries: slow, so fewer


class Bench:
    def __init__(self, root, runs):
        self.root = root
        self.runs = runs
        self.state = os.path.join(root, "build", "bench")
        self.bin = os.path.join(root, "build", "x86_64", "tests", "bin")
        self.dist = os.path.join(root, "build", "x86_64", "dist")
        self.rows = []      # (work, harvin, peer, ratio text, goal)
        self.ratios = []    # (name, value)
        self.notes = []
        os.makedirs(self.state, exist_ok=True)

    # ---- helpers ------------------------------------------------------------

    def wine(self, *args, prefix=None, timeout=900):
        env = dict(os.environ)
        if prefix:
            env["HARVIN_PREFIX"] = prefix
        env["HARVIN_TIMEOUT"] = str(timeout)
        done = subprocess.run([os.path.join(self.root, "scripts", "wine-exec"), *args], capture_output=True,
                              env=env, timeout=timeout + 60)
        return done.returncode, done.stdout.decode("utf-8", "replace")

    def bench_exe(self, *args):
        code, out = self.wine(os.path.join(self.bin, "harvin_bench.exe"), *args)
        seconds = re.search(r"seconds ([0-9.]+)", out)
        if code != 0 or not seconds:
            raise RuntimeError(f"harvin_bench {' '.join(args)} failed ({code}): {out}")
        return float(seconds.group(1)), out

    @staticmethod
    def windows_path(path):
        return "Z:" + path.replace("/", "\\")

    @staticmethod
    def timed(command, cwd=None):
        start = time.perf_counter()
        subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL)
        return time.perf_counter() - start

    @staticmethod
    def warm(paths):
        """Reads the files once so both sides start from the page cache."""
        for path in paths:
            with open(path, "rb") as f:
                while f.read(1 << 20):
                    pass

    @staticmethod
    def spread(values, unit="s", digits=2):
        med = statistics.median(values)
        return f"{med:.{digits}f} {unit} ({min(values):.{digits}f}-{max(values):.{digits}f})"

    def add(self, work, harvin, peer, ratio_name, ratio, goal):
        self.rows.append((work, harvin, peer, f"{ratio:.2f}x" if ratio_name != "dialog-cpu-share" else
                          f"{ratio * 100:.2f} %", goal))
        self.ratios.append((ratio_name, ratio))

    def alternate(self, first, second, runs=None):
        """Runs the two measurements `runs` times, swapping their order each time."""
        a, b = [], []
        for i in range(runs or self.runs):
            if i % 2 == 0:
                a.append(first())
                b.append(second())
            else:
                b.append(second())
                a.append(first())
        return a, b

    # ---- archive ------------------------------------------------------------

    def tree(self):
        tree = os.path.join(self.state, "tree")
        stamp = os.path.join(self.state, "tree.txt")
        if not os.path.exists(stamp):
            out = subprocess.run([sys.executable, os.path.join(self.root, "scripts", "lib", "bench_tree.py"), tree],
                                 check=True, capture_output=True, text=True).stdout
            with open(stamp, "w") as f:
                f.write(out)
        with open(stamp) as f:
            files, total = (int(x) for x in f.read().split())
        return tree, files, total

    def part_archive(self):
        tree, files, total = self.tree()
        out = os.path.join(self.state, "out")
        os.makedirs(out, exist_ok=True)
        program_zip = os.path.join(out, "program.zip")
        peer_zip = os.path.join(out, "peer.zip")
        self.warm(os.path.join(d, n) for d, _, names in os.walk(tree) for n in names)
        wtree, wzip = self.windows_path(tree), self.windows_path(program_zip)

        status_shares = []

        def program():
            seconds, text = self.bench_exe("archive", wtree, wzip)
            if "complete 1" not in text:
                raise RuntimeError(f"the archive step did not complete: {text}")
            status_shares.append(float(re.search(r"status-thread-cpu ([0-9.-]+)", text).group(1)) / seconds)
            return seconds

        def peer():
            if os.path.exists(peer_zip):
                os.remove(peer_zip)
            return self.timed(["zip", "-9", "-r", "-q", peer_zip, "."], cwd=tree)

        ours, theirs = self.alternate(program, peer)
        test = subprocess.run(["unzip", "-tqq", program_zip], capture_output=True, text=True)
        if test.returncode != 0:
            raise RuntimeError(f"unzip -t fails on the program's archive: {test.stdout}{test.stderr}")
        single, _ = self.bench_exe("archive1", wtree, self.windows_path(os.path.join(out, "single.zip")))
        self.notes.append(f"archive step with one thread (no compressor threads): {single:.2f} s, once")
        self.notes.append("CPU of the thread that receives the archive step's status texts (a stand-in for the "
                          f"dialog): {statistics.median(status_shares) * 100:.2f} % of the step (median)")
        our_size, their_size = os.path.getsize(program_zip), os.path.getsize(peer_zip)
        work = f"Pack {total / 1e6:.0f} MB, {files} files, deflate level 9, under Wine"
        self.add(work + ": time", self.spread(ours), "zip -9 -r: " + self.spread(theirs), "archive-time",
                 statistics.median(ours) / statistics.median(theirs), "<= 0.9x")
        self.add(work + ": size", f"{our_size / 1e6:.2f} MB", f"zip -9 -r: {their_size / 1e6:.2f} MB", "archive-size",
                 our_size / their_size, "<= 1.0x")

    # ---- checksums ----------------------------------------------------------

    def big_file(self):
        path = os.path.join(self.state, "big.bin")
        if not os.path.exists(path) or os.path.getsize(path) != BIG_FILE_MIB << 20:
            # Fixed pseudo-random bytes: every run sums the same file.
            state = 0x9E3779B97F4A7C15
            block = bytearray()
            for _ in range((1 << 20) // 8):
                state = (state * 6364136223846793005 + 1442695040888963407) & (2**64 - 1)
                block += state.to_bytes(8, "little")
            with open(path, "wb") as f:
                for i in range(BIG_FILE_MIB):
                    f.write(bytes(b ^ (i & 0xFF) for b in block[:256]) + block[256:])
        return path

    def part_checksums(self):
        big = self.big_file()
        self.warm([big])
        wbig = self.windows_path(big)
        digests = set()

        def program_md5():
            seconds, text = self.bench_exe("md5", wbig)
            digests.add(("harvin", re.search(r"md5 (\S+)", text).group(1)))
            return seconds

        def md5sum():
            start = time.perf_counter()
            out = subprocess.run(["md5sum", big], check=True, capture_output=True, text=True).stdout
            seconds = time.perf_counter() - start
            digests.add(("md5sum", out.split()[0]))
            return seconds

        ours, theirs = self.alternate(program_md5, md5sum)
        if len({d for _, d in digests}) != 1:
            raise RuntimeError(f"MD5 digests differ: {digests}")
        self.add(f"MD5 of a {BIG_FILE_MIB} MiB file (FileMd5Hex)", self.spread(ours, digits=3),
                 "md5sum: " + self.spread(theirs, digits=3), "md5",
                 statistics.median(ours) / statistics.median(theirs), "<= 1.15x")

        crcs = set()
        zlib_crc = ("import sys, time, zlib\n"
                    "start = time.perf_counter(); crc = 0\n"
                    "with open(sys.argv[1], 'rb') as f:\n"
                    "    for piece in iter(lambda: f.read(1 << 20), b''):\n"
                    "        crc = zlib.crc32(piece, crc)\n"
                    "print(f'{time.perf_counter() - start:.6f} {crc:08x}')\n")

        def program_crc():
            seconds, text = self.bench_exe("crc", wbig)
            crcs.add(re.search(r"crc (\S+)", text).group(1))
            return seconds

        def python_crc():
            out = subprocess.run([sys.executable, "-c", zlib_crc, big], check=True, capture_output=True,
                                 text=True).stdout.split()
            crcs.add(out[1])
            return float(out[0])

        ours, theirs = self.alternate(program_crc, python_crc)
        if len(crcs) != 1:
            raise RuntimeError(f"CRC-32 values differ: {crcs}")
        self.add(f"CRC-32 of the same file (FileCrc32)", self.spread(ours, digits=3),
                 "zlib crc32 (Python, 1 MiB reads): " + self.spread(theirs, digits=3), "crc32",
                 statistics.median(ours) / statistics.median(theirs), "<= 1.1x")

    # ---- processes page -----------------------------------------------------

    def part_processes(self):
        sleeper = self.windows_path(os.path.join(self.bin, "system_sleeper.exe"))
        module = self.windows_path(os.path.join(self.bin, "system_known_version.dll"))
        runs = max(self.runs, 5)  # short and noisy: a few more

        enumeration = {1: [], 30: []}

        def page(count):
            def measure():
                seconds, text = self.bench_exe("processes", str(count), sleeper, module)
                enumeration[count].append(float(re.search(r"enumerate ([0-9.]+)", text).group(1)))
                return seconds
            return measure

        many, one = self.alternate(page(30), page(1), runs)
        self.notes.append("process enumeration alone (EnumerateProcesses with modules, no files read): "
                          f"30: {statistics.median(enumeration[30]):.3f} s, 1: {statistics.median(enumeration[1]):.3f} s")
        self.add("Processes page with 30 sleepers sharing their modules (vs. 1)", "30: " + self.spread(many, digits=3),
                 "1: " + self.spread(one, digits=3), "processes-30-vs-1",
                 statistics.median(many) / statistics.median(one), "<= 1.5x")

    # ---- event log exports --------------------------------------------------

    def eventlog_run(self, *args):
        """One harvin_bench event log mode: its figures by name."""
        _, text = self.bench_exe(*args)
        return {k: float(v) for k, v in re.findall(r"([a-z-]+) ([0-9]+(?:\.[0-9]+)?)", text)}

    def part_eventlog(self):
        libraries = [self.windows_path(os.path.join(self.bin, name))
                     for name in ("eventlog_messages.dll", "eventlog_other_messages.dll")]
        classic, modern = [], []
        for _ in range(self.runs):
            figures = self.eventlog_run("eventlog-classic", str(EVENTS), *libraries)
            if figures["events"] != EVENTS or figures["held-after"] != 0:
                raise RuntimeError(f"the classic export did not write every event or kept libraries: {figures}")
            classic.append(figures)
            figures = self.eventlog_run("eventlog-modern", str(EVENTS))
            if figures["metadata-opened"] > 40:
                raise RuntimeError(f"the newer export opened publisher metadata per event: {figures}")
            modern.append(figures)
        for name, runs, work, floor in [
                ("eventlog-classic-vs-floor", classic,
                 f"Classic event log export (record seam): {EVENTS:,} records, 40 sources, messages in 2 libraries",
                 "floor: FormatMessage with the strings from loaded libraries, each message written"),
                ("eventlog-modern-vs-floor", modern,
                 f"Newer event log export (function table, fake results): {EVENTS:,} events, 40 providers",
                 "floor: provider rendered, message formatted with open metadata, each message written")]:
            ours = [r["seconds"] for r in runs]
            theirs = [r["floor"] for r in runs]
            self.add(work, self.spread(ours, digits=3) + f", page {runs[0]['page-bytes'] / 2**20:.1f} MiB",
                     floor + ": " + self.spread(theirs, digits=3), name,
                     statistics.median(ours) / statistics.median(theirs), "<= 1.3x")

        unkept = self.eventlog_run("eventlog-classic", str(UNKEPT_RECORDS), *libraries, "0")
        self.notes.append(f"classic export with no library kept (each event loads its library and reads the "
                          f"registry, as before): {UNKEPT_RECORDS:,} records in {unkept['seconds']:.3f} s, "
                          f"{unkept['seconds'] / UNKEPT_RECORDS * 1e6:.0f} us a record; with the libraries kept "
                          f"{statistics.median(r['seconds'] for r in classic) / EVENTS * 1e6:.0f} us a record")
        limit = self.eventlog_run("eventlog-classic", str(LIMIT_RECORDS), *libraries, "limit")
        self.rows.append((f"Classic export of a {LIMIT_RECORDS:,}-record log: the 50 MiB page limit",
                          f"{limit['seconds']:.2f} s, page {limit['page-bytes']:,.0f} bytes "
                          f"({limit['page-bytes'] / 2**20:.2f} MiB), {limit['events']:,.0f} events", "", "", ""))

    # ---- full collection ----------------------------------------------------

    def shell(self, script):
        subprocess.run(["bash", "-c", f"source '{self.root}/scripts/lib/wine.sh'; {script}"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def one_collection(self):
        prefix = os.path.join(self.state, "collection-prefix")
        self.shell(f"wine_fresh_prefix '{prefix}'")
        folder = os.path.join(prefix, "drive_c", "Harvin")
        os.makedirs(folder)
        for name in ["harvin.exe", "en-us", "de-de"]:
            source = os.path.join(self.dist, name)
            (shutil.copytree if os.path.isdir(source) else shutil.copyfile)(source, os.path.join(folder, name))
        self.shell(f"wine_start_server '{prefix}'")
        try:
            code, out = self.wine(os.path.join(self.bin, "ui_driver.exe"), "run", "--run-timeout", "780", "--timeout",
                                  "840", "--", "C:\\Harvin\\harvin.exe", prefix=prefix, timeout=900)
        finally:
            self.shell(f"wine_stop_server '{prefix}'")
        cpu = re.search(r"CPU dialog thread user=(\d+) ms kernel=(\d+) ms over a run of (\d+) ms", out)
        if code != 0 or "RESULT ok" not in out or not cpu:
            raise RuntimeError(f"the collection did not complete ({code}):\n{out[-3000:]}")
        user, kernel, wall = (int(x) for x in cpu.groups())
        return wall / 1000.0, user + kernel, self.step_times(os.path.join(folder, "SupportData"))

    @staticmethod
    def step_times(tree):
        """The time from one finished file of the tree to the next: what each
        step that wrote it took (the chain writes its pages one after the other)."""
        stamped = []
        for d, _, names in os.walk(tree):
            for n in names:
                path = os.path.join(d, n)
                # The change time: a copied file keeps its source's write time.
                stamped.append((os.stat(path).st_ctime, os.path.relpath(path, tree)))
        stamped.sort()
        steps = [(b[0] - a[0], b[1]) for a, b in zip(stamped, stamped[1:])]
        return sorted(steps, reverse=True)

    def part_collection(self):
        walls, shares, cpu, steps = [], [], [], {}
        for _ in range(self.runs):
            wall, cpu_ms, run_steps = self.one_collection()
            walls.append(wall)
            cpu.append(cpu_ms)
            shares.append(cpu_ms / (wall * 1000.0))
            for seconds, name in run_steps:
                steps.setdefault(name, []).append(seconds)
        self.add("Full standard collection under Wine (ui_driver): dialog thread CPU",
                 self.spread([s * 100 for s in shares], unit="%") + f", {statistics.median(cpu):.0f} ms",
                 "run (OK to final message): " + self.spread(walls, digits=1), "dialog-cpu-share",
                 statistics.median(shares), "<= 2 %")
        slowest = sorted(((statistics.median(v), k) for k, v in steps.items() if len(v) == self.runs), reverse=True)
        self.notes.append("slowest chain steps (time before the file was finished, median): " +
                          "; ".join(f"{name} {seconds:.1f} s" for seconds, name in slowest[:6]))

    # ---- signature checks ---------------------------------------------------

    def part_signatures(self):
        """The same standard collection with and without the signature checks
        of the file entries (an unattended run inside harvin_bench.exe)."""
        folder = self.windows_path(os.path.join(self.state, "signatures-run"))
        dist = self.windows_path(self.dist)

        def collection(switch):
            def measure():
                seconds, text = self.bench_exe("collection", folder, dist, switch)
                if "exit 0" not in text:
                    raise RuntimeError(f"the collection did not complete: {text}")
                return seconds
            return measure

        checked, unchecked = self.alternate(collection("on"), collection("off"), max(self.runs, 5))
        self.add("Standard collection (unattended, in harvin_bench): with signature checks vs. without",
                 "with: " + self.spread(checked), "without: " + self.spread(unchecked), "signature-overhead",
                 statistics.median(checked) / statistics.median(unchecked), "<= 1.15x")

    # ---- report -------------------------------------------------------------

    def report(self, started):
        load = " ".join(f"{x:.2f}" for x in os.getloadavg())
        print()
        print(f"Harvin benchmark: {self.runs} runs each (median, range), {os.cpu_count()} cores, "
              f"load average now {load}, {time.time() - started:.0f} s")
        print()
        header = ("Work", "Harvin", "Peer / reference", "Ratio", "Goal")
        widths = [max(len(str(r[i])) for r in self.rows + [header]) for i in range(5)]
        line = lambda r: "| " + " | ".join(str(c).ljust(w) for c, w in zip(r, widths)) + " |"
        print(line(header))
        print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
        for r in self.rows:
            print(line(r))
        print()
        for note in self.notes:
            print("- " + note)
        print()
        for name, value in self.ratios:
            print(f"ratio {name} {value:.4f}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--parts", default=",".join(PARTS))
    args = parser.parse_args()
    parts = args.parts.split(",")
    for part in parts:
        if part not in PARTS:
            parser.error(f"unknown part {part}")
    bench = Bench(args.root, max(args.runs, 3))
    started = time.time()
    print(f"bench: load average at the start {' '.join(f'{x:.2f}' for x in os.getloadavg())}", flush=True)
    for part in PARTS:
        if part in parts:
            print(f"bench: {part}...", flush=True)
            getattr(bench, "part_" + part)()
    bench.report(started)
    return 0


if __name__ == "__main__":
    sys.exit(main())
