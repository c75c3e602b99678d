// Streaming zip writer: local header, data through one 8,192-byte buffer,
// header patched afterwards; central directory kept in memory until the end.
#include "archive/zip_writer.h"

#include "platform/win.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#define ZLIB_CONST  // next_in points at the caller's const data
#include <zlib.h>

namespace {

constexpr uint64_t kDefaultLargest = 0xFFFFFFFEu;  // 0xFFFFFFFF means "see Zip64"
constexpr unsigned kMostEntries = 0xFFFEu;         // 0xFFFF likewise
constexpr unsigned kBufferSize = 8192;
constexpr unsigned kLocalHeaderSize = 30;
constexpr unsigned kCentralHeaderSize = 46;
constexpr unsigned kEndRecordSize = 22;
constexpr unsigned kVersion = 20;                  // 2.0: deflate, folders
constexpr unsigned kMadeByFat = 0;                 // attributes are DOS attributes

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

bool IsLeapYear(unsigned year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(unsigned month, unsigned year)  // month 0..11
{
    static const unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 1 && IsLeapYear(year) ? 29 : kDays[month];
}

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
    unsigned entries;

    bool entryOpen;
    bool entryIsFolder;
    char* entryName;
    size_t entryNameLength;
    uint64_t entryStart;            // offset of the local header
    unsigned method;
    uint32_t dosDateTime;
    uint32_t internalAttributes;
    uint32_t externalAttributes;
    uint32_t crc;
    uint64_t rawSize;
    uint64_t packedSize;
    bool streamReady;
    z_stream stream;
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

bool SeekTo(HANDLE file, uint64_t offset)
{
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != FALSE;
}

bool WriteAll(HANDLE file, const unsigned char* data, unsigned length, unsigned* written)
{
    *written = 0;
    while (*written < length) {
        DWORD wrote = 0;
        if (!WriteFile(file, data + *written, length - *written, &wrote, nullptr) || wrote == 0) return false;
        *written += wrote;
    }
    return true;
}

// Writes the buffer out. Bytes not written stay at its front, so a later
// roll-back still knows exactly what reached the disk.
bool Flush(ZipArchive* zip)
{
    unsigned written = 0;
    bool ok = WriteAll(zip->file, zip->out, zip->outUsed, &written);
    zip->flushed += written;
    zip->outUsed -= written;
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
    unsigned written = 0;
    bool ok = SeekTo(zip->file, offset) && WriteAll(zip->file, data, length, &written);
    ok = SeekTo(zip->file, zip->flushed) && ok;
    if (!ok) Fail(zip, ZIP_ERRNO);
    return ok;
}

void FreeEntry(ZipArchive* zip)
{
    if (zip->streamReady) deflateEnd(&zip->stream);
    zip->streamReady = false;
    free(zip->entryName);
    zip->entryName = nullptr;
    zip->entryOpen = false;
}

// Removes the open entry from the file again after a failure, so the
// completed entries before it still make a readable archive.
void DropEntry(ZipArchive* zip)
{
    FreeEntry(zip);
    if (zip->entryStart >= zip->flushed) {
        zip->outUsed = static_cast<unsigned>(zip->entryStart - zip->flushed);
        return;
    }
    zip->outUsed = 0;
    if (SeekTo(zip->file, zip->entryStart) && SetEndOfFile(zip->file)) {
        zip->flushed = zip->entryStart;
    } else {
        zip->intact = false;
    }
}

// Runs deflate over the input until it is consumed (or, finishing, until the
// stream ends), emptying the buffer into the file whenever it is full.
bool Deflate(ZipArchive* zip, int flush)
{
    for (;;) {
        if (zip->outUsed == kBufferSize && !Flush(zip)) return false;
        unsigned space = kBufferSize - zip->outUsed;
        zip->stream.next_out = zip->out + zip->outUsed;
        zip->stream.avail_out = space;
        int rc = deflate(&zip->stream, flush);
        unsigned produced = space - zip->stream.avail_out;
        zip->outUsed += produced;
        zip->packedSize += produced;
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
            Fail(zip, ZIP_INTERNALERROR);
            return false;
        }
        if (zip->packedSize > g_largest) {
            Fail(zip, ZIP_TOOBIG);
            return false;
        }
        if (flush == Z_FINISH ? rc == Z_STREAM_END : zip->stream.avail_in == 0) return true;
        if (rc == Z_BUF_ERROR && produced == 0 && zip->outUsed < kBufferSize) {
            Fail(zip, ZIP_INTERNALERROR);  // no progress although there was room
            return false;
        }
    }
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

// Finishes the data of the open entry and records it. On failure the entry
// is dropped and the failure kept.
int FinishEntry(ZipArchive* zip)
{
    if (zip->error == ZIP_OK && zip->streamReady) {
        zip->stream.next_in = nullptr;
        zip->stream.avail_in = 0;
        Deflate(zip, Z_FINISH);
    }
    size_t record = kCentralHeaderSize + zip->entryNameLength;
    if (zip->error == ZIP_OK && (Position(zip) > g_largest || zip->directoryUsed + record > g_largest)) {
        Fail(zip, ZIP_TOOBIG);
    }
    if (zip->error == ZIP_OK && !EnsureDirectoryRoom(zip, record)) Fail(zip, ZIP_INTERNALERROR);
    if (zip->error == ZIP_OK) {
        unsigned char sums[12];
        Put32(sums, zip->crc);
        Put32(sums + 4, static_cast<uint32_t>(zip->packedSize));
        Put32(sums + 8, static_cast<uint32_t>(zip->rawSize));
        PatchBytes(zip, zip->entryStart + 14, sums, sizeof sums);
    }
    if (zip->error != ZIP_OK) {
        DropEntry(zip);
        return zip->error;
    }

    unsigned char* at = zip->directory + zip->directoryUsed;
    Put32(at, 0x02014b50u);
    Put16(at + 4, kMadeByFat << 8 | kVersion);
    Put16(at + 6, kVersion);
    Put16(at + 8, 0);                                // no data descriptor, no options
    Put16(at + 10, zip->method);
    Put32(at + 12, zip->dosDateTime);                // time (low), date (high)
    Put32(at + 16, zip->crc);
    Put32(at + 20, static_cast<uint32_t>(zip->packedSize));
    Put32(at + 24, static_cast<uint32_t>(zip->rawSize));
    Put16(at + 28, static_cast<unsigned>(zip->entryNameLength));
    Put16(at + 30, 0);                               // extra field
    Put16(at + 32, 0);                               // comment
    Put16(at + 34, 0);                               // disk
    Put16(at + 36, zip->internalAttributes);
    Put32(at + 38, zip->externalAttributes);
    Put32(at + 42, static_cast<uint32_t>(zip->entryStart));
    memcpy(at + kCentralHeaderSize, zip->entryName, zip->entryNameLength);
    zip->directoryUsed += record;
    ++zip->entries;
    FreeEntry(zip);
    return ZIP_OK;
}

int WriteDirectory(ZipArchive* zip, const char* comment, size_t commentLength)
{
    uint64_t directoryStart = Position(zip);
    if (directoryStart > g_largest || zip->directoryUsed > g_largest) return Fail(zip, ZIP_TOOBIG);
    unsigned char end[kEndRecordSize];
    Put32(end, 0x06054b50u);
    Put16(end + 4, 0);                               // this disk
    Put16(end + 6, 0);                               // disk with the directory
    Put16(end + 8, zip->entries);
    Put16(end + 10, zip->entries);
    Put32(end + 12, static_cast<uint32_t>(zip->directoryUsed));
    Put32(end + 16, static_cast<uint32_t>(directoryStart));
    Put16(end + 20, static_cast<unsigned>(commentLength));
    if (AppendBytes(zip, zip->directory, zip->directoryUsed) && AppendBytes(zip, end, sizeof end) &&
        AppendBytes(zip, comment, commentLength)) {
        Flush(zip);
    }
    return zip->error;
}

}  // namespace

ZipFile ZipOpen(const char* path)
{
    if (!path || !*path) return nullptr;
    ZipArchive* zip = static_cast<ZipArchive*>(calloc(1, sizeof(ZipArchive)));
    if (!zip) return nullptr;
    zip->file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (zip->file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        free(zip);
        SetLastError(error);
        return nullptr;
    }
    zip->intact = true;
    return zip;
}

int ZipOpenNewFileInZip(ZipFile zip, const char* name, const ZipEntryInfo* info, int method, int level)
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
    if (zip->entries >= kMostEntries || Position(zip) > g_largest) return Fail(zip, ZIP_TOOBIG);

    char* copy = static_cast<char*>(malloc(nameLength + 1));
    if (!copy) return Fail(zip, ZIP_INTERNALERROR);
    memcpy(copy, name, nameLength + 1);

    zip->entryOpen = true;
    zip->entryIsFolder = name[nameLength - 1] == '/';
    zip->entryName = copy;
    zip->entryNameLength = nameLength;
    zip->entryStart = Position(zip);
    zip->method = static_cast<unsigned>(method);
    zip->dosDateTime = info->dosDate != 0 ? info->dosDate : ZipDosDateTime(info->tmz_date);
    zip->internalAttributes = info->internal_fa;
    zip->externalAttributes = info->external_fa;
    zip->crc = crc32(0L, Z_NULL, 0);
    zip->rawSize = 0;
    zip->packedSize = 0;
    if (method == Z_DEFLATED) {
        memset(&zip->stream, 0, sizeof zip->stream);
        // Negative window bits: raw deflate, the zip entry carries no zlib wrapper.
        if (deflateInit2(&zip->stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            Fail(zip, ZIP_INTERNALERROR);
            DropEntry(zip);
            return zip->error;
        }
        zip->streamReady = true;
    }

    unsigned char header[kLocalHeaderSize];
    Put32(header, 0x04034b50u);
    Put16(header + 4, kVersion);
    Put16(header + 6, 0);                            // flags: sizes are patched in, no descriptor
    Put16(header + 8, zip->method);
    Put32(header + 10, zip->dosDateTime);
    Put32(header + 14, 0);                           // CRC-32, sizes: patched when closed
    Put32(header + 18, 0);
    Put32(header + 22, 0);
    Put16(header + 26, static_cast<unsigned>(nameLength));
    Put16(header + 28, 0);                           // extra field
    if (!AppendBytes(zip, header, sizeof header) || !AppendBytes(zip, name, nameLength)) {
        DropEntry(zip);
        return zip->error;
    }
    return ZIP_OK;
}

int ZipWriteInFileInZip(ZipFile zip, const void* data, unsigned length)
{
    if (!zip || !zip->entryOpen || (!data && length > 0)) return ZIP_PARAMERROR;
    if (length > 0 && zip->entryIsFolder) return ZIP_PARAMERROR;
    if (zip->error != ZIP_OK) return zip->error;
    if (length == 0) return ZIP_OK;
    if (zip->rawSize + length > g_largest) return Fail(zip, ZIP_TOOBIG);

    zip->crc = crc32(zip->crc, static_cast<const Bytef*>(data), length);
    zip->rawSize += length;
    if (zip->streamReady) {
        zip->stream.next_in = static_cast<const Bytef*>(data);
        zip->stream.avail_in = length;
        Deflate(zip, Z_NO_FLUSH);
    } else {
        zip->packedSize += length;
        AppendBytes(zip, data, length);
    }
    return zip->error;
}

int ZipCloseFileInZip(ZipFile zip)
{
    if (!zip || !zip->entryOpen) return ZIP_PARAMERROR;
    return FinishEntry(zip);
}

int ZipClose(ZipFile zip, const char* globalComment)
{
    if (!zip) return ZIP_PARAMERROR;
    if (zip->entryOpen) FinishEntry(zip);
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
    free(zip->directory);
    free(zip);
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
