// A small streaming zip writer on zlib's raw deflate, shaped like the minizip
// calls: open a new archive, open an entry with a name and a time record,
// write its data, close the entry, close the archive with a global comment.
// It depends on nothing else of the program.
//
// Every entry is deflated (method 8) or stored (method 0); sizes and CRC-32
// are patched into the local header after the data, so no data descriptor is
// written. Archives and entries beyond the 4 GiB limits of the classic format
// are refused with ZIP_TOOBIG: nothing is silently corrupted.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int ZIP_OK = 0;
constexpr int ZIP_ERRNO = -1;          // a file operation failed
constexpr int ZIP_PARAMERROR = -102;   // a call out of order or a bad argument
constexpr int ZIP_INTERNALERROR = -104;
constexpr int ZIP_TOOBIG = -105;       // would pass the 4 GiB limits

// The time of an entry as the zip library expects it: month counted from 0
// (January = 0), the year with four digits.
struct ZipTime {
    unsigned tm_sec;
    unsigned tm_min;
    unsigned tm_hour;
    unsigned tm_mday;
    unsigned tm_mon;
    unsigned tm_year;
};

struct ZipEntryInfo {
    ZipTime tmz_date;
    uint32_t dosDate;              // 0: the date comes from tmz_date
    uint32_t internal_fa;
    uint32_t external_fa;
};

struct ZipArchive;
using ZipFile = ZipArchive*;

// Creates a new archive at `path` (an existing file is replaced, never
// appended to). Returns null on failure.
ZipFile ZipOpen(const char* path);

// Starts an entry. `method` is 8 (deflate) or 0 (stored); `level` 0..9.
// Extra fields and entry comments are not supported and not written.
int ZipOpenNewFileInZip(ZipFile zip, const char* name, const ZipEntryInfo* info, int method, int level);
int ZipWriteInFileInZip(ZipFile zip, const void* data, unsigned length);
int ZipCloseFileInZip(ZipFile zip);

// Closes an entry still open, writes the central directory and the global
// comment (may be null) and frees the archive, whatever the outcome.
int ZipClose(ZipFile zip, const char* globalComment);

// DOS date (high word) and time (low word) of a time record; fields out of
// range are clamped to a valid value.
uint32_t ZipDosDateTime(const ZipTime& time);
