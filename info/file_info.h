// File information records: the indented block that names a file in a page,
// with version, checksums, size, attributes and times.
#pragma once
#include "platform/win.h"
#include "report/page_writer.h"

#include <cstddef>
#include <cstdint>

// Inputs of WriteFileEntry (in the order of its arguments). The standard
// entry has withVersion and withMd5 set and everything else off.
struct FileEntryRequest {
    const char* path = nullptr;    // folder, or the full path when name is null
    const char* name = nullptr;
    Page page = nullptr;
    bool withCrc = false;
    DWORD size = 0;                // known size, else 0
    const char* header = nullptr;  // replaces the standard header
    bool withSize = false;
    bool withText1 = false;
    const char* text1 = nullptr;   // usually the attributes text
    bool withVersion = false;
    bool withText2 = false;
    const char* text2 = nullptr;   // usually the time text
    bool withMd5 = false;
    const char* extraText = nullptr;
};

void WriteFileEntry(const FileEntryRequest& request);
// The standard entry (version lines and MD5) for `path` [+ `name`].
void WriteStandardFileEntry(const char* path, const char* name, Page page);
// Entry for the file that a registry or command text names; nothing when no
// such file exists.
void WriteFileDetailsForText(const char* text, Page page);
// Best existing file path for a text; out stays untouched when the text has no ".".
void NormalizeFilePath(const char* text, char* out, size_t capacity);
// "File attributes: [ARHS]" and "GMT: mm.dd.yyyy, hh:mm:ss"; either output may
// be null. Each call advances the step counter.
void FormatFileAttributes(DWORD attributes, char* out, size_t capacity);
void FormatGmtTime(int64_t unixTime, char* out, size_t capacity);
bool FileCrc32(const char* path, DWORD byteCount, DWORD* out);
// 32 lowercase hex digits into out (33 bytes); false when the file cannot be read.
bool FileMd5Hex(const char* path, char* out, size_t capacity);
// Outputs are 260-character buffers or null.
bool ReadFileVersionStrings(const char* path, char* version, char* description, char* company, char* copyright);
bool IsPeImage(const char* path);
// Target and description are 260-character buffers.
HRESULT ResolveShortcut(HWND window, const char* linkPath, char* target, char* description);
