// Streaming zip writer. The caller's data is cut into pieces, which
// compressor threads (or the calling thread) deflate (zip_pieces.cpp); the
// calling thread writes them out in the order they were handed over, through
// one output buffer, and keeps the central directory in memory until the end.
// Entries handed over but not yet written out wait in a ring as long as the
// ring of pieces; each holds at least one piece, so it cannot overflow.
#include "archive/zip_writer.h"

#include "archive/zip_pieces.h"
#include "platform/win.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <zlib.h>

namespace {

constexpr uint64_t kDefaultLargest = 0xFFFFFFFEu;  // 0xFFFFFFFF means "see Zip64"
constexpr uint32_t kZip64Marker = 0xFFFFFFFFu;
constexpr unsigned kMostClassicEntries = 0xFFFEu;  // 0xFFFF is the marker
constexpr unsigned kBufferSize = 64 * 1024;
constexpr unsigned kLocalHeaderSize = 30;
constexpr unsigned kCentralHeaderSize = 46;
constexpr unsigned kEndRecordSize = 22;
constexpr unsigned kZip64EndRecordSize = 56;
constexpr unsigned kZip64LocatorSize = 20;
constexpr unsigned kZip64ExtraId = 0x0001;
constexpr unsigned kZip64SizesExtraSize = 4 + 16;  // header, both sizes
constexpr unsigned kVersion = 20;                  // 2.0: deflate, folders
constexpr unsigned kVersionZip64 = 45;             // 4.5: Zip64 records
// Deflate may grow data a little (stored blocks of random data); an entry
// announced this close to the limit gets Zip64 sizes.
constexpr uint64_t kGrowthMargin = 64 * 1024;
constexpr unsigned kMadeByFat = 0;                 // attributes are DOS attributes
constexpr unsigned kFlagMaximumCompression = 0x2;  // general-purpose bit 1 with deflate

uint64_t g_largest = kDefaultLargest;

void Put16(unsigned char* at, unsigned value)
{
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void Put32(unsigned char* at, uint32_t value)
{
    Put16(at, value & 0xFFFFu);
    Put16(at + 2, value >> 16);
}

void Put64(unsigned char* at, uint64_t value)
{
    Put32(at, static_cast<uint32_t>(value));
    Put32(at + 4, static_cast<uint32_t>(value >> 32));
}

// A value for a classic field: itself, or the marker when it does not fit.
uint32_t Classic(uint64_t value)
{
    return value > g_largest ? kZip64Marker : static_cast<uint32_t>(value);
}

bool MayPassClassicSizes(uint64_t expectedSize)
{
    if (expectedSize == 0) return false;
    if (expectedSize > g_largest) return true;
    return g_largest - expectedSize < expectedSize / 128 + kGrowthMargin;
}

int WriteWithWriteFile(void* file, const void* data, unsigned long length, unsigned long* written)
{
    return WriteFile(static_cast<HANDLE>(file), data, length, written, nullptr);
}

ZipFileWrite g_write = &WriteWithWriteFile;

bool IsLeapYear(unsigned year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(unsigned month, unsigned year)  // month 0..11
{
    static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 1 && IsLeapYear(year) ? 29 : kDays[month];
}

// An entry handed over by the caller and not yet written out.
struct PendingEntry {
    char* name;
    size_t nameLength;
    unsigned method;
    unsigned flags;
    uint32_t dosDateTime;
    uint32_t internalAttributes;
    uint32_t externalAttributes;
    bool failed;                   // dropped when its last piece comes out
    bool headerWritten;
    bool headerComplete;           // CRC-32 and sizes already in the local header
    bool zip64Sizes;               // announced large: Zip64 sizes in local and central records
    uint64_t start;                // offset of the local header
    uint32_t crc;
    uint64_t rawSize;
    uint64_t packedSize;
};

}  // namespace

struct ZipArchive {
    HANDLE file;
    uint64_t flushed;               // bytes on disk; the buffer follows them
    unsigned outUsed;
    unsigned char out[kBufferSize];
    int error;                      // first failure other than a bad argument
    bool intact;                    // the file holds exactly the completed entries (+ buffer)

    unsigned char* directory;       // central records of the completed entries
    size_t directoryUsed;
    size_t directoryCapacity;
    uint64_t entries;               // in the directory

    PieceRing pieces;
    PendingEntry* pending;          // as many as pieces.Slots()
    unsigned headEntry;             // sequence numbers
    unsigned tailEntry;
    unsigned char carry[kZipWindowSize];  // the end of a full piece, the dictionary of the next

    bool entryOpen;
    bool entryIsFolder;
    bool entryZip64Sizes;
    Piece* filling;                 // the open entry's piece being filled
    uint64_t openRawSize;
};

namespace {

uint64_t Position(const ZipArchive* zip)
{
    return zip->flushed + zip->outUsed;
}

int Fail(ZipArchive* zip, int code)
{
    if (zip->error == ZIP_OK) zip->error = code;
    return zip->error;
}

// ---- the file ------------------------------------------------------------------

bool SeekTo(HANDLE file, uint64_t offset)
{
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != FALSE;
}

bool WriteAll(HANDLE file, const unsigned char* data, size_t length, size_t* written)
{
    *written = 0;
    while (*written < length) {
        size_t part = length - *written;
        if (part > 0x40000000u) part = 0x40000000u;
        unsigned long wrote = 0;
        const bool done = g_write(file, data + *written, static_cast<unsigned long>(part), &wrote) != 0;
        // A write that fails may still have put part of its bytes on disk.
        *written += wrote < part ? wrote : part;
        if (!done || wrote == 0) return false;
    }
    return true;
}

// Writes the buffer out. Bytes not written stay at its front, so a later
// roll-back still knows exactly what reached the disk.
bool Flush(ZipArchive* zip)
{
    size_t written = 0;
    bool ok = WriteAll(zip->file, zip->out, zip->outUsed, &written);
    zip->flushed += written;
    zip->outUsed -= static_cast<unsigned>(written);
    if (!ok) {
        memmove(zip->out, zip->out + written, zip->outUsed);
        Fail(zip, ZIP_ERRNO);
        return false;
    }
    return true;
}

bool AppendBytes(ZipArchive* zip, const void* data, size_t length)
{
    const unsigned char* from = static_cast<const unsigned char*>(data);
    while (length > 0) {
        if (zip->outUsed == kBufferSize && !Flush(zip)) return false;
        if (zip->outUsed == 0 && length >= kBufferSize) {
            // Large data goes to the file directly, not through the buffer.
            size_t written = 0;
            bool ok = WriteAll(zip->file, from, length, &written);
            zip->flushed += written;
            if (!ok) Fail(zip, ZIP_ERRNO);
            return ok;
        }
        size_t part = kBufferSize - zip->outUsed;
        if (part > length) part = length;
        memcpy(zip->out + zip->outUsed, from, part);
        zip->outUsed += static_cast<unsigned>(part);
        from += part;
        length -= part;
    }
    return true;
}

// Overwrites bytes already written at `offset`: in the buffer if they are
// still there, else on disk (after flushing, so nothing straddles).
bool PatchBytes(ZipArchive* zip, uint64_t offset, const unsigned char* data, unsigned length)
{
    if (offset >= zip->flushed) {
        memcpy(zip->out + (offset - zip->flushed), data, length);
        return true;
    }
    if (!Flush(zip)) return false;
    size_t written = 0;
    bool ok = SeekTo(zip->file, offset) && WriteAll(zip->file, data, length, &written);
    ok = SeekTo(zip->file, zip->flushed) && ok;
    if (!ok) Fail(zip, ZIP_ERRNO);
    return ok;
}

// Removes what follows `start` from the file again after a failure, so the
// completed entries before it still make a readable archive. The file is
// always cut and its pointer set back: a failed write may have left bytes
// past those counted, and a failed patch the pointer elsewhere.
bool CutFileAt(ZipArchive* zip, uint64_t start)
{
    if (start >= zip->flushed) {
        zip->outUsed = static_cast<unsigned>(start - zip->flushed);
        start = zip->flushed;
    } else {
        zip->outUsed = 0;
    }
    if (SeekTo(zip->file, start) && SetEndOfFile(zip->file)) {
        zip->flushed = start;
        return true;
    }
    zip->intact = false;
    return false;
}

bool EnsureDirectoryRoom(ZipArchive* zip, size_t more)
{
    if (zip->directoryCapacity - zip->directoryUsed >= more) return true;
    size_t capacity = zip->directoryCapacity ? zip->directoryCapacity : 4096;
    while (capacity - zip->directoryUsed < more) {
        if (capacity > SIZE_MAX / 2) return false;
        capacity *= 2;
    }
    unsigned char* grown = static_cast<unsigned char*>(realloc(zip->directory, capacity));
    if (!grown) return false;
    zip->directory = grown;
    zip->directoryCapacity = capacity;
    return true;
}

// ---- writing entries out, on the calling thread --------------------------------

PendingEntry* FrontEntry(ZipArchive* zip) { return &zip->pending[zip->headEntry % zip->pieces.Slots()]; }
PendingEntry* BackEntry(ZipArchive* zip) { return &zip->pending[(zip->tailEntry - 1) % zip->pieces.Slots()]; }

// A failure while writing out: the entry being written and every entry
// handed over after it are dropped.
void FailWriteOut(ZipArchive* zip, int code)
{
    Fail(zip, code);
    for (unsigned i = zip->headEntry; i != zip->tailEntry; ++i) zip->pending[i % zip->pieces.Slots()].failed = true;
}

// CRC-32 and sizes as the local header holds them.
void PutLocalSums(unsigned char* at, const PendingEntry* entry)
{
    Put32(at, entry->crc);
    Put32(at + 4, entry->zip64Sizes ? kZip64Marker : static_cast<uint32_t>(entry->packedSize));
    Put32(at + 8, entry->zip64Sizes ? kZip64Marker : static_cast<uint32_t>(entry->rawSize));
}

// The local Zip64 extra field: both sizes, the plain one first.
void PutLocalZip64Extra(unsigned char* at, const PendingEntry* entry)
{
    Put16(at, kZip64ExtraId);
    Put16(at + 2, 16);
    Put64(at + 4, entry->rawSize);
    Put64(at + 12, entry->packedSize);
}

bool AppendLocalHeader(ZipArchive* zip, PendingEntry* entry, bool complete)
{
    unsigned char header[kLocalHeaderSize];
    Put32(header, 0x04034b50u);
    Put16(header + 4, entry->zip64Sizes ? kVersionZip64 : kVersion);
    Put16(header + 6, entry->flags);                 // sizes are written in, no descriptor
    Put16(header + 8, entry->method);
    Put32(header + 10, entry->dosDateTime);
    // CRC-32 and sizes: known now for a one-piece entry, else patched at its end.
    memset(header + 14, 0, 12);
    if (complete) PutLocalSums(header + 14, entry);
    Put16(header + 26, static_cast<unsigned>(entry->nameLength));
    Put16(header + 28, entry->zip64Sizes ? kZip64SizesExtraSize : 0);
    unsigned char extra[kZip64SizesExtraSize];
    PutLocalZip64Extra(extra, entry);
    entry->start = Position(zip);
    entry->headerWritten = true;
    entry->headerComplete = complete;
    return AppendBytes(zip, header, sizeof header) && AppendBytes(zip, entry->name, entry->nameLength) &&
           (!entry->zip64Sizes || AppendBytes(zip, extra, sizeof extra));
}

int AddPieceToEntry(ZipArchive* zip, PendingEntry* entry, const Piece* piece)
{
    if (piece->result != ZIP_OK) return piece->result;
    const size_t length = PieceOutputLength(piece);
    if (!entry->zip64Sizes && entry->packedSize + length > g_largest) return ZIP_TOOBIG;
    entry->crc = static_cast<uint32_t>(crc32_combine(entry->crc, piece->crc, static_cast<z_off_t>(piece->dataLength)));
    entry->rawSize += piece->dataLength;
    entry->packedSize += length;
    if (!entry->headerWritten && !AppendLocalHeader(zip, entry, piece->last)) return ZIP_ERRNO;
    return AppendBytes(zip, PieceOutput(piece), length) ? ZIP_OK : ZIP_ERRNO;
}

// The central record's Zip64 extra field: the values whose classic field
// holds the marker, in the format's order. Returns its length (0: none).
size_t PutCentralZip64Extra(unsigned char* at, const PendingEntry* entry)
{
    size_t length = 4;
    if (entry->zip64Sizes) {
        Put64(at + length, entry->rawSize);
        Put64(at + length + 8, entry->packedSize);
        length += 16;
    }
    if (Classic(entry->start) == kZip64Marker) {
        Put64(at + length, entry->start);
        length += 8;
    }
    if (length == 4) return 0;
    Put16(at, kZip64ExtraId);
    Put16(at + 2, static_cast<unsigned>(length - 4));
    return length;
}

// The entry's data is out: CRC-32 and sizes into its header, its record into
// the directory.
int RecordEntry(ZipArchive* zip, PendingEntry* entry)
{
    unsigned char extra[4 + 24];
    const size_t extraLength = PutCentralZip64Extra(extra, entry);
    size_t record = kCentralHeaderSize + entry->nameLength + extraLength;
    if (!EnsureDirectoryRoom(zip, record)) return ZIP_INTERNALERROR;
    if (!entry->headerComplete) {
        unsigned char sums[12];
        PutLocalSums(sums, entry);
        if (!PatchBytes(zip, entry->start + 14, sums, sizeof sums)) return ZIP_ERRNO;
        if (entry->zip64Sizes) {
            unsigned char sizes[kZip64SizesExtraSize];
            PutLocalZip64Extra(sizes, entry);
            if (!PatchBytes(zip, entry->start + kLocalHeaderSize + entry->nameLength, sizes, sizeof sizes)) {
                return ZIP_ERRNO;
            }
        }
    }

    const unsigned version = extraLength > 0 ? kVersionZip64 : kVersion;
    unsigned char* at = zip->directory + zip->directoryUsed;
    Put32(at, 0x02014b50u);
    Put16(at + 4, kMadeByFat << 8 | version);
    Put16(at + 6, version);
    Put16(at + 8, entry->flags);
    Put16(at + 10, entry->method);
    Put32(at + 12, entry->dosDateTime);              // time (low), date (high)
    Put32(at + 16, entry->crc);
    Put32(at + 20, entry->zip64Sizes ? kZip64Marker : static_cast<uint32_t>(entry->packedSize));
    Put32(at + 24, entry->zip64Sizes ? kZip64Marker : static_cast<uint32_t>(entry->rawSize));
    Put16(at + 28, static_cast<unsigned>(entry->nameLength));
    Put16(at + 30, static_cast<unsigned>(extraLength));
    Put16(at + 32, 0);                               // comment
    Put16(at + 34, 0);                               // disk
    Put16(at + 36, entry->internalAttributes);
    Put32(at + 38, entry->externalAttributes);
    Put32(at + 42, Classic(entry->start));
    memcpy(at + kCentralHeaderSize, entry->name, entry->nameLength);
    memcpy(at + kCentralHeaderSize + entry->nameLength, extra, extraLength);
    zip->directoryUsed += record;
    ++zip->entries;
    return ZIP_OK;
}

void PopEntry(ZipArchive* zip)
{
    PendingEntry* entry = FrontEntry(zip);
    free(entry->name);
    entry->name = nullptr;
    ++zip->headEntry;
}

// Writes out the oldest piece, which is done.
void WriteOutPiece(ZipArchive* zip, Piece* piece)
{
    PendingEntry* entry = FrontEntry(zip);
    if (!entry->failed) {
        int code = AddPieceToEntry(zip, entry, piece);
        if (code == ZIP_OK && piece->last) code = RecordEntry(zip, entry);
        if (code != ZIP_OK) FailWriteOut(zip, code);
    }
    if (piece->last) {
        if (entry->failed && entry->headerWritten) CutFileAt(zip, entry->start);
        PopEntry(zip);
    }
    zip->pieces.ReleaseOldest();
}

// Writes out the pieces that are done, oldest first; with `wait`, waits for
// every piece handed over.
void WriteOut(ZipArchive* zip, bool wait)
{
    while (!zip->pieces.Empty()) {
        Piece* piece = zip->pieces.Oldest();
        PieceState state = zip->pieces.StateOf(piece);
        if (state == PieceState::Filling) return;  // the open entry's, not handed over yet
        if (state != PieceState::Done) {
            if (!wait) return;
            zip->pieces.WaitUntilDone(piece);
        }
        WriteOutPiece(zip, piece);
    }
}

// The next slot; when all are in flight, the oldest is written out first.
Piece* AcquirePiece(ZipArchive* zip, unsigned method, int level)
{
    if (zip->pieces.Full()) {
        Piece* oldest = zip->pieces.Oldest();
        zip->pieces.WaitUntilDone(oldest);
        WriteOutPiece(zip, oldest);
    }
    return zip->pieces.Acquire(method, level);
}

void QueuePiece(ZipArchive* zip, Piece* piece)
{
    zip->pieces.Queue(piece);
    WriteOut(zip, false);
}

// Hands the open entry's last piece over; after a failure the entry is
// dropped when that piece comes out.
int EndOpenEntry(ZipArchive* zip)
{
    Piece* piece = zip->filling;
    zip->filling = nullptr;
    zip->entryOpen = false;
    if (zip->error != ZIP_OK) {
        BackEntry(zip)->failed = true;
        piece->discard = true;
    }
    piece->last = true;
    QueuePiece(zip, piece);
    return zip->error;
}

int FailOpenEntry(ZipArchive* zip, int code)
{
    Fail(zip, code);
    EndOpenEntry(zip);
    return zip->error;
}

void FreeArchive(ZipArchive* zip)
{
    if (zip->pending != nullptr) {
        for (unsigned i = 0; i < zip->pieces.Slots(); ++i) free(zip->pending[i].name);
    }
    delete[] zip->pending;
    free(zip->directory);
    delete zip;
}

// The Zip64 end record and its locator, for a directory of `size` bytes at
// `start`; the record itself follows the directory.
void PutZip64End(unsigned char* at, const ZipArchive* zip, uint64_t start, uint64_t size)
{
    Put32(at, 0x06064b50u);
    Put64(at + 4, kZip64EndRecordSize - 12);        // the record's size after this field
    Put16(at + 12, kMadeByFat << 8 | kVersionZip64);
    Put16(at + 14, kVersionZip64);
    Put32(at + 16, 0);                               // this disk
    Put32(at + 20, 0);                               // disk with the directory
    Put64(at + 24, zip->entries);
    Put64(at + 32, zip->entries);
    Put64(at + 40, size);
    Put64(at + 48, start);
    unsigned char* locator = at + kZip64EndRecordSize;
    Put32(locator, 0x07064b50u);
    Put32(locator + 4, 0);                           // disk with the Zip64 end record
    Put64(locator + 8, start + size);
    Put32(locator + 16, 1);                          // disks
}

bool AppendDirectory(ZipArchive* zip, const char* comment, size_t commentLength)
{
    const uint64_t start = Position(zip);
    const uint64_t size = zip->directoryUsed;
    const bool zip64 = zip->entries > kMostClassicEntries || Classic(start) == kZip64Marker ||
                       Classic(size) == kZip64Marker;
    const unsigned entries = zip->entries > kMostClassicEntries ? 0xFFFFu : static_cast<unsigned>(zip->entries);
    unsigned char zip64End[kZip64EndRecordSize + kZip64LocatorSize];
    PutZip64End(zip64End, zip, start, size);
    unsigned char end[kEndRecordSize];
    Put32(end, 0x06054b50u);
    Put16(end + 4, 0);                               // this disk
    Put16(end + 6, 0);                               // disk with the directory
    Put16(end + 8, entries);
    Put16(end + 10, entries);
    Put32(end + 12, Classic(size));
    Put32(end + 16, Classic(start));
    Put16(end + 20, static_cast<unsigned>(commentLength));
    return AppendBytes(zip, zip->directory, zip->directoryUsed) &&
           (!zip64 || AppendBytes(zip, zip64End, sizeof zip64End)) && AppendBytes(zip, end, sizeof end) &&
           AppendBytes(zip, comment, commentLength) && Flush(zip);
}

int WriteDirectory(ZipArchive* zip, const char* comment, size_t commentLength)
{
    const uint64_t start = Position(zip);
    // A directory cut short is no archive at all: after a failed write it is
    // cut off and written once more.
    if (!AppendDirectory(zip, comment, commentLength) && CutFileAt(zip, start)) {
        AppendDirectory(zip, comment, commentLength);
    }
    return zip->error;
}

}  // namespace

ZipFile ZipOpen(const char* path, unsigned compressors)
{
    if (!path || !*path) return nullptr;
    ZipArchive* zip = new (std::nothrow) ZipArchive();
    if (!zip) return nullptr;
    zip->file = INVALID_HANDLE_VALUE;
    if (!zip->pieces.Start(compressors) ||
        (zip->pending = new (std::nothrow) PendingEntry[zip->pieces.Slots()]()) == nullptr) {
        FreeArchive(zip);
        return nullptr;
    }
    zip->file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
    if (zip->file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        FreeArchive(zip);
        SetLastError(error);
        return nullptr;
    }
    zip->intact = true;
    return zip;
}

unsigned ZipCompressorsForThisMachine()
{
    SYSTEM_INFO info;
    memset(&info, 0, sizeof info);
    GetSystemInfo(&info);
    unsigned processors = info.dwNumberOfProcessors;
    if (processors < 1) processors = 1;
    return processors < kMostZipCompressors ? processors : kMostZipCompressors;
}

int ZipOpenNewFileInZip(ZipFile zip, const char* name, const ZipEntryInfo* info, int method, int level,
                        uint64_t expectedSize)
{
    if (!zip || !name || !*name || !info) return ZIP_PARAMERROR;
    size_t nameLength = strlen(name);
    if (nameLength > 0xFFFFu) return ZIP_PARAMERROR;
    if (method != 0 && method != Z_DEFLATED) return ZIP_PARAMERROR;
    if (level < -1 || level > 9) return ZIP_PARAMERROR;
    if (info->internal_fa > 0xFFFFu) return ZIP_PARAMERROR;

    if (zip->entryOpen) {
        int rc = ZipCloseFileInZip(zip);
        if (rc != ZIP_OK) return rc;
    }
    if (zip->error != ZIP_OK) return zip->error;

    char* copy = static_cast<char*>(malloc(nameLength + 1));
    if (!copy) return Fail(zip, ZIP_INTERNALERROR);
    memcpy(copy, name, nameLength + 1);

    // Taking a slot may write older entries out, which may fail.
    Piece* piece = AcquirePiece(zip, static_cast<unsigned>(method), level);
    PendingEntry* entry = &zip->pending[zip->tailEntry % zip->pieces.Slots()];
    ++zip->tailEntry;
    memset(entry, 0, sizeof *entry);
    entry->name = copy;
    entry->nameLength = nameLength;
    entry->method = static_cast<unsigned>(method);
    entry->flags = method == Z_DEFLATED && level >= 8 ? kFlagMaximumCompression : 0;
    entry->dosDateTime = info->dosDate != 0 ? info->dosDate : ZipDosDateTime(info->tmz_date);
    entry->internalAttributes = info->internal_fa;
    entry->externalAttributes = info->external_fa;
    entry->crc = static_cast<uint32_t>(crc32(0L, Z_NULL, 0));
    entry->zip64Sizes = MayPassClassicSizes(expectedSize);

    zip->entryOpen = true;
    zip->entryIsFolder = name[nameLength - 1] == '/';
    zip->entryZip64Sizes = entry->zip64Sizes;
    zip->filling = piece;
    zip->openRawSize = 0;
    if (zip->error != ZIP_OK) return FailOpenEntry(zip, zip->error);
    return ZIP_OK;
}

int ZipWriteInFileInZip(ZipFile zip, const void* data, unsigned length)
{
    if (!zip || !zip->entryOpen || (!data && length > 0)) return ZIP_PARAMERROR;
    if (length > 0 && zip->entryIsFolder) return ZIP_PARAMERROR;
    if (zip->error != ZIP_OK) return zip->error;
    if (length == 0) return ZIP_OK;
    // The entry stays open: closing it drops it and returns the failure.
    if (!zip->entryZip64Sizes && zip->openRawSize + length > g_largest) return Fail(zip, ZIP_TOOBIG);
    zip->openRawSize += length;

    const unsigned char* from = static_cast<const unsigned char*>(data);
    while (length > 0) {
        Piece* piece = zip->filling;
        if (piece->dataLength == kZipPieceSize) {
            // Full, and more data follows: the piece goes, its end primes the next.
            const bool deflated = piece->method == Z_DEFLATED;
            if (deflated) {
                memcpy(zip->carry, piece->input + piece->dictionaryLength + kZipPieceSize - kZipWindowSize,
                       kZipWindowSize);
            }
            QueuePiece(zip, piece);
            piece = AcquirePiece(zip, piece->method, piece->level);
            zip->filling = piece;
            if (zip->error != ZIP_OK) return zip->error;
            if (deflated) {
                memcpy(piece->input, zip->carry, kZipWindowSize);
                piece->dictionaryLength = kZipWindowSize;
            }
        }
        unsigned room = kZipPieceSize - piece->dataLength;
        unsigned part = length < room ? length : room;
        memcpy(piece->input + piece->dictionaryLength + piece->dataLength, from, part);
        piece->dataLength += part;
        from += part;
        length -= part;
    }
    return zip->error;
}

int ZipCloseFileInZip(ZipFile zip)
{
    if (!zip || !zip->entryOpen) return ZIP_PARAMERROR;
    return EndOpenEntry(zip);
}

int ZipFlush(ZipFile zip)
{
    if (!zip) return ZIP_PARAMERROR;
    WriteOut(zip, true);
    return zip->error;
}

int ZipClose(ZipFile zip, const char* globalComment)
{
    if (!zip) return ZIP_PARAMERROR;
    if (zip->entryOpen) EndOpenEntry(zip);
    WriteOut(zip, true);
    zip->pieces.Stop();
    int result = ZIP_OK;
    size_t commentLength = globalComment ? strlen(globalComment) : 0;
    if (commentLength > 0xFFFFu) {
        result = ZIP_PARAMERROR;
        commentLength = 0;
    }
    // After a failure the directory still lists the completed entries, so
    // whatever was collected stays readable; the result tells it is partial.
    if (zip->intact) WriteDirectory(zip, globalComment, commentLength);
    if (!CloseHandle(zip->file)) Fail(zip, ZIP_ERRNO);
    if (zip->error != ZIP_OK) result = zip->error;
    FreeArchive(zip);
    return result;
}

uint32_t ZipDosDateTime(const ZipTime& time)
{
    unsigned year = time.tm_year, month = time.tm_mon, day = time.tm_mday;
    unsigned hour = time.tm_hour, minute = time.tm_min, second = time.tm_sec;
    if (year < 1980) {
        year = 1980, month = 0, day = 1, hour = 0, minute = 0, second = 0;
    } else if (year > 2107) {
        year = 2107, month = 11, day = 31, hour = 23, minute = 59, second = 59;
    }
    if (month > 11) month = 11;
    if (day < 1) day = 1;
    if (day > DaysInMonth(month, year)) day = DaysInMonth(month, year);
    if (hour > 23) hour = 23;
    if (minute > 59) minute = 59;
    if (second > 59) second = 59;
    uint32_t date = (year - 1980) << 9 | (month + 1) << 5 | day;
    uint32_t clock = hour << 11 | minute << 5 | second / 2;
    return date << 16 | clock;
}

void ZipSetSizeLimitForTesting(uint64_t largest)
{
    g_largest = largest ? largest : kDefaultLargest;
}

void ZipSetFileWriteForTesting(ZipFileWrite write)
{
    g_write = write ? write : &WriteWithWriteFile;
}
