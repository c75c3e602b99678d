// File information records: the indented block that names a file in a page,
// with version, checksums, size, attributes and times.
#pragma once
#include "platform/win.h"
#include "report/page_writer.h"

#include <cstddef>
#include <cstdint>

// Inputs of WriteFileEntry (in the order of its arguments). The standard
// entry has withVersion and withMd5 set and everything else off.
struct FileStamp;

struct FileEntryRequest {
    const char* path = nullptr;    // folder, or the full path when name is null
    const char* name = nullptr;
    Page page = nullptr;
    bool withCrc = false;
    unsigned long long size = 0;   // known size (in full, 4 GiB and more too), else 0
    const char* header = nullptr;  // replaces the standard header
    bool withSize = false;
    bool withText1 = false;
    const char* text1 = nullptr;   // usually the attributes text
    bool withVersion = false;
    bool withText2 = false;
    const char* text2 = nullptr;   // usually the time text
    bool withMd5 = false;
    const char* extraText = nullptr;
    // Size and write time the caller has just read, so the checksum cache
    // needs no look of its own; null: the entry reads them.
    const FileStamp* stamp = nullptr;
};

// Writes the block in one piece, exactly as composed (names and texts are
// never used as a format). Name, paths and version texts are written as
// HTML text; the header, text1, text2 and extraText are the caller's own
// texts and go in as they are. A path that names nothing is replaced by its
// normalised form only when that names an existing file.
void WriteFileEntry(const FileEntryRequest& request);
// The standard entry (version lines and MD5) for `path` [+ `name`].
void WriteStandardFileEntry(const char* path, const char* name, Page page);
// Entry for the file that a registry or command text names; nothing when no
// such file exists.
void WriteFileDetailsForText(const char* text, Page page);
// Best existing file path for a text ("\??\" prefixes, %SystemRoot% tokens,
// arguments and quotes removed); out stays untouched when the text has no
// ".", else it always holds a terminated text, which may name nothing.
void NormalizeFilePath(const char* text, char* out, size_t capacity);
// "File attributes: [ARHS]" and "GMT: mm.dd.yyyy, hh:mm:ss" (UTC; empty for
// a time before 1601); either output may be null. Each call advances the
// step counter.
void FormatFileAttributes(DWORD attributes, char* out, size_t capacity);
void FormatGmtTime(int64_t unixTime, char* out, size_t capacity);
// CRC-32 of the first byteCount bytes (a 64-bit count: files of 4 GiB and
// more are read to their end). False when the file cannot be opened or holds
// fewer bytes (out is then 0xFFFFFFFF); byteCount 0 gives 0.
bool FileCrc32(const char* path, unsigned long long byteCount, DWORD* out);
// 32 lowercase hex digits into out (33 bytes); false, with out empty, when
// the file cannot be read to its end.
bool FileMd5Hex(const char* path, char* out, size_t capacity);
// Outputs are 260-character buffers or null; all are cleared first. False
// when the file has no version resource; a resource that cannot be read
// gives true with empty texts.
bool ReadFileVersionStrings(const char* path, char* version, char* description, char* company, char* copyright);
bool IsPeImage(const char* path);
// Target (unexpanded) and description are 260-character buffers, cleared
// first. A missing shell link class is reported as the status line "RegError".
HRESULT ResolveShortcut(HWND window, const char* linkPath, char* target, char* description);
