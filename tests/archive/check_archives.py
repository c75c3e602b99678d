#!/usr/bin/env python3
"""Reads the archives that zip_writer_test left in tests/out/archive.

Each "<name>.zip" has a "<name>.json" beside it that lists the entries a
reader must find (in order, with the date and time readers show, method,
attributes and a file holding the data) and the archive comment. The archives
that failed on purpose (ZIP_TOOBIG and the like) must still read as archives
of the entries completed before the failure.

Checks: `unzip -t` finds no errors; `zipinfo -T` and `unzip -l` list the
names in order with method, size, date and time (deflated entries, all of
level 9, carry the "maximum compression" flag: defX); Python's zipfile reads every byte
back, with CRC-32 equal to zlib's, attributes, no extra fields but Zip64
ones (version 4.5), no comments, no data descriptor; the raw file is local
headers (CRC-32 and sizes patched in) followed by the central directory and
the end records, with nothing before or after. Archives that need no Zip64
are byte for byte those of the writer before it knew Zip64 (GOLDEN; another
zlib would need new sums).

Usage: check_archives.py <folder>
"""
import hashlib
import json
import os
import re
import struct
import subprocess
import sys
import zipfile
import zlib

ARCHIVES = [
    "report", "mixed", "order", "long-comment", "replaced", "pieces", "late-failure",
    "toobig-data", "toobig-packed", "zip64", "zip64-directory", "large",
]
GOLDEN = {"report": "f6dfc19a1bda8fb4d551691cf4421307", "mixed": "78293126f1f98925cb1772a56abee437",
          "pieces": "b12eb90b9804960b7abdc607f35c1ac1"}
METHOD_NAMES = {0: "stor", 8: "defX"}

failures = []


def fail(archive, text):
    failures.append(f"{archive}: {text}")


def expected_entries(folder, layout):
    entries = []
    for e in layout["entries"]:
        if "zeros" in e:
            entries.append(dict(e, data=None, size=e["zeros"]))
            continue
        with open(os.path.join(folder, e["data"]), "rb") as f:
            data = f.read()
        entries.append(dict(e, data=data, size=len(data)))
    repeat = layout.get("repeat")
    if repeat:
        for i in range(repeat["count"]):
            entries.append({"name": f"{repeat['prefix']}{i:05d}", "date_time": repeat["date_time"],
                            "method": repeat["method"], "internal": 0, "external": 0, "data": b"", "size": 0})
    return entries


def dos_words(date_time):
    y, mo, d, h, mi, s = date_time
    return (y - 1980) << 9 | mo << 5 | d, h << 11 | mi << 5 | s // 2


def flags_of(method):
    """General-purpose bit 1, "maximum compression", on deflated entries."""
    return 2 if method == 8 else 0


def run(args):
    done = subprocess.run(args, capture_output=True, timeout=600)
    return done.returncode, done.stdout.decode("latin-1")


def check_unzip_test(archive, path):
    rc, out = run(["unzip", "-t", path])
    if rc != 0 or "No errors detected" not in out:
        fail(archive, f"unzip -t exit code {rc}:\n{out[-2000:]}")


def check_zipinfo(archive, path, entries, comment):
    rc, out = run(["zipinfo", "-T", path])
    if rc != 0:
        fail(archive, f"zipinfo exit code {rc}")
        return
    line = re.compile(r"^(\S{10}|\S{7})\s+[24]\.[05] fat\s+(\d+) [bt]\S (\S{4}) (\d{8}\.\d{6}) (.+)$")
    listed = [m.groups() for m in map(line.match, out.splitlines()) if m]
    if [g[4] for g in listed] != [e["name"] for e in entries]:
        fail(archive, f"zipinfo lists {[g[4] for g in listed][:20]}")
        return
    for (_, size, method, when, name), e in zip(listed, entries):
        y, mo, d, h, mi, s = e["date_time"]
        want = (str(e["size"]), METHOD_NAMES[e["method"]], f"{y:04d}{mo:02d}{d:02d}.{h:02d}{mi:02d}{s:02d}")
        if (size, method, when) != want:
            fail(archive, f"zipinfo shows {name} as {(size, method, when)}, expected {want}")
    if comment:
        rc, out = run(["zipinfo", "-z", "-h", path])  # "Archive:" line, then the comment
        if out.splitlines()[1:2] != [comment]:
            fail(archive, f"zipinfo -z does not show the comment {comment!r}")


def check_unzip_list(archive, path, entries):
    """unzip -l shows month and day as counted by people (March = 03)."""
    rc, out = run(["unzip", "-l", path])
    row = re.compile(r"^\s*(\d+)\s+(\S+)\s+(\d\d:\d\d)\s+(.+)$")
    rows = [m.groups() for m in map(row.match, out.splitlines()) if m and m.group(4) != "files"]
    if [r[3] for r in rows] != [e["name"] for e in entries]:
        fail(archive, "unzip -l lists other names")
        return
    for (_, date, clock, name), e in zip(rows, entries):
        y, mo, d, h, mi, _ = e["date_time"]
        dates = (f"{y:04d}-{mo:02d}-{d:02d}", f"{mo:02d}-{d:02d}-{y:04d}")
        if date not in dates or clock != f"{h:02d}:{mi:02d}":
            fail(archive, f"unzip -l shows {name} at {date} {clock}")


def zeros_read(zf, info):
    """Reads an entry through (zipfile checks its CRC-32); its length if all zero bytes."""
    count = 0
    with zf.open(info) as f:
        while block := f.read(1 << 24):
            if block.count(0) != len(block):
                return -1
            count += len(block)
    return count


def check_zipfile(archive, path, entries, comment):
    with zipfile.ZipFile(path) as zf:
        if zf.comment != comment.encode("latin-1"):
            fail(archive, f"comment {zf.comment!r}")
        infos = zf.infolist()
        if [i.filename for i in infos] != [e["name"] for e in entries]:
            fail(archive, f"zipfile lists {[i.filename for i in infos][:20]}")
            return
        for info, e in zip(infos, entries):
            name = info.filename
            got = (tuple(info.date_time), info.compress_type, info.internal_attr, info.external_attr,
                   info.extra, info.comment, info.flag_bits, info.create_system, info.create_version,
                   info.extract_version)
            zip64 = info.extra[:2] == b"\x01\x00"  # zipfile took the values from it
            version = 45 if zip64 else 20
            want = (tuple(e["date_time"]), e["method"], e["internal"], e["external"], info.extra if zip64 else b"",
                    b"", flags_of(e["method"]), 0, version, version)
            if got != want:
                fail(archive, f"{name}: (date_time, method, internal, external, extra, comment, flags, "
                              f"system, made by, needed) = {got}, expected {want}")
            if (zf.read(info) != e["data"]) if e["data"] is not None else (zeros_read(zf, info) != e["size"]):
                fail(archive, f"{name}: data differs")
            if info.file_size != e["size"] or e["data"] is not None and info.CRC != zlib.crc32(e["data"]):
                fail(archive, f"{name}: CRC {info.CRC:08x} size {info.file_size}, expected size {e['size']}")
            if e["method"] == 0 and info.compress_size != e["size"]:
                fail(archive, f"{name}: stored with {info.compress_size} bytes")
        return infos


def check_layout(archive, path, infos, comment):
    """Local records back to back from offset 0, each header patched with the
    central CRC-32 and sizes, then the directory, the end record and the comment."""
    with open(path, "rb") as f:
        raw = f.read()
    end_at = len(raw) - 22 - len(comment)
    if end_at < 0 or raw[end_at:end_at + 4] != b"PK\x05\x06":
        fail(archive, "the end record is not where the comment length puts it")
        return
    _, disk, cd_disk, here, total, cd_size, cd_offset, comment_length = struct.unpack("<IHHHHIIH",
                                                                                      raw[end_at:end_at + 22])
    if raw[end_at - 20:end_at - 16] == b"PK\x06\x07":  # Zip64 locator: the values are in the Zip64 end record
        end_at = struct.unpack("<Q", raw[end_at - 12:end_at - 4])[0]
        here, total, cd_size, cd_offset = struct.unpack("<QQQQ", raw[end_at + 24:end_at + 56])
    if (disk, cd_disk, here, total, comment_length) != (0, 0, len(infos), len(infos), len(comment)):
        fail(archive, f"end record {(disk, cd_disk, here, total, comment_length)}")
    if cd_offset + cd_size != end_at:
        fail(archive, f"directory at {cd_offset}+{cd_size} does not end at the end record ({end_at})")
    offset = 0
    for info in infos:
        if info.header_offset != offset:
            fail(archive, f"{info.filename}: local header at {info.header_offset}, expected {offset}")
            return
        (sig, needed, flags, method, clock, date, crc, packed, size, name_length,
         extra_length) = struct.unpack("<IHHHHHIIIHH", raw[offset:offset + 30])
        name = raw[offset + 30:offset + 30 + name_length].decode("latin-1")
        extra = raw[offset + 30 + name_length:offset + 30 + name_length + extra_length]
        got = (sig, needed, flags, method, (date, clock), crc, packed, size, name, extra)
        zip64 = struct.pack("<HHQQ", 1, 16, info.file_size, info.compress_size)  # both sizes, as readers need
        sizes = (0xFFFFFFFF, 0xFFFFFFFF) if extra else (info.compress_size, info.file_size)
        want = (0x04034B50, 45 if extra else 20, flags_of(info.compress_type), info.compress_type,
                dos_words(info.date_time), info.CRC, *sizes, info.filename, zip64 if extra else b"")
        if got != want:
            fail(archive, f"{info.filename}: local header {got}, expected {want}")
        offset += 30 + name_length + extra_length + info.compress_size
    if offset != cd_offset:
        fail(archive, f"the directory starts at {cd_offset}, the last entry ends at {offset}")


def main():
    folder = sys.argv[1]
    short_writes = sorted(n[:-5] for n in os.listdir(folder) if n.startswith("short-write-") and n.endswith(".json"))
    for archive in ARCHIVES + short_writes:
        spec_path = os.path.join(folder, archive + ".json")
        if not os.path.exists(spec_path):
            fail(archive, "missing: the Wine test did not write it")
            continue
        with open(spec_path, encoding="utf-8") as f:
            layout = json.load(f)
        path = os.path.join(folder, layout["archive"])
        entries = expected_entries(folder, layout)
        comment = layout["comment"]
        before = len(failures)
        check_unzip_test(archive, path)
        with open(path, "rb") as f:
            if archive in GOLDEN and hashlib.md5(f.read()).hexdigest() != GOLDEN[archive]:
                fail(archive, "not the bytes the writer wrote before it knew Zip64")
        check_zipinfo(archive, path, entries, comment)
        check_unzip_list(archive, path, entries)
        try:
            infos = check_zipfile(archive, path, entries, comment)
        except (zipfile.BadZipFile, OSError, ValueError, RuntimeError, zlib.error) as error:
            fail(archive, f"zipfile cannot read it: {error!r}")
            infos = None
        if infos:
            check_layout(archive, path, infos, comment)
        state = "ok" if len(failures) == before else "FAILED"
        print(f"{archive}.zip ({layout['result']} from the writer, {len(entries)} entries): {state}")
    for text in failures:
        print("FAIL " + text)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
