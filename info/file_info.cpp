#include "info/file_info.h"

#include "app/app_state.h"
#include "app/harvin_dlg.h"
#include "info/checksum_cache.h"
#include "info/md5.h"
#include "info/signature_lines.h"
#include "platform/bounded_text.h"
#include "platform/scoped_handle.h"
#include "platform/windows_version.h"

#include <objbase.h>
#include <shlobj.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr size_t kFullPathSize = 780;
// Checksums read in large pieces: under Wine every read is a trip through
// the server, and a piece of this size is still no burden on memory.
constexpr DWORD kChecksumPieceSize = 256 * 1024;
constexpr size_t kVersionTextSize = 260;
// Lines of an entry. Names, paths and version texts go in as HTML text,
// which may take six bytes per byte; the lines are sized for that.
constexpr size_t kLineSize = 1024;
constexpr size_t kVersionLineSize = HtmlTextSize(kVersionTextSize) + 32;
constexpr size_t kPathLineSize = HtmlTextSize(kFullPathSize) + 64;
constexpr size_t kBlockSize = 2 * kPathLineSize + 4 * kVersionLineSize + kSignatureLineSize + 6 * kLineSize;

using VersionText = HtmlText<kVersionTextSize>;
using PathText = HtmlText<kFullPathSize>;

// A file or folder of that name exists.
bool PathExists(const char* path)
{
    return path != nullptr && path[0] != '\0' && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

HANDLE OpenForReading(const char* path)
{
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Drops the last blank-separated word again and again until the text names
// something that exists or holds no blank: "C:\x\prog.exe -k arg" -> "C:\x\prog.exe".
void CutLastWordsUntilExisting(char* text)
{
    while (!PathExists(text)) {
        char* blank = strrchr(text, ' ');
        if (blank == nullptr) return;
        *blank = '\0';
    }
}

// out = Windows folder + what follows `token` in text, cut at the first
// double quote, then shortened word by word until it exists. Returns false
// when the token is absent (out untouched).
bool ExpandWindowsFolderToken(const char* text, const char* token, char* out, size_t capacity)
{
    const char* at = strstr(text, token);
    if (at == nullptr) return false;
    char windowsFolder[MAX_PATH];
    UINT length = GetWindowsDirectoryA(windowsFolder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;  // without it the rest would name another path
    CopyText(out, capacity, windowsFolder);
    AppendText(out, capacity, at + strlen(token));
    if (char* quote = strchr(out, '"')) *quote = '\0';
    CutLastWordsUntilExisting(out);
    return true;
}

// Copies a version-resource string of `length` characters (the terminator
// may or may not be counted) into a 260-byte buffer.
void CopyVersionString(char* out, const char* value, UINT length)
{
    size_t n = 0;
    while (n < length && n + 1 < kVersionTextSize && value[n] != '\0') {
        out[n] = value[n];
        ++n;
    }
    out[n] = '\0';
}

bool QueryVersionString(const void* block, const char* prefix, const char* key, char* out)
{
    char subBlock[128];
    if (!FormatText(subBlock, "%s%s", prefix, key)) return false;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block, subBlock, &value, &length) || value == nullptr) return false;
    CopyVersionString(out, static_cast<const char*>(value), length);
    return true;
}

// The string `key` under the file's own translation first, then the two
// usual English ones.
void ReadVersionStringWithFallback(const void* block, const char* prefix, const char* key, char* out)
{
    if (QueryVersionString(block, prefix, key, out)) return;
    if (QueryVersionString(block, "\\StringFileInfo\\04091252\\", key, out)) return;
    QueryVersionString(block, "\\StringFileInfo\\040904E4\\", key, out);
}

// The version resource's texts, all four; false when there is none.
bool ReadVersionTexts(const char* path, VersionTexts* texts)
{
    texts->version[0] = texts->description[0] = texts->company[0] = texts->copyright[0] = '\0';
    if (path[0] == '\0') return false;
    if (!IsWindows6Workstation64() && !IsPeImage(path)) return false;

    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) return false;
    HGLOBAL block = GlobalAlloc(GPTR, size + 256);
    if (block == nullptr) return false;

    if (GetFileVersionInfoA(path, 0, size, block)) {
        void* value = nullptr;
        UINT length = 0;
        if (VerQueryValueA(block, "\\", &value, &length) && value != nullptr && length >= sizeof(VS_FIXEDFILEINFO)) {
            const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
            if (fixed->dwSignature == 0xFEEF04BD) {
                FormatText(texts->version, "%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                           LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                           LOWORD(fixed->dwFileVersionLS));
            }
        }

        const struct {
            char* out;
            const char* key;
        } strings[] = {{texts->description, "FileDescription"},
                       {texts->company, "CompanyName"},
                       {texts->copyright, "LegalCopyright"}};
        for (const auto& item : strings) {
            void* translation = nullptr;
            UINT translationLength = 0;
            if (!VerQueryValueA(block, "\\VarFileInfo\\Translation", &translation, &translationLength) ||
                translation == nullptr) {
                continue;
            }
            char prefix[64];
            if (translationLength == 4) {
                // Language word, then code page word, each high byte first.
                const unsigned char* b = static_cast<const unsigned char*>(translation);
                FormatText(prefix, "\\StringFileInfo\\%02x%02x%02x%02x\\", b[1], b[0], b[3], b[2]);
            } else {
                CopyText(prefix, "\\StringFileInfo\\040904E4\\");
            }
            ReadVersionStringWithFallback(block, prefix, item.key, item.out);
        }
    }
    GlobalFree(block);
    return true;
}

// Reads the file from its current position in large pieces, at most
// `limit` bytes, and hands each piece to `take`. False on a read error, when
// no buffer can be had, or with `exact` when the file ends before `limit`.
template <typename Take>
bool ReadFilePieces(HANDLE file, unsigned long long limit, bool exact, Take take)
{
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kChecksumPieceSize]);
    if (!buffer) return false;
    unsigned long long remaining = limit;
    while (remaining > 0) {
        DWORD wanted = remaining < kChecksumPieceSize ? static_cast<DWORD>(remaining) : kChecksumPieceSize;
        DWORD got = 0;
        if (!ReadFile(file, buffer.get(), wanted, &got, nullptr)) return false;
        if (got == 0) return !exact;
        take(buffer.get(), got);
        remaining -= got;
    }
    return true;
}

// The checksums and version texts of a file whose stamp the caller read
// (null: no cache in use). A file entry reads the stamp once for all three.
bool CrcOfFile(const char* path, const FileStamp* stamp, unsigned long long byteCount, DWORD* out)
{
    *out = 0xFFFFFFFF;
    if (stamp != nullptr && FindCachedCrc(path, *stamp, byteCount, out)) return true;
    HANDLE file = OpenForReading(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    uLong crc = crc32(0L, Z_NULL, 0);
    // A file that shrank since its size was taken ends early: that is a read
    // error, not a reason to wait for bytes that never come.
    bool readOk = ReadFilePieces(file, byteCount, true, [&crc](const unsigned char* piece, DWORD length) {
        crc = crc32(crc, piece, length);
    });
    bool closedOk = CloseHandle(file) != FALSE;
    if (!readOk || !closedOk) return false;
    *out = static_cast<DWORD>(crc);
    if (stamp != nullptr) RememberCrc(path, *stamp, byteCount, *out);
    return true;
}

bool Md5OfFile(const char* path, const FileStamp* stamp, char (&hex)[33])
{
    hex[0] = '\0';
    if (stamp != nullptr && FindCachedMd5(path, *stamp, hex)) return true;
    ScopedKernelHandle file(OpenForReading(path));
    if (!file) return false;
    Md5Digest digest;
    bool readOk = ReadFilePieces(file.Get(), ~0ULL, false, [&digest](const unsigned char* piece, DWORD length) {
        digest.Update(piece, length);
    });
    if (!readOk) return false;
    digest.Finish();
    if (stamp != nullptr) RememberMd5(path, *stamp, digest.HexText());
    return CopyText(hex, digest.HexText());
}

bool VersionTextsOfFile(const char* path, const FileStamp* stamp, VersionTexts* texts)
{
    bool found = false;
    if (stamp != nullptr && FindCachedVersionTexts(path, *stamp, texts, &found)) return found;
    found = ReadVersionTexts(path, texts);
    if (stamp != nullptr) RememberVersionTexts(path, *stamp, *texts, found);
    return found;
}

// The stamp for the cache, or null when no cache is in use (or the file
// cannot be looked up).
const FileStamp* StampForCache(const char* path, FileStamp* stamp)
{
    return ReadStampForCache(path, stamp) ? stamp : nullptr;
}

}  // namespace

void WriteFileEntry(const FileEntryRequest& request)
{
    CHarvinDlg::AdvanceStepCounter();

    const char* path = request.path != nullptr ? request.path : "";
    char fullPath[kFullPathSize];
    if (request.name != nullptr) {
        JoinPath(fullPath, path, request.name);
    } else {
        CopyText(fullPath, path);
    }
    // One look at the file's size and write time serves the cache for all
    // that follows (null when no cache is in use); a stamp also tells that
    // the file exists.
    FileStamp stampRead;
    const FileStamp* stamp = request.stamp != nullptr && IsChecksumCacheActive()
                                 ? request.stamp
                                 : StampForCache(fullPath, &stampRead);
    bool exists = stamp != nullptr || PathExists(fullPath);
    if (!exists) {
        // A text that can be turned into the path of an existing file names
        // that file; anything else keeps the path it came with.
        char normalized[kFullPathSize] = "";
        NormalizeFilePath(fullPath, normalized, sizeof normalized);
        if (PathExists(normalized)) {
            CopyText(fullPath, normalized);
            stamp = StampForCache(fullPath, &stampRead);
            exists = true;
        }
    }

    // Version texts are the file maker's words: text, not markup.
    char versionLine[kVersionLineSize] = "";
    char descriptionLine[kVersionLineSize] = "";
    char vendorLine[kVersionLineSize] = "";
    char copyrightLine[kVersionLineSize] = "";
    if (request.withVersion) {
        VersionTexts texts;
        VersionTextsOfFile(fullPath, stamp, &texts);
        if (texts.version[0] != '\0') FormatText(versionLine, "Version: %s<BR>\n", VersionText(texts.version).c_str());
        if (texts.description[0] != '\0') {
            FormatText(descriptionLine, "Description: %s<BR>\n", VersionText(texts.description).c_str());
        }
        if (texts.company[0] != '\0') FormatText(vendorLine, "Vendor: %s<BR>\n", VersionText(texts.company).c_str());
        if (texts.copyright[0] != '\0') {
            FormatText(copyrightLine, "Copyright: %s<BR>\n", VersionText(texts.copyright).c_str());
        }
    }

    // Only while the page asks for it (SignatureLinesScope); a missing file
    // says so once, below.
    char signatureLine[kSignatureLineSize] = "";
    if (exists) FormatSignatureLine(fullPath, stamp, signatureLine, sizeof signatureLine);

    char crcLine[kLineSize] = "";
    if (request.withCrc) {
        DWORD crc = 0;
        if (CrcOfFile(fullPath, stamp, request.size, &crc)) {
            FormatText(crcLine, "CRC32: 0x%08lX<BR>\n", static_cast<unsigned long>(crc));
        } else {
            CopyText(crcLine, "CRC32: [Read Error]<br>\n");
            NotePageFailure(request.page, "[Read Error]");
        }
    }

    char md5Line[kLineSize] = "";
    if (request.withMd5 || ExtendedCollection != 0) {
        char md5[33];
        if (Md5OfFile(fullPath, stamp, md5)) FormatText(md5Line, "MD5: %s\n<BR>\n", md5);
    }

    char sizeLine[kLineSize] = "";
    if (request.withSize) {
        unsigned long long size = request.size;
        if (size == 0) {
            ScopedKernelHandle file(OpenForReading(fullPath));
            LARGE_INTEGER fileSize;
            if (file && GetFileSizeEx(file.Get(), &fileSize)) size = static_cast<unsigned long long>(fileSize.QuadPart);
        }
        if (size != 0) FormatText(sizeLine, "Filesize: %llu<BR>\n", size);
    }

    char text2Line[kLineSize] = "";
    char text1Line[kLineSize] = "";
    char extraLine[kLineSize] = "";
    if (request.withText2) FormatText(text2Line, "%s<br>\n", request.text2 != nullptr ? request.text2 : "");
    if (request.withText1) FormatText(text1Line, "%s<br>\n", request.text1 != nullptr ? request.text1 : "");
    if (request.extraText != nullptr) FormatText(extraLine, "%s<br>\n", request.extraText);

    // The caller's header is markup of its own; names and paths are text.
    char header[kPathLineSize];
    if (request.header != nullptr) {
        CopyText(header, request.header);
    } else {
        FormatText(header, "<strong>%s</strong>\n<div style=\"margin-left: 40px;\">\n",
                   PathText(request.name != nullptr ? request.name : fullPath).c_str());
    }
    char pathLine[kPathLineSize] = "";
    if (request.name != nullptr) FormatText(pathLine, "Path: %s<br>\n", PathText(path).c_str());

    // The block may hold "%" (names, version texts): it is written as it
    // is, never used as a format.
    char block[kBlockSize];
    CopyText(block, header);
    AppendText(block, versionLine);
    AppendText(block, crcLine);
    AppendText(block, md5Line);
    AppendText(block, descriptionLine);
    AppendText(block, vendorLine);
    AppendText(block, copyrightLine);
    AppendText(block, signatureLine);
    AppendText(block, sizeLine);
    AppendText(block, text2Line);
    AppendText(block, text1Line);
    AppendText(block, pathLine);
    // A block without facts would read as a file that has none.
    if (!exists) AppendText(block, "[file not found]<br>\n");
    AppendText(block, extraLine);
    AppendText(block, request.name != nullptr ? "\n</div><BR>\n" : "</div><BR>\n");
    AppendLiteral(request.page, block);
}

void WriteStandardFileEntry(const char* path, const char* name, Page page)
{
    FileEntryRequest request;
    request.path = path;
    request.name = name;
    request.page = page;
    request.withVersion = true;
    request.withMd5 = true;
    WriteFileEntry(request);
}

void WriteFileDetailsForText(const char* text, Page page)
{
    if (text == nullptr || strchr(text, '.') == nullptr) return;
    char normalized[kPathSize] = "";
    NormalizeFilePath(text, normalized, kPathSize - 1);
    if (normalized[0] == '\0') return;

    WIN32_FIND_DATAA found;
    ScopedFindHandle search(FindFirstFileA(normalized, &found));
    if (!search) return;

    char attributes[30];
    FormatFileAttributes(found.dwFileAttributes, attributes, sizeof attributes);

    FileEntryRequest request;
    request.path = normalized;
    request.page = page;
    request.withCrc = true;
    request.size = (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    request.header = "<div style=\"margin-left: 40px;\">\n";
    request.withSize = true;
    request.withText1 = true;
    request.text1 = attributes;
    WriteFileEntry(request);
}

void NormalizeFilePath(const char* text, char* out, size_t capacity)
{
    if (text == nullptr || out == nullptr || capacity == 0) return;
    if (strrchr(text, '.') == nullptr) return;

    out[0] = '\0';
    if (strstr(text, "\\??\\") != nullptr || strstr(text, "\\..\\") != nullptr) {
        CopyText(out, capacity, text + 4);
    } else {
        CopyText(out, capacity, text);
    }

    // Each step below starts again from the text, except the word cutting,
    // which works on what the steps before left.
    if (!PathExists(out)) ExpandWindowsFolderToken(text, "%SystemRoot%", out, capacity);
    if (!PathExists(out)) ExpandWindowsFolderToken(text, "%systemroot%", out, capacity);
    if (!PathExists(out)) CutLastWordsUntilExisting(out);
    // Registry data texts reach here with every "%" doubled.
    if (!PathExists(out)) ExpandWindowsFolderToken(text, "%%SystemRoot%%", out, capacity);
    if (!PathExists(out) && text[0] == '"') {
        const char* closing = strchr(text + 1, '"');
        if (closing != nullptr && closing > text + 1) {
            size_t length = static_cast<size_t>(closing - (text + 1));
            if (length >= capacity) length = capacity - 1;
            memcpy(out, text + 1, length);
            out[length] = '\0';
        }
    }
}

void FormatFileAttributes(DWORD attributes, char* out, size_t capacity)
{
    CHarvinDlg::AdvanceStepCounter();
    if (out == nullptr || capacity == 0) return;
    FormatText(out, capacity, "File attributes: [%c%c%c%c]", (attributes & FILE_ATTRIBUTE_ARCHIVE) ? 'A' : '-',
               (attributes & FILE_ATTRIBUTE_READONLY) ? 'R' : '-', (attributes & FILE_ATTRIBUTE_HIDDEN) ? 'H' : '-',
               (attributes & FILE_ATTRIBUTE_SYSTEM) ? 'S' : '-');
}

void FormatGmtTime(int64_t unixTime, char* out, size_t capacity)
{
    CHarvinDlg::AdvanceStepCounter();
    if (out == nullptr || capacity == 0) return;
    out[0] = '\0';
    // Seconds since 1970 -> 100 ns ticks since 1601.
    constexpr int64_t kEpochDifference = 11644473600LL;
    constexpr int64_t kMaxSeconds = 0x7FFFFFFFFFFFFFFFLL / 10000000 - kEpochDifference;
    if (unixTime < -kEpochDifference || unixTime > kMaxSeconds) return;
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<ULONGLONG>(unixTime + kEpochDifference) * 10000000ULL;
    FILETIME fileTime;
    fileTime.dwLowDateTime = ticks.LowPart;
    fileTime.dwHighDateTime = ticks.HighPart;
    SYSTEMTIME t;
    if (!FileTimeToSystemTime(&fileTime, &t)) return;
    FormatText(out, capacity, "GMT: %02u.%02u.%04u, %02u:%02u:%02u", t.wMonth, t.wDay, t.wYear, t.wHour,
               t.wMinute, t.wSecond);
}

bool FileCrc32(const char* path, unsigned long long byteCount, DWORD* out)
{
    DWORD ignored;
    if (out == nullptr) out = &ignored;
    *out = 0xFFFFFFFF;
    if (path == nullptr) return false;
    FileStamp stamp;
    return CrcOfFile(path, StampForCache(path, &stamp), byteCount, out);
}

bool FileMd5Hex(const char* path, char* out, size_t capacity)
{
    if (out == nullptr || capacity == 0) return false;
    out[0] = '\0';
    if (path == nullptr || capacity < 33) return false;
    FileStamp stamp;
    char hex[33];
    return Md5OfFile(path, StampForCache(path, &stamp), hex) && CopyText(out, capacity, hex);
}

bool ReadFileVersionStrings(const char* path, char* version, char* description, char* company, char* copyright)
{
    char* outputs[] = {version, description, company, copyright};
    for (char* output : outputs) {
        if (output != nullptr) output[0] = '\0';
    }
    if (path == nullptr || path[0] == '\0') return false;
    FileStamp stamp;
    VersionTexts texts;
    const bool found = VersionTextsOfFile(path, StampForCache(path, &stamp), &texts);
    const char* read[] = {texts.version, texts.description, texts.company, texts.copyright};
    for (int i = 0; i < 4; ++i) {
        if (outputs[i] != nullptr) CopyText(outputs[i], kVersionTextSize, read[i]);
    }
    return found;
}

bool IsPeImage(const char* path)
{
    if (path == nullptr) return false;
    ScopedKernelHandle file(OpenForReading(path));
    if (!file) return false;
    unsigned char dosHeader[64];
    DWORD got = 0;
    if (!ReadFile(file.Get(), dosHeader, sizeof dosHeader, &got, nullptr) || got < sizeof dosHeader) return false;
    if (dosHeader[0] != 'M' || dosHeader[1] != 'Z') return false;
    DWORD offset = static_cast<DWORD>(dosHeader[60]) | (static_cast<DWORD>(dosHeader[61]) << 8) |
                   (static_cast<DWORD>(dosHeader[62]) << 16) | (static_cast<DWORD>(dosHeader[63]) << 24);
    LARGE_INTEGER position;
    position.QuadPart = offset;
    if (!SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN)) return false;
    unsigned char signature[4];
    if (!ReadFile(file.Get(), signature, sizeof signature, &got, nullptr) || got < sizeof signature) return false;
    return signature[0] == 'P' && signature[1] == 'E' && signature[2] == 0;
}

HRESULT ResolveShortcut(HWND window, const char* linkPath, char* target, char* description)
{
    if (target != nullptr) target[0] = '\0';
    if (description != nullptr) description[0] = '\0';
    if (linkPath == nullptr || target == nullptr || description == nullptr) return E_POINTER;

    // S_FALSE (already initialised) must be balanced too; a thread in the
    // other apartment model keeps its own and is not uninitialised here.
    HRESULT initResult = CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    HRESULT status =
        CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, reinterpret_cast<void**>(&link));
    if (FAILED(status)) {
        // Reported in the run log: a message box would stop the worker thread.
        if (status == REGDB_E_CLASSNOTREG || status == CLASS_E_NOAGGREGATION) CHarvinDlg::AddStatusLine("RegError");
        if (SUCCEEDED(initResult)) CoUninitialize();
        return status;
    }

    IPersistFile* persist = nullptr;
    status = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
    if (SUCCEEDED(status)) {
        wchar_t widePath[MAX_PATH];
        if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) == 0) {
            status = HRESULT_FROM_WIN32(GetLastError());
        } else {
            status = persist->Load(widePath, STGM_READ);
        }
        if (SUCCEEDED(status)) status = link->Resolve(window, SLR_NO_UI | SLR_ANY_MATCH);
        if (SUCCEEDED(status)) {
            WIN32_FIND_DATAA found;
            status = link->GetPath(target, MAX_PATH, &found, SLGP_RAWPATH);
        }
        if (SUCCEEDED(status)) status = link->GetDescription(description, MAX_PATH);
        persist->Release();
    }
    link->Release();
    if (SUCCEEDED(initResult)) CoUninitialize();
    return status;
}
