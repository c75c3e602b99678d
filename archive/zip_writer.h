// A small streaming zip writer on zlib's raw deflate, shaped like the minizip
// calls: open a new archive, open an entry with a name and a time record,
// write its data, close the entry, close the archive with a global comment.
// It depends on nothing else of the program.
//
// Every entry is deflated (method 8) or stored (method 0); sizes and CRC-32
// are written into the local header (patched in after the data when an entry
// spans several pieces), so no data descriptor is written. Deflated entries
// of level 8 or 9 carry the general-purpose flag "maximum compression" (bit
// 1), as zip -9 sets it.
//
// Zip64: a size, offset or entry count that does not fit the classic fields
// goes into Zip64 records, and only then, so an archive that needs none is
// a classic one. The central record of such an entry carries a Zip64 extra
// field with the values that did not fit (its "version needed" is 4.5), and
// the end record is preceded by the Zip64 end record and its locator. The
// local header is written before the data, so its room for the Zip64 sizes
// is reserved up front for an entry announced near or above 4 GiB (see
// ZipOpenNewFileInZip): its header holds 0xFFFFFFFF sizes and the Zip64
// extra field with both sizes, in the central record likewise. An entry not
// announced so that grows past 4 GiB fails with ZIP_TOOBIG.
//
// Pieces and threads: entry data is deflated in pieces of kZipPieceSize
// bytes, each piece primed with the 32 KiB before it and ended with a sync
// flush, so a piece can be deflated without the pieces before it and the
// pieces together form one deflate stream. The pieces are the same whatever
// the caller's write sizes and however many compressor threads run, so the
// archive is the same byte for byte with or without threads. At most a few
// pieces per thread are held in memory.
//
// Failures: a bad argument or a call out of order returns ZIP_PARAMERROR and
// changes nothing. Any other failure (a file operation, ZIP_TOOBIG, memory)
// is kept by the archive: the entry it hit is dropped from the file again
// (the file is cut where the entry began, also when a failed write left
// part of its bytes), every later call returns that same code, and ZipClose
// still writes the central directory of the entries completed before it
// (cut and written once more if a write of it fails), so the partial file
// stays a readable archive while the caller learns that it is not complete.
// Without compressor threads every failure is returned by the call that met
// it. With threads, data reaches the file after the call that handed it
// over: a failure met while writing an entry out (a full disk, a packed size
// past the limit) is returned by a later call, by ZipClose at the latest.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int ZIP_OK = 0;
constexpr int ZIP_ERRNO = -1;          // a file operation failed
constexpr int ZIP_PARAMERROR = -102;   // a call out of order or a bad argument
constexpr int ZIP_INTERNALERROR = -104;
constexpr int ZIP_TOOBIG = -105;       // an entry not announced as large passed 4 GiB

// Entry data is deflated in pieces of this size (see above).
constexpr unsigned kZipPieceSize = 256 * 1024;

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
    uint32_t dosDate;              // 0: the date comes from tmz_date; else DOS date << 16 | DOS time
    uint32_t internal_fa;          // 16 bits in the archive: larger values are refused
    uint32_t external_fa;
};

struct ZipArchive;
using ZipFile = ZipArchive*;

// Creates a new archive at `path` (ANSI; an existing file is replaced, never
// appended to). `compressors` threads deflate the pieces (at most 16); 0
// deflates them on the calling thread. Returns null on failure (null or empty
// path, file not creatable, no memory). The caller frees the result with
// ZipClose, which also ends the threads.
ZipFile ZipOpen(const char* path, unsigned compressors = 0);

// The number of compressor threads worth starting here: one per processor.
unsigned ZipCompressorsForThisMachine();

// Starts an entry. `method` is 8 (deflate) or 0 (stored); `level` -1..9
// (-1: zlib's default; ignored when stored). `expectedSize` is the size of
// the data the caller means to write (0: unknown, taken as small); from a
// little below 4 GiB on, the entry gets Zip64 sizes (see above), whatever
// size it then has. Extra fields (but Zip64's) and entry comments are not
// supported and not written. An entry still open is closed first, as
// minizip does; if that close fails its code is returned and no entry opens.
// A name ending in "/" is a folder entry: it takes no data (writes of one
// byte or more return ZIP_PARAMERROR); deflated, its data is the two-byte
// empty stream, as for an empty file.
int ZipOpenNewFileInZip(ZipFile zip, const char* name, const ZipEntryInfo* info, int method, int level,
                        uint64_t expectedSize = 0);

// Adds `length` bytes to the open entry. Null data is accepted only with
// length 0. Without an open entry: ZIP_PARAMERROR.
int ZipWriteInFileInZip(ZipFile zip, const void* data, unsigned length);

// Finishes the open entry: CRC-32 and sizes go into its local header and it
// is recorded for the central directory (with threads: once its last piece is
// deflated). Without an open entry: ZIP_PARAMERROR.
int ZipCloseFileInZip(ZipFile zip);

// Waits until everything handed over (the open entry's data aside) is
// written out; returns ZIP_OK or the first failure met, so a caller can tell
// whether every entry so far made it before it adds more.
int ZipFlush(ZipFile zip);

// Closes an entry still open, waits for every piece, writes the central
// directory and the global comment (may be null; longer than 65535 bytes: the
// directory is written without it and ZIP_PARAMERROR returned) and frees the
// archive, whatever the outcome. Returns ZIP_OK only when every entry and the
// directory are complete; otherwise the first failure met.
int ZipClose(ZipFile zip, const char* globalComment);

// DOS date (high word) and time (low word) of a time record. Clamping: a year
// before 1980 gives the first DOS time, 1980-01-01 00:00:00, and a year after
// 2107 the last, 2107-12-31 23:59:58; otherwise a month past December gives
// December, day 0 gives the 1st, a day past the month's end its last day
// (leap years counted), and hours, minutes and seconds are cut to 23, 59 and
// 59. DOS keeps seconds in steps of two: odd seconds round down.
uint32_t ZipDosDateTime(const ZipTime& time);

// Test seam: the largest size or offset written into a classic field
// (default 0xFFFFFFFE; 0xFFFFFFFF is the marker that sends readers to the
// Zip64 records), so a test reaches the Zip64 records and ZIP_TOOBIG without
// 4 GiB of data. Process wide; 0 restores the default. Not for the program's
// own use.
void ZipSetSizeLimitForTesting(uint64_t largest);

// Test seam: the function that writes the archive's bytes, WriteFile's
// arguments without the overlapped one (the handle as void*); returns
// nonzero on success and sets *written also on failure. Process wide; null
// restores WriteFile. Not for the program's own use.
using ZipFileWrite = int (*)(void* file, const void* data, unsigned long length, unsigned long* written);
void ZipSetFileWriteForTesting(ZipFileWrite write);
